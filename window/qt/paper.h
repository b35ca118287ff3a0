// The page (the control `Paper`): a widget that owns its retained image, the surface the
// printed page draws on. White paper, black glyphs in the printer's typeface, one image
// pixel per head pixel times the device-pixel ratio, so glyphs stay crisp on dense
// screens while the head keeps its 225 x 297 grid. A refresh repaints only what changed.
// Takes the keyboard focus with Tab, so that a screen reader can reach it; there the
// arrow, Home and End keys move the session's reading caret, Ctrl+Shift+P says where the
// print head is, and the Menu key or Shift+F10 opens its context menu (the window's
// actions for keeping the page).
#pragma once

#include <QImage>
#include <QRawFont>
#include <QRect>
#include <QWidget>

#include "window/session.h"

class Paper : public QWidget, public printer::Surface {
public:
    // `devicePixelRatio` 0 takes the application's.
    explicit Paper(QWidget* parent = nullptr, qreal devicePixelRatio = 0);

    // What the page shows, at the device-pixel ratio.
    const QImage& image() const { return image_; }
    // The session whose page this is, read by assistive technology and moved by the
    // keys; nullptr (a page alone) reads as empty.
    void Show(printer::Session* session) { session_ = session; }
    printer::Session* session() const { return session_; }
    // What assistive technology is to be told, passed on through the accessibility API.
    void Tell(const General::ReadingNews& news);

    void DrawGlyph(int x, int y, std::uint8_t code) override;
    void Invalidate() override;
    void Fill() override;
    void Bell() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    QImage image_;
    QRawFont font_;  // loaded with the first glyph: a start-up shows an empty page
    QRect dirty_;  // in page pixels: drawn, not yet shown
    printer::Session* session_ = nullptr;
};
