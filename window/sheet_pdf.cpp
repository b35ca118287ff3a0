#include "window/sheet_pdf.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "common/windows1252.h"
#include "window/pdf_font.h"
#include "window/sheet_picture.h"

namespace sheet {
namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string Ref(int object) { return std::to_string(object) + " 0 R"; }

// As the page places glyphs: the baseline this many whole pixels below the cell's top.
double AscentPixels() { return std::round(pdf_font::kAscent * kGlyphPixels / pdf_font::kUnitsPerEm); }

// Draws in the sheet's pixels, y down, into a content stream. The overprinted codes it
// drew are named /G<code>, a form each, drawn as the code's outline.
class PdfCanvas final : public Canvas {
public:
    std::string content;
    std::array<bool, 256> outlined{};

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
    // One run a line, a code a cell (the font advances every glyph one cell), the gaps
    // spaces, so that the text reads as the page reads and words break where it has spaces.
    void Line(double x, double top, const std::array<std::uint8_t, pexal::kColumns>& codes) override {
        int last = pexal::kColumns - 1;
        while (last >= 0 && codes[last] == 0) --last;
        content += "BT /F1 " + Number(kGlyphPixels) + " Tf 0 g 1 0 0 -1 " + Number(x) + " " +
                   Number(top + AscentPixels()) + " Tm <";
        for (int k = 0; k <= last; ++k) {
            char cid[8];
            std::snprintf(cid, sizeof cid, "%04X", codes[k] == 0 ? ' ' : codes[k]);
            content += cid;
        }
        content += "> Tj ET\n";
    }
    void Under(double x, double top, std::uint8_t code) override {
        const double scale = kGlyphPixels / pdf_font::kUnitsPerEm;
        content += "q " + Number(scale) + " 0 0 " + Number(-scale) + " " + Number(x) + " " +
                   Number(top + AscentPixels()) + " cm /G" + std::to_string(code) + " Do Q\n";
        outlined[code] = true;
    }
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
    // A stream, deflated.
    void Stream(int number, const std::string& dictionary, std::string_view data) {
        std::string z(compressBound(static_cast<uLong>(data.size())), '\0');
        uLongf size = static_cast<uLongf>(z.size());
        compress2(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), Z_BEST_COMPRESSION);
        z.resize(size);
        Object(number, "<<" + dictionary + " /Filter /FlateDecode /Length " + std::to_string(z.size()) +
                           ">>\nstream\n" + z + "\nendstream");
    }
    std::string Finish(int root) {
        const std::size_t xref = out_.size();
        out_ += "xref\n0 " + std::to_string(count_ + 1) + "\n0000000000 65535 f \n";
        for (std::size_t offset : offsets_) {
            char entry[24];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
            out_ += entry;
        }
        out_ += "trailer\n<</Size " + std::to_string(count_ + 1) + " /Root " + Ref(root) +
                ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return std::move(out_);
    }

private:
    std::string out_;
    std::size_t count_ = 0;
    std::vector<std::size_t> offsets_;
};

