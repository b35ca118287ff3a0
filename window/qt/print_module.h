// Printing, in a module of its own that the window loads only when the user first asks
// to print: linking Qt's print support cost every start of the window a millisecond and
// a half, and most runs never print.
#pragma once

class QPagedPaintDevice;
class QWidget;

// Draws the page onto `device`, a printer's page; `context` is the caller's.
using PexalDrawOn = void (*)(QPagedPaintDevice& device, void* context);

// Asks, with the system's print dialog over `parent`, where and how to print, and prints
// one page with `draw` unless the user cancels. Whether it printed.
extern "C" bool PexalAskAndPrint(QWidget* parent, PexalDrawOn draw, void* context);

inline constexpr char kPexalAskAndPrint[] = "PexalAskAndPrint";
