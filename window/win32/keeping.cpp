#include "window/win32/keeping.h"

#include <commdlg.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <vector>

#include "common/windows1252.h"
#include "window/png.h"
#include "window/session.h"
#include "window/sheet.h"
#include "window/sheet_picture.h"
#include "window/win32/gdi.h"

namespace win32keep {

std::wstring Wide(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

bool CopyText(HWND owner, const std::u16string& text) {
    std::u16string crlf;
    for (const char16_t c : text) crlf += c == u'\n' ? std::u16string(u"\r\n") : std::u16string(1, c);
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (crlf.size() + 1) * sizeof(char16_t));
    if (memory == nullptr) return false;
    auto* to = static_cast<char16_t*>(GlobalLock(memory));
    std::copy(crlf.begin(), crlf.end(), to);
    to[crlf.size()] = u'\0';
    GlobalUnlock(memory);
    if (!OpenClipboard(owner)) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    const bool put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!put) GlobalFree(memory);  // the clipboard owns it only once it took it
    CloseClipboard();
    return put;
}

std::optional<keep::Target> AskSavePath(HWND owner, bool allPages, const std::filesystem::path& folder) {
    const std::time_t now = std::time(nullptr);
    std::wstring name = Wide(keep::DefaultName(*std::localtime(&now), keep::Format::kPdf));
    name.resize(MAX_PATH * 4);
    std::wstring filter;  // "PDF\0*.pdf\0...", ended by an empty pair
    for (int k = 0; k < keep::TypesOffered(allPages); ++k) {
        filter += Wide(keep::kFileTypes[k].name) + L'\0' + L'*' + Wide(keep::kFileTypes[k].extension) + L'\0';
    }
    const std::wstring title = Wide(printer::ItemOf(allPages ? printer::Action::kSaveAllPages
                                                            : printer::Action::kSavePage).label);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = title.c_str();
    const std::wstring initial = folder.wstring();
    if (!initial.empty()) dialog.lpstrInitialDir = initial.c_str();
    dialog.lpstrDefExt = L"pdf";  // the chosen type's extension when the name has none
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetSaveFileNameW(&dialog)) return std::nullopt;
    return keep::Resolve(std::filesystem::path(name.c_str()), static_cast<int>(dialog.nFilterIndex) - 1, allPages);
}

namespace {

// A top-down 32-bit bitmap selected into a memory context of its own.
struct Canvas32 {
    Canvas32(int width, int height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        before = SelectObject(dc.get(), bitmap.get());
    }
    ~Canvas32() { SelectObject(dc.get(), before); }
    MemoryDc dc;
    Gdi<HBITMAP> bitmap;
    void* bits = nullptr;
    HGDIOBJ before = nullptr;
};

// `window` painting itself (WM_PRINT) into a bitmap of its size, at its origin: controls
// clip to their client area in the context's own coordinates.
void Print(HWND window, HDC into, int x, int y) {
    RECT client;
    GetClientRect(window, &client);
    Canvas32 own(client.right, client.bottom);
    SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(own.dc.get()), PRF_CLIENT | PRF_ERASEBKGND);
    BitBlt(into, x, y, client.right, client.bottom, own.dc.get(), 0, 0, SRCCOPY);
}

}  // namespace

// The window and each of its controls paint themselves into the picture: a copy of the
// screen would also take whatever covers the window, a closing dialog say.
std::string ClientPng(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    Canvas32 picture(client.right, client.bottom);
    if (picture.bits == nullptr) return {};
    Print(window, picture.dc.get(), 0, 0);
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        RECT box;
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
        Print(child, picture.dc.get(), box.left, box.top);
    }
    GdiFlush();
    return keep::Png(client.right, client.bottom, static_cast<const std::uint32_t*>(picture.bits));
}

