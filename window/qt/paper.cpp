#include "window/qt/paper.h"

#include <QAccessible>
#include <QApplication>
#include <QGlyphRun>
#include <QPaintEvent>
#include <QPainter>

#include "common/facts.h"
#include "common/windows1252.h"
#include "window/qt/paper_accessible.h"
#include "window/qt/printer_font.h"

namespace {

qreal RatioOr(qreal ratio) { return ratio > 0 ? ratio : qApp->devicePixelRatio(); }

}  // namespace

// The page draws from the font's own data, never through font matching, which would
// take a system font of the same family name (another version of it, even) instead. The
// font is sized in device pixels and fully hinted, as TextOutA draws: on a dense screen a
// glyph is hinted at its own size there, not drawn at 13 pixels and stretched.
Paper::Paper(QWidget* parent, qreal devicePixelRatio)
    : QWidget(parent),
      image_(QSize(pexal::kPageWidth, pexal::kPageHeight) * RatioOr(devicePixelRatio),
             QImage::Format_RGB32) {
    image_.setDevicePixelRatio(RatioOr(devicePixelRatio));
    image_.fill(Qt::white);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus);
    resize(pexal::kPageWidth, pexal::kPageHeight);
    static const bool accessible = [] {
        QAccessible::installFactory(PaperAccessible::Factory);
        return true;
    }();
    (void)accessible;
}

QString Paper::Text() const { return QString::fromStdU16String(text_.Text()); }

void Paper::DrawGlyph(int x, int y, std::uint8_t code) {
    // Like TextOutA: the font's glyph for the character, with no text shaping (which
    // would hide a soft hyphen, say); a character the font lacks shows its missing-glyph
    // mark. The cell's top-left corner is (x, y); glyphs stand on their baseline.
    const qreal ratio = image_.devicePixelRatio();
    if (!font_.isValid()) {
        font_.loadFromData(PrinterFontData(), kPrinterFontPixelSize * ratio,
                           QFont::PreferFullHinting);
    }
    const QString character(QChar(pexal::FromWindows1252(code)));
    const quint32 glyph = font_.glyphIndexesForString(character).value(0);
    QGlyphRun run;
    run.setRawFont(font_);
    run.setGlyphIndexes({glyph});
    run.setPositions({QPointF(0, 0)});
    const QPointF baseline(x * ratio, y * ratio + qRound(font_.ascent()));
    QPainter painter(&image_);
    painter.scale(1 / ratio, 1 / ratio);  // in device pixels
    painter.setPen(Qt::black);
    painter.drawGlyphRun(baseline, run);
    text_.Put(x, y, code);
    // A glyph may reach past its cell (a W, an accent); at a fractional ratio its edge
    // pixels round outwards, hence the margin.
    const QRectF inked = font_.boundingRect(glyph).translated(baseline);
    const QRect cell(x, y, pexal::kCellWidth, pexal::kCellHeight);
    const QRectF inPagePixels(inked.topLeft() / ratio, inked.size() / ratio);
    dirty_ |= cell.united(inPagePixels.toAlignedRect()).adjusted(-1, -1, 1, 1);
}

void Paper::Refresh() {
    if (dirty_.isEmpty()) return;
    update(dirty_);
    dirty_ = QRect();
    AnnounceText();
}

void Paper::Clear() {
    image_.fill(Qt::white);
    text_.Clear();
    dirty_ = QRect(0, 0, pexal::kPageWidth, pexal::kPageHeight);
    Refresh();
}

void Paper::Bell() { QApplication::beep(); }

// As an insertion where characters were added at one place (the common case: the next
// character of a line), as a removal for New page, and otherwise as a replacement of the
// part that differs.
void Paper::AnnounceText() {
    const QString now = Text();
    if (now == announced_) return;
    const QString before = announced_;
    announced_ = now;
    if (!QAccessible::isActive()) return;
    qsizetype start = 0;
    while (start < before.size() && start < now.size() && before[start] == now[start]) ++start;
    qsizetype endBefore = before.size(), endNow = now.size();
    while (endBefore > start && endNow > start && before[endBefore - 1] == now[endNow - 1]) {
        --endBefore;
        --endNow;
    }
    const QString removed = before.mid(start, endBefore - start);
    const QString inserted = now.mid(start, endNow - start);
    const int at = static_cast<int>(start);
    if (removed.isEmpty()) {
        QAccessibleTextInsertEvent event(this, at, inserted);
        QAccessible::updateAccessibility(&event);
    } else if (inserted.isEmpty()) {
        QAccessibleTextRemoveEvent event(this, at, removed);
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessibleTextUpdateEvent event(this, at, removed, inserted);
        QAccessible::updateAccessibility(&event);
    }
}

void Paper::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect dirty = event->rect();
    const qreal ratio = image_.devicePixelRatio();
    const QRectF source(dirty.x() * ratio, dirty.y() * ratio, dirty.width() * ratio,
                        dirty.height() * ratio);
    painter.drawImage(QRectF(dirty), image_, source);
}
