#include "window/qt/pam.h"

#include <QFile>
#include <QList>

pexal::Status ReadPam(const QString& path, QImage* picture) {
    const pexal::Status unreadable = {pexal::Kind::kUnusable, path.toStdString(),
                                      "not a picture of 8-bit samples in PAM"};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {pexal::Kind::kUnusable, path.toStdString(), file.errorString().toStdString()};
    }
    const QByteArray data = file.readAll();
    const qsizetype end = data.indexOf("ENDHDR\n");
    if (!data.startsWith("P7\n") || end < 0) return unreadable;
    int width = 0, height = 0, depth = 0, maxval = 0;
    for (const QByteArray& line : data.left(end).split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() != 2) continue;
        const int value = words[1].toInt();
        if (words[0] == "WIDTH") width = value;
        if (words[0] == "HEIGHT") height = value;
        if (words[0] == "DEPTH") depth = value;
        if (words[0] == "MAXVAL") maxval = value;
    }
    const qsizetype pixels = end + 7;
    if (width <= 0 || height <= 0 || depth < 1 || depth > 4 || maxval != 255 ||
        data.size() - pixels < qsizetype(width) * height * depth) {
        return unreadable;
    }
    QImage image(width, height, QImage::Format_ARGB32);
    const auto* in = reinterpret_cast<const uchar*>(data.constData() + pixels);
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, in += depth) {
            const bool colour = depth >= 3, alpha = depth == 2 || depth == 4;
            const int grey = in[0];
            out[x] = qRgba(grey, colour ? in[1] : grey, colour ? in[2] : grey,
                           alpha ? in[depth - 1] : 255);
        }
    }
    *picture = image;
    return {};
}
