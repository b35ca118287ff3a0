// The sheet with its page as a PDF, a PDF page for each page kept: vector artwork at the
// sheet's size (96 pixels an inch), and every character struck as text in `font` (a
// TrueType file, embedded whole), so that the PDF's text, extracted, reads as the page
// reads; a character overprinted by another is ink that extraction skips.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "printhead/page_record.h"

namespace sheet {

std::string SheetPdf(const std::vector<General::PageRecord>& pages, std::string_view font);

}  // namespace sheet
