#include "window/win32/paper.h"

#include <algorithm>

#include "common/facts.h"
#include "common/text.h"

namespace {

constexpr char kClassName[] = "PexalPrinterPaper";

}  // namespace

void Paper::Register(HINSTANCE instance) {
    WNDCLASSA paper = {};
    paper.lpfnWndProc = Procedure;
    paper.hInstance = instance;
    paper.hCursor = LoadCursor(nullptr, IDC_ARROW);
    paper.lpszClassName = kClassName;
    RegisterClassA(&paper);  // a failure shows as a page window not made
}

Paper::Paper(HWND parent, const RECT& box, double scale, HFONT font) : scale_(scale), font_(font) {
    MakeBitmap();
    Fill();
    window_ = CreateWindowExA(0, kClassName, "Paper", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                              box.left, box.top, box.right - box.left, box.bottom - box.top,
                              parent, nullptr, GetModuleHandleA(nullptr), this);
    automation_.emplace(window_);
    automation_->Update([&](PageAutomation::State& state) { state.scale = scale_; });
}

// A bitmap the size of the page at this density, selected with the font.
void Paper::MakeBitmap() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Scaled(pexal::kPageWidth);
    info.bmiHeader.biHeight = -Scaled(pexal::kPageHeight);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Gdi<HBITMAP> made(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (made.get() == nullptr) {  // the record keeps every strike for the next density
        pexal::Say(pexal::kPrinter,
                   "cannot make the page's image (error " + std::to_string(GetLastError()) + ")");
    }
    const HGDIOBJ old = SelectObject(memory_.get(), made.get());
    if (initialBitmap_ == nullptr) initialBitmap_ = old;
    bitmap_.Reset(made.Release());
    SelectObject(memory_.get(), font_);
    SetBkMode(memory_.get(), TRANSPARENT);  // an overprinted character stays visible
    SetTextColor(memory_.get(), GetSysColor(COLOR_WINDOWTEXT));
    SetTextAlign(memory_.get(), TA_LEFT | TA_TOP | TA_NOUPDATECP);
}

void Paper::Rescale(const RECT& box, double scale, HFONT font) {
    SelectObject(memory_.get(), initialBitmap_);  // a selected bitmap cannot be deleted
    bitmap_.Reset();
    scale_ = scale;
    font_ = font;
    if (automation_) automation_->Update([&](PageAutomation::State& state) { state.scale = scale_; });
    MakeBitmap();
    if (session_ != nullptr) {
        session_->Page().Redraw();  // every character struck, drawn again crisp
    } else {
        Fill();
    }
    dirty_ = {};
    if (window_ != nullptr) {
        MoveWindow(window_, box.left, box.top, box.right - box.left, box.bottom - box.top, FALSE);
        InvalidateRect(window_, nullptr, FALSE);
    }
}

Paper::~Paper() {
    automation_.reset();
    if (window_ != nullptr) DestroyWindow(window_);
    SelectObject(memory_.get(), initialBitmap_);  // a selected bitmap cannot be deleted
}

void Paper::DrawGlyph(int x, int y, std::uint8_t code) {
    const char c = static_cast<char>(code);
    TextOutA(memory_.get(), Scaled(x), Scaled(y), &c, 1);
    SIZE size = {};
    GetTextExtentPoint32A(memory_.get(), &c, 1, &size);
    // The cell, and a glyph that reaches past it (a W, an overhang), both change.
    RECT cell = {Scaled(x) - 1, Scaled(y) - 1,
                 Scaled(x) + std::max<int>(size.cx, Scaled(pexal::kCellWidth)) + 2,
                 Scaled(y) + std::max<int>(size.cy, Scaled(pexal::kCellHeight)) + 1};
    if (IsRectEmpty(&dirty_)) {
        dirty_ = cell;
    } else {
        UnionRect(&dirty_, &dirty_, &cell);
    }
}

void Paper::Invalidate() {
    if (IsRectEmpty(&dirty_) || window_ == nullptr) return;
    InvalidateRect(window_, &dirty_, FALSE);
    dirty_ = {};
}

