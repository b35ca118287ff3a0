#include "window/win32/page_automation.h"

#include <oleauto.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <type_traits>
#include <vector>

#include "window/sheet.h"

namespace uia {

const Library& Library::Get() {
    static const Library library = [] {
        Library found;
        const HMODULE dll = LoadLibraryA("UIAutomationCore.dll");
        if (dll == nullptr) return found;
        auto get = [dll](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                reinterpret_cast<void*>(GetProcAddress(dll, name)));
        };
        get(found.ReturnRawElementProvider, "UiaReturnRawElementProvider");
        get(found.HostProviderFromHwnd, "UiaHostProviderFromHwnd");
        get(found.RaiseAutomationEvent, "UiaRaiseAutomationEvent");
        get(found.GetReservedNotSupportedValue, "UiaGetReservedNotSupportedValue");
        get(found.DisconnectProvider, "UiaDisconnectProvider");
        return found;
    }();
    return library;
}

}  // namespace uia

namespace {

using State = PageAutomation::State;
using General::TextSpan;

const HRESULT kGone = uia::kElementNotAvailable;

// The reading model's unit for UI Automation's; one it lacks is the next larger.
General::TextUnit UnitOf(uia::TextUnit unit) {
    switch (unit) {
        case uia::kCharacter: return General::TextUnit::Character;
        case uia::kFormat:
        case uia::kWord: return General::TextUnit::Word;
        case uia::kLine: return General::TextUnit::Line;
        case uia::kParagraph: return General::TextUnit::Paragraph;
        default: return General::TextUnit::All;
    }
}

VARIANT Bstr(const std::u16string& text) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                  static_cast<UINT>(text.size()));
    return v;
}

VARIANT Int(long value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT Bool(bool value) {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

// A SAFEARRAY of the given COM objects (each AddRef'ed by it), as the Text pattern returns
// ranges and children.
SAFEARRAY* ArrayOf(const std::vector<IUnknown*>& objects) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, static_cast<ULONG>(objects.size()));
    for (LONG k = 0; array != nullptr && k < static_cast<LONG>(objects.size()); ++k) {
        SafeArrayPutElement(array, &k, objects[k]);
    }
    return array;
}

// IUnknown for one or more interfaces, reference counted.
template <typename Derived, typename... Interfaces>
class Com : public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (id == __uuidof(IUnknown)) {
            *out = static_cast<IUnknown*>(static_cast<First*>(this));
        } else {
            ((id == __uuidof(Interfaces) ? void(*out = static_cast<Interfaces*>(this)) : void()), ...);
        }
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete static_cast<Derived*>(this);
        return static_cast<ULONG>(left);
    }
    virtual ~Com() = default;

private:
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    LONG references_ = 1;
};

class Element;

// A span of the page's text; its ends are clamped into the text as it stands at each call.
class Range final : public Com<Range, ITextRangeProvider> {
public:
    Range(std::shared_ptr<State> state, int start, int end)
        : state_(std::move(state)), start_(start), end_(end) {}

    HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** out) override {
        *out = new Range(state_, start_, end_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Compare(ITextRangeProvider* range, BOOL* out) override {
        const auto* other = static_cast<Range*>(range);
        *out = other != nullptr && other->start_ == start_ && other->end_ == end_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CompareEndpoints(uia::Endpoint endpoint, ITextRangeProvider* range,
                                               uia::Endpoint target, int* out) override {
        if (range == nullptr) return E_INVALIDARG;
        *out = End(endpoint) - static_cast<Range*>(range)->End(target);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(uia::TextUnit unit) override {
        return Read([&](const General::Reading& reading) {
            const TextSpan span = reading.At(start_, UnitOf(unit));
            start_ = span.start;
            end_ = span.end;
        });
    }
    HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID, VARIANT, BOOL,
                                            ITextRangeProvider** out) override {
        *out = nullptr;  // one run of plain text: no attribute to find
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase,
                                       ITextRangeProvider** out) override {
        *out = nullptr;
        return Read([&](const General::Reading& reading) {
            const std::u16string_view wanted(reinterpret_cast<const char16_t*>(text),
                                             text == nullptr ? 0 : SysStringLen(text));
            TextSpan found;
            if (reading.Find(wanted, {start_, end_}, backward, ignoreCase, &found)) {
                *out = new Range(state_, found.start, found.end);
            }
        });
    }
    HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID, VARIANT* out) override {
        out->vt = VT_UNKNOWN;
        const auto notSupported = uia::Library::Get().GetReservedNotSupportedValue;
        if (notSupported == nullptr || FAILED(notSupported(&out->punkVal))) out->vt = VT_EMPTY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** out) override;
    HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** out) override;
    HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* out) override {
        return Read([&](const General::Reading& reading) {
            int length = end_ - start_;
            if (maxLength >= 0) length = std::min(length, maxLength);
            *out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(reading.Text().data() + start_),
                                     static_cast<UINT>(length));
        });
    }
    HRESULT STDMETHODCALLTYPE Move(uia::TextUnit unit, int count, int* moved) override {
        *moved = 0;
        return Read([&](const General::Reading& reading) {
            const TextSpan span = reading.MoveRange({start_, end_}, UnitOf(unit), count, moved);
            start_ = span.start;
            end_ = span.end;
        });
    }
    HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(uia::Endpoint endpoint, uia::TextUnit unit, int count,
                                                 int* moved) override {
        *moved = 0;
        return Read([&](const General::Reading& reading) {
            Put(endpoint, reading.MoveEndpoint(End(endpoint), UnitOf(unit), count, moved));
        });
    }
    HRESULT STDMETHODCALLTYPE MoveEndpointByRange(uia::Endpoint endpoint, ITextRangeProvider* range,
                                                  uia::Endpoint target) override {
        if (range == nullptr) return E_INVALIDARG;
        Put(endpoint, static_cast<Range*>(range)->End(target));
        return S_OK;
    }
    // Putting the caret is the window's to do, on its own thread.
    HRESULT STDMETHODCALLTYPE Select() override {
        std::lock_guard<std::mutex> held(state_->lock);
        if (state_->window == nullptr) return kGone;
        PostMessageW(state_->window, PageAutomation::kPutCaret, static_cast<WPARAM>(start_), 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddToSelection() override { return uia::kInvalidOperation; }
    HRESULT STDMETHODCALLTYPE RemoveFromSelection() override { return uia::kInvalidOperation; }
    HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** out) override {
        *out = ArrayOf({});
        return S_OK;
    }

private:
    int End(uia::Endpoint endpoint) const { return endpoint == uia::kStart ? start_ : end_; }
    void Put(uia::Endpoint endpoint, int at) {
        (endpoint == uia::kStart ? start_ : end_) = at;
        if (start_ > end_) (endpoint == uia::kStart ? end_ : start_) = at;
    }
    // Runs `read` on the reading model with both ends clamped into its text.
    template <typename Reader>
    HRESULT Read(Reader read) {
        std::lock_guard<std::mutex> held(state_->lock);
        if (state_->window == nullptr) return kGone;
        const int length = state_->reading.Length();
        start_ = std::clamp(start_, 0, length);
        end_ = std::clamp(end_, start_, length);
        read(state_->reading);
        return S_OK;
    }

    std::shared_ptr<State> state_;
    int start_, end_;
};

