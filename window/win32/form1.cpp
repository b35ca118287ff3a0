#include "window/win32/form1.h"

#include <oleacc.h>
#include <windowsx.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/facts.h"
#include "common/text.h"
#include "window/keep.h"
#include "window/session.h"
#include "window/sheet.h"
#include "window/win32/accessible.h"
#include "window/win32/gdi.h"
#include "window/win32/paper.h"
#include "window/win32/keeping.h"
#include "window/win32/resources.h"

namespace {

constexpr UINT_PTR kTimer1 = 1;
constexpr int kNewPageId = 101;
// The page's menu and its shortcuts: command kFirstActionId + the action.
constexpr int kFirstActionId = 201;
constexpr int IdOf(printer::Action action) { return kFirstActionId + static_cast<int>(action); }

// The density the sheet was designed at: 96 dots an inch, 15 twips a pixel.
constexpr double kDesignDpi = 96;
// Above this scale the illustration is taken from its 2x rendering.
constexpr double kTwoXFrom = 1.25;

COLORREF ToColorRef(const sheet::Rgb& rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

// Everything the window owns; lives from WM_CREATE until WM_DESTROY.
struct Form1 {
    double scale = 1;  // device pixels a layout pixel (the monitor's dpi / 96)
    std::string face;         // the typeface of the page
    std::string controlFace;  // the label's and the button's
    Gdi<HBRUSH> green{CreateSolidBrush(ToColorRef(sheet::kPaperGreen))};
    Gdi<HFONT> pageFont, labelFont, buttonFont;
    Gdi<HBITMAP> illustration;
    HWND label1 = nullptr, newPage = nullptr, picture1 = nullptr;
    std::unique_ptr<Paper> paper;
    std::unique_ptr<printer::Session> session;  // from the load step on
    std::optional<AccessibleWindow> pictureAccessible;  // a picture has no text to be named by

    int Scaled(int twips) const {
        return static_cast<int>(twips * scale / sheet::kTwipsPerPixel + 0.5);
    }
    // The one place a twips rectangle becomes device pixels.
    RECT Box(const sheet::Twips& t) const {
        return {Scaled(t.left), Scaled(t.top), Scaled(t.left + t.width), Scaled(t.top + t.height)};
    }
};

bool HasFace(const char* name) {
    bool found = false;
    const HDC screen = GetDC(nullptr);
    LOGFONTA wanted = {};
    wanted.lfCharSet = ANSI_CHARSET;
    lstrcpynA(wanted.lfFaceName, name, LF_FACESIZE);
    EnumFontFamiliesExA(
        screen, &wanted,
        [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM any) -> int {
            *reinterpret_cast<bool*>(any) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The font the program carries, for a system without Arial.
std::string_view PrinterFontData(HINSTANCE instance) {
    const HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(kPrinterFontId), RT_RCDATA);
    const HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    if (loaded == nullptr) return {};
    return {static_cast<const char*>(LockResource(loaded)), SizeofResource(instance, found)};
}

// Arial when the system has it; otherwise (under Wine, say) the Liberation Sans the
// program carries, which has Arial's metrics. The page never draws in a fallback face.
std::string PrinterFace(HINSTANCE instance) {
    if (HasFace("Arial")) return "Arial";
    const std::string_view font = PrinterFontData(instance);
    DWORD installed = 0;
    if (!font.empty()) {
        AddFontMemResourceEx(const_cast<char*>(font.data()), static_cast<DWORD>(font.size()), nullptr, &installed);
    }
    if (installed == 0) {
        pexal::Say(pexal::kPrinter, "warning: cannot load the page's font; the page is drawn in another");
    }
    return "Liberation Sans";
}

// The page's menu's commands; a dialog runs its own message loop, so the timer goes on
// polling while it is open.
void Do(HWND window, Form1& form, printer::Action action) {
    printer::Session& session = *form.session;
    if (action == printer::Action::kCopyText) {
        win32keep::CopyText(window, session.Text());
    } else if (action == printer::Action::kPrint) {
        win32keep::PrintPages(window, session.Pages(), form.face);
    } else {
        const bool all = action == printer::Action::kSaveAllPages;
        const std::optional<keep::Target> target = win32keep::AskSavePath(window, all, session.SaveFolder());
        if (!target) return;
        session.SaveInBackground(*target, all, {[window] { return win32keep::ClientPng(window); }, "\r\n"});
    }
}

void ShowPageMenu(HWND window, Form1& form, LPARAM at) {
    POINT where = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (where.x == -1 && where.y == -1) {  // from the keyboard: at the page's top left
        RECT page;
        GetWindowRect(form.paper->window(), &page);
        where = {page.left, page.top};
    }
    const HMENU menu = CreatePopupMenu();
    for (const printer::ActionItem& item : printer::kActions) {
        const std::wstring text = win32keep::Wide(std::string(item.label) + "\t" + item.keys);
        AppendMenuW(menu, MF_STRING, IdOf(item.action), text.c_str());
    }
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, where.x, where.y, 0, window, nullptr);
    DestroyMenu(menu);
}

// The label and the button are designed in MS Sans Serif, which Windows maps to its own
// sans serif (and Wine has as a bitmap face); where it is missing, the page's face.
std::string ControlFace(const std::string& pageFace) {
    return HasFace("MS Sans Serif") ? "MS Sans Serif" : pageFace;
}

// The page's font is an outline font, always: its glyphs must scale with the screen.
HFONT Font(const std::string& face, int pixelHeight, bool outlineOnly = true) {
    return CreateFontA(-pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       outlineOnly ? OUT_TT_ONLY_PRECIS : OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       face.c_str());
}

// The one place the window says it cannot start: on standard error, and in a box, since
// a program started from the desktop has nobody reading its standard error. Returns what
// WM_CREATE answers to stop the window being made.
LRESULT Refuse(const char* what) {
    static bool said = false;  // a refused WM_CREATE fails the window as well: one box
    if (std::exchange(said, true)) return -1;
    const DWORD error = GetLastError();
    char line[160];
    std::snprintf(line, sizeof line, "cannot start: could not make %s (error %lu)", what, error);
    pexal::Say(pexal::kPrinter, line);
    MessageBoxA(nullptr, line, sheet::kCaption, MB_OK | MB_ICONERROR);
    return -1;
}

int PointsToPixels(double points, double scale) {
    return static_cast<int>(points * kDesignDpi / 72 * scale + 0.5);
}

// The fonts and the illustration at the form's scale; what they replace is deleted
// only once every control has been given the new ones.
struct Art {
    Gdi<HFONT> pageFont, labelFont, buttonFont;
    Gdi<HBITMAP> illustration;
};

Art MakeArt(const Form1& form, HINSTANCE instance) {
    Art art;
    art.pageFont.Reset(Font(form.face, PointsToPixels(sheet::kFontPoints, form.scale)));
    art.labelFont.Reset(
        Font(form.controlFace, PointsToPixels(sheet::kLabelFontPoints, form.scale), false));
    art.buttonFont.Reset(
        Font(form.controlFace, PointsToPixels(sheet::kFontPoints, form.scale), false));
    const int bitmap = form.scale > kTwoXFrom ? kIllustration2xId : kIllustrationId;
    art.illustration.Reset(static_cast<HBITMAP>(
        LoadImageA(instance, MAKEINTRESOURCEA(bitmap), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    return art;
}

// Hands the new art to the form and to the controls that show it; the old goes with `art`.
void TakeArt(Form1& form, Art& art) {
    std::swap(form.pageFont, art.pageFont);
    std::swap(form.labelFont, art.labelFont);
    std::swap(form.buttonFont, art.buttonFont);
    std::swap(form.illustration, art.illustration);
    if (form.picture1 != nullptr) {
        SendMessageA(form.picture1, STM_SETIMAGE, IMAGE_BITMAP,
                     reinterpret_cast<LPARAM>(form.illustration.get()));
    }
}

// The illustration's STATIC, with WM_GETOBJECT answered by the form's AccessibleWindow.
constexpr char kAccessibleProperty[] = "PexalAccessible";
WNDPROC staticProcedure = nullptr;

LRESULT CALLBACK PictureProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_GETOBJECT) {
        auto* accessible = static_cast<AccessibleWindow*>(GetPropA(window, kAccessibleProperty));
        if (accessible != nullptr) {
            if (const LRESULT object = accessible->Answer(w, l)) return object;
        }
    }
    if (message == WM_NCDESTROY) RemovePropA(window, kAccessibleProperty);
    return CallWindowProcA(staticProcedure, window, message, w, l);
}

void NamePicture(Form1& form) {
    form.pictureAccessible.emplace(form.picture1,
                                   AccessibleWindow::Traits{reinterpret_cast<const wchar_t*>(sheet::kPictureName),
                                                            ROLE_SYSTEM_GRAPHIC, 0});
    SetPropA(form.picture1, kAccessibleProperty, &*form.pictureAccessible);
    staticProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        form.picture1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PictureProcedure)));
}

// False when a control could not be made: the window is not worth showing without it.
bool CreateControls(HWND window, Form1& form, HINSTANCE instance) {
    Art art = MakeArt(form, instance);
    TakeArt(form, art);
    auto place = [&](const char* kind, const std::string& text, DWORD style,
                     const sheet::Control& control, int id, HFONT font) {
        const RECT box = form.Box(control.box);
        const HWND made = CreateWindowExA(0, kind, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                                          box.left, box.top, box.right - box.left,
                                          box.bottom - box.top, window,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                          instance, nullptr);
        SendMessageA(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return made;
    };
    // Created in the designed tab order: Label1, NewPage, Paper, Picture1.
    form.label1 = place("STATIC", sheet::Label1Caption(), SS_LEFT, sheet::kLabel1, 0,
                        form.labelFont.get());
    form.newPage = place("BUTTON", sheet::kNewPageCaption, WS_TABSTOP | BS_PUSHBUTTON,
                         sheet::kNewPage, kNewPageId, form.buttonFont.get());
    form.paper = std::make_unique<Paper>(window, form.Box(sheet::kPaper.box), form.scale,
                                         form.pageFont.get());
    form.picture1 = place("STATIC", "", SS_BITMAP | SS_CENTERIMAGE, sheet::kPicture1, 0, nullptr);
    NamePicture(form);
    SendMessageA(form.picture1, STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(form.illustration.get()));
    return form.label1 != nullptr && form.newPage != nullptr && form.paper->ok() &&
           form.picture1 != nullptr && form.pageFont.get() != nullptr;
}

// The window at another density (a monitor of more or fewer dots per inch): new fonts,
// every control moved, the page drawn again at the new size, the illustration at 1x or 2x.
void Rescale(HWND window, Form1& form, double scale, HINSTANCE instance) {
    form.scale = scale;
    Art old = MakeArt(form, instance);
    TakeArt(form, old);  // `old` now holds what the controls still show until moved
    const auto move = [&](HWND control, const sheet::Control& where, HFONT font) {
        const RECT box = form.Box(where.box);
        MoveWindow(control, box.left, box.top, box.right - box.left, box.bottom - box.top, TRUE);
        if (font != nullptr) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    };
    move(form.label1, sheet::kLabel1, form.labelFont.get());
    move(form.newPage, sheet::kNewPage, form.buttonFont.get());
    move(form.picture1, sheet::kPicture1, nullptr);
    form.paper->Rescale(form.Box(sheet::kPaper.box), scale, form.pageFont.get());
    InvalidateRect(window, nullptr, TRUE);
}

// The density of the monitor a window is on, where Windows can say (10 and later).
double WindowScale(HWND window, double otherwise) {
    using GetDpi = UINT(WINAPI*)(HWND);
    const auto get = reinterpret_cast<GetDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    const UINT dpi = get != nullptr ? get(window) : 0;
    return dpi > 0 ? dpi / kDesignDpi : otherwise;
}

// The perforations and the sprocket holes on the green sheet.
void DrawDecoration(HDC dc, const Form1& form) {
    for (const sheet::Dash& dash : sheet::Line1) {
        // LineTo stops short of its end point: a dash covers [x1, x2).
        MoveToEx(dc, form.Scaled(dash.x1), form.Scaled(dash.y), nullptr);
        LineTo(dc, form.Scaled(dash.x2), form.Scaled(dash.y));
    }
    const Selected pen(dc, GetStockObject(BLACK_PEN));
    for (const sheet::Hole& hole : sheet::Shape1) {
        const HBRUSH white = hole.fill == sheet::HoleFill::kSolidWhite
                                 ? static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))
                                 : GetSysColorBrush(COLOR_WINDOW);
        const Selected brush(dc, white);
        const RECT box = form.Box({hole.left, hole.top, sheet::kHoleSize, sheet::kHoleSize});
        Ellipse(dc, box.left, box.top, box.right, box.bottom);
    }
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_CREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(l);
            form = static_cast<Form1*>(create->lpCreateParams);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
            if (!CreateControls(window, *form, create->hInstance)) return Refuse("the window's controls");
            // The load step: the head is ready before the timer's first tick.
            form->session = std::make_unique<printer::Session>(*form->paper);
            form->paper->Show(form->session.get());
            // Without its timer the printer would show a page and never take a byte.
            if (SetTimer(window, kTimer1, static_cast<UINT>(pexal::kPollInterval.count()),
                         nullptr) == 0) {
                return Refuse("the poll timer");
            }
            return 0;
        }
        case WM_DPICHANGED: {
            Rescale(window, *form, HIWORD(w) / kDesignDpi, GetModuleHandleA(nullptr));
            const RECT* suggested = reinterpret_cast<const RECT*>(l);
            SetWindowPos(window, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_TIMER:
            if (w == kTimer1) {
                form->paper->Tell(form->session->Tick());
                for (const std::string& failed : form->session->SaveFailures()) win32keep::Warn(window, failed);
            }
            return 0;
        case WM_COMMAND:
            if (LOWORD(w) == kNewPageId && HIWORD(w) == BN_CLICKED) {
                form->paper->Tell(form->session->NewPage());
            } else if (LOWORD(w) >= kFirstActionId && LOWORD(w) < kFirstActionId + std::size(printer::kActions)) {
                Do(window, *form, static_cast<printer::Action>(LOWORD(w) - kFirstActionId));
            }
            return 0;
        case WM_CONTEXTMENU:  // the page passes its own up (right click, Menu, Shift+F10)
            if (reinterpret_cast<HWND>(w) == form->paper->window()) ShowPageMenu(window, *form, l);
            return 0;
        case WM_CTLCOLORSTATIC:  // the label and the illustration stand on the green sheet
            SetBkColor(reinterpret_cast<HDC>(w), ToColorRef(sheet::kPaperGreen));
            return reinterpret_cast<LRESULT>(form->green.get());
        case WM_PAINT: {
            PAINTSTRUCT paint;
            DrawDecoration(BeginPaint(window, &paint), *form);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_PRINTCLIENT:  // the window drawn into a bitmap, to keep it as a picture
            DrawDecoration(reinterpret_cast<HDC>(w), *form);
            return 0;
        case WM_DESTROY:
            KillTimer(window, kTimer1);
            if (form->paper) form->paper->Show(nullptr);
            form->session.reset();
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, w, l);
    }
}

