// The page's glyphs against an independent rendering: each code 32..255 straight from the
// embedded font file through FreeType, hinted, as TextOutA draws it, at 13 pixels and at
// twice that for a dense screen; compared with the page image cell by cell.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <QImage>
#include <algorithm>
#include <memory>
#include <sstream>
#include <vector>

#include "common/windows1252.h"
#include "tests/kit.h"
#include "window/qt/paper.h"
#include "window/qt/printer_font.h"

namespace {

// The glyph of `code` as FreeType renders it, hinted, black on white on a page of the
// given size, its baseline the font's (hinted) ascent below (x, y).
QImage Expected(FT_Face face, std::uint8_t code, QSize size, int x, int y) {
    QImage page(size, QImage::Format_RGB32);
    page.fill(Qt::white);
    const FT_UInt glyph = FT_Get_Char_Index(face, pexal::FromWindows1252(code));
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT | FT_LOAD_TARGET_NORMAL) != 0 ||
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) {
        ADD_FAILURE() << "FreeType cannot render code " << int(code);
        return page;
    }
    const FT_GlyphSlot slot = face->glyph;
    const int ascent = static_cast<int>((face->size->metrics.ascender + 32) >> 6);
    const int left = x + slot->bitmap_left, top = y + ascent - slot->bitmap_top;
    for (unsigned row = 0; row < slot->bitmap.rows; ++row) {
        for (unsigned column = 0; column < slot->bitmap.width; ++column) {
            const QPoint at(left + static_cast<int>(column), top + static_cast<int>(row));
            if (!page.rect().contains(at)) continue;
            const int coverage = slot->bitmap.buffer[row * slot->bitmap.pitch + column];
            page.setPixel(at, qRgb(255 - coverage, 255 - coverage, 255 - coverage));
        }
    }
    return page;
}

// The largest difference in grey between two images of one size.
int LargestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            largest = std::max(largest, std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))));
        }
    }
    return largest;
}

TEST(Glyphs, EveryCodeMatchesFreeTypesHintedRendering) {
    FT_Library library = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    const std::unique_ptr<FT_LibraryRec_, FT_Error (*)(FT_Library)> ownLibrary(library,
                                                                             FT_Done_FreeType);
    for (const int ratio : {1, 2}) {
        FT_Face face = nullptr;
        ASSERT_EQ(FT_New_Face(library, PEXAL_PRINTER_FONT, 0, &face), 0);
        const std::unique_ptr<FT_FaceRec_, FT_Error (*)(FT_Face)> ownFace(face, FT_Done_Face);
        ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, kPrinterFontPixelSize * ratio), 0);
        int exact = 0;
        std::vector<std::pair<int, int>> worst;  // difference, code
        for (int code = 32; code <= 255; ++code) {
            Paper page(nullptr, ratio);
            page.DrawGlyph(19, 20, static_cast<std::uint8_t>(code));
            QImage drawn = page.image();
            drawn.setDevicePixelRatio(1);
            const int difference = LargestDifference(
                drawn, Expected(face, static_cast<std::uint8_t>(code), drawn.size(), 19 * ratio,
                                20 * ratio));
            if (difference == 0) ++exact;
            worst.emplace_back(difference, code);
        }
        std::sort(worst.rbegin(), worst.rend());
        std::ostringstream said;
        for (std::size_t k = 0; k < 8; ++k) said << " " << worst[k].second << ":" << worst[k].first;
        std::cout << "ratio " << ratio << ": " << exact << " of 224 codes exact; largest differences"
                  << said.str() << "\n";
        EXPECT_LE(worst.front().first, 24) << "ratio " << ratio << ", worst cells (code:difference)"
                                           << said.str();
    }
}

}  // namespace
