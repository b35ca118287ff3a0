#include "common/windows1252.h"

namespace pexal {
namespace {

// 0x80..0x9F, the only bytes that differ from Latin-1. 0 marks the undefined ones.
constexpr char16_t k80To9F[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

// A table of our own rather than a codec: loading one costs the printer a megabyte, and
// iconv and Windows disagree on the undefined bytes.
char16_t FromWindows1252(std::uint8_t code) {
    if (code < 0x80 || code > 0x9F) return code;
    const char16_t mapped = k80To9F[code - 0x80];
    return mapped != 0 ? mapped : char16_t{code};
}

std::optional<std::uint8_t> ToWindows1252(char32_t character) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        return static_cast<std::uint8_t>(character);
    }
    for (int k = 0; k < 32; ++k) {
        if (k80To9F[k] != 0 && k80To9F[k] == character) return static_cast<std::uint8_t>(0x80 + k);
    }
    return std::nullopt;
}

char16_t ReadAs(std::uint8_t code) {
    switch (code) {
        case 0x7F: case 0x81: case 0x8D: case 0x8F: case 0x90: case 0x9D: return u'\u25A1';
        case 0xA0: return u' ';
        case 0xAD: return u'-';
        default: return FromWindows1252(code);
    }
}

}  // namespace pexal
