#include "window/qt/decoration.h"

#include <QPainter>

void DrawPerforations(QPainter& painter) {
    painter.save();
    painter.setPen(QPen(Qt::black, 1));
    for (const sheet::Dash& dash : sheet::Line1) {
        const int y = dash.y / sheet::kTwipsPerPixel;
        // A dash covers [x1, x2): drawLine would also ink the end pixel.
        painter.drawLine(dash.x1 / sheet::kTwipsPerPixel, y, dash.x2 / sheet::kTwipsPerPixel - 1, y);
    }
    painter.restore();
}

void DrawSprocketHoles(QPainter& painter) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    // Both kinds of fill are white here: this front-end's page, whose background the
    // opaque holes take, is always white.
    painter.setBrush(Qt::white);
    for (const sheet::Hole& hole : sheet::Shape1) {
        const QRectF box = ToPixels({hole.left, hole.top, sheet::kHoleSize, sheet::kHoleSize});
        painter.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));  // the outline stays inside
    }
    painter.restore();
}