// The font as a composite font whose codes are the printer's (two bytes each): each code
// shows the glyph the page draws for it, reads as the page reads it, and advances one cell.
int WriteFont(Writer& pdf) {
    const int type0 = pdf.Reserve(), cid = pdf.Reserve(), descriptor = pdf.Reserve();
    const int file = pdf.Reserve(), toGlyph = pdf.Reserve(), toUnicode = pdf.Reserve();
    std::string kName = std::string("/PEXALA+") + pdf_font::kFamily;  // a subset's tag, as PDF names them
    kName.erase(std::remove(kName.begin(), kName.end(), ' '), kName.end());
    pdf.Object(type0, "<</Type /Font /Subtype /Type0 /BaseFont " + kName +
                          " /Encoding /Identity-H /DescendantFonts [" + Ref(cid) + "] /ToUnicode " +
                          Ref(toUnicode) + ">>");
    const auto em = [](int units) { return std::to_string(std::lround(units * 1000.0 / pdf_font::kUnitsPerEm)); };
    pdf.Object(cid, "<</Type /Font /Subtype /CIDFontType2 /BaseFont " + kName +
                        " /CIDSystemInfo <</Registry (Adobe) /Ordering (Identity) /Supplement 0>> /FontDescriptor " +
                        Ref(descriptor) + " /W [0 255 " + Number(pexal::kCellWidth * 1000 / kGlyphPixels) + "] /CIDToGIDMap " + Ref(toGlyph) + ">>");
    const int* box = pdf_font::kBox;
    pdf.Object(descriptor, "<</Type /FontDescriptor /FontName " + kName + " /Flags 32 /FontBBox [" +
                               em(box[0]) + " " + em(box[1]) + " " + em(box[2]) + " " + em(box[3]) +
                               "] /ItalicAngle 0 /Ascent " + em(pdf_font::kAscent) + " /Descent " +
                               em(pdf_font::kDescent) + " /CapHeight " + em(pdf_font::kAscent) +
                               " /StemV 80 /FontFile2 " + Ref(file) + ">>");
    pdf.Stream(file, "/Length1 " + std::to_string(pdf_font::kFont.size()), pdf_font::kFont);
    std::string glyphs;
    for (const std::uint16_t glyph : pdf_font::kGlyphOf) glyphs += {char(glyph >> 8), char(glyph & 0xFF)};
    pdf.Stream(toGlyph, "", glyphs);
    std::string map = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Pexal def "
                      "/CIDSystemInfo <</Registry (Adobe) /Ordering (UCS) /Supplement 0>> def /CMapType 2 def\n"
                      "1 begincodespacerange <0000> <00FF> endcodespacerange\n";
    for (int first = 32; first <= 255; first += 100) {
        const int last = std::min(first + 99, 255);
        map += std::to_string(last - first + 1) + " beginbfchar\n";
        for (int code = first; code <= last; ++code) {
            char entry[24];
            std::snprintf(entry, sizeof entry, "<%04X> <%04X>\n", code, pexal::ReadAs(code));
            map += entry;
        }
        map += "endbfchar\n";
    }
    map += "endcmap CMapName currentdict /CMap defineresource pop end end";
    pdf.Stream(toUnicode, "", map);
    return type0;
}

}  // namespace

std::string SheetPdf(const std::vector<General::PageRecord>& pages) {
    Writer pdf;
    const int catalog = pdf.Reserve(), tree = pdf.Reserve();
    pdf.Object(catalog, "<</Type /Catalog /Pages " + Ref(tree) + ">>");
    const int font = WriteFont(pdf);
    const std::string box = "[0 0 " + Number(kSheetWidth) + " " + Number(kSheetHeight) + "]";
    const int paper = pdf.Reserve();
    {
        PdfCanvas canvas;
        DrawPaper(canvas);
        pdf.Stream(paper, "/Type /XObject /Subtype /Form /BBox " + box, canvas.content);
    }

    std::vector<int> kids;
    std::array<int, 256> outlines{};  // the form of each code overprinted somewhere
    const int xobjects = pdf.Reserve();
    const std::string resources = "<</Font <</F1 " + Ref(font) + ">> /XObject " + Ref(xobjects) + ">>";
    for (const General::PageRecord& page : pages) {
        PdfCanvas canvas;
        canvas.content = "0.75 0 0 -0.75 0 " + Number(kSheetHeight * 0.75) + " cm /Paper Do\n";
        DrawInk(canvas, page, kPageLeft, kPageTop);
        const int object = pdf.Reserve(), content = pdf.Reserve();
        pdf.Object(object, "<</Type /Page /Parent " + Ref(tree) + " /MediaBox [0 0 " + Number(kSheetWidth * 0.75) +
                               " " + Number(kSheetHeight * 0.75) + "] /Resources " + resources + " /Contents " +
                               Ref(content) + ">>");
        pdf.Stream(content, "", canvas.content);
        kids.push_back(object);
        for (int code = 0; code < 256; ++code) {
            if (canvas.outlined[code] && outlines[code] == 0) outlines[code] = pdf.Reserve();
        }
    }
    std::string names = "<</Paper " + Ref(paper);
    const int* fontBox = pdf_font::kBox;
    for (int code = 0; code < 256; ++code) {
        if (outlines[code] == 0) continue;
        names += " /G" + std::to_string(code) + " " + Ref(outlines[code]);
        pdf.Stream(outlines[code],
                   "/Type /XObject /Subtype /Form /BBox [" + std::to_string(fontBox[0]) + " " +
                       std::to_string(fontBox[1]) + " " + std::to_string(fontBox[2]) + " " +
                       std::to_string(fontBox[3]) + "]",
                   *pdf_font::kOutline[code] != '\0' ? std::string("0 g ") + pdf_font::kOutline[code] + " f" : "");
    }
    pdf.Object(xobjects, names + ">>");
    std::string list;
    for (const int kid : kids) list += Ref(kid) + " ";
    pdf.Object(tree, "<</Type /Pages /Kids [" + list + "] /Count " + std::to_string(pages.size()) + ">>");
    return pdf.Finish(catalog);
}

}  // namespace sheet
