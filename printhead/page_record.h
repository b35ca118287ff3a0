// What was struck on one page: each character once at its cell, in the order first struck
// (striking a cell again with the same character adds no ink), to draw, save or print the
// page again; and the character each cell reads as (its last), which is what the page
// says to someone who cannot see it. Bounded by the cells and the codes, whatever the host
// sends: a few kilobytes for a page.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/facts.h"

namespace General {

class PageRecord {
public:
    struct Strike {
        std::uint8_t column, line, code;
    };

    // `code` drawn at page pixel (x, y); a point off the grid is no cell.
    void Put(int x, int y, std::uint8_t code);
    void Clear();
    bool Empty() const { return strikes_.empty(); }

    const std::vector<Strike>& Strikes() const { return strikes_; }
    // The code the cell reads as; 0 where nothing was struck.
    std::uint8_t ReadAt(int column, int line) const { return reads_[line][column]; }
    // What the page says: its lines joined by line feeds, each cell as it reads (windows-
    // 1252), spaces elsewhere, with trailing spaces and trailing empty lines dropped: ""
    // for an empty page.
    std::u16string Text() const;

    // The record alone, without what it keeps to strike quickly: for pages torn off.
    PageRecord Kept() const;

private:
    std::vector<Strike> strikes_;
    std::array<std::array<std::uint8_t, pexal::kColumns>, pexal::kLines> reads_{};
    std::vector<bool> struck_;  // cell by code
};

}  // namespace General
