#include "host/page_watch.h"

#include "common/facts.h"
#include "printhead/general.h"

namespace host {

PageWatch::PageWatch() { General::Load(&tracker_); }

PageWatch::~PageWatch() { General::SetPage(nullptr); }

void PageWatch::Tracker::DrawGlyph(int x, int y, std::uint8_t) {
    PageWatch& w = watch_;
    // The head stops at the last column: a second character there without a move between
    // is one that did not fit on the line.
    if (x == pexal::kLastColumnX && x == w.lastX_ && y == w.lastY_ && !w.movedSinceDraw_) {
        w.pastRight_ = true;
    }
    if (y == pexal::kLastLineY && w.noLineBelow_) w.pastBottom_ = true;
    w.lastX_ = x;
    w.lastY_ = y;
    w.movedSinceDraw_ = false;
}

void PageWatch::Follow(std::uint8_t byte) {
    const int x = General::PosX, y = General::PosY;
    General::PrintChar(std::string(1, static_cast<char>(byte)));
    if (General::PosX != x || General::PosY != y) movedSinceDraw_ = true;
    if (byte == '\n' && General::PosY == y) noLineBelow_ = true;
}

int PageWatch::ColumnsUsed() const {
    const bool full = General::PosX == pexal::kLastColumnX && lastX_ == General::PosX &&
                      lastY_ == General::PosY && !movedSinceDraw_;
    return full ? pexal::kColumns : (General::PosX - pexal::kOriginX) / pexal::kCellWidth;
}

void Folder::Emit(std::string_view bytes, std::string& out) {
    for (const char c : bytes) watch_.Follow(static_cast<std::uint8_t>(c));
    out += bytes;
}

void Folder::Feed(std::string_view in, std::string& out) {
    for (const char c : in) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte > ' ') {  // part of a word (every printable code but the space)
            word_ += c;
            const auto used = static_cast<std::size_t>(watch_.ColumnsUsed());
            if (used + word_.size() <= pexal::kColumns) continue;
            if (used > 0) Break(out);  // the word goes on the next line, whole
            if (word_.size() > pexal::kColumns) {  // longer than a line: cut it
                Emit(std::string_view(word_).substr(0, pexal::kColumns), out);
                Break(out);
                word_.erase(0, pexal::kColumns);
            }
            continue;
        }
        Flush(out);
        if (byte == ' ' && watch_.ColumnsUsed() == pexal::kColumns) {
            Break(out);  // a space at the end of a full line becomes its line end
        } else {
            Emit(std::string_view(&c, 1), out);
        }
    }
}

void Folder::Flush(std::string& out) {
    Emit(word_, out);
    word_.clear();
}

}  // namespace host
