#include "window/sheet_picture.h"

#include <algorithm>

namespace sheet {

void Canvas::Line(double x, double top, const std::array<std::uint8_t, pexal::kColumns>& codes) {
    for (int k = 0; k < pexal::kColumns; ++k) {
        if (codes[k] != 0) Under(x + k * pexal::kCellWidth, top, codes[k]);
    }
}

void DrawPaper(Canvas& canvas) {
    constexpr double kPixel = 1.0 / kTwipsPerPixel;
    canvas.Fill(0, 0, kSheetWidth, kSheetHeight, kPaperGreen);
    for (const Dash& dash : Line1) canvas.Dash(dash.x1 * kPixel, dash.x2 * kPixel, dash.y * kPixel);
    for (const Hole& hole : Shape1) canvas.Hole(hole.left * kPixel, hole.top * kPixel, kHoleSize * kPixel);
    canvas.Fill(kPageLeft, kPageTop, pexal::kPageWidth, pexal::kPageHeight, {255, 255, 255});
}

void DrawInk(Canvas& canvas, const General::PageRecord& page, double left, double top) {
    for (const General::PageRecord::Strike& s : page.Strikes()) {
        if (page.ReadAt(s.column, s.line) == s.code) continue;
        const pexal::Pixel at = pexal::CornerOf({s.column, s.line});
        canvas.Under(left + at.x, top + at.y, s.code);
    }
    for (int line = 0; line < pexal::kLines; ++line) {
        std::array<std::uint8_t, pexal::kColumns> codes{};
        bool any = false;
        for (int column = 0; column < pexal::kColumns; ++column) {
            codes[column] = page.ReadAt(column, line);
            any = any || codes[column] != 0;
        }
        const pexal::Pixel start = pexal::CornerOf({0, line});
        if (any) canvas.Line(left + start.x, top + start.y, codes);
    }
}

void DrawSheet(Canvas& canvas, const General::PageRecord& page) {
    DrawPaper(canvas);
    DrawInk(canvas, page, kPageLeft, kPageTop);
}

PageSpan PagesToPrint(PrintRange range, int from, int to, int count) {
    if (range == PrintRange::kAllPages) return {0, count - 1};
    if (range == PrintRange::kCurrentPage || count < 1) return {count - 1, count - 1};
    const int first = std::clamp(from, 1, count) - 1;
    return {first, std::clamp(to, first + 1, count) - 1};
}

Placement PlaceOnPaper(double width, double height, const PrintChoice& choice) {
    const double w = choice.wholeSheet ? kSheetWidth : pexal::kPageWidth;
    const double h = choice.wholeSheet ? kSheetHeight : pexal::kPageHeight;
    const double scale = std::min(width / w, height / h);
    return {scale, (width - w * scale) / 2, (height - h * scale) / 2};
}

void DrawPrinted(Canvas& canvas, const General::PageRecord& page, const PrintChoice& choice) {
    if (choice.wholeSheet) {
        DrawSheet(canvas, page);
    } else {
        DrawInk(canvas, page, 0, 0);
    }
}

}  // namespace sheet
