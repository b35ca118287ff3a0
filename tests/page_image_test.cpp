#include <gtest/gtest.h>

#include <QFontInfo>

#include "printhead/page_image.h"
#include "tests/ink.h"

namespace {

using pexal_test::InkBox;

QImage Drawn(std::uint8_t code, int x = 19, int y = 20) {
    PageImage page;
    page.DrawGlyph(x, y, code);
    return page.image();
}

TEST(PageImage, StartsAsAWhitePageOfTheHeadsSize) {
    PageImage page;
    EXPECT_EQ(page.image().size(), QSize(225, 297));
    EXPECT_TRUE(InkBox(page.image()).isEmpty());
    EXPECT_EQ(QFontInfo(page.font()).family(), "Liberation Sans");
    EXPECT_EQ(page.font().pixelSize(), 13);
}

TEST(PageImage, GlyphLandsInsideItsCellFromTheTopLeftCorner) {
    PageImage page;
    page.DrawGlyph(3, 5, 'A');
    const QRect ink = InkBox(page.image());
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_TRUE(QRect(3, 5, 10, 15).contains(ink)) << ink.x() << "," << ink.y() << " "
                                                   << ink.width() << "x" << ink.height();
    EXPECT_LE(ink.top(), 9) << "the cell's top, not the baseline, is at y";
}

TEST(PageImage, RefreshReportsTheChangedAreaOnce) {
    PageImage page;
    QList<QRect> shown;
    page.onRefresh = [&](const QRect& r) { shown.append(r); };
    page.DrawGlyph(19, 20, 'W');
    page.Refresh();
    page.Refresh();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(InkBox(page.image())));
    EXPECT_LT(shown[0].width() * shown[0].height(), 400) << "only the cell, not the page";
}

TEST(PageImage, BytesAreDecodedAsWindows1252AndStayInTheirCell) {
    // Each glyph inks its own cell (a wide letter such as W overhangs into the next column's
    // left pixels) and nothing else; the accented letters carry their accent above the
    // plain letter's top; 0x80 is the euro sign, not the undefined code after it; 0xAD, the
    // soft hyphen that text shaping hides, prints its glyph as the printer's code page says.
    const QRect cell(19, 20, 8 + 6, 15);
    for (const int code : {int{'A'}, int{'W'}, int{'e'}, int{'y'}, int{'Y'}, 0x80, 0x9F, 0xAD, 0xC9, 0xE9, 0xFF}) {
        const QRect ink = InkBox(Drawn(code));
        EXPECT_FALSE(ink.isEmpty()) << code;
        EXPECT_TRUE(cell.contains(ink)) << code << ": " << ink.x() << "," << ink.y() << " "
                                        << ink.width() << "x" << ink.height();
    }
    const struct {
        std::uint8_t accented, plain;
    } accents[] = {{0xE9, 'e'}, {0xFF, 'y'}, {0x9F, 'Y'}, {0xC9, 'E'}};
    for (const auto& pair : accents) {
        EXPECT_LT(InkBox(Drawn(pair.accented)).top(), InkBox(Drawn(pair.plain)).top())
            << int(pair.accented);
    }
    EXPECT_NE(Drawn(0x80), Drawn(0x81));
    EXPECT_NE(Drawn(0x80), Drawn('C'));
    EXPECT_NE(Drawn(0x80), Drawn('E'));
}

TEST(PageImage, OverprintKeepsBothGlyphsAndClearWhitensEverything) {
    PageImage page;
    page.DrawGlyph(3, 5, 'O');
    const QImage onlyO = page.image();
    page.DrawGlyph(3, 5, '/');
    EXPECT_NE(page.image(), onlyO);
    EXPECT_TRUE(InkBox(page.image()).contains(InkBox(onlyO)));

    QRect shown;
    page.onRefresh = [&](const QRect& r) { shown = r; };
    page.Clear();
    EXPECT_TRUE(InkBox(page.image()).isEmpty());
    EXPECT_EQ(shown, QRect(0, 0, 225, 297)) << "a clear shows the whole empty page";
}

TEST(PageImage, DenseScreensGetMorePixelsForTheSameGrid) {
    PageImage page(2.0);
    EXPECT_EQ(page.image().size(), QSize(450, 594));
    page.DrawGlyph(203, 275, 'M');
    const QRect ink = InkBox(page.image());
    EXPECT_TRUE(QRect(406, 550, 40, 30).contains(ink));
}

}  // namespace