double MonitorScale() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi / kDesignDpi : 1.0;
}

}  // namespace

int RunForm1(HINSTANCE instance, int show, const std::string& className) {
    Form1 form;
    form.scale = MonitorScale();
    form.face = PrinterFace(instance);
    form.controlFace = ControlFace(form.face);
    Paper::Register(instance);

    WNDCLASSA sheetClass = {};
    sheetClass.lpfnWndProc = Procedure;
    sheetClass.hInstance = instance;
    sheetClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconId));
    sheetClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    sheetClass.hbrBackground = form.green.get();
    sheetClass.lpszClassName = className.c_str();
    if (RegisterClassA(&sheetClass) == 0) return Refuse("the window class"), 1;

    // A fixed client area, sized by the sheet; the window can be moved and minimised.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame = form.Box(sheet::kClientArea);
    AdjustWindowRect(&frame, style, FALSE);
    const HWND window = CreateWindowExA(0, className.c_str(), sheet::kCaption, style, CW_USEDEFAULT,
                                        CW_USEDEFAULT, frame.right - frame.left,
                                        frame.bottom - frame.top, nullptr, nullptr, instance, &form);
    if (window == nullptr) return Refuse("the window"), 1;
    // Per-monitor aware: the window opens at its own monitor's density.
    if (const double scale = WindowScale(window, form.scale); scale != form.scale) {
        Rescale(window, form, scale, instance);
        RECT sized = form.Box(sheet::kClientArea);
        AdjustWindowRect(&sized, style, FALSE);
        SetWindowPos(window, nullptr, 0, 0, sized.right - sized.left, sized.bottom - sized.top,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    ShowWindow(window, show);
    UpdateWindow(window);

    // The page's shortcuts, wherever the focus is in the window.
    std::vector<ACCEL> keys;
    for (const printer::ActionItem& item : printer::kActions) {
        const BYTE modifiers = FVIRTKEY | FCONTROL | (item.shift ? FSHIFT : 0);
        keys.push_back({modifiers, static_cast<WORD>(item.key), static_cast<WORD>(IdOf(item.action))});
    }
    const HACCEL shortcuts = CreateAcceleratorTableA(keys.data(), static_cast<int>(keys.size()));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(window, shortcuts, &message) && !IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    DestroyAcceleratorTable(shortcuts);
    return static_cast<int>(message.wParam);
}
