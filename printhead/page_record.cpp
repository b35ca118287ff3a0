#include "printhead/page_record.h"

namespace General {

void PageRecord::Put(int x, int y, std::uint8_t code) {
    const int dx = x - pexal::kOriginX, dy = y - pexal::kOriginY;
    if (dx < 0 || dy < 0 || dx % pexal::kCellWidth != 0 || dy % pexal::kCellHeight != 0) return;
    const int column = dx / pexal::kCellWidth, line = dy / pexal::kCellHeight;
    if (column >= pexal::kColumns || line >= pexal::kLines) return;
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

}  // namespace General
