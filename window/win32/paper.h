// The page on screen for the native Windows front-end (the control `Paper`): a retained
// bitmap (a DIB section in a memory device context), the surface the printed page draws
// on with TextOutA, shown by a child window that repaints only what a character changed.
// The head keeps its 225 x 297 grid; the bitmap has the monitor's pixel density.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "window/session.h"
#include "window/win32/gdi.h"
#include "window/win32/page_automation.h"

class Paper : public printer::Surface {
public:
    // Registers the page's window class; once, before the first Paper.
    static void Register(HINSTANCE instance);

    // A page window inside `parent` at `box` (in device pixels), `scale` device pixels a
    // head pixel, drawing in `font` (not owned; must outlive the page). UI Automation
    // finds it as a document named "Page" (see PageAutomation); when it has the focus the
    // arrow, Home and End keys move the reading caret, which the system caret follows.
    Paper(HWND parent, const RECT& box, double scale, HFONT font);
    ~Paper() override;
    Paper(const Paper&) = delete;
    Paper& operator=(const Paper&) = delete;
    HWND window() const { return window_; }
    // Whether the window and its page image were both made.
    bool ok() const { return window_ != nullptr && bitmap_.get() != nullptr; }
    PageAutomation* automation() { return automation_ ? &*automation_ : nullptr; }
    // The session whose page this is, read by UI Automation and moved by the keys.
    void Show(printer::Session* session) { session_ = session; }
    // What assistive technology is to be told, passed on to UI Automation and the caret.
    void Tell(const General::ReadingNews& news);

    // For a monitor of another density: a new bitmap at `scale` with `font`, the page's
    // characters drawn again on it (crisp, not stretched), and the window moved to `box`.
    void Rescale(const RECT& box, double scale, HFONT font);

    void DrawGlyph(int x, int y, std::uint8_t code) override;
    void Invalidate() override;
    void Fill() override;
    void Bell() override;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    int Scaled(int pixels) const { return static_cast<int>(pixels * scale_ + 0.5); }
    void MakeBitmap();
    bool Key(WPARAM key);  // false: not a key of the page's
    void PlaceCaret();

    HWND window_ = nullptr;
    double scale_;
    HFONT font_;
    MemoryDc memory_;
    Gdi<HBITMAP> bitmap_;
    HGDIOBJ initialBitmap_ = nullptr;
    RECT dirty_ = {};
    printer::Session* session_ = nullptr;
    bool focused_ = false;
    std::optional<PageAutomation> automation_;
};
