#include "window/sheet_pdf.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/windows1252.h"
#include "window/sheet_picture.h"
#include "window/truetype.h"

namespace sheet {
namespace {

// What the PDF needs of a TrueType font: its em, bounding box, ascent and descent.
class TrueType {
public:
    explicit TrueType(std::string_view data)
        : head_(truetype::Table(data, "head")), hhea_(truetype::Table(data, "hhea")) {
        unitsPerEm_ = U16(head_, 18);
        if (unitsPerEm_ == 0) unitsPerEm_ = 1000;
        for (int k = 0; k < 4; ++k) box_[k] = Em(S16(head_, 36 + 2 * k));
        ascent_ = S16(hhea_, 4);
        descent_ = S16(hhea_, 6);
    }
    int Em(int units) const { return static_cast<int>(std::lround(units * 1000.0 / unitsPerEm_)); }
    int Ascent() const { return Em(ascent_); }
    int Descent() const { return Em(descent_); }
    // As the page places glyphs: the baseline this many whole pixels below the cell's top.
    double AscentPixels(double size) const { return std::round(ascent_ * size / unitsPerEm_); }
    const int* Box() const { return box_; }

private:
    // A table too short reads as zeros.
    static unsigned U16(std::string_view table, std::size_t at) {
        return at + 2 <= table.size() ? (std::uint8_t(table[at]) << 8) | std::uint8_t(table[at + 1]) : 0;
    }
    static int S16(std::string_view table, std::size_t at) { return static_cast<std::int16_t>(U16(table, at)); }

    std::string_view head_, hhea_;
    unsigned unitsPerEm_ = 1000;
    int ascent_ = 0, descent_ = 0, box_[4] = {};
};

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string Hex(std::uint8_t code) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", code);
    return text;
}

// Draws in the sheet's pixels, y down; the content stream turns them into points.
class PdfCanvas final : public Canvas {
public:
    explicit PdfCanvas(const TrueType& font) : font_(font) {}
    std::string content = "0.75 0 0 -0.75 0 " + Number(kSheetHeight * 0.75) + " cm\n";

