// The page (the control `Paper`): a widget that owns its retained image, which the print
// head draws on. White paper, black glyphs in the printer's typeface, one image pixel per
// head pixel times the device-pixel ratio, so glyphs stay crisp on dense screens while
// the head keeps its 225 x 297 grid. A refresh repaints only what changed since the last.
// Beside the image it keeps what the page says, as text, for assistive technology, and
// tells it when that changes. Takes the keyboard focus with Tab, so that a screen reader
// can reach it; it has no key or mouse actions.
#pragma once

#include <QImage>
#include <QRawFont>
#include <QRect>
#include <QWidget>

#include "printhead/page.h"
#include "printhead/page_text.h"

class Paper : public QWidget, public General::Page {
public:
    // `devicePixelRatio` 0 takes the application's.
    explicit Paper(QWidget* parent = nullptr, qreal devicePixelRatio = 0);

    // What the page shows, at the device-pixel ratio.
    const QImage& image() const { return image_; }
    // What the page says, as text.
    const General::PageText& text() const { return text_; }
    QString Text() const;

    void DrawGlyph(int x, int y, std::uint8_t code) override;
    void Refresh() override;
    void Clear() override;
    void Bell() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Tells assistive technology how the text changed since the last time it was told.
    void AnnounceText();

    QImage image_;
    QRawFont font_;  // loaded with the first glyph: a start-up shows an empty page
    QRect dirty_;  // in page pixels: drawn, not yet shown
    General::PageText text_;
    QString announced_;  // the text as assistive technology last heard it
};
