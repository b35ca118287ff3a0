// Printing, in a module of its own that the window loads only when the user first asks
// to print: linking Qt's print support cost every start of the window a millisecond and
// a half, and most runs never print.
#pragma once

class QPagedPaintDevice;
class QWidget;

// What the user chose to print: the current page, every page or pages `from` to `to`
// (from 1) of the run, and whether the whole sheet or the page alone.
struct PexalPrintJob {
    enum Range { kCurrentPage, kAllPages, kFromTo } range;
    int from, to;
    bool wholeSheet;
};

// Draws the pages asked for onto `device`, a printer; `context` is the caller's.
using PexalDrawOn = void (*)(QPagedPaintDevice& device, const PexalPrintJob& job, void* context);

// Asks, with the system's print dialog over `parent`, where to print, which of the run's
// `pages` (the current one, by default, or all, or a range) and whether the whole sheet
// (by default the page alone); prints them with `draw` unless the user cancels. Whether
// it printed.
extern "C" bool PexalAskAndPrint(QWidget* parent, int pages, PexalDrawOn draw, void* context);

inline constexpr char kPexalAskAndPrint[] = "PexalAskAndPrint";
