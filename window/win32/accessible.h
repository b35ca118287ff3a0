// A window as assistive technology finds it (MSAA, and UI Automation through its proxy):
// the system's own accessible object for the window, with the name, role and state this
// program gives it. Answer WM_GETOBJECT for OBJID_CLIENT with Answer(). (Dynamic
// Annotation, IAccPropServices::SetHwndPropStr, would name a window without a proxy,
// but Wine 8.0 answers it E_NOTIMPL, and the picture would go nameless there.)
#pragma once

#include <windows.h>

#include <string>

struct IAccessible;

class AccessibleWindow {
public:
    struct Traits {
        std::wstring name;
        long role = 0;                          // a ROLE_SYSTEM_ constant
        long state = 0;                         // STATE_SYSTEM_ bits added to the system's
    };

    AccessibleWindow(HWND window, Traits traits);
    ~AccessibleWindow();  // clients still holding the object find it disconnected
    AccessibleWindow(const AccessibleWindow&) = delete;
    AccessibleWindow& operator=(const AccessibleWindow&) = delete;

    // The reply to WM_GETOBJECT(w, l): the object for OBJID_CLIENT, else 0 (let the
    // window's default procedure answer).
    LRESULT Answer(WPARAM w, LPARAM l);

private:
    class Object;
    HWND window_;
    Object* object_ = nullptr;  // made on the first request, one reference held here
    Traits traits_;
};