namespace {

// The sheet onto a printer's device context, `scale` device pixels a sheet pixel.
class GdiCanvas final : public sheet::Canvas {
public:
    GdiCanvas(HDC dc, const sheet::Placement& place, const std::string& face)
        : dc_(dc), scale_(place.scale), x_(place.x), y_(place.y) {
        font_.Reset(CreateFontA(-S(sheet::kGlyphPixels), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                DEFAULT_PITCH, face.c_str()));
        pen_.Reset(CreatePen(PS_SOLID, std::max(1, S(1)), RGB(0, 0, 0)));
        oldFont_ = SelectObject(dc_, font_.get());
        oldPen_ = SelectObject(dc_, pen_.get());
        oldBrush_ = SelectObject(dc_, GetStockObject(WHITE_BRUSH));
        SetBkMode(dc_, TRANSPARENT);
        SetTextColor(dc_, RGB(0, 0, 0));
        SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    }
    ~GdiCanvas() override {  // a font or pen still selected could not be deleted
        SelectObject(dc_, oldFont_);
        SelectObject(dc_, oldPen_);
        SelectObject(dc_, oldBrush_);
    }
    void Fill(double x, double y, double width, double height, sheet::Rgb c) override {
        Gdi<HBRUSH> brush(CreateSolidBrush(RGB(c.red, c.green, c.blue)));
        const RECT box = {X(x), Y(y), X(x + width), Y(y + height)};
        FillRect(dc_, &box, brush.get());
    }
    void Dash(double x1, double x2, double y) override {
        MoveToEx(dc_, X(x1), Y(y + 0.5), nullptr);
        LineTo(dc_, X(x2), Y(y + 0.5));
    }
    void Hole(double x, double y, double size) override {
        Ellipse(dc_, X(x + 0.5), Y(y + 0.5), X(x + size - 0.5), Y(y + size - 0.5));
    }
    void Under(double x, double top, std::uint8_t code) override {  // text, on a printer's context
        const char c = static_cast<char>(code);
        TextOutA(dc_, X(x), Y(top), &c, 1);
    }

private:
    int S(double pixels) const { return static_cast<int>(pixels * scale_ + 0.5); }
    int X(double pixels) const { return static_cast<int>(x_ + pixels * scale_ + 0.5); }
    int Y(double pixels) const { return static_cast<int>(y_ + pixels * scale_ + 0.5); }
    HDC dc_;
    double scale_, x_, y_;
    Gdi<HFONT> font_;
    Gdi<HPEN> pen_;
    HGDIOBJ oldFont_ = nullptr, oldPen_ = nullptr, oldBrush_ = nullptr;
};

}  // namespace

bool PrintPages(HWND owner, const std::vector<General::PageRecord>& pages, const std::string& face) {
    PRINTPAGERANGE range = {1, static_cast<DWORD>(pages.size())};
    PRINTDLGEXW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.Flags = PD_RETURNDC | PD_NOSELECTION | PD_CURRENTPAGE;  // the current page, unless asked
    dialog.nPageRanges = 1;
    dialog.nMaxPageRanges = 1;
    dialog.lpPageRanges = &range;
    dialog.nMinPage = 1;
    dialog.nMaxPage = static_cast<DWORD>(pages.size());
    dialog.nStartPage = START_PAGE_GENERAL;
    const bool asked = PrintDlgExW(&dialog) == S_OK && dialog.dwResultAction == PD_RESULT_PRINT && dialog.hDC != nullptr;
    const sheet::PageSpan span = sheet::PagesToPrint(
        dialog.Flags & PD_PAGENUMS ? sheet::PrintRange::kFromTo
        : dialog.Flags & PD_CURRENTPAGE ? sheet::PrintRange::kCurrentPage : sheet::PrintRange::kAllPages,
        static_cast<int>(range.nFromPage), static_cast<int>(range.nToPage), static_cast<int>(pages.size()));
    bool printed = false;
    if (asked) {
        const HDC printer = dialog.hDC;
        DOCINFOW document = {};
        document.cbSize = sizeof document;
        document.lpszDocName = L"Pexal Printer pages";
        printed = StartDocW(printer, &document) > 0;
        const sheet::PrintChoice choice;  // the page alone: the system's dialog has no place to ask
        const sheet::Placement place = sheet::PlaceOnPaper(GetDeviceCaps(printer, HORZRES),
                                                           GetDeviceCaps(printer, VERTRES), choice);
        for (int k = span.first; printed && k <= span.last; ++k) {
            printed = StartPage(printer) > 0;
            if (!printed) break;
            {
                GdiCanvas canvas(printer, place, face);
                sheet::DrawPrinted(canvas, pages[k], choice);
            }
            printed = EndPage(printer) > 0;
        }
        printed = printed && EndDoc(printer) > 0;
    }
    if (dialog.hDC != nullptr) DeleteDC(dialog.hDC);
    if (dialog.hDevMode != nullptr) GlobalFree(dialog.hDevMode);
    if (dialog.hDevNames != nullptr) GlobalFree(dialog.hDevNames);
    return printed;
}

void Warn(HWND owner, const std::string& sentence) {
    MessageBoxW(owner, Wide(sentence).c_str(), Wide(sheet::kCaption).c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace win32keep
