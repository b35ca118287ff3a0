// The page's Text pattern, asked in this process as UI Automation asks it for a client.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "printhead/general.h"
#include "tests/kit.h"
#include "window/win32/paper.h"

namespace {

std::u16string Text(ITextRangeProvider* range) {
    BSTR text = nullptr;
    EXPECT_EQ(range->GetText(-1, &text), S_OK);
    std::u16string out(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
    SysFreeString(text);
    return out;
}

class PageText : public ::testing::Test {
protected:
    PageText() {
        Paper::Register(GetModuleHandleA(nullptr));
        parent_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 400, nullptr, nullptr, nullptr, nullptr);
        paper_.emplace(parent_, RECT{0, 0, 225, 297}, 1.0, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
        session_.emplace(*paper_);
        paper_->Show(&*session_);
        paper_->automation()->Document()->GetPatternProvider(UIA_TextPatternId,
                                                            reinterpret_cast<IUnknown**>(&text_));
    }
    ~PageText() override {
        if (text_ != nullptr) text_->Release();
        paper_->Show(nullptr);
        session_.reset();
        paper_.reset();
        DestroyWindow(parent_);
    }
    void print(const std::string& bytes) {
        for (const char byte : bytes) {
            General::PrintChar(std::string(1, byte));
            paper_->Tell(session_->Page().Tick());  // the tick, less the port
        }
        for (int k = 0; k < General::Reading::kIdleTicks; ++k) paper_->Tell(session_->Page().Tick());
    }
    ITextRangeProvider* document() {
        ITextRangeProvider* range = nullptr;
        EXPECT_EQ(text_->get_DocumentRange(&range), S_OK);
        return range;
    }
    ITextRangeProvider* caret() {
        SAFEARRAY* selection = nullptr;
        EXPECT_EQ(text_->GetSelection(&selection), S_OK);
        LONG first = 0;
        IUnknown* range = nullptr;
        SafeArrayGetElement(selection, &first, &range);
        SafeArrayDestroy(selection);
        return static_cast<ITextRangeProvider*>(static_cast<void*>(range));
    }

    HWND parent_ = nullptr;
    std::optional<Paper> paper_;
    std::optional<printer::Session> session_;
    ITextProvider* text_ = nullptr;
};

TEST_F(PageText, RangesMoveByUnitFromTheCaretClampedAtBothEndsAndSurviveANewPage) {
    ASSERT_NE(text_, nullptr);
    print("Hello there\r\nworld");
    ITextRangeProvider* all = document();
    EXPECT_EQ(Text(all), u"Hello there\nworld");
    ITextRangeProvider* at = caret();  // empty, after the last character printed
    EXPECT_EQ(Text(at), u"");
    int moved = 0;
    // Each step: a move of the range, how far it went, the range's text after it.
    const struct {
        enum { kMove, kExpand, kStart, kEnd } how;
        uia::TextUnit unit;
        int count, moved;
        std::u16string text;
    } steps[] = {
        {steps->kExpand, uia::kLine, 0, 0, u"world"},          // the caret's line
        {steps->kMove, uia::kLine, -1, -1, u"Hello there\n"},  // Up
        {steps->kMove, uia::kLine, -5, 0, u"Hello there\n"},   // clamped at the top
        {steps->kExpand, uia::kFormat, 0, 0, u"Hello "},       // a format run is a word
        {steps->kMove, uia::kWord, 1, 1, u"there\n"},
        {steps->kMove, uia::kCharacter, 2, 2, u"e"},
        {steps->kMove, uia::kParagraph, 1, 1, u"world"},
        {steps->kMove, uia::kLine, 1, 0, u"world"},            // clamped at the end
        {steps->kStart, uia::kCharacter, -100, -12, u"Hello there\nworld"},
        {steps->kEnd, uia::kWord, -2, -2, u"Hello "},
        {steps->kExpand, uia::kPage, 0, 0, u"Hello there\nworld"},  // a page is the document
    };
    for (const auto& s : steps) {
        moved = 0;
        HRESULT result = S_OK;
        if (s.how == s.kMove) result = at->Move(s.unit, s.count, &moved);
        if (s.how == s.kExpand) result = at->ExpandToEnclosingUnit(s.unit);
        if (s.how == s.kStart) result = at->MoveEndpointByUnit(uia::kStart, s.unit, s.count, &moved);
        if (s.how == s.kEnd) result = at->MoveEndpointByUnit(uia::kEnd, s.unit, s.count, &moved);
        EXPECT_EQ(result, S_OK);
        EXPECT_EQ(moved, s.moved) << s.unit << " " << s.count;
        EXPECT_EQ(Text(at), s.text) << s.unit << " " << s.count;
    }

    // Say all: a line at a time from the top until a move goes nowhere.
    ITextRangeProvider* reader = document();
    reader->MoveEndpointByRange(uia::kEnd, reader, uia::kStart);
    std::vector<std::u16string> lines;
    do {
        reader->ExpandToEnclosingUnit(uia::kLine);
        lines.push_back(Text(reader));
    } while (reader->Move(uia::kLine, 1, &moved) == S_OK && moved == 1);
    EXPECT_EQ(lines, (std::vector<std::u16string>{u"Hello there\n", u"world"}));

    paper_->Tell(session_->NewPage());  // what clients hold reads as the empty page
    EXPECT_EQ(Text(all), u"");
    EXPECT_EQ(Text(at), u"");
    EXPECT_EQ(at->Move(uia::kLine, 1, &moved), S_OK);
    EXPECT_EQ(moved, 0);
    for (ITextRangeProvider* range : {all, at, reader}) range->Release();

    // What the live region says: the words with the bell after them; where the head is.
    IRawElementProviderFragment* document = nullptr;
    IRawElementProviderFragment* live = nullptr;
    ASSERT_EQ(paper_->automation()->Document()->QueryInterface(IID_PPV_ARGS(&document)), S_OK);
    ASSERT_EQ(document->Navigate(NavigateDirection_FirstChild, &live), S_OK);
    IRawElementProviderSimple* region = nullptr;
    ASSERT_EQ(live->QueryInterface(IID_PPV_ARGS(&region)), S_OK);
    const auto said = [&] {
        VARIANT name;
        region->GetPropertyValue(UIA_NamePropertyId, &name);
        std::u16string text(reinterpret_cast<const char16_t*>(name.bstrVal), SysStringLen(name.bstrVal));
        VariantClear(&name);
        return text;
    };
    print("ab\a");
    EXPECT_EQ(said(), u"ab. bell");
    paper_->Tell(session_->SayPosition());
    EXPECT_EQ(said(), u"line 1, column 3");
    region->Release();
    live->Release();
    document->Release();
}

}  // namespace
