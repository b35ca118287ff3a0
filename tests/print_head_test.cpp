#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "printhead/general.h"
#include "printhead/reading.h"
#include "tests/kit.h"
#include "window/session.h"

namespace {

using pexal_test::Mark;
using Marks = std::vector<Mark>;

class PrintHead : public ::testing::Test {
protected:
    void send(std::initializer_list<int> codes) {
        for (int code : codes) General::PrintChar(std::string(1, static_cast<char>(code)));
    }
    void sendTimes(int code, int times) {
        for (int k = 0; k < times; ++k) send({code});
    }
    std::pair<int, int> pos() const { return {General::PosX, General::PosY}; }

    pexal_test::HeadOnPage head;
    pexal_test::RecordingPage& page = head.page;
};

TEST_F(PrintHead, FirstCharacterIsDrawnAtTheHomeCellAndShownAtOnce) {
    send({'A'});
    EXPECT_EQ(page.draws(), (Marks{{3, 5, 'A'}}));
    EXPECT_FALSE(page.unrefreshed) << "each character must reach the screen by itself";
    EXPECT_EQ(pos(), std::make_pair(11, 5));
}

TEST_F(PrintHead, LineHolds26ColumnsThenOverprintsTheLast) {
    sendTimes('x', 28);
    ASSERT_EQ(page.draws().size(), 28u);
    for (int k = 0; k < 26; ++k) EXPECT_EQ(page.draws()[k].x, 3 + 8 * k) << k;
    EXPECT_EQ(page.draws()[26].x, 203);
    EXPECT_EQ(page.draws()[27].x, 203);
    EXPECT_EQ(pos(), std::make_pair(203, 5));
}

TEST_F(PrintHead, BackspaceStopsAtTheLeftMarginAndErasesNothing) {
    send({8});
    EXPECT_EQ(pos(), std::make_pair(3, 5));
    send({'a', 8});
    EXPECT_EQ(pos(), std::make_pair(3, 5));
    sendTimes('b', 30);
    send({8});
    EXPECT_EQ(pos(), std::make_pair(195, 5));
    send({'c'});
    EXPECT_EQ(page.draws().back(), (Mark{195, 5, 'c'})) << "overprints the cell before";
}

TEST_F(PrintHead, LineFeedKeepsTheColumn) {
    send({'A', 'B', 10, 'C', 'D'});
    EXPECT_EQ(page.draws(),
              (Marks{{3, 5, 'A'}, {11, 5, 'B'}, {19, 20, 'C'}, {27, 20, 'D'}}));
}

TEST_F(PrintHead, CarriageReturnAndLineFeedInEitherOrderStartTheNextLine) {
    send({'A', 13, 10, 'B'});
    EXPECT_EQ(page.draws().back(), (Mark{3, 20, 'B'}));
    send({10, 13, 'C'});
    EXPECT_EQ(page.draws().back(), (Mark{3, 35, 'C'}));
    send({'D', 13});
    EXPECT_EQ(pos(), std::make_pair(3, 35)) << "a carriage return feeds no line";
}

TEST_F(PrintHead, PageHolds19LinesThenOverprintsTheLast) {
    sendTimes(10, 18);
    EXPECT_EQ(General::PosY, 275);
    sendTimes(10, 5);
    EXPECT_EQ(General::PosY, 275);
    send({'Z'});
    EXPECT_EQ(page.draws().back(), (Mark{3, 275, 'Z'}));
    EXPECT_EQ(page.clears, 0) << "a full page is overprinted, never cleared by the head";
}

TEST_F(PrintHead, BellRingsWithoutDrawingOrMoving) {
    send({'A', 7});
    EXPECT_EQ(page.bells, 1);
    EXPECT_EQ(page.draws().size(), 1u);
    EXPECT_EQ(pos(), std::make_pair(11, 5));
}

TEST_F(PrintHead, OtherControlCodesAreIgnored) {
    send({'A'});
    for (int code = 1; code < 32; ++code) {
        if (code == 7 || code == 8 || code == 10 || code == 13) continue;
        send({code});
        EXPECT_EQ(pos(), std::make_pair(11, 5)) << code;
    }
    EXPECT_EQ(page.draws().size(), 1u);
    EXPECT_EQ(page.bells, 0);
}

TEST_F(PrintHead, EveryCodeFrom32To255IsDrawnAndAdvances) {
    for (int code = 32; code <= 255; ++code) {
        General::HomeHead();
        send({code});
        ASSERT_EQ(page.draws().back(), (Mark{3, 5, static_cast<std::uint8_t>(code)})) << code;
        EXPECT_EQ(pos(), std::make_pair(11, 5)) << code;
    }
}

TEST_F(PrintHead, EmptyStringAndMissingPageAreHarmless) {
    General::PrintChar("");
    EXPECT_TRUE(page.draws().empty());
    EXPECT_EQ(pos(), std::make_pair(3, 5));
    General::SetPage(nullptr);
    send({'A', 7});
    EXPECT_EQ(pos(), std::make_pair(11, 5)) << "the head moves even with no page to draw on";
}

// The printed page both front-ends draw through, on a surface that shows nothing, ticked
// after each byte as the poll cycle does.
class ReadPage : public printer::Surface {
public:
    void DrawGlyph(int, int, std::uint8_t) override { ++drawn; }
    void Invalidate() override {}
    void Fill() override { drawn = 0; }
    void Bell() override {}
    int drawn = 0;  // glyphs on the surface since it was last filled
    bool focused = true;  // the page has the keyboard focus
    // Each byte a tick, then `idle` quiet ticks; what the ticks said, one entry each.
    std::vector<std::u16string> print(const std::string& bytes, int idle = 0) {
        std::vector<std::u16string> said;
        auto tick = [&] {
            news.push_back(page.Tick(focused));
            if (!news.back().announcement.empty()) {
                said.push_back((news.back().heardInInsertion ? u"at caret: " : u"") +
                               news.back().announcement);
            }
        };
        for (const char byte : bytes) {
            General::PrintChar(std::string(1, byte));
            tick();
        }
        for (int k = 0; k < idle; ++k) tick();
        return said;
    }
    printer::PrintedPage page{*this};
    General::Reading& reading = page.Reading();
    std::vector<General::ReadingNews> news;
};

using Said = std::vector<std::u16string>;

TEST(Reading, SaysTheLastCharacterInEachCellAnnouncedInWordsAndLines) {
    const struct {
        std::string bytes;
        std::u16string says;
        Said announced;  // after a second's quiet
    } cases[] = {
        {"Hi", u"Hi", {u"at caret: Hi"}},
        {"Hello\r\nworld", u"Hello\nworld", {u"at caret: Hello", u"at caret: world"}},
        {"Hello\n\rworld", u"Hello\nworld", {u"at caret: Hello", u"at caret: world"}},
        {"one two  three", u"one two  three", {u"at caret: one", u"at caret: two", u"at caret: three"}},
        {"ab\ncd", u"ab\n  cd", {u"at caret: ab", u"at caret: cd"}},  // a line feed keeps the column
        {"ab\bX", u"aX", {u"at caret: aX"}},  // overprinted: the last one reads
        {"abc\r\bZ", u"Zbc", {u"at caret: abc", u"at caret: Z"}},  // an overprint heard once
        {"a  \r\n \r\n\r\n", u"a", {u"at caret: a"}},  // no trailing spaces or empty lines
        // The line heard from its insertion, then that it runs past the edge; the bottom said.
        {std::string(30, 'x'), std::u16string(26, u'x'), {u"end of line"}},
        {std::string(25, '\n') + "z", std::u16string(18, u'\n') + u"z", {u"end of page", u"at caret: z"}},
        {"\xE9\x80\x81\a\t", u"\u00E9\u20AC\u25A1", {u"bell"}},  // the word heard, then the bell
        {"\x7F\xA0\xAD\x9D", u"\u25A1 -\u25A1", {u"at caret: \u25A1", u"at caret: -\u25A1"}},  // as they look
        {"A\bA", u"A", {u"at caret: A"}},  // struck twice, said once
        {"", u"", {}},
    };
    for (const auto& c : cases) {
        ReadPage page;
        pexal_test::HeadOnPage head(&page.page);
        EXPECT_EQ(page.print(c.bytes, General::Reading::kIdleTicks), c.announced) << c.bytes;
        EXPECT_EQ(page.reading.Text(), c.says) << c.bytes;
    }

    {  // the same character struck again on a cell adds no ink, however often
        ReadPage page;
        pexal_test::HeadOnPage head(&page.page);
        page.print(std::string("A") + std::string(20, '\b') + "A\bB\bA\bA\bB");
        EXPECT_EQ(page.page.Record().Strikes().size(), 2u);
    }

    // Heard elsewhere than at the page's caret, where Orca puts a role word before each
    // announcement: words gathered into a phrase a line, or what a second's quiet ends.
    const struct {
        std::string bytes;
        bool focused, phrased;
        Said announced;
    } phrased[] = {
        {"one two three\r\nfour five", false, true, {u"one two three", u"four five"}},
        {"one two\athree", false, true, {u"one two. bell", u"three"}},
        {"one two", true, true, {u"at caret: one", u"at caret: two"}},  // at the caret, word by word
        // Past the right edge each character drawn over the last cell is said as it comes.
        {"The quick brown fox jumps over the lazy dog", false, false,
         {u"The", u"quick", u"brown", u"fox", u"jumps", u"end of line. o", u"v", u"e", u"r", u"t", u"h", u"e",
          u"l", u"a", u"z", u"y", u"d", u"o", u"g"}},
        {"The quick brown fox jumps over it\r\n", false, true,  // phrased, the edge's characters too
         {u"The quick brown fox jumps. end of line. o", u"v e r i t"}},
        // The last line written over again is said as the line it now is.
        {std::string(18, '\n') + "19\r\n20\r\n21", false, false, {u"19", u"end of page", u"20", u"21"}},
    };
    for (const auto& c : phrased) {
        ReadPage page;
        pexal_test::HeadOnPage head(&page.page);
        page.reading.SetPhrased(c.phrased);
        page.focused = c.focused;
        EXPECT_EQ(page.print(c.bytes, General::Reading::kIdleTicks), c.announced) << c.bytes;
    }
    {  // a word "New page" cuts short is said before the page is empty
        ReadPage page;
        pexal_test::HeadOnPage head(&page.page);
        page.print("Hello wor");
        EXPECT_EQ(page.page.Wipe().announcement, u"wor. The page is empty");
    }

    ReadPage page;  // the text told lags the page until a word ends
    pexal_test::HeadOnPage head(&page.page);
    EXPECT_EQ(page.print("Hel", General::Reading::kIdleTicks - 1), Said{});
    EXPECT_EQ(page.reading.Text(), u"");
    EXPECT_EQ(page.print("", 1), Said{u"at caret: Hel"});
    const General::ReadingNews& told = page.news.back();
    EXPECT_TRUE(told.textChanged && told.caretMoved);
    EXPECT_EQ(std::make_tuple(told.at, told.removed, told.inserted, page.reading.Caret()),
              std::make_tuple(0, std::u16string(), std::u16string(u"Hel"), 3));
}

TEST(Reading, TheCaretFollowsPrintingUntilTheUserMovesItAndRejoinsAtTheEnd) {
    ReadPage page;
    pexal_test::HeadOnPage head(&page.page);
    page.print("Hello\r\nworld", General::Reading::kIdleTicks);
    EXPECT_EQ(page.reading.Caret(), 11);
    using M = General::CaretMove;
    const struct {
        M move;
        int caret;
    } moves[] = {
        {M::PreviousLine, 5},  {M::PreviousLine, 0},  {M::NextCharacter, 1},
        {M::NextLine, 7},      {M::LineEnd, 11},      {M::NextWord, 11},
        {M::PreviousWord, 6},  {M::PreviousWord, 0},  {M::LineEnd, 5},
        {M::NextCharacter, 6}, {M::PreviousCharacter, 5}, {M::NextLine, 11},
        {M::PageStart, 0},     {M::PreviousCharacter, 0}, {M::NextWord, 6},
        {M::LineStart, 6},     {M::PageEnd, 11},       {M::NextLine, 11},
    };
    for (const auto& m : moves) {
        page.reading.Move(m.move);
        EXPECT_EQ(page.reading.Caret(), m.caret) << static_cast<int>(m.move);
    }
    page.reading.Move(M::PageStart);
    EXPECT_EQ(page.print("!", General::Reading::kIdleTicks), Said{u"!"})
        << "a reader elsewhere does not hear it at the caret";
    EXPECT_EQ(page.reading.Caret(), 0) << "printing leaves the caret where the user put it";
    page.reading.Move(M::PageEnd);
    EXPECT_EQ(page.print(" more", General::Reading::kIdleTicks), Said{u"at caret: more"});
    EXPECT_EQ(page.reading.Caret(), 17);

    page.news.push_back(page.page.Wipe());  // New page
    General::HomeHead();
    const General::ReadingNews& cleared = page.news.back();
    EXPECT_EQ(cleared.announcement, u"The page is empty");
    EXPECT_FALSE(cleared.heardInInsertion);
    EXPECT_EQ(cleared.removed, u"Hello\nworld! more");
    EXPECT_EQ(page.reading.Caret(), 0);
    EXPECT_EQ(page.print("g\r\nhi", General::Reading::kIdleTicks), (Said{u"at caret: g", u"at caret: hi"}));
    const std::pair<int, int> cells[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};  // g, its LF, h, i
    for (int offset = 0; offset < 4; ++offset) {
        int column = -1, line = -1;
        ASSERT_TRUE(page.reading.CellOf(offset, &column, &line)) << offset;
        EXPECT_EQ(std::make_pair(column, line), cells[offset]) << offset;
        // Where the head drew it, and back: a point anywhere in the cell finds the offset.
        const General::PixelBox cell{3 + 8 * column, 5 + 15 * line, 8, 15};
        General::PixelBox box;
        ASSERT_TRUE(page.reading.BoxOf(offset, &box));
        EXPECT_EQ(box, cell) << offset;
        EXPECT_EQ(page.reading.OffsetAt(cell.x, cell.y), offset);
        EXPECT_EQ(page.reading.OffsetAt(cell.x + 7, cell.y + 14), offset);
    }
    int column = -1, line = -1;
    EXPECT_FALSE(page.reading.CellOf(4, &column, &line));
    EXPECT_FALSE(page.reading.CellOf(-1, &column, &line));
    for (const auto& [x, y] : {std::pair{2, 5}, {3, 4}, {19, 5}, {3, 35}, {11, 20 + 15}, {-5, -5}}) {
        EXPECT_EQ(page.reading.OffsetAt(x, y), -1) << x << "," << y << ": no character there";
    }
    EXPECT_EQ(page.reading.BoxesOf({0, 4}), (std::vector<General::PixelBox>{{3, 5, 16, 15}, {3, 20, 16, 15}}));
    EXPECT_EQ(page.reading.CaretCorner(), (pexal::Pixel{19, 20})) << "after the last character";
    page.reading.Move(M::PageStart);
    EXPECT_EQ(page.reading.CaretCorner(), (pexal::Pixel{3, 5}));
}

TEST(Reading, UnitsTileTheTextAndAnyOffsetGetsAnAnswer) {
    ReadPage page;
    pexal_test::HeadOnPage head(&page.page);
    page.print("  ab cd\r\n\r\nef", General::Reading::kIdleTicks);
    ASSERT_EQ(page.reading.Text(), u"  ab cd\n\nef");  // 11 characters
    using U = General::TextUnit;
    using S = General::TextSpan;
    const struct {
        U unit;
        int offset;
        S before, at, after;
    } cases[] = {
        {U::Character, -1, {0, 0}, {0, 1}, {1, 2}},
        {U::Character, 11, {10, 11}, {11, 11}, {11, 11}},
        {U::Character, 12, {10, 11}, {11, 11}, {11, 11}},
        {U::Word, 0, {0, 0}, {0, 5}, {5, 8}},   // leading spaces belong to the first word
        {U::Word, 3, {0, 0}, {0, 5}, {5, 8}},
        {U::Word, 7, {0, 5}, {5, 8}, {8, 9}},   // the line feed ends the last word
        {U::Word, 8, {5, 8}, {8, 9}, {9, 11}},  // an empty line is a word
        {U::Word, 11, {8, 9}, {9, 11}, {11, 11}},  // the end is in the last word
        {U::Word, 99, {8, 9}, {9, 11}, {11, 11}},
        {U::Line, -1, {0, 0}, {0, 8}, {8, 9}},
        {U::Line, 7, {0, 0}, {0, 8}, {8, 9}},
        {U::Line, 11, {8, 9}, {9, 11}, {11, 11}},
        {U::Sentence, 4, {0, 0}, {0, 8}, {8, 9}},
        {U::Paragraph, 9, {8, 9}, {9, 11}, {11, 11}},
        {U::All, 5, {0, 0}, {0, 11}, {11, 11}},
    };
    for (const auto& c : cases) {
        const int unit = static_cast<int>(c.unit);
        EXPECT_EQ(page.reading.Before(c.offset, c.unit), c.before) << unit << " before " << c.offset;
        EXPECT_EQ(page.reading.At(c.offset, c.unit), c.at) << unit << " at " << c.offset;
        EXPECT_EQ(page.reading.After(c.offset, c.unit), c.after) << unit << " after " << c.offset;
    }
    // Ranges and their ends moved by units, as UI Automation moves them: a move stops at
    // either end and says how far it went.
    const struct {
        bool range;  // else an endpoint, from `from.start`
        S from;
        U unit;
        int count, moved;
        S to;
    } moves[] = {
        {true, {11, 11}, U::Line, -1, -1, {8, 8}},      // an empty range stays empty
        {true, {0, 0}, U::Word, 2, 2, {8, 8}},
        {true, {0, 5}, U::Word, 5, 3, {9, 11}},         // the last word, not past it
        {true, {3, 3}, U::Character, -5, -3, {0, 0}},
        {true, {4, 6}, U::Line, 0, 0, {0, 8}},          // the unit the range starts in
        {false, {11}, U::Character, -100, -11, {0}},
        {false, {0}, U::Word, 2, 2, {8}},
        {false, {11}, U::Line, 1, 0, {11}},
        {false, {6}, U::Line, -1, -1, {0}},
        {false, {9}, U::Word, 1, 1, {11}},              // on to the end
    };
    for (const auto& m : moves) {
        int moved = 99;
        const S to = m.range ? page.reading.MoveRange(m.from, m.unit, m.count, &moved)
                             : S{page.reading.MoveEndpoint(m.from.start, m.unit, m.count, &moved), 0};
        EXPECT_EQ(moved, m.moved) << m.from.start << " by " << m.count << " unit " << static_cast<int>(m.unit);
        EXPECT_EQ(to.start, m.to.start) << m.from.start << " by " << m.count << " unit " << static_cast<int>(m.unit);
        if (m.range) {
            EXPECT_EQ(to.end, m.to.end) << m.from.start << " by " << m.count;
        }
    }

    General::Reading empty;
    for (int offset = -1; offset <= 1; ++offset) {
        EXPECT_EQ(empty.At(offset, U::Word), S{}) << offset;
        EXPECT_EQ(empty.After(offset, U::Line), S{}) << offset;
    }
}

// The session a window drives: its tick takes the port's byte and tells what was read,
// "New page" keeps what was on the page for the run, and each format keeps its bytes.
class SessionTest : public pexal_test::PortFileTest {};

TEST_F(SessionTest, TicksPrintNewPageTearsOffAndEachFormatKeepsThePage) {
    ReadPage surface;
    std::optional<printer::Session> session(std::in_place, surface);
    EXPECT_EQ(std::make_pair(int{General::PosX}, int{General::PosY}), std::make_pair(3, 5)) << "the load step homes";
    for (const char byte : std::string("ab cd")) {
        setPort(130, static_cast<std::uint8_t>(byte));
        session->Tick();
        EXPECT_EQ(portByte(), 0) << byte;
    }
    for (int k = 0; k < General::Reading::kIdleTicks; ++k) session->Tick();
    EXPECT_EQ(session->Reading().Text(), u"ab cd");
    EXPECT_EQ(session->Key(General::ReadingKey::kLeft, true).caretMoved, true);
    EXPECT_EQ(session->Reading().Caret(), 3);
    EXPECT_EQ(session->PutCaret(99).caretMoved, true);
    EXPECT_EQ(session->Reading().Caret(), 5) << "clamped to the text";

    const printer::KeepSources sources{[] { return std::string("the window"); }, "\r\n"};
    EXPECT_EQ(session->Keep(keep::Format::kText, false, sources), "ab cd\r\n");
    EXPECT_EQ(session->Keep(keep::Format::kPng, false, sources), "the window");
    const auto pages = [&](const std::string& pdf) {
        int count = 0;
        for (std::size_t at = 0; (at = pdf.find("/Type /Page /", at)) != std::string::npos; ++at) ++count;
        return count;
    };
    EXPECT_EQ(pages(session->Keep(keep::Format::kPdf, false, sources)), 1);

    const General::ReadingNews cleared = session->NewPage();
    EXPECT_EQ(cleared.announcement, u"The page is empty");
    EXPECT_EQ(std::make_pair(int{General::PosX}, int{General::PosY}), std::make_pair(3, 5));
    EXPECT_EQ(surface.drawn, 0) << "the surface filled";
    session->NewPage();  // an empty page is not kept
    setPort(130, 'Z');
    session->Tick();
    ASSERT_EQ(session->Pages().size(), 2u);
    EXPECT_EQ(session->Pages()[0].Text(), u"ab cd");
    EXPECT_EQ(session->Pages()[1].Text(), u"Z");
    EXPECT_EQ(pages(session->Keep(keep::Format::kText, true, sources)), 2) << "all pages are a PDF";
    session->Page().Redraw();  // a new density: every strike drawn again
    EXPECT_EQ(surface.drawn, 1);

    session.reset();
    General::PrintChar("Q");  // the head has let go of the page
    EXPECT_EQ(surface.drawn, 1);
}

}  // namespace
