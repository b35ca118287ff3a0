#include "window/qt/printer_font.h"

#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QResource>

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

namespace {

// A TrueType file's 'head' table, which holds the checksum of the whole file; "" when
// `font` has none.
QByteArray HeadTable(QIODevice& font) {
    const QByteArray start = font.read(12);
    const int tables = start.size() == 12 ? (uchar(start[4]) << 8) | uchar(start[5]) : 0;
    const QByteArray directory = font.read(16 * tables);
    for (int k = 0; k + 16 <= directory.size(); k += 16) {
        if (directory.mid(k, 4) != "head") continue;
        const auto word = [&](int at) {
            return quint32(uchar(directory[at])) << 24 | uchar(directory[at + 1]) << 16 |
                   uchar(directory[at + 2]) << 8 | uchar(directory[at + 3]);
        };
        return font.seek(word(k + 8)) ? font.read(word(k + 12)) : QByteArray();
    }
    return {};
}

}  // namespace

// Registering a font has the toolkit load the machine's whole font configuration and
// match the font against it before the window can show: the largest part of the window's
// start. The machine's copy of the very file the program carries (Debian's
// fonts-liberation2, which it was taken from: the same length and the same checksum)
// needs none of that, and looks the same; fontconfig prefers it to an older Liberation
// Sans.
QString PrinterFontFamily() {
    static const QString family = [] {
        QByteArray ours = PrinterFontData();
        QBuffer carried(&ours);
        QFile installed(QStringLiteral(PEXAL_SYSTEM_PRINTER_FONT));
        if (installed.size() == ours.size() && installed.open(QIODevice::ReadOnly) &&
            carried.open(QIODevice::ReadOnly)) {
            const QByteArray head = HeadTable(installed);
            if (!head.isEmpty() && head == HeadTable(carried)) return QStringLiteral("Liberation Sans");
        }
        const int id = QFontDatabase::addApplicationFontFromData(PrinterFontData());
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QStringLiteral("Liberation Sans") : families.front();
    }();
    return family;
}
