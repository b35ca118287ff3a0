// The page as a retained image: white paper, black glyphs in the printer's typeface, one
// image pixel per head pixel (times the device-pixel ratio, so glyphs stay crisp on dense
// screens while the head keeps its 225 x 297 grid).
//
// Needs a QGuiApplication for its font. The callbacks let a widget show the image; the
// page works without them.
#pragma once

#include <QFont>
#include <QImage>
#include <QRawFont>
#include <QRect>
#include <functional>

#include "common/facts.h"
#include "printhead/page.h"

class PageImage : public General::Page {
public:
    static constexpr int kWidth = pexal::kPageWidth;
    static constexpr int kHeight = pexal::kPageHeight;

    explicit PageImage(qreal devicePixelRatio = 1.0);

    const QImage& image() const { return image_; }
    const QFont& font() const { return font_; }

    void DrawGlyph(int x, int y, std::uint8_t code) override;
    void Refresh() override;
    void Clear() override;
    void Bell() override;

    // Called with the area, in page pixels, that changed since the last refresh.
    std::function<void(const QRect&)> onRefresh;
    std::function<void()> onBell;

private:
    QImage image_;
    QFont font_;
    QRawFont rawFont_;
    QRect dirty_;
};

// The character a windows-1252 byte stands for; the five bytes the code page leaves
// undefined stand for the C1 control characters of the same number, as on Windows.
char16_t FromWindows1252(std::uint8_t code);

// The printer's typeface, Liberation Sans 2, from the program's own resources so that
// the page looks the same whatever fonts the machine has: its data, its family name as
// registered with the toolkit (for the window's own text), and its size on the page.
QByteArray PrinterFontData();
QString PrinterFontFamily();
QFont PrinterFont();
