// An MSAA client, as a screen reader on Windows is one: finds the printer's window and
// prints what its page and its illustration say through IAccessible, one line each:
//   page name=Page role=42 readonly=1 value=Hi\nthere
//   picture name=Printer role=40
// Exit 0 when the window was found, 1 when not.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
    if (text == nullptr) return "";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    std::string escaped;
    for (const char c : out) escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    return escaped;
}

void Describe(const char* what, HWND window) {
    IAccessible* object = nullptr;
    if (window == nullptr ||
        FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                          __uuidof(IAccessible), reinterpret_cast<void**>(&object)))) {
        std::printf("%s none\n", what);
        return;
    }
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr, value = nullptr;
    VARIANT role, state;
    VariantInit(&role);
    VariantInit(&state);
    object->get_accName(self, &name);
    object->get_accRole(self, &role);
    object->get_accState(self, &state);
    const bool hasValue = SUCCEEDED(object->get_accValue(self, &value)) && value != nullptr;
    std::printf("%s name=%s role=%ld readonly=%d", what, Utf8(name).c_str(),
                role.vt == VT_I4 ? role.lVal : -1,
                state.vt == VT_I4 && (state.lVal & STATE_SYSTEM_READONLY) != 0 ? 1 : 0);
    if (hasValue) std::printf(" value=%s", Utf8(value).c_str());
    std::printf("\n");
    SysFreeString(name);
    SysFreeString(value);
    object->Release();
}

HWND picture = nullptr;

BOOL CALLBACK FindPicture(HWND child, LPARAM) {
    char kind[32] = {};
    GetClassNameA(child, kind, sizeof kind);
    if (lstrcmpiA(kind, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_BITMAP) != 0) {
        picture = child;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main() {
    CoInitialize(nullptr);
    const HWND form = FindWindowA(nullptr, "Pexal Printer");
    if (form == nullptr) {
        std::printf("no window \"Pexal Printer\"\n");
        return 1;
    }
    Describe("page", FindWindowExA(form, nullptr, "PexalPrinterPaper", nullptr));
    EnumChildWindows(form, FindPicture, 0);
    Describe("picture", picture);
    CoUninitialize();
    return 0;
}
