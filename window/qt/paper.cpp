#include "window/qt/paper.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include "common/facts.h"
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

void Paper::DrawGlyph(int x, int y, std::uint8_t code) {
    const qreal ratio = image_.devicePixelRatio();
    if (!font_.isValid()) {
        font_.loadFromData(PrinterFontData(), kPrinterFontPixelSize * ratio,
                           QFont::PreferFullHinting);
    }
    QPainter painter(&image_);
    painter.scale(1 / ratio, 1 / ratio);  // in device pixels
    painter.setPen(Qt::black);
    QPointF baseline;
    const quint32 glyph = DrawCode(painter, font_, QPointF(x, y) * ratio, code, &baseline);
    // A glyph may reach past its cell (a W, an accent); at a fractional ratio its edge
    // pixels round outwards, hence the margin.
    const QRectF inked = font_.boundingRect(glyph).translated(baseline);
    const QRect cell(x, y, pexal::kCellWidth, pexal::kCellHeight);
    const QRectF inPagePixels(inked.topLeft() / ratio, inked.size() / ratio);
    dirty_ |= cell.united(inPagePixels.toAlignedRect()).adjusted(-1, -1, 1, 1);
}

void Paper::Invalidate() {
    if (dirty_.isEmpty()) return;
    update(dirty_);
    dirty_ = QRect();
}

void Paper::Fill() {
    image_.fill(Qt::white);
    dirty_ = QRect(0, 0, pexal::kPageWidth, pexal::kPageHeight);
}

void Paper::Bell() { QApplication::beep(); }

void Paper::Tell(const General::ReadingNews& news) { PaperAccessible::Tell(this, news); }

void Paper::keyPressEvent(QKeyEvent* event) {
    using General::ReadingKey;
    ReadingKey key;
    switch (event->key()) {
        case Qt::Key_Left: key = ReadingKey::kLeft; break;
        case Qt::Key_Right: key = ReadingKey::kRight; break;
        case Qt::Key_Up: key = ReadingKey::kUp; break;
        case Qt::Key_Down: key = ReadingKey::kDown; break;
        case Qt::Key_Home: key = ReadingKey::kHome; break;
        case Qt::Key_End: key = ReadingKey::kEnd; break;
        case Qt::Key_F10:
            if (event->modifiers() == Qt::ShiftModifier) {  // the context menu, as on Windows
                const QPoint at(pexal::kOriginX, pexal::kOriginY);
                QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, mapToGlobal(at));
                QApplication::sendEvent(this, &menu);
                return;
            }
            [[fallthrough]];
        default: {
            General::ReadingNews news;
            const Qt::KeyboardModifiers held = event->modifiers();
            if (session_ != nullptr && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z &&
                session_->Letter(static_cast<char>(event->key()), held & Qt::ControlModifier,
                                 held & Qt::ShiftModifier, &news)) {
                Tell(news);
                return;
            }
            QWidget::keyPressEvent(event);
            return;
        }
    }
    if (session_ != nullptr) Tell(session_->Key(key, event->modifiers() & Qt::ControlModifier));
}

void Paper::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (session_ != nullptr) Tell(session_->Focused());
}

void Paper::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect dirty = event->rect();
    const qreal ratio = image_.devicePixelRatio();
    const QRectF source(dirty.x() * ratio, dirty.y() * ratio, dirty.width() * ratio,
                        dirty.height() * ratio);
    painter.drawImage(QRectF(dirty), image_, source);
}
