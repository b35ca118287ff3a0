// The sheet with its page as a PDF, a PDF page for each page kept: the paper drawn once
// and shown on every page, and every character struck as text, a line of the page one
// run of text whose characters keep to their cells, so that the PDF's text, extracted by
// any reader, reads as the page reads. A character overprinted by another is ink drawn
// as its outline, never text. The font is the page's own, cut down to the glyphs the
// printer's code page prints, and every stream is deflated.
#pragma once

#include <string>
#include <vector>

#include "printhead/page_record.h"

namespace sheet {

std::string SheetPdf(const std::vector<General::PageRecord>& pages);

}  // namespace sheet
