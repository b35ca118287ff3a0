// The printer's code page, windows-1252, both ways: the page decodes each byte it prints
// with it, and a sender encodes text with it. One table, so the two always agree.
#pragma once

#include <cstdint>
#include <optional>

namespace pexal {

// The character a byte stands for. The five bytes the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 control characters of the same number, as on
// Windows.
char16_t FromWindows1252(std::uint8_t code);

// What a printed byte reads as, to a screen reader and in a copy or a PDF's text: the
// character, unless it has no glyph a reader speaks. The code page's gaps and 127 show the
// font's missing-glyph box, and read as a white square; the soft hyphen shows a hyphen,
// the no-break space a space.
char16_t ReadAs(std::uint8_t code);

// The byte for a character, or nothing when the code page has none. No best fit: a
// character without a code of its own has none, rather than a look-alike, and the C1
// controls the undefined bytes decode to are not given back.
std::optional<std::uint8_t> ToWindows1252(char32_t character);

}  // namespace pexal
