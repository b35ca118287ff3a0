// "Is there ink here": any pixel darker than `paper` allows, inside an image's rectangle.
#pragma once

#include <QImage>
#include <QRect>

namespace pexal_test {

// True when some pixel of `area` (clipped to the image) has a grey level below `below`.
inline bool InkIn(const QImage& image, const QRect& area, int below = 255) {
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (qGray(image.pixel(x, y)) < below) return true;
        }
    }
    return false;
}

// The smallest rectangle holding every pixel darker than `below`.
inline QRect InkBox(const QImage& image, int below = 255) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < below) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

}  // namespace pexal_test
