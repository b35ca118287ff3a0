// The facts the printer, its window and its senders must agree on, named once. Plain
// C++ with no toolkit, so every front-end and every host-side program can include it.
#pragma once

#include <chrono>
#include <cstdint>

namespace pexal {

// The port file: one byte a port, port P at offset P - kFirstPort; 0 means "empty".
inline constexpr char kPortFileName[] = "dov_port.dat";
inline constexpr std::int32_t kFirstPort = 100;
inline constexpr std::int32_t kDataPort = 130;

// The printer takes at most one byte a tick.
inline constexpr std::chrono::milliseconds kPollInterval{200};
inline constexpr int kTicksPerSecond = 1000 / static_cast<int>(kPollInterval.count());

// The page, in pixels at 96 dpi (3375 x 4455 twips on the sheet).
inline constexpr int kPageWidth = 225;
inline constexpr int kPageHeight = 297;

// The page's grid, in page pixels: the top-left corner of cell (column, line) is
// (kOriginX + column * kCellWidth, kOriginY + line * kCellHeight).
inline constexpr int kColumns = 26;
inline constexpr int kLines = 19;
inline constexpr int kCellWidth = 8;
inline constexpr int kCellHeight = 15;
inline constexpr int kOriginX = 3;
inline constexpr int kOriginY = 5;
inline constexpr int kLastColumnX = kOriginX + (kColumns - 1) * kCellWidth;  // 203
inline constexpr int kLastLineY = kOriginY + (kLines - 1) * kCellHeight;     // 275

struct Cell {
    int column = 0, line = 0;
    constexpr bool operator==(const Cell&) const = default;
};
struct Pixel {
    int x = 0, y = 0;
    constexpr bool operator==(const Pixel&) const = default;
};

// The one pair of conversions between the grid and page pixels. A cell's top-left corner
// (for any column and line, off the page too, as a caret after the last column is):
constexpr Pixel CornerOf(Cell cell) {
    return {kOriginX + cell.column * kCellWidth, kOriginY + cell.line * kCellHeight};
}
// The cell whose box holds page pixel `p`; false (and `cell` untouched) off the grid.
constexpr bool CellAt(Pixel p, Cell* cell) {
    const int dx = p.x - kOriginX, dy = p.y - kOriginY;
    if (dx < 0 || dy < 0 || dx >= kColumns * kCellWidth || dy >= kLines * kCellHeight) return false;
    *cell = {dx / kCellWidth, dy / kCellHeight};
    return true;
}

}  // namespace pexal
