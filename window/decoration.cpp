#include "decoration.h"

#include <QPainter>

namespace {

constexpr std::array<Dash, 34> MakeDashes() {
    constexpr int kRows[] = {1080, 5760};  // just above and just below the page
    std::array<Dash, 34> dashes{};
    for (int row = 0; row < 2; ++row) {
        for (int k = 0; k < 17; ++k) dashes[row * 17 + k] = {240 * k, 240 * k + 120, kRows[row]};
    }
    return dashes;
}

// The holes of one column were laid down out of order; the order means nothing, but
// keeping it keeps the table element for element as designed.
constexpr int kHoleTops[19] = {2640, 2400, 2160, 1920, 1680, 1440, 1200, 2880, 3120, 3360,
                               3600, 3840, 4080, 4320, 4560, 4800, 5040, 5280, 5520};

constexpr std::array<Hole, 38> MakeHoles() {
    constexpr int kColumns[] = {120, 3840};  // beside the page's left and right edges
    std::array<Hole, 38> holes{};
    for (int column = 0; column < 2; ++column) {
        for (int k = 0; k < 19; ++k) holes[column * 19 + k] = {kColumns[column], kHoleTops[k]};
    }
    return holes;
}

}  // namespace

const std::array<Dash, 34> Line1 = MakeDashes();
const std::array<Hole, 38> Shape1 = MakeHoles();

void drawPerforations(QPainter& painter) {
    painter.setPen(QPen(Qt::black, 1));
    for (const Dash& dash : Line1) {
        const int y = dash.y / kTwipsPerPixel;
        painter.drawLine(dash.x1 / kTwipsPerPixel, y, dash.x2 / kTwipsPerPixel, y);
    }
}

void drawSprocketHoles(QPainter& painter) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    for (const Hole& hole : Shape1) {
        const QRectF box = FromTwips(hole.left, hole.top, kHoleSize, kHoleSize);
        painter.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));  // the outline stays inside
    }
    painter.restore();
}
