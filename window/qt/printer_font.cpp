#include "window/qt/printer_font.h"

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

QString PrinterFontFamily() {
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFontFromData(PrinterFontData());
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QStringLiteral("Liberation Sans") : families.front();
    }();
    return family;
}
