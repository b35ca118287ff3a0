// The sheet as a picture for keeping: the green sheet with its perforations and sprocket
// holes, the white page, and what was struck on the page, drawn through a canvas each
// output gives (a PDF, a printer). Coordinates in the sheet's pixels at 96 dpi, y down.
#pragma once

#include <array>
#include <cstdint>

#include "common/facts.h"
#include "printhead/page_record.h"
#include "window/sheet.h"

namespace sheet {

// The page's glyphs are 9.75 points high: this many pixels at 96 dpi.
inline constexpr double kGlyphPixels = 13;
inline constexpr double kSheetWidth = kClientArea.width / double(kTwipsPerPixel);
inline constexpr double kSheetHeight = kClientArea.height / double(kTwipsPerPixel);

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void Fill(double x, double y, double width, double height, Rgb colour) = 0;
    virtual void Dash(double x1, double x2, double y) = 0;  // black, a pixel wide
    virtual void Hole(double x, double y, double size) = 0;  // white, outlined in black
    // A line of the page as it reads (each cell's code, 0 for none), cells from `x` on;
    // by default each character by itself, as Under draws it.
    virtual void Line(double x, double top, const std::array<std::uint8_t, pexal::kColumns>& codes);
    // A character a later one overprinted: ink, but not what the cell reads.
    virtual void Under(double x, double top, std::uint8_t code) = 0;
};

// Where the page lies on the sheet.
inline constexpr double kPageLeft = kPaper.box.left / double(kTwipsPerPixel);
inline constexpr double kPageTop = kPaper.box.top / double(kTwipsPerPixel);

// The paper: the green sheet, its perforations and sprocket holes, and the white page.
void DrawPaper(Canvas& canvas);
// What was struck on the page, whose top-left corner is at (left, top).
void DrawInk(Canvas& canvas, const General::PageRecord& page, double left, double top);
// Both: the sheet as it looks.
void DrawSheet(Canvas& canvas, const General::PageRecord& page);

// What printing a page puts on paper: the sheet as it looks, or (the default, sparing a
// real printer a sheet of green ink) the page's ink alone on the white paper.
struct PrintChoice {
    bool wholeSheet = false;
};
// Which of a run's `count` pages (the current one last) a print dialog's answer asks for:
// the current page, all, or pages `from` to `to` (counted from 1, clamped to the run).
enum class PrintRange { kCurrentPage, kAllPages, kFromTo };  // as the print module numbers them
struct PageSpan {
    int first, last;  // from 0
};
PageSpan PagesToPrint(PrintRange range, int from, int to, int count);
// Where it goes on a printable area `width` x `height` (in any unit): scaled from sheet
// pixels to fill it as far as it fits, and centred.
struct Placement {
    double scale, x, y;
};
Placement PlaceOnPaper(double width, double height, const PrintChoice& choice);
// Draws it, in sheet pixels from its own top-left corner.
void DrawPrinted(Canvas& canvas, const General::PageRecord& page, const PrintChoice& choice);

}  // namespace sheet
