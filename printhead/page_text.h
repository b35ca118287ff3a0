// What the page says, as text, for people who cannot see it: the last character drawn in
// each of the page's cells, spaces elsewhere. Overprinting replaces a cell's character
// for reading, though the ink keeps both. Plain C++: the page's reading model keeps one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/facts.h"

namespace General {

class PageText {
public:
    PageText() { Clear(); }

    // Notes `code` (32..255, windows-1252) drawn with its cell's top-left corner at the
    // page pixel (x, y); a point off the grid is no cell and changes nothing.
    void Put(int x, int y, std::uint8_t code);
    void Clear();

    // The page's lines joined by line feeds, with trailing spaces and trailing empty lines
    // dropped: "" for an empty page.
    std::u16string Text() const;

private:
    std::array<std::array<char16_t, pexal::kColumns>, pexal::kLines> cells_;
};

}  // namespace General
