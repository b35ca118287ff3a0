// A PNG file of an image, written without a library (the Windows build has none): 8-bit
// RGB, the pixel data deflated as stored blocks. Plain C++.
#pragma once

#include <cstdint>
#include <string>

namespace keep {

// `pixels`: `height` rows of `width` 0x00RRGGBB values, top row first.
std::string Png(int width, int height, const std::uint32_t* pixels);

}  // namespace keep
