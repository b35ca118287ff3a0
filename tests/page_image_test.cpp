#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPainter>

#include "page_image.h"

namespace {

// Bounding box of every pixel that is not white, in image pixels.
QRect InkBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// What the page should show for `text` drawn in the printer's font at cell (x, y).
QImage Expected(const QString& text, int x, int y) {
    QImage image(PageImage::kWidth, PageImage::kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(PrinterFont());
    painter.setPen(Qt::black);
    painter.drawText(x, y + QFontMetrics(PrinterFont()).ascent(), text);
    return image;
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

TEST(PageImage, BytesAreDecodedAsWindows1252) {
    const struct {
        std::uint8_t code;
        QString text;
    } cases[] = {{'A', "A"}, {0x80, QString::fromUtf8("€")}, {0x9F, QString::fromUtf8("Ÿ")},
                 {0xE9, QString::fromUtf8("é")}, {0xFF, QString::fromUtf8("ÿ")}};
    for (const auto& c : cases) {
        PageImage page;
        page.DrawGlyph(3, 5, c.code);
        EXPECT_FALSE(InkBox(page.image()).isEmpty()) << int(c.code);
        EXPECT_EQ(page.image(), Expected(c.text, 3, 5)) << int(c.code);
    }
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
