// The printer's typeface, Liberation Sans 2, from the program's own resources so that the
// page looks the same whatever fonts the machine has: its data (which the page draws
// from), and its family as registered with the toolkit (for the window's own text).
// Needs a QGuiApplication.
#pragma once

#include <QByteArray>
#include <QPointF>
#include <QRawFont>
#include <QString>

#include <cstdint>

class QPainter;

// 9.75 points at 96 pixels an inch: the page's glyphs are this many pixels high.
inline constexpr int kPrinterFontPixelSize = 13;

QByteArray PrinterFontData();
QString PrinterFontFamily();

// Like TextOutA: the glyph `font` has for windows-1252 `code`, with no text shaping (which
// would hide a soft hyphen, say), the missing-glyph mark for a character it lacks, drawn
// standing on its baseline in the cell whose top-left corner is `cell`. Returns the glyph
// and where its baseline began.
quint32 DrawCode(QPainter& painter, const QRawFont& font, QPointF cell, std::uint8_t code, QPointF* baseline);
