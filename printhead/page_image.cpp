#include "printhead/page_image.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>

namespace {

// 9.75 points at 96 pixels an inch.
constexpr int kFontPixelSize = 13;
constexpr char16_t kSoftHyphen = 0x00AD;

}  // namespace

QString PrinterFontFamily() {
    static const QString family = [] {
        Q_INIT_RESOURCE(printer_font);
        const int id = QFontDatabase::addApplicationFont(":/fonts/LiberationSans-Regular.ttf");
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QStringLiteral("Liberation Sans") : families.front();
    }();
    return family;
}

QFont PrinterFont() {
    QFont font(PrinterFontFamily());
    font.setPixelSize(kFontPixelSize);
    font.setWeight(QFont::Normal);
    return font;
}

PageImage::PageImage(qreal devicePixelRatio)
    : image_(qRound(kWidth * devicePixelRatio), qRound(kHeight * devicePixelRatio),
             QImage::Format_RGB32),
      font_(PrinterFont()),
      rawFont_(QRawFont::fromFont(font_)),
      decoder_("windows-1252") {
    image_.setDevicePixelRatio(devicePixelRatio);
    image_.fill(Qt::white);
}

void PageImage::DrawGlyph(int x, int y, std::uint8_t code) {
    const char byte = static_cast<char>(code);
    const QString text = decoder_.decode(QByteArrayView(&byte, 1));
    QPainter painter(&image_);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    // The cell's top-left corner is (x, y); Qt places text by its baseline.
    const QFontMetrics metrics(font_);
    const QPoint baseline(x, y + metrics.ascent());
    QRect inked;
    if (text == QChar(kSoftHyphen)) {
        // Text shaping hides a soft hyphen; a printer (like TextOutA) prints the font's
        // glyph for it, so this one is drawn by glyph index.
        QGlyphRun glyph;
        glyph.setRawFont(rawFont_);
        glyph.setGlyphIndexes(rawFont_.glyphIndexesForString(text));
        glyph.setPositions({QPointF(0, 0)});
        painter.drawGlyphRun(baseline, glyph);
        inked = rawFont_.boundingRect(glyph.glyphIndexes().value(0)).toAlignedRect();
    } else {
        painter.drawText(baseline, text);
        inked = metrics.boundingRect(text);
    }
    const QRect cell(x, y, metrics.horizontalAdvance(text), metrics.height());
    dirty_ |= cell.united(inked.translated(baseline)).adjusted(-1, -1, 1, 1);
}

void PageImage::Refresh() {
    if (dirty_.isEmpty()) return;
    const QRect changed = dirty_;
    dirty_ = QRect();
    if (onRefresh) onRefresh(changed);
}

void PageImage::Clear() {
    image_.fill(Qt::white);
    dirty_ = QRect(0, 0, kWidth, kHeight);
    Refresh();
}

void PageImage::Bell() {
    if (onBell) onBell();
}
