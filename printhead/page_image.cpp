#include "printhead/page_image.h"

#include <QFontDatabase>
#include <QGlyphRun>
#include <QResource>
#include <QPainter>

namespace {

// 9.75 points at 96 pixels an inch.
constexpr int kFontPixelSize = 13;

}  // namespace

// A table of our own rather than a codec: loading one costs the printer a megabyte.
char16_t FromWindows1252(std::uint8_t code) {
    static constexpr char16_t k80To9F[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    return code >= 0x80 && code <= 0x9F ? k80To9F[code - 0x80] : char16_t{code};
}

QByteArray PrinterFontData() {
    static const QByteArray data = [] {
        Q_INIT_RESOURCE(printer_font);
        // Stored uncompressed, the font is read in place from the program's own pages,
        // and only the parts in use are ever loaded, instead of a copy of the whole file.
        const QResource file(":/fonts/LiberationSans-Regular.ttf");
        return file.compressionAlgorithm() == QResource::NoCompression
                   ? QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()),
                                             static_cast<qsizetype>(file.size()))
                   : file.uncompressedData();
    }();
    return data;
}

QString PrinterFontFamily() {
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFontFromData(PrinterFontData());
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

// The page draws from the font's own data, never through font matching, which would
// take a system font of the same family name (another version of it, even) instead.
PageImage::PageImage(qreal devicePixelRatio)
    : image_(qRound(kWidth * devicePixelRatio), qRound(kHeight * devicePixelRatio),
             QImage::Format_RGB32),
      font_(PrinterFont()),
      rawFont_(PrinterFontData(), kFontPixelSize) {
    image_.setDevicePixelRatio(devicePixelRatio);
    image_.fill(Qt::white);
}

void PageImage::DrawGlyph(int x, int y, std::uint8_t code) {
    // Like TextOutA: the font's glyph for the character, with no text shaping (which
    // would hide a soft hyphen, say); a character the font lacks shows its missing-glyph
    // mark. The cell's top-left corner is (x, y); glyphs stand on their baseline.
    const QString character(QChar(FromWindows1252(code)));
    const quint32 glyph = rawFont_.glyphIndexesForString(character).value(0);
    QGlyphRun run;
    run.setRawFont(rawFont_);
    run.setGlyphIndexes({glyph});
    run.setPositions({QPointF(0, 0)});
    const QPoint baseline(x, y + qRound(rawFont_.ascent()));
    QPainter painter(&image_);
    painter.setPen(Qt::black);
    painter.drawGlyphRun(baseline, run);
    const QRect cell(x, y, pexal::kCellWidth, pexal::kCellHeight);
    const QRect inked = rawFont_.boundingRect(glyph).toAlignedRect().translated(baseline);
    dirty_ |= cell.united(inked).adjusted(-1, -1, 1, 1);
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
