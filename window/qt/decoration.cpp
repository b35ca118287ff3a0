#include "window/qt/decoration.h"

#include <QImage>
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
    // Every hole looks the same and stands on the sheet's green at whole pixels: one is
    // drawn, antialiased, on green, and its pixels are put down 38 times (a tenth of the
    // window's drawing time at start-up, were each drawn afresh). Both kinds of fill are
    // white here: this front-end's page, whose background the opaque holes take, is
    // always white.
    const int size = sheet::kHoleSize / sheet::kTwipsPerPixel;
    const qreal ratio = painter.device()->devicePixelRatio();
    QImage hole(QSize(size, size) * ratio, QImage::Format_RGB32);
    hole.setDevicePixelRatio(ratio);
    hole.fill(ToColor(sheet::kPaperGreen));
    {
        QPainter one(&hole);
        one.setRenderHint(QPainter::Antialiasing);
        one.setPen(QPen(Qt::black, 1));
        one.setBrush(Qt::white);
        one.drawEllipse(QRectF(0, 0, size, size).adjusted(0.5, 0.5, -0.5, -0.5));  // outline inside
    }
    for (const sheet::Hole& h : sheet::Shape1) {
        painter.drawImage(ToPixels({h.left, h.top, sheet::kHoleSize, sheet::kHoleSize}).topLeft(),
                          hole);
    }
}
