// The printer's typeface, Liberation Sans 2, from the program's own resources so that the
// page looks the same whatever fonts the machine has: its data (which the page draws
// from), and its family as registered with the toolkit (for the window's own text).
// Needs a QGuiApplication.
#pragma once

#include <QByteArray>
#include <QString>

// 9.75 points at 96 pixels an inch: the page's glyphs are this many pixels high.
inline constexpr int kPrinterFontPixelSize = 13;

QByteArray PrinterFontData();
QString PrinterFontFamily();
