#include "window/qt/page_widget.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>

// The image is made at the screen's pixel density so glyphs stay crisp when scaled.
PageWidget::PageWidget(QWidget* parent)
    : QWidget(parent), page_(qApp->devicePixelRatio()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    page_.onRefresh = [this](const QRect& changed) { update(changed); };
    page_.onBell = [] { QApplication::beep(); };
}

void PageWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect dirty = event->rect();
    const qreal ratio = page_.image().devicePixelRatio();
    const QRectF source(dirty.x() * ratio, dirty.y() * ratio, dirty.width() * ratio,
                        dirty.height() * ratio);
    painter.drawImage(QRectF(dirty), page_.image(), source);
}
