// A client as a screen reader on Windows is one: finds the printer's window and prints
// what its page says through UI Automation (its element, then its live region's), where
// the system caret stands, and what the illustration says through MSAA, a line each:
//   page name=Page type=50030 id=Paper focusable=1
//   live name=therX type=50020 polite=1
//   caret on page at 43,20
//   picture name=Printer role=40 readonly=0
// Exit 0 when the window was found, 1 when not.
#include <windows.h>
#include <oleacc.h>

#include <uiautomationclient.h>
#include <uiautomationcore.h>

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

// The UI Automation client calls Wine 8.0 has, from UIAutomationCore.dll.
struct Condition {
    int type;  // ConditionType_True: 0
};
struct CacheRequest {
    Condition* view;
    int scope;  // TreeScope_Element: 1
    PROPERTYID* properties;
    int propertyCount;
    PATTERNID* patterns;
    int patternCount;
    int mode;  // AutomationElementMode_Full: 1
};
using Node = void*;
template <typename F>
F Find(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("UIAutomationCore.dll"), name)));
}
const auto NodeFromHandle = Find<HRESULT(WINAPI*)(HWND, Node*)>("UiaNodeFromHandle");
const auto GetPropertyValue = Find<HRESULT(WINAPI*)(Node, PROPERTYID, VARIANT*)>("UiaGetPropertyValue");
const auto Navigate = Find<HRESULT(WINAPI*)(Node, int, Condition*, CacheRequest*, SAFEARRAY**, BSTR*)>("UiaNavigate");
const auto NodeFromVariant = Find<HRESULT(WINAPI*)(VARIANT*, Node*)>("UiaHUiaNodeFromVariant");
const auto NodeRelease = Find<BOOL(WINAPI*)(Node)>("UiaNodeRelease");

std::string Property(Node node, PROPERTYID id) {
    VARIANT v;
    VariantInit(&v);
    const HRESULT result = GetPropertyValue(node, id, &v);
    char number[16] = "?";
    if (SUCCEEDED(result) && v.vt == VT_I4) std::snprintf(number, sizeof number, "%ld", v.lVal);
    if (SUCCEEDED(result) && v.vt == VT_BOOL) std::snprintf(number, sizeof number, "%d", v.boolVal ? 1 : 0);
    const std::string text = SUCCEEDED(result) && v.vt == VT_BSTR ? Utf8(v.bstrVal) : std::string(number);
    VariantClear(&v);
    return text;
}

void DescribePage(HWND page) {
    Node node = nullptr;
    if (page == nullptr || NodeFromHandle == nullptr || FAILED(NodeFromHandle(page, &node))) {
        std::printf("page none\n");
        return;
    }
    std::printf("page name=%s type=%s id=%s focusable=%s\n", Property(node, UIA_NamePropertyId).c_str(),
                Property(node, UIA_ControlTypePropertyId).c_str(),
                Property(node, UIA_AutomationIdPropertyId).c_str(),
                Property(node, UIA_IsKeyboardFocusablePropertyId).c_str());
    Condition all = {0};
    CacheRequest request = {&all, 1, nullptr, 0, nullptr, 0, 1};
    SAFEARRAY* found = nullptr;
    BSTR tree = nullptr;
    Node live = nullptr;
    if (SUCCEEDED(Navigate(node, NavigateDirection_FirstChild, &all, &request, &found, &tree)) && found != nullptr) {
        LONG first[] = {0, 0};
        VARIANT v;
        VariantInit(&v);
        if (SUCCEEDED(SafeArrayGetElement(found, first, &v))) NodeFromVariant(&v, &live);
        SafeArrayDestroy(found);
    }
    SysFreeString(tree);
    if (live != nullptr) {
        std::printf("live name=%s type=%s polite=%s\n", Property(live, UIA_NamePropertyId).c_str(),
                    Property(live, UIA_ControlTypePropertyId).c_str(),
                    Property(live, UIA_LiveSettingPropertyId).c_str());
        NodeRelease(live);
    } else {
        std::printf("live none\n");
    }
    NodeRelease(node);
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(page, nullptr), &thread) && thread.hwndCaret == page) {
        std::printf("caret on page at %ld,%ld\n", thread.rcCaret.left, thread.rcCaret.top);
    } else {
        std::printf("caret none\n");
    }
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
    DescribePage(FindWindowExA(form, nullptr, "PexalPrinterPaper", nullptr));
    EnumChildWindows(form, FindPicture, 0);
    Describe("picture", picture);
    CoUninitialize();
    return 0;
}