// The document (the page) or its live region.
class Element final
    : public Com<Element, IRawElementProviderSimple, IRawElementProviderFragment,
                 IRawElementProviderFragmentRoot, ITextProvider> {
public:
    Element(std::shared_ptr<State> state, bool live) : state_(std::move(state)), live_(live) {}

    // IRawElementProviderSimple
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(enum ProviderOptions* out) override {
        *out = ProviderOptions_ServerSideProvider;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID id, IUnknown** out) override {
        *out = nullptr;
        if (id == UIA_TextPatternId && !live_) {
            *out = static_cast<ITextProvider*>(this);
            AddRef();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID id, VARIANT* out) override {
        std::lock_guard<std::mutex> held(state_->lock);
        if (state_->window == nullptr) return kGone;
        out->vt = VT_EMPTY;  // the window's own provider answers the rest
        if (live_) {
            switch (id) {
                case UIA_NamePropertyId: *out = Bstr(state_->announcement); break;
                case UIA_ControlTypePropertyId: *out = Int(uia::kTextControl); break;
                case UIA_AutomationIdPropertyId: *out = Bstr(u"Announcement"); break;
                case UIA_LiveSettingPropertyId: *out = Int(uia::kPolite); break;
                case UIA_IsControlElementPropertyId:
                case UIA_IsContentElementPropertyId: *out = Bool(true); break;
                case UIA_IsKeyboardFocusablePropertyId: *out = Bool(false); break;
                default: break;
            }
            return S_OK;
        }
        switch (id) {
            case UIA_NamePropertyId: *out = Bstr(sheet::kPageName); break;
            case UIA_ControlTypePropertyId: *out = Int(uia::kDocumentControl); break;
            case UIA_AutomationIdPropertyId: *out = Bstr(u"Paper"); break;
            case UIA_IsKeyboardFocusablePropertyId:
            case UIA_IsTextPatternAvailablePropertyId:
            case UIA_IsControlElementPropertyId:
            case UIA_IsContentElementPropertyId: *out = Bool(true); break;
            case UIA_HasKeyboardFocusPropertyId: *out = Bool(state_->focused); break;
            default: break;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override {
        *out = nullptr;
        if (live_) return S_OK;
        std::lock_guard<std::mutex> held(state_->lock);
        const auto host = uia::Library::Get().HostProviderFromHwnd;
        if (state_->window == nullptr || host == nullptr) return state_->window == nullptr ? kGone : S_OK;
        return host(state_->window, out);
    }

    // IRawElementProviderFragment: the live region is the document's one child.
    HRESULT STDMETHODCALLTYPE Navigate(enum NavigateDirection direction,
                                       IRawElementProviderFragment** out) override {
        *out = nullptr;
        const bool toChild = !live_ && (direction == NavigateDirection_FirstChild ||
                                        direction == NavigateDirection_LastChild);
        const bool toParent = live_ && direction == NavigateDirection_Parent;
        if (toChild || toParent) *out = new Element(state_, toChild);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** out) override {
        *out = nullptr;  // the document's comes from its window
        if (!live_) return S_OK;
        *out = SafeArrayCreateVector(VT_I4, 0, 2);
        const int id[] = {uia::kAppendRuntimeId, 1};
        for (LONG k = 0; k < 2; ++k) SafeArrayPutElement(*out, &k, const_cast<int*>(&id[k]));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_BoundingRectangle(struct UiaRect* out) override {
        *out = {};  // the document's is its window's; the live region is not on screen
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** out) override {
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFocus() override {
        std::lock_guard<std::mutex> held(state_->lock);
        if (state_->window == nullptr) return kGone;
        if (!live_) PostMessageW(state_->window, PageAutomation::kTakeFocus, 0, 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** out) override {
        *out = live_ ? new Element(state_, false) : this;
        if (!live_) AddRef();
        return S_OK;
    }

    // IRawElementProviderFragmentRoot
    HRESULT STDMETHODCALLTYPE ElementProviderFromPoint(double, double,
                                                       IRawElementProviderFragment** out) override {
        *out = nullptr;  // the document itself
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFocus(IRawElementProviderFragment** out) override {
        *out = nullptr;
        return S_OK;
    }

    // ITextProvider
    HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** out) override {
        return WithText([&](const General::Reading& reading) {
            IUnknown* caret = new Range(state_, reading.Caret(), reading.Caret());
            *out = ArrayOf({caret});
            caret->Release();
        });
    }
    HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** out) override {
        return WithText([&](const General::Reading& reading) {
            IUnknown* all = new Range(state_, 0, reading.Length());
            *out = ArrayOf({all});
            all->Release();
        });
    }
    HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple*, ITextRangeProvider** out) override {
        *out = nullptr;
        return E_INVALIDARG;  // the text has no embedded objects
    }
    // The character whose cell holds the point, else the end of the text.
    HRESULT STDMETHODCALLTYPE RangeFromPoint(uia::Point point, ITextRangeProvider** out) override {
        return WithText([&](const General::Reading& reading) {
            POINT origin = {0, 0};
            ClientToScreen(state_->window, &origin);
            const int found = reading.OffsetAt(static_cast<int>(std::floor((point.x - origin.x) / state_->scale)),
                                               static_cast<int>(std::floor((point.y - origin.y) / state_->scale)));
            const int at = found >= 0 ? found : reading.Length();
            *out = new Range(state_, at, at);
        });
    }
    HRESULT STDMETHODCALLTYPE get_DocumentRange(ITextRangeProvider** out) override {
        return WithText([&](const General::Reading& reading) { *out = new Range(state_, 0, reading.Length()); });
    }
    HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(int* out) override {
        *out = 1;  // one selection: the caret
        return S_OK;
    }

private:
    template <typename Reader>
    HRESULT WithText(Reader read) {
        std::lock_guard<std::mutex> held(state_->lock);
        if (state_->window == nullptr) return kGone;
        read(state_->reading);
        return S_OK;
    }

    std::shared_ptr<State> state_;
    bool live_;
};

// A rectangle for each line of the range, in screen pixels.
HRESULT Range::GetBoundingRectangles(SAFEARRAY** out) {
    std::vector<double> boxes;
    const HRESULT result = Read([&](const General::Reading& reading) {
        POINT origin = {0, 0};
        ClientToScreen(state_->window, &origin);
        const double scale = state_->scale;
        for (const General::PixelBox& box : reading.BoxesOf({start_, end_})) {
            boxes.insert(boxes.end(), {origin.x + box.x * scale, origin.y + box.y * scale, box.width * scale,
                                       box.height * scale});
        }
    });
    *out = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(boxes.size()));
    for (LONG k = 0; *out != nullptr && k < static_cast<LONG>(boxes.size()); ++k) {
        SafeArrayPutElement(*out, &k, &boxes[k]);
    }
    return result;
}

HRESULT Range::GetEnclosingElement(IRawElementProviderSimple** out) {
    *out = new Element(state_, false);
    return S_OK;
}

}  // namespace

PageAutomation::PageAutomation(HWND window) : state_(std::make_shared<State>()) {
    state_->window = window;
    document_ = new Element(state_, false);
    live_ = new Element(state_, true);
}

PageAutomation::~PageAutomation() {
    Update([](State& state) { state.window = nullptr; });
    const auto disconnect = uia::Library::Get().DisconnectProvider;
    for (IRawElementProviderSimple* element : {document_, live_}) {
        if (disconnect != nullptr) disconnect(element);
        element->Release();
    }
}

LRESULT PageAutomation::Answer(WPARAM w, LPARAM l) {
    const auto answer = uia::Library::Get().ReturnRawElementProvider;
    HWND window;
    {
        std::lock_guard<std::mutex> held(state_->lock);
        window = state_->window;
    }
    return answer != nullptr ? answer(window, w, l, document_) : 0;
}

// What was printed is announced through the live region wherever the focus is: a
// document's text changes are not spoken by NVDA or Narrator by themselves.
void PageAutomation::Tell(const General::Reading& reading, const General::ReadingNews& news) {
    Update([&](State& state) {
        state.reading = reading;
        if (!news.announcement.empty()) state.announcement = news.announcement;
    });
    const auto raise = uia::Library::Get().RaiseAutomationEvent;
    if (raise == nullptr) return;
    if (news.textChanged) raise(document_, uia::kTextChangedEvent);
    if (news.caretMoved) raise(document_, uia::kTextSelectionChangedEvent);
    if (!news.announcement.empty()) raise(live_, uia::kLiveRegionChangedEvent);
}
