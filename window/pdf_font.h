// The font a kept page's PDF embeds: the page's Liberation Sans cut down to the glyphs the
// printer's code page prints (with the missing-glyph mark), each advancing one cell, and
// what the PDF writer needs of it. Made at build time from the page's font.
#pragma once

#include <cstdint>
#include <string_view>

namespace pdf_font {

extern const std::string_view kFont;  // a TrueType file
extern const char kFamily[];          // its name: not Liberation Sans, which it no longer is
extern const int kUnitsPerEm, kAscent, kDescent, kAdvance;
extern const int kBox[4];  // xMin, yMin, xMax, yMax
// By windows-1252 code: the glyph the page draws for it (0, the mark, where the font has
// none), and its outline as PDF path operators in font units, y up.
extern const std::uint16_t kGlyphOf[256];
extern const char* const kOutline[256];

}  // namespace pdf_font
