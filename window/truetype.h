// Reading a TrueType file's table directory: the one place the program walks it.
#pragma once

#include <cstdint>
#include <string_view>

namespace truetype {

// The bytes of table `tag` (four characters) in the TrueType file `font`; empty when the
// file has no such table or its directory points outside the file.
inline std::string_view Table(std::string_view font, std::string_view tag) {
    const auto u16 = [&](std::size_t at) -> std::uint32_t {
        return at + 2 <= font.size() ? (std::uint8_t(font[at]) << 8) | std::uint8_t(font[at + 1]) : 0;
    };
    const auto u32 = [&](std::size_t at) { return u16(at) << 16 | u16(at + 2); };
    for (std::uint32_t k = 0, tables = u16(4); k < tables; ++k) {
        const std::size_t record = 12 + 16 * std::size_t{k};
        if (record + 16 > font.size() || font.substr(record, 4) != tag) continue;
        const std::size_t offset = u32(record + 8), length = u32(record + 12);
        if (offset > font.size() || length > font.size() - offset) return {};
        return font.substr(offset, length);
    }
    return {};
}

}  // namespace truetype
