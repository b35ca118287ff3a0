#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printhead/general.h"
#include "printhead/page_text.h"
#include "tests/kit.h"

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

// A page that keeps only what it says, as both front-ends' pages keep it.
class TextPage : public General::Page {
public:
    void DrawGlyph(int x, int y, std::uint8_t code) override { text.Put(x, y, code); }
    void Refresh() override {}
    void Clear() override { text.Clear(); }
    void Bell() override {}
    General::PageText text;
};

TEST(PageText, SaysTheLastCharacterDrawnInEachCell) {
    const struct {
        std::string bytes;
        std::u16string says;
    } cases[] = {
        {"Hi", u"Hi"},
        {"Hi\r\nthere", u"Hi\nthere"},
        {"ab\ncd", u"ab\n  cd"},                        // a line feed keeps the column
        {"ab\bX", u"aX"},                               // overprinted: the last one reads
        {"a  \r\n \r\n\r\n", u"a"},                   // no trailing spaces or empty lines
        {std::string(30, 'x'), std::u16string(26, u'x')},  // the right edge overprints
        {std::string(25, '\n') + "z", std::u16string(18, u'\n') + u"z"},  // the last line
        {"\xE9\x80\x81\a\t", u"\u00E9\u20AC\u0081"},  // windows-1252; controls draw nothing
        {"", u""},
    };
    for (const auto& c : cases) {
        TextPage page;
        pexal_test::HeadOnPage head(&page);
        for (const char byte : c.bytes) General::PrintChar(std::string(1, byte));
        EXPECT_EQ(page.text.Text(), c.says) << c.bytes;
    }

    TextPage page;  // New page: cleared and homed
    pexal_test::HeadOnPage head(&page);
    for (const char byte : std::string("abc\r\ndef")) General::PrintChar(std::string(1, byte));
    page.Clear();
    General::HomeHead();
    for (const char byte : std::string("g\r\nhi")) General::PrintChar(std::string(1, byte));
    EXPECT_EQ(page.text.Text(), u"g\nhi");
    const std::pair<int, int> cells[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};  // g, its LF, h, i
    for (std::size_t offset = 0; offset < 4; ++offset) {
        int column = -1, line = -1;
        ASSERT_TRUE(page.text.CellOf(offset, &column, &line)) << offset;
        EXPECT_EQ(std::make_pair(column, line), cells[offset]) << offset;
    }
    int column = -1, line = -1;
    EXPECT_FALSE(page.text.CellOf(4, &column, &line));
}

}  // namespace
