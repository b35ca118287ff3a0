// The page (the control `Paper`): a widget that owns its retained image, which the print
// head draws on. White paper, black glyphs in the printer's typeface, one image pixel per
// head pixel times the device-pixel ratio, so glyphs stay crisp on dense screens while
// the head keeps its 225 x 297 grid. A refresh repaints only what changed since the last.
// Beside the image it keeps the page's reading model and delivers its news to assistive
// technology. Takes the keyboard focus with Tab, so that a screen reader can reach it;
// there the arrow, Home and End keys move the reading caret, and the Menu key or
// Shift+F10 opens its context menu (the window's actions for keeping the page).
#pragma once

#include <QImage>
#include <QRawFont>
#include <QRect>
#include <QWidget>

#include "printhead/page.h"
#include "printhead/reading.h"

class Announcer;

class Paper : public QWidget, public General::Page {
public:
    // `devicePixelRatio` 0 takes the application's.
    explicit Paper(QWidget* parent = nullptr, qreal devicePixelRatio = 0);

    // What the page shows, at the device-pixel ratio.
    const QImage& image() const { return image_; }
    // What the page says, as assistive technology has been told it.
    const General::Reading& reading() const { return reading_; }
    // What was struck on the page, to keep it.
    const General::PageRecord& record() const { return reading_.Record(); }
    QString Text() const;

    // After each poll tick, with the head's position: tells assistive technology what
    // was printed, in words.
    void Tick(int headX, int headY);
    // A reading caret put by assistive technology.
    void SetCaret(int offset);

    void DrawGlyph(int x, int y, std::uint8_t code) override;
    void Refresh() override;
    void Clear() override;
    void Bell() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Tell(const General::ReadingNews& news);

    QImage image_;
    QRawFont font_;  // loaded with the first glyph: a start-up shows an empty page
    QRect dirty_;  // in page pixels: drawn, not yet shown
    General::Reading reading_;
    Announcer* announcer_ = nullptr;  // made with the first announcement
};
