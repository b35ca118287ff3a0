// The page as UI Automation finds it: a keyboard-focusable document named "Page" with the
// Text pattern over the page's reading model (the selection an empty range at the reading
// caret), and one child, a polite live region whose name is the last announcement, which
// NVDA and Narrator speak wherever the focus is.
//
// UI Automation calls the providers on threads of its own, so they read a copy of the
// reading model kept under a lock; what they ask of the window (a caret put, the focus)
// goes to it as a message.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "printhead/reading.h"
#include "window/win32/uia.h"

class PageAutomation {
public:
    // Messages the page's window receives from the providers.
    static constexpr UINT kPutCaret = WM_APP + 1;  // wParam: the offset
    static constexpr UINT kTakeFocus = WM_APP + 2;

    // What the providers read, shared with them under `lock`.
    struct State {
        std::mutex lock;
        HWND window = nullptr;
        General::Reading reading;  // a copy: its text, caret, units and cells, as told
        double scale = 1;        // device pixels a page pixel
        bool focused = false;
        std::u16string announcement;
    };

    explicit PageAutomation(HWND window);
    ~PageAutomation();  // clients still holding a provider find it gone
    PageAutomation(const PageAutomation&) = delete;
    PageAutomation& operator=(const PageAutomation&) = delete;

    // The reply to WM_GETOBJECT(w, l).
    LRESULT Answer(WPARAM w, LPARAM l);

    // Changes the state under its lock.
    template <typename Change>
    void Update(Change change) {
        std::lock_guard<std::mutex> held(state_->lock);
        change(*state_);
    }
    // Brings the providers' copy up to `reading`, then tells clients what `news` says:
    // the text changed, the caret moved, a sentence is to be said.
    void Tell(const General::Reading& reading, const General::ReadingNews& news);

    // The document element, for clients in this process (the tests); not AddRef'ed.
    IRawElementProviderSimple* Document() const { return document_; }

private:
    std::shared_ptr<State> state_;
    IRawElementProviderSimple* document_ = nullptr;
    IRawElementProviderSimple* live_ = nullptr;
};
