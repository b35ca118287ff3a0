// The page (the control `Paper`): a widget that owns its retained image, which the print
// head draws on. White paper, black glyphs in the printer's typeface, one image pixel per
// head pixel times the device-pixel ratio, so glyphs stay crisp on dense screens while
// the head keeps its 225 x 297 grid. A refresh repaints only what changed since the last.
#pragma once

#include <QImage>
#include <QRawFont>
#include <QRect>
#include <QWidget>

#include "printhead/page.h"

class Paper : public QWidget, public General::Page {
public:
    // `devicePixelRatio` 0 takes the application's.
    explicit Paper(QWidget* parent = nullptr, qreal devicePixelRatio = 0);

    // What the page shows, at the device-pixel ratio.
    const QImage& image() const { return image_; }

    void DrawGlyph(int x, int y, std::uint8_t code) override;
    void Refresh() override;
    void Clear() override;
    void Bell() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    QRawFont font_;
    QRect dirty_;  // in page pixels: drawn, not yet shown
};
