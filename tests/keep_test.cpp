// Keeping what was printed: the sheet as a PDF, read back by poppler and qpdf.
#include <gtest/gtest.h>

#include <QImage>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "printhead/page_record.h"
#include "tests/ink.h"
#include "tests/kit.h"
#include "window/printed_page.h"
#include "window/qt/paper.h"
#include "window/keep.h"
#include "window/png.h"
#include "window/sheet_pdf.h"
#include "window/sheet_picture.h"

namespace {

using pexal_test::Capture;

using Lines = std::initializer_list<std::pair<int, std::string>>;

// `bytes` struck as the head strikes them, along one line from cell (0, line): `put(x,
// y, code)` for each printable byte, a backspace one cell back.
template <typename Put>
void Strike(Lines lines, Put put) {
    for (const auto& [line, bytes] : lines) {
        int column = 0;
        for (const char byte : bytes) {
            if (byte == '\b') {
                --column;
                continue;
            }
            const pexal::Pixel at = pexal::CornerOf({column++, line});
            put(at.x, at.y, static_cast<std::uint8_t>(byte));
        }
    }
}

General::PageRecord Page(Lines lines) {
    General::PageRecord page;
    Strike(lines, [&](int x, int y, std::uint8_t code) { page.Put(x, y, code); });
    return page;
}

class Pdf : public pexal_test::PortFileTest {
protected:
    std::string write(const std::vector<General::PageRecord>& pages) {
        const std::string path = (dir() / "sheet.pdf").string();
        std::ofstream(path, std::ios::binary) << sheet::SheetPdf(pages);
        return path;
    }
};

// Each reader's text of a PDF: poppler's, MuPDF's (the engine of many viewers) and
// Ghostscript's, which keeps no blank line and indents each by the page's margin.
std::string ReadWith(const std::string& reader, const std::string& path) {
    if (reader == "poppler") return Capture("pdftotext -layout '" + path + "' - | sed 's/ *$//' | tr -d '\\f'");
    if (reader == "mupdf") return Capture("mutool draw -q -F txt '" + path + "' 2>/dev/null | tr -d '\\f'");
    return Capture("gs -q -dNOPAUSE -dBATCH -sDEVICE=txtwrite -o - '" + path + "' | tr -d '\\r' | sed 's/^   //'");
}

std::string WithoutBlankLines(std::string text) {
    for (std::size_t at; (at = text.find("\n\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}

TEST_F(Pdf, EveryReaderReadsThePageTextAndTheFileIsSmall) {
    const struct {
        General::PageRecord page;
        std::string text;  // UTF-8, lines ended with LF
    } cases[] = {
        {Page({{0, "Hello, printer"}, {2, "  indented"}}), "Hello, printer\n\n  indented"},
        {Page({{0, "ab\bX"}, {1, "ABC\b\b\bXYZ"}}), "aX\nXYZ"},  // the overprinted ink is not text
        {Page({{0, "caf\xE9 Stra\xDF" "e \x80 line 14"}}), "caf\u00E9 Stra\u00DFe \u20AC line 14"},
        {Page({{0, "\x80\x93\xE9\xFF"}}), "\u20AC\u201C\u00E9\u00FF"},
        {Page({{0, "AB"}, {1, "  CD"}}), "AB\n  CD"},  // a gap is spaces, as on the page
        {Page({{0, "a\xAD" "b\x7F\x81"}}), "a-b\u25A1\u25A1"},  // what they look like, as the page reads
        {Page({}), ""},
    };
    for (const auto& c : cases) {
        const std::string path = write({c.page});
        for (const char* reader : {"poppler", "mupdf", "gs"}) {
            const std::string wanted = std::string(reader) == "gs" ? WithoutBlankLines(c.text) : c.text;
            EXPECT_EQ(ReadWith(reader, path), wanted) << reader;
        }
        EXPECT_EQ(Capture("qpdf --check '" + path + "' >/dev/null 2>&1 && echo valid"), "valid");
    }
    const std::string path = write({Page({{0, "one"}}), Page({{0, "two"}})});
    const std::string info = Capture("pdfinfo '" + path + "' | tr -s ' '");
    EXPECT_NE(info.find("Pages: 2\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Page size: 204.75 x 297 pts"), std::string::npos) << info;  // 273 x 396 pixels
    const std::string fonts = Capture("pdffonts '" + path + "' | tail -n +3 | tr -s ' '");
    EXPECT_EQ(fonts.substr(0, fonts.find(" yes yes yes ")), "PEXALA+PexalCellSans CID TrueType Identity-H") << fonts;

    // A full page, overprinted, once and then 2,000 times: the font and the paper are
    // written once, each further page is its text.
    const Lines full = {
        {0, std::string(26, 'W')}, {1, std::string(26, 'g')}, {2, std::string(26, '\xC9')},
        {3, "The quick brown fox jumps"}, {4, "over the lazy dog, 0123456"}, {5, std::string(26, '#')},
        {6, std::string(26, 'M')},  {7, std::string(26, '@')},  {8, std::string(26, 'm')},
        {9, std::string(26, '%')},  {10, std::string(26, 'Q')}, {11, std::string(26, '&')},
        {12, std::string(26, 'B')}, {13, std::string(26, '8')}, {14, std::string(26, 'w')},
        {15, std::string(26, '$')}, {16, std::string(26, 'K')}, {17, std::string(26, '\x80')},
        {18, std::string(26, 'X') + "\b/\b-\b|"}};
    const std::uintmax_t one = std::filesystem::file_size(write({Page(full)}));
    const std::uintmax_t many = std::filesystem::file_size(write(std::vector<General::PageRecord>(2000, Page(full))));
    EXPECT_LE(one, 40u * 1024) << "bytes for one page";
    EXPECT_LE((many - one) / 1999, 5u * 1024) << "bytes a further page";
}

// Every code shows the same glyph in the PDF as on the page, the missing-glyph mark of
// the codes windows-1252 leaves undefined and of 127 too: rasterised at 96 dpi by each
// reader, each cell is inked where and as the window's page inks it.
TEST_F(Pdf, EachCodeIsInkedAsThePageInksIt) {
    const Lines lines = {
        {0, "\x7F\x81\x8D\x8F\x90\x9D ~\x80\xA0\xAD\xFF"}, {1, "ab\bX"}};
    const std::string path = write({Page(lines)});
    Paper window;
    printer::PrintedPage page(window);
    Strike(lines, [&](int x, int y, std::uint8_t code) { page.DrawGlyph(x, y, code); });
    const std::string base = (dir() / "raster").string();
    const struct {
        const char* reader;
        std::string command;
    } readers[] = {
        {"poppler", "pdftoppm -r 96 -singlefile -png '" + path + "' '" + base + "-poppler'"},
        {"mupdf", "mutool draw -q -r 96 -o '" + base + "-mupdf.png' '" + path + "' 2>/dev/null"},
        {"gs", "gs -q -dNOPAUSE -dBATCH -sDEVICE=png16m -r96 -o '" + base + "-gs.png' '" + path + "'"},
    };
    for (const auto& r : readers) {
        Capture(r.command);
        const QImage sheet = QImage(QString::fromStdString(base + "-" + r.reader + ".png")).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(sheet.size(), QSize(273, 396)) << r.reader;
        const QImage drawn = sheet.copy(24, 80, 225, 297);
        for (int line = 0; line < 2; ++line) {
            for (int column = 0; column < 11; ++column) {
                const QRect cell = QRect(3 + 8 * column, 5 + 15 * line, 8, 15).adjusted(1, 1, -1, -1);
                EXPECT_EQ(pexal_test::InkIn(drawn, cell), pexal_test::InkIn(window.image(), cell))
                    << r.reader << ": cell " << column << "," << line;
                const QRect box = pexal_test::InkBox(drawn.copy(cell)), shown = pexal_test::InkBox(window.image().copy(cell));
                EXPECT_LE(std::abs(box.width() - shown.width()) + std::abs(box.height() - shown.height()), 2)
                    << r.reader << ": the glyph's size in cell " << column << "," << line;
            }
        }
    }
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

// What the save dialog's answer means, and a file written whole, where the user meant it,
// or not at all: each row a name typed (and the type chosen), what is written, and where.
class Saving : public pexal_test::PortFileTest {};

TEST_F(Saving, TheFileIsWrittenWholeWhereTheNameLeadsOrNotAtAll) {
    const struct {
        std::string typed;
        int chosen;  // in keep::kFileTypes
        bool allPages;
        std::string path;
        keep::Format format;
    } answers[] = {
        {"page", 2, false, "page.txt", keep::Format::kText},        // the type's extension added
        {"page.PNG", 0, false, "page.PNG", keep::Format::kPng},     // an extension in any case
        {"scan.v1", 1, false, "scan.v1", keep::Format::kPng},       // the type chosen over an odd one
        {"all.png", 1, true, "all.png", keep::Format::kPdf},        // every page is a PDF
        {"all", 0, true, "all.pdf", keep::Format::kPdf},
    };
    using R = sheet::PrintRange;  // and a print dialog's: the run's pages it asks for, from 0
    for (const auto& [range, from, to, first, last] : {std::tuple{R::kCurrentPage, 1, 9, 2, 2}, {R::kAllPages, 1, 1, 0, 2},
                                                       {R::kFromTo, 2, 9, 1, 2}, {R::kFromTo, 0, 0, 0, 0}}) {
        const sheet::PageSpan span = sheet::PagesToPrint(range, from, to, 3);
        EXPECT_EQ(std::make_pair(span.first, span.last), std::make_pair(first, last)) << from << "-" << to;
    }
    for (const auto& a : answers) {
        const keep::Target target = keep::Resolve(a.typed, a.chosen, a.allPages);
        EXPECT_EQ(std::make_pair(target.path.string(), target.format), std::make_pair(a.path, a.format)) << a.typed;
    }

    namespace fs = std::filesystem;
    const auto onlyFiles = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir())) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    // The longest name the system takes is saved, its temporary name no longer.
    const std::string longest(255 - 4, 'n');
    EXPECT_EQ(keep::Save(dir() / (longest + ".txt"), "long"), "");
    EXPECT_EQ(readFile(longest + ".txt"), "long");
    // A file replaced keeps its mode; a link is written through, to the file it names.
    std::ofstream(dir() / "mine.txt") << "old";
    fs::permissions(dir() / "mine.txt", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("mine.txt", dir() / "link.txt");
    EXPECT_EQ(keep::Save(dir() / "link.txt", "new"), "");
    EXPECT_TRUE(fs::is_symlink(dir() / "link.txt"));
    EXPECT_EQ(readFile("mine.txt"), "new");
    EXPECT_EQ(fs::status(dir() / "mine.txt").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    // A disk that takes no more (here, a file-size limit in a child): said, and nothing left.
    const std::vector<std::string> before = onlyFiles();
    const pid_t child = fork();
    if (child == 0) {
        const rlimit small{100, 100};
        setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_IGN);
        const std::string said = keep::Save(dir() / "full.txt", std::string(1000, 'x'));
        _exit(said == "Could not save " + (dir() / "full.txt").string() + ": File too large." ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the failure said, with the file's name and the reason";
    EXPECT_EQ(onlyFiles(), before) << "no file and no temporary file left";
}

}  // namespace
