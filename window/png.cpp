#include "window/png.h"

#include <algorithm>
#include <array>

namespace keep {
namespace {

std::uint32_t Crc(const std::string& bytes, std::size_t from) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t k = from; k < bytes.size(); ++k) c = table[(c ^ std::uint8_t(bytes[k])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void Put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t from = out.size();
    out += type;
    out += data;
    Put32(out, Crc(out, from));
}

}  // namespace

std::string Png(int width, int height, const std::uint32_t* pixels) {
    std::string raw;  // each row: filter 0, then R G B
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
            raw += {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
        }
    }
    std::string z = "\x78\x01";  // zlib, no compression
    std::uint32_t a = 1, b = 0;
    for (const char c : raw) {
        a = (a + std::uint8_t(c)) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z += static_cast<char>(at + n >= raw.size() ? 1 : 0);
        z += {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(~n), static_cast<char>(~n >> 8)};
        z.append(raw, at, n);
        if (raw.empty()) break;
    }
    Put32(z, (b << 16) | a);
    std::string header;
    Put32(header, static_cast<std::uint32_t>(width));
    Put32(header, static_cast<std::uint32_t>(height));
    header += {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, no filter choice, no interlace
    std::string out = "\x89PNG\r\n\x1a\n";
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", z);
    Chunk(out, "IEND", "");
    return out;
}

}  // namespace keep
