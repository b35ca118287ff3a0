// Draws the sheet's dressing, taken from the toolkit-free layout in window/sheet.h:
// perforation dashes above and below the page, sprocket holes beside it. The one place
// where the Qt front-end turns twips into pixels.
#pragma once

#include <QColor>
#include <QRect>

#include "window/sheet.h"

class QPainter;

// A rectangle given in twips, in pixels.
constexpr QRect ToPixels(const sheet::Twips& box) {
    return QRect(box.left / sheet::kTwipsPerPixel, box.top / sheet::kTwipsPerPixel,
                 box.width / sheet::kTwipsPerPixel, box.height / sheet::kTwipsPerPixel);
}

inline QColor ToColor(const sheet::Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

// Both leave the painter as they found it.
void DrawPerforations(QPainter& painter);
void DrawSprocketHoles(QPainter& painter);
