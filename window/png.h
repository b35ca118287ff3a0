// A PNG file of an image, for the Windows build (Qt writes the Linux one): 8-bit RGB,
// deflated by zlib. Empty when zlib cannot compress it.
#pragma once

#include <cstdint>
#include <string>

namespace keep {

// `pixels`: `height` rows of `width` 0x00RRGGBB values, top row first.
std::string Png(int width, int height, const std::uint32_t* pixels);

}  // namespace keep
