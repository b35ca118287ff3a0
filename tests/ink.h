// "Is there ink here", and where: pixels of an image picked by their colour.
#pragma once

#include <QImage>
#include <QRect>

namespace pexal_test {

// The smallest rectangle holding every pixel for which `pick(rgb)` holds.
template <typename Pick>
QRect BoxOf(const QImage& image, Pick pick) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (pick(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// The smallest rectangle holding every pixel darker than `below`.
inline QRect InkBox(const QImage& image, int below = 255) {
    return BoxOf(image, [below](QRgb rgb) { return qGray(rgb) < below; });
}

// The smallest rectangle holding every pixel of exactly `colour` (a window's background).
inline QRect AreaOf(const QImage& image, QRgb colour) {
    return BoxOf(image, [colour](QRgb rgb) { return (rgb & 0xFFFFFF) == (colour & 0xFFFFFF); });
}

// True when some pixel of `area` (clipped to the image) has a grey level below `below`.
inline bool InkIn(const QImage& image, const QRect& area, int below = 255) {
    return !InkBox(image.copy(area & image.rect()), below).isEmpty();
}

}  // namespace pexal_test
