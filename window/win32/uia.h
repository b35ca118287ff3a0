// The parts of UI Automation the page needs that MinGW-w64's headers lack: the Text
// pattern's two provider interfaces and a few identifiers, declared as Microsoft's
// UIAutomationCore.idl has them, and UIAutomationCore.dll's functions, found at run time
// (MinGW-w64 has no import library for it).
#pragma once

#include <windows.h>
#include <ole2.h>
#include <uiautomationclient.h>  // the property and pattern identifiers
#include <uiautomationcore.h>

// (MinGW-w64's uiautomationcoreapi.h names a parameter `new`, which C++ cannot read.)
namespace uia {

constexpr HRESULT kElementNotAvailable = static_cast<HRESULT>(0x80040201);
constexpr HRESULT kInvalidOperation = static_cast<HRESULT>(0x80131509);
constexpr int kAppendRuntimeId = 3;

constexpr EVENTID kTextSelectionChangedEvent = 20014;
constexpr EVENTID kTextChangedEvent = 20015;
constexpr EVENTID kLiveRegionChangedEvent = 20024;
constexpr long kTextControl = 50020;
constexpr long kDocumentControl = 50030;
constexpr long kPolite = 1;  // LiveSetting

enum TextUnit { kCharacter, kFormat, kWord, kLine, kParagraph, kPage, kDocument };
enum Endpoint { kStart, kEnd };
struct Point {
    double x, y;
};

// UIAutomationCore.dll, loaded once; a function it lacks is null.
struct Library {
    static const Library& Get();
    LRESULT(WINAPI* ReturnRawElementProvider)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*) = nullptr;
    HRESULT(WINAPI* HostProviderFromHwnd)(HWND, IRawElementProviderSimple**) = nullptr;
    HRESULT(WINAPI* RaiseAutomationEvent)(IRawElementProviderSimple*, EVENTID) = nullptr;
    HRESULT(WINAPI* GetReservedNotSupportedValue)(IUnknown**) = nullptr;
    HRESULT(WINAPI* DisconnectProvider)(IRawElementProviderSimple*) = nullptr;  // Windows 8
};

}  // namespace uia

struct ITextRangeProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE Compare(ITextRangeProvider* range, BOOL* out) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareEndpoints(uia::Endpoint endpoint, ITextRangeProvider* range,
                                                       uia::Endpoint target, int* out) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(uia::TextUnit unit) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID id, VARIANT value, BOOL backward,
                                                    ITextRangeProvider** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase,
                                               ITextRangeProvider** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID id, VARIANT* out) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* out) = 0;
    virtual HRESULT STDMETHODCALLTYPE Move(uia::TextUnit unit, int count, int* moved) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(uia::Endpoint endpoint, uia::TextUnit unit,
                                                         int count, int* moved) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveEndpointByRange(uia::Endpoint endpoint, ITextRangeProvider* range,
                                                          uia::Endpoint target) = 0;
    virtual HRESULT STDMETHODCALLTYPE Select() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFromSelection() = 0;
    virtual HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** out) = 0;
};
__CRT_UUID_DECL(ITextRangeProvider, 0x5347ad7b, 0xc355, 0x46f8, 0xaf, 0xf5, 0x90, 0x90, 0x33, 0x58, 0x2f, 0x63)

struct ITextProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple* child,
                                                     ITextRangeProvider** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE RangeFromPoint(uia::Point point, ITextRangeProvider** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DocumentRange(ITextRangeProvider** out) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(int* out) = 0;
};
__CRT_UUID_DECL(ITextProvider, 0x3589c92c, 0x63f3, 0x4367, 0x99, 0xbb, 0xad, 0xa6, 0x53, 0xb7, 0x7c, 0xf2)