    void Fill(double x, double y, double width, double height, Rgb c) override {
        content += Number(c.red / 255.0) + " " + Number(c.green / 255.0) + " " + Number(c.blue / 255.0) +
                   " rg " + Number(x) + " " + Number(y) + " " + Number(width) + " " + Number(height) + " re f\n";
    }
    void Dash(double x1, double x2, double y) override {
        content += "0 G 1 w " + Number(x1) + " " + Number(y + 0.5) + " m " + Number(x2) + " " +
                   Number(y + 0.5) + " l S\n";
    }
    void Hole(double x, double y, double size) override {
        const double r = (size - 1) / 2, cx = x + size / 2, cy = y + size / 2, k = 0.5523 * r;
        content += "1 g 0 G 1 w " + Number(cx + r) + " " + Number(cy) + " m\n";
        const double arcs[4][6] = {{cx + r, cy + k, cx + k, cy + r, cx, cy + r},
                                   {cx - k, cy + r, cx - r, cy + k, cx - r, cy},
                                   {cx - r, cy - k, cx - k, cy - r, cx, cy - r},
                                   {cx + k, cy - r, cx + r, cy - k, cx + r, cy}};
        for (const auto& a : arcs) {
            for (double v : a) content += Number(v) + " ";
            content += "c\n";
        }
        content += "b\n";
    }
    // One string a line, a character a cell (every advance is a cell: see the widths), the
    // gaps spaces, so that the text reads as the page reads.
    void Line(double x, double top, const std::array<std::uint8_t, pexal::kColumns>& codes) override {
        int last = pexal::kColumns - 1;
        while (last >= 0 && codes[last] == 0) --last;
        content += Begin(x, top) + "<";
        for (int k = 0; k <= last; ++k) content += Hex(codes[k] == 0 ? ' ' : codes[k]);
        content += "> Tj ET\n";
    }
    void Under(double x, double top, std::uint8_t code) override {
        content += "/Span <</ActualText ()>> BDC " + Begin(x, top) + "<" + Hex(code) + "> Tj ET EMC\n";
    }

private:
    std::string Begin(double x, double top) const {
        return "BT /F1 " + Number(kGlyphPixels) + " Tf 0 g 1 0 0 -1 " + Number(x) + " " +
               Number(top + font_.AscentPixels(kGlyphPixels)) + " Tm ";
    }
    const TrueType& font_;
};

// A PDF's objects, numbered from 1, and their offsets for the cross-reference table.
class Writer {
public:
    Writer() { out_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"; }
    int Reserve() { return static_cast<int>(++count_); }
    void Object(int number, const std::string& body) {
        if (offsets_.size() < static_cast<std::size_t>(number)) offsets_.resize(number);
        offsets_[number - 1] = out_.size();
        out_ += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    static std::string Stream(const std::string& dictionary, std::string_view data) {
        return "<<" + dictionary + " /Length " + std::to_string(data.size()) + ">>\nstream\n" +
               std::string(data) + "\nendstream";
    }
    std::string Finish(int root) {
        const std::size_t xref = out_.size();
        out_ += "xref\n0 " + std::to_string(count_ + 1) + "\n0000000000 65535 f \n";
        for (std::size_t offset : offsets_) {
            char entry[24];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
            out_ += entry;
        }
        out_ += "trailer\n<</Size " + std::to_string(count_ + 1) + " /Root " + std::to_string(root) +
                " 0 R>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return std::move(out_);
    }

private:
    std::string out_;
    std::size_t count_ = 0;
    std::vector<std::size_t> offsets_;
};

}  // namespace

std::string SheetPdf(const std::vector<General::PageRecord>& pages, std::string_view fontData) {
    const TrueType font(fontData);
    Writer pdf;
    const int catalog = pdf.Reserve(), tree = pdf.Reserve(), fontObject = pdf.Reserve();
    const int descriptor = pdf.Reserve(), file = pdf.Reserve(), unicode = pdf.Reserve();
    pdf.Object(catalog, "<</Type /Catalog /Pages " + std::to_string(tree) + " 0 R>>");

    // The five codes windows-1252 leaves undefined show the font's missing-glyph mark, as
    // on the page (WinAnsiEncoding would make them bullets).
    // The page sets every character in a cell of its own, whatever its glyph's width: so
    // does the PDF, which lets a reader find words where the page has them.
    std::string widths;
    for (int code = 32; code <= 255; ++code) widths += Number(pexal::kCellWidth * 1000 / kGlyphPixels) + " ";
    pdf.Object(fontObject, "<</Type /Font /Subtype /TrueType /BaseFont /LiberationSans "
                           "/FirstChar 32 /LastChar 255 /Widths [" + widths + "] /Encoding <</BaseEncoding "
                           "/WinAnsiEncoding /Differences [129 /.notdef 141 /.notdef 143 /.notdef 144 /.notdef "
                           "157 /.notdef]>> "
                           "/FontDescriptor " + std::to_string(descriptor) + " 0 R /ToUnicode " +
                           std::to_string(unicode) + " 0 R>>");
    const int* box = font.Box();
    pdf.Object(descriptor, "<</Type /FontDescriptor /FontName /LiberationSans /Flags 32 /FontBBox [" +
                               std::to_string(box[0]) + " " + std::to_string(box[1]) + " " +
                               std::to_string(box[2]) + " " + std::to_string(box[3]) +
                               "] /ItalicAngle 0 /Ascent " + std::to_string(font.Ascent()) +
                               " /Descent " + std::to_string(font.Descent()) + " /CapHeight " +
                               std::to_string(font.Ascent()) + " /StemV 80 /FontFile2 " +
                               std::to_string(file) + " 0 R>>");
    pdf.Object(file, Writer::Stream("/Length1 " + std::to_string(fontData.size()), fontData));
    // Each code reads as the character windows-1252 gives it, as on the page.
    std::string map = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Pexal def "
                      "/CIDSystemInfo <</Registry (Adobe) /Ordering (UCS) /Supplement 0>> def /CMapType 2 def\n"
                      "1 begincodespacerange <00> <FF> endcodespacerange\n";
    for (int first = 32; first <= 255; first += 100) {
        const int last = std::min(first + 99, 255);
        map += std::to_string(last - first + 1) + " beginbfchar\n";
        for (int code = first; code <= last; ++code) {
            char entry[24];
            std::snprintf(entry, sizeof entry, "<%02X> <%04X>\n", code, pexal::FromWindows1252(code));
            map += entry;
        }
        map += "endbfchar\n";
    }
    map += "endcmap CMapName currentdict /CMap defineresource pop end end";
    pdf.Object(unicode, Writer::Stream("", map));

    std::string kids;
    for (const General::PageRecord& page : pages) {
        PdfCanvas canvas(font);
        DrawSheet(canvas, page);
        const int object = pdf.Reserve(), content = pdf.Reserve();
        pdf.Object(object, "<</Type /Page /Parent " + std::to_string(tree) + " 0 R /MediaBox [0 0 " +
                               Number(kSheetWidth * 0.75) + " " + Number(kSheetHeight * 0.75) +
                               "] /Resources <</Font <</F1 " + std::to_string(fontObject) +
                               " 0 R>>>> /Contents " + std::to_string(content) + " 0 R>>");
        pdf.Object(content, Writer::Stream("", canvas.content));
        kids += std::to_string(object) + " 0 R ";
    }
    pdf.Object(tree, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + ">>");
    return pdf.Finish(catalog);
}

}  // namespace sheet
