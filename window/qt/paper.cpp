#include "window/qt/paper.h"

#include <QApplication>
#include <QGlyphRun>
#include <QPaintEvent>
#include <QPainter>

#include "common/facts.h"
#include "common/windows1252.h"
#include "window/qt/printer_font.h"

// The page draws from the font's own data, never through font matching, which would
// take a system font of the same family name (another version of it, even) instead.
Paper::Paper(QWidget* parent, qreal devicePixelRatio)
    : QWidget(parent),
      image_(QSize(pexal::kPageWidth, pexal::kPageHeight) *
                 (devicePixelRatio > 0 ? devicePixelRatio : qApp->devicePixelRatio()),
             QImage::Format_RGB32),
      font_(PrinterFontData(), kPrinterFontPixelSize) {
    image_.setDevicePixelRatio(devicePixelRatio > 0 ? devicePixelRatio : qApp->devicePixelRatio());
    image_.fill(Qt::white);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(pexal::kPageWidth, pexal::kPageHeight);
}

void Paper::DrawGlyph(int x, int y, std::uint8_t code) {
    // Like TextOutA: the font's glyph for the character, with no text shaping (which
    // would hide a soft hyphen, say); a character the font lacks shows its missing-glyph
    // mark. The cell's top-left corner is (x, y); glyphs stand on their baseline.
    const QString character(QChar(pexal::FromWindows1252(code)));
    const quint32 glyph = font_.glyphIndexesForString(character).value(0);
    QGlyphRun run;
    run.setRawFont(font_);
    run.setGlyphIndexes({glyph});
    run.setPositions({QPointF(0, 0)});
    const QPoint baseline(x, y + qRound(font_.ascent()));
    QPainter painter(&image_);
    painter.setPen(Qt::black);
    painter.drawGlyphRun(baseline, run);
    // A glyph may reach past its cell (a W, an accent); at a fractional ratio its edge
    // pixels round outwards, hence the margin.
    const QRect cell(x, y, pexal::kCellWidth, pexal::kCellHeight);
    const QRect inked = font_.boundingRect(glyph).toAlignedRect().translated(baseline);
    dirty_ |= cell.united(inked).adjusted(-1, -1, 1, 1);
}

void Paper::Refresh() {
    if (dirty_.isEmpty()) return;
    update(dirty_);
    dirty_ = QRect();
}

void Paper::Clear() {
    image_.fill(Qt::white);
    dirty_ = QRect(0, 0, pexal::kPageWidth, pexal::kPageHeight);
    Refresh();
}

void Paper::Bell() { QApplication::beep(); }

void Paper::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect dirty = event->rect();
    const qreal ratio = image_.devicePixelRatio();
    const QRectF source(dirty.x() * ratio, dirty.y() * ratio, dirty.width() * ratio,
                        dirty.height() * ratio);
    painter.drawImage(QRectF(dirty), image_, source);
}
