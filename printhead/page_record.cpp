#include "printhead/page_record.h"

#include "common/windows1252.h"

namespace General {

void PageRecord::Put(int x, int y, std::uint8_t code) {
    pexal::Cell cell;
    if (!pexal::CellAt({x, y}, &cell) || pexal::CornerOf(cell) != pexal::Pixel{x, y}) return;
    const int column = cell.column, line = cell.line;
    reads_[line][column] = code;
    if (struck_.empty()) struck_.resize(pexal::kColumns * pexal::kLines * 256);
    const std::size_t seen = (static_cast<std::size_t>(line) * pexal::kColumns + column) * 256 + code;
    if (struck_[seen]) return;
    struck_[seen] = true;
    strikes_.push_back({static_cast<std::uint8_t>(column), static_cast<std::uint8_t>(line), code});
}

void PageRecord::Clear() { *this = PageRecord(); }

PageRecord PageRecord::Kept() const {
    PageRecord kept;
    kept.strikes_ = strikes_;
    kept.reads_ = reads_;
    return kept;
}

std::u16string PageRecord::Text() const {
    std::u16string text;
    std::size_t kept = 0;  // the text up to the end of its last line with something on it
    for (std::size_t line = 0; line < reads_.size(); ++line) {
        if (line > 0) text += u'\n';
        std::u16string row;
        for (const std::uint8_t code : reads_[line]) row += code == 0 ? u' ' : pexal::ReadAs(code);
        const std::size_t end = row.find_last_not_of(u' ');
        if (end == std::u16string::npos) continue;
        text += row.substr(0, end + 1);
        kept = text.size();
    }
    text.resize(kept);
    return text;
}

}  // namespace General
