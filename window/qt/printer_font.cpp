#include "window/qt/printer_font.h"

#include <QFile>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QPainter>
#include <QResource>

#include <string_view>

#include "common/windows1252.h"
#include "window/truetype.h"

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

// Registering a font has the toolkit load the machine's whole font configuration and
// match the font against it before the window can show: the largest part of the window's
// start. The machine's copy of the very file the program carries (Debian's
// fonts-liberation2, which it was taken from: the same length and the same checksum)
// needs none of that, and looks the same; fontconfig prefers it to an older Liberation
// Sans.
QString PrinterFontFamily() {
    static const QString family = [] {
        const QByteArray ours = PrinterFontData();
        QFile installed(QStringLiteral(PEXAL_SYSTEM_PRINTER_FONT));
        // Mapped, the installed file is read only where its head table lies.
        const uchar* mapped = installed.size() == ours.size() && installed.open(QIODevice::ReadOnly)
                                  ? installed.map(0, installed.size())
                                  : nullptr;
        if (mapped != nullptr) {
            const std::string_view theirs(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(ours.size()));
            const std::string_view head = truetype::Table(theirs, "head");
            if (!head.empty() && head == truetype::Table({ours.constData(), static_cast<std::size_t>(ours.size())}, "head")) {
                return QStringLiteral("Liberation Sans");
            }
        }
        const int id = QFontDatabase::addApplicationFontFromData(PrinterFontData());
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QStringLiteral("Liberation Sans") : families.front();
    }();
    return family;
}

quint32 DrawCode(QPainter& painter, const QRawFont& font, QPointF cell, std::uint8_t code, QPointF* baseline) {
    const quint32 glyph = font.glyphIndexesForString(QString(QChar(pexal::FromWindows1252(code)))).value(0);
    QGlyphRun run;
    run.setRawFont(font);
    run.setGlyphIndexes({glyph});
    run.setPositions({QPointF(0, 0)});
    *baseline = cell + QPointF(0, qRound(font.ascent()));
    painter.drawGlyphRun(*baseline, run);
    return glyph;
}
