#include "printhead/page_text.h"

#include "common/windows1252.h"

namespace General {

void PageText::Put(int x, int y, std::uint8_t code) {
    const int column = (x - pexal::kOriginX) / pexal::kCellWidth;
    const int line = (y - pexal::kOriginY) / pexal::kCellHeight;
    if (x < pexal::kOriginX || y < pexal::kOriginY || (x - pexal::kOriginX) % pexal::kCellWidth != 0 ||
        (y - pexal::kOriginY) % pexal::kCellHeight != 0 || column >= pexal::kColumns ||
        line >= pexal::kLines) {
        return;
    }
    cells_[line][column] = pexal::FromWindows1252(code);
}

void PageText::Clear() {
    for (auto& line : cells_) line.fill(u' ');
}

std::u16string PageText::Text() const {
    std::u16string text;
    std::size_t kept = 0;  // the text up to the end of its last line with something on it
    for (std::size_t line = 0; line < cells_.size(); ++line) {
        if (line > 0) text += u'\n';
        const std::u16string row(cells_[line].begin(), cells_[line].end());
        const std::size_t end = row.find_last_not_of(u' ');
        if (end == std::u16string::npos) continue;
        text += row.substr(0, end + 1);
        kept = text.size();
    }
    text.resize(kept);
    return text;
}

}  // namespace General
