// Keeping what was printed: the sheet as a PDF, read back by poppler and qpdf.
#include <gtest/gtest.h>

#include <QImage>

#include <fstream>
#include <iterator>
#include <string>

#include "printhead/page_record.h"
#include "tests/kit.h"
#include "window/png.h"
#include "window/sheet_pdf.h"

namespace {

using pexal_test::Capture;

std::string FontData() {
    std::ifstream file(PEXAL_PRINTER_FONT, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A page struck as the head strikes it: `bytes` along one line from cell (0, line).
General::PageRecord Page(std::initializer_list<std::pair<int, std::string>> lines) {
    General::PageRecord page;
    for (const auto& [line, bytes] : lines) {
        int column = 0;
        for (const char byte : bytes) {
            if (byte == '\b') {
                --column;
                continue;
            }
            page.Put(pexal::kOriginX + column++ * pexal::kCellWidth, pexal::kOriginY + line * pexal::kCellHeight,
                     static_cast<std::uint8_t>(byte));
        }
    }
    return page;
}

class Pdf : public pexal_test::PortFileTest {
protected:
    std::string write(const std::vector<General::PageRecord>& pages) {
        const std::string path = (dir() / "sheet.pdf").string();
        std::ofstream(path, std::ios::binary) << sheet::SheetPdf(pages, FontData());
        return path;
    }
};

TEST_F(Pdf, PopplerReadsThePageTextTheFontAndTheSheetsSize) {
    const struct {
        General::PageRecord page;
        std::string text;  // pdftotext -layout, UTF-8, lines ended with LF
    } cases[] = {
        {Page({{0, "Hello, printer"}, {2, "  indented"}}), "Hello, printer\n\n  indented"},
        {Page({{0, "ab\bX"}}), "aX"},  // the overprinted b is ink, not text
        {Page({{0, "\x80\x93\xE9\xFF"}}), "\u20AC\u201C\u00E9\u00FF"},
        {Page({}), ""},
    };
    for (const auto& c : cases) {
        const std::string path = write({c.page});
        EXPECT_EQ(Capture("pdftotext -layout '" + path + "' - | sed 's/ *$//' | tr -d '\\f'"), c.text);
        EXPECT_EQ(Capture("qpdf --check '" + path + "' >/dev/null 2>&1 && echo valid"), "valid");
    }
    const std::string path = write({Page({{0, "one"}}), Page({{0, "two"}})});
    const std::string info = Capture("pdfinfo '" + path + "' | tr -s ' '");
    EXPECT_NE(info.find("Pages: 2\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Page size: 204.75 x 297 pts"), std::string::npos) << info;  // 273 x 396 pixels
    const std::string fonts = Capture("pdffonts '" + path + "' | tail -n +3 | tr -s ' '");
    EXPECT_EQ(fonts.substr(0, fonts.find(" yes no yes ")), "LiberationSans TrueType Custom") << fonts;
}

// The Windows build's PNG writer, read back by Qt's (libpng's) reader, across the 64 KiB
// of a stored block.
TEST(Png, ReadsBackPixelForPixel) {
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{273, 396}}) {
        std::vector<std::uint32_t> pixels(width * height);
        for (std::size_t k = 0; k < pixels.size(); ++k) pixels[k] = static_cast<std::uint32_t>(k * 2654435761u) & 0xFFFFFF;
        const std::string png = keep::Png(width, height, pixels.data());
        const QImage read = QImage::fromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG");
        ASSERT_EQ(read.size(), QSize(width, height));
        for (int k = 0; k < width * height; ++k) {
            ASSERT_EQ(read.pixel(k % width, k / width) & 0xFFFFFF, pixels[k]) << k;
        }
    }
}

}  // namespace
