#include "window/png.h"

#include <zlib.h>

namespace keep {
namespace {

void Put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t from = out.size();
    out += type;
    out += data;
    Put32(out, static_cast<std::uint32_t>(
                   crc32(0, reinterpret_cast<const Bytef*>(out.data() + from), static_cast<uInt>(out.size() - from))));
}

}  // namespace

std::string Png(int width, int height, const std::uint32_t* pixels) {
    std::string raw;  // each row: filter 0, then R G B
    raw.reserve(static_cast<std::size_t>(height) * (1 + 3 * static_cast<std::size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
            raw += {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
        }
    }
    std::string z(compressBound(static_cast<uLong>(raw.size())), '\0');
    uLongf size = static_cast<uLongf>(z.size());
    if (compress2(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    z.resize(size);
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
