// The Qt page: where glyphs land on its retained image, and what it asks to repaint, as
// the widget's own paint events show it.
#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QTest>

#include "tests/ink.h"
#include "window/qt/paper.h"
#include "window/qt/printer_font.h"

namespace {

using pexal_test::InkBox;

QImage Drawn(std::uint8_t code, int x = 19, int y = 20) {
    Paper page;
    page.DrawGlyph(x, y, code);
    return page.image();
}

// A page on the (offscreen) screen, and the area of every paint event it gets.
class ShownPaper : public QObject {
public:
    explicit ShownPaper(qreal ratio) : page(nullptr, ratio) {
        page.installEventFilter(this);
        page.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&page));
        Settle();
    }
    // Handles what is pending, then forgets what was painted so far.
    void Settle() {
        QTest::qWait(0);
        painted = QRegion();
        paints = 0;
    }
    // Waits for the paint events a refresh asked for.
    bool Painted() { return QTest::qWaitFor([this] { return paints > 0; }, 2000); }

    Paper page;
    QRegion painted;
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
        }
        return false;
    }
};

TEST(Paper, StartsAsAWhitePageOfTheHeadsSizeInThePrintersFont) {
    Paper page;
    EXPECT_EQ(page.image().size(), QSize(225, 297));
    EXPECT_EQ(page.size(), QSize(225, 297));
    EXPECT_TRUE(InkBox(page.image()).isEmpty());
    EXPECT_EQ(PrinterFontFamily(), "Liberation Sans");
    EXPECT_EQ(kPrinterFontPixelSize, 13);
}

TEST(Paper, GlyphLandsInsideItsCellFromTheTopLeftCorner) {
    Paper page;
    page.DrawGlyph(3, 5, 'A');
    const QRect ink = InkBox(page.image());
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_TRUE(QRect(3, 5, 10, 15).contains(ink)) << ink.x() << "," << ink.y() << " "
                                                   << ink.width() << "x" << ink.height();
    EXPECT_LE(ink.top(), 9) << "the cell's top, not the baseline, is at y";
}

TEST(Paper, InvalidateRepaintsTheChangedCellOnlyAndOnlyOnce) {
    ShownPaper shown(1.0);
    shown.page.DrawGlyph(19, 20, 'W');
    shown.page.Invalidate();
    shown.page.Invalidate();
    ASSERT_TRUE(shown.Painted());
    const QRect area = shown.painted.boundingRect();
    EXPECT_TRUE(area.contains(InkBox(shown.page.image())));
    EXPECT_LT(area.width() * area.height(), 400) << "only the cell, not the page";
    shown.Settle();
    shown.page.Invalidate();
    QCoreApplication::sendPostedEvents();  // an update asked for is painted by now
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.paints, 0) << "nothing new drawn, nothing repainted";
}

TEST(Paper, AtFractionalRatiosEveryGlyphsInkLiesInsideTheRepaintedArea) {
    // Scaled 1.25 or 1.5 times, a glyph's edge pixels round outwards past its outline's
    // box; an area without a margin would leave them clipped until the next full repaint.
    for (const qreal ratio : {1.25, 1.5}) {
        ShownPaper shown(ratio);
        for (int code = 32; code <= 255; ++code) {
            shown.page.Fill();
            shown.page.Invalidate();
            ASSERT_TRUE(shown.Painted());
            shown.Settle();
            shown.page.DrawGlyph(19, 20, static_cast<std::uint8_t>(code));
            shown.page.Invalidate();
            ASSERT_TRUE(shown.Painted()) << code;
            const QRect ink = InkBox(shown.page.image());
            const QRectF area = shown.painted.boundingRect();
            const QRectF scaled(area.topLeft() * ratio, area.size() * ratio);
            EXPECT_TRUE(ink.isEmpty() || scaled.contains(QRectF(ink)))
                << "ratio " << ratio << ", code " << code;
        }
    }
}

TEST(Paper, BytesAreDecodedAsWindows1252AndStayInTheirCell) {
    // Each glyph inks its own cell (a wide letter such as W overhangs into the next column's
    // left pixels) and nothing else; the accented letters carry their accent above the
    // plain letter's top; 0x80 is the euro sign, not the undefined code after it; 0xAD, the
    // soft hyphen that text shaping hides, prints its glyph as the printer's code page says.
    // Hinted as GDI hints it, the accent of a capital (É, Ÿ) reaches one row above the cell.
    const QRect cell(19, 20 - 1, 8 + 6, 1 + 15);
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

TEST(Paper, OverprintKeepsBothGlyphsAndFillWhitensEverything) {
    ShownPaper shown(1.0);
    Paper& page = shown.page;
    page.DrawGlyph(3, 5, 'O');
    const QImage onlyO = page.image();
    page.DrawGlyph(3, 5, '/');
    EXPECT_NE(page.image(), onlyO);
    EXPECT_TRUE(InkBox(page.image()).contains(InkBox(onlyO)));

    shown.Settle();
    page.Fill();
    page.Invalidate();
    EXPECT_TRUE(InkBox(page.image()).isEmpty());
    ASSERT_TRUE(shown.Painted());
    EXPECT_EQ(shown.painted.boundingRect(), QRect(0, 0, 225, 297))
        << "a fill shows the whole empty page";
}

TEST(Paper, DenseScreensGetMorePixelsForTheSameGrid) {
    Paper page(nullptr, 2.0);
    EXPECT_EQ(page.image().size(), QSize(450, 594));
    page.DrawGlyph(203, 275, 'M');
    const QRect ink = InkBox(page.image());
    EXPECT_TRUE(QRect(406, 550, 40, 30).contains(ink));
}

}  // namespace
