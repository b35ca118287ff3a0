// The window's dressing as a sheet of tractor-feed paper: perforation dashes above and
// below the page and sprocket holes beside it. Pure decoration, kept as data in twips
// (15 to a pixel), the unit the window is laid out in.
#pragma once

#include <QRect>
#include <array>

class QPainter;

constexpr int kTwipsPerPixel = 15;

// A rectangle given in twips, in pixels.
constexpr QRect FromTwips(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

struct Dash {
    int x1, x2, y;  // twips
};
struct Hole {
    int left, top;  // twips
};
constexpr int kHoleSize = 135;  // twips, both ways

extern const std::array<Dash, 34> Line1;
extern const std::array<Hole, 38> Shape1;

void drawPerforations(QPainter& painter);
void drawSprocketHoles(QPainter& painter);
