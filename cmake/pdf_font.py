#!/usr/bin/python3
"""Makes the font a kept page's PDF embeds, and what the PDF writer needs to know of it,
from the page's own TrueType font: a C++ source defining the pdf_font namespace of
window/pdf_font.h.

The font is cut down to the glyphs the printer's code page can print (and the
missing-glyph mark) and every glyph advances by one cell, as the page sets them, so that
a PDF reader finds words where the page has them. Each glyph's outline is also given as
PDF path operators, for ink that must not be text.

Usage: pdf_font.py FONT.ttf OUT.cpp CELL_WIDTH GLYPH_PIXELS
"""
import io
import sys

from fontTools import subset
from fontTools.pens.basePen import BasePen
from fontTools.ttLib import TTFont

UNDEFINED = {0x81, 0x8D, 0x8F, 0x90, 0x9D}  # the code page's gaps
FAMILY = "Pexal Cell Sans"


def character(code):
    """The character windows-1252 gives a code, as the page reads it."""
    if code in UNDEFINED:
        return chr(code)
    return bytes([code]).decode("cp1252")


class PathPen(BasePen):
    """An outline as PDF path operators, in font units; quadratic curves made cubic."""

    def __init__(self, glyphs):
        super().__init__(glyphs)
        self.ops = []

    def _moveTo(self, p):
        self.ops.append("%g %g m" % p)

    def _lineTo(self, p):
        self.ops.append("%g %g l" % p)

    def _curveToOne(self, p1, p2, p3):
        self.ops.append("%g %g %g %g %g %g c" % (p1 + p2 + p3))

    def _closePath(self):
        self.ops.append("h")


def c_string(data):
    lines = []
    for start in range(0, len(data), 40):
        lines.append('"' + "".join("\\x%02X" % b for b in data[start:start + 40]) + '"')
    return "\n    ".join(lines) if lines else '""'


def main():
    source, out, cell, pixels = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    codes = range(32, 256)
    font = TTFont(source)
    options = subset.Options()
    options.notdef_outline = True  # the page shows the font's box for a missing glyph
    options.hinting = False
    options.layout_features = []
    options.name_IDs = ["*"]  # the licence travels with the font
    options.recalc_bounds = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=[ord(character(code)) for code in codes])
    subsetter.subset(font)

    em = font["head"].unitsPerEm
    advance = round(cell * em / pixels)
    for name in font.getGlyphOrder():
        width, lsb = font["hmtx"][name]
        font["hmtx"][name] = (advance, lsb)
    font["hhea"].advanceWidthMax = advance

    # A font changed so is a font of its own, by a name of its own: one the window's
    # Liberation Sans cannot be mistaken for when both are registered.
    for record in font["name"].names:
        if record.nameID in (1, 4, 16):
            record.string = FAMILY
        elif record.nameID == 6:
            record.string = FAMILY.replace(" ", "")
        elif record.nameID == 3:
            record.string = FAMILY + " Regular"

    cmap = font.getBestCmap()
    glyph_set = font.getGlyphSet()
    glyphs, outlines = [], []
    for code in range(256):
        name = cmap.get(ord(character(code)), ".notdef") if code >= 32 else ".notdef"
        glyphs.append(font.getGlyphID(name))
        pen = PathPen(glyph_set)
        glyph_set[name].draw(pen)
        outlines.append('"%s"' % " ".join(pen.ops))

    data = io.BytesIO()
    font.save(data)
    data = data.getvalue()
    head, hhea = font["head"], font["hhea"]
    with open(out, "w") as cpp:
        cpp.write("// Made by cmake/pdf_font.py from %s; not to be edited.\n" % source.split("/")[-1])
        cpp.write('#include "window/pdf_font.h"\n\nnamespace pdf_font {\n\n')
        cpp.write("const std::string_view kFont(\n    %s,\n    %d);\n" % (c_string(data), len(data)))
        cpp.write("const int kUnitsPerEm = %d;\nconst int kAscent = %d;\nconst int kDescent = %d;\n"
                  % (em, hhea.ascent, hhea.descent))
        cpp.write("const int kBox[4] = {%d, %d, %d, %d};\n" % (head.xMin, head.yMin, head.xMax, head.yMax))
        cpp.write("const int kAdvance = %d;\n" % advance)
        cpp.write('const char kFamily[] = "%s";\n' % FAMILY)
        cpp.write("const std::uint16_t kGlyphOf[256] = {%s};\n" % ", ".join(map(str, glyphs)))
        cpp.write("const char* const kOutline[256] = {\n    %s};\n" % ",\n    ".join(outlines))
        cpp.write("\n}  // namespace pdf_font\n")


if __name__ == "__main__":
    main()