void Paper::Tell(const General::ReadingNews& news) {
    if (!automation_ || session_ == nullptr) return;
    if (news.caretMoved) PlaceCaret();
    automation_->Tell(session_->Reading(), news);
}

// The system caret stands where the reading caret is, so that magnifiers and readers
// that follow it land where the reader is.
void Paper::PlaceCaret() {
    if (!focused_ || session_ == nullptr) return;
    const pexal::Pixel at = session_->Reading().CaretCorner();
    SetCaretPos(Scaled(at.x), Scaled(at.y));
}

bool Paper::Key(WPARAM key) {
    using General::ReadingKey;
    ReadingKey reading;
    switch (key) {
        case VK_LEFT: reading = ReadingKey::kLeft; break;
        case VK_RIGHT: reading = ReadingKey::kRight; break;
        case VK_UP: reading = ReadingKey::kUp; break;
        case VK_DOWN: reading = ReadingKey::kDown; break;
        case VK_HOME: reading = ReadingKey::kHome; break;
        case VK_END: reading = ReadingKey::kEnd; break;
        default: {
            General::ReadingNews news;
            if (session_ == nullptr || key < 'A' || key > 'Z' ||
                !session_->Letter(static_cast<char>(key), GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0, &news)) {
                return false;
            }
            Tell(news);
            return true;
        }
    }
    if (session_ != nullptr) Tell(session_->Key(reading, GetKeyState(VK_CONTROL) < 0));
    return true;
}

void Paper::Fill() {
    const RECT all = {0, 0, Scaled(pexal::kPageWidth), Scaled(pexal::kPageHeight)};
    FillRect(memory_.get(), &all, GetSysColorBrush(COLOR_WINDOW));
    dirty_ = all;
}

void Paper::Bell() { MessageBeep(MB_OK); }

LRESULT CALLBACK Paper::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(l);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* paper = reinterpret_cast<Paper*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(window, &paint);
            const RECT& r = paint.rcPaint;  // only what changed
            BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, paper->memory_.get(),
                   r.left, r.top, SRCCOPY);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;  // the bitmap covers everything
        case WM_PRINTCLIENT:
            if (paper != nullptr) {
                BitBlt(reinterpret_cast<HDC>(w), 0, 0, paper->Scaled(pexal::kPageWidth),
                       paper->Scaled(pexal::kPageHeight), paper->memory_.get(), 0, 0, SRCCOPY);
            }
            return 0;
        case WM_GETOBJECT:
            if (paper != nullptr && paper->automation_) {
                if (const LRESULT object = paper->automation_->Answer(w, l)) return object;
            }
            break;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;  // the dialog loop would move the focus with them
        case WM_KEYDOWN:
            if (paper != nullptr && paper->Key(w)) return 0;
            break;
        case WM_LBUTTONDOWN:
            SetFocus(window);
            return 0;
        case PageAutomation::kTakeFocus:
            SetFocus(window);
            return 0;
        case PageAutomation::kPutCaret:
            if (paper != nullptr && paper->session_ != nullptr) paper->Tell(paper->session_->PutCaret(static_cast<int>(w)));
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            if (paper == nullptr) break;
            paper->focused_ = message == WM_SETFOCUS;
            if (paper->automation_) {
                paper->automation_->Update([&](PageAutomation::State& state) { state.focused = paper->focused_; });
            }
            if (paper->focused_) {
                CreateCaret(window, nullptr, std::max(1, paper->Scaled(1)), paper->Scaled(pexal::kCellHeight));
                paper->PlaceCaret();
                ShowCaret(window);
                if (paper->session_ != nullptr) paper->Tell(paper->session_->Focused());
            } else {
                DestroyCaret();
            }
            return 0;
        case WM_DESTROY:
            // UI Automation lets go of the window's providers.
            if (const auto answer = uia::Library::Get().ReturnRawElementProvider) answer(window, 0, 0, nullptr);
            break;
        case WM_NCDESTROY:
            if (paper != nullptr) paper->window_ = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, w, l);
}
