#include "printhead/reading.h"

#include <algorithm>
#include <utility>
#include <cwctype>

#include "common/facts.h"
#include "common/windows1252.h"

namespace General {

namespace {

const char16_t kPageEmpty[] = u"The page is empty";
const char16_t kBell[] = u"bell";
const char16_t kEndOfLine[] = u"end of line";
const char16_t kEndOfPage[] = u"end of page";

// Sentences said one after another, as one announcement.
std::u16string Then(std::u16string first, const std::u16string& second) {
    if (first.empty() || second.empty()) return first.empty() ? second : first;
    return first + u". " + second;
}

// What a listener hears of an insertion: its words, on one line.
std::u16string Spoken(std::u16string text) {
    std::replace(text.begin(), text.end(), u'\n', u' ');
    const std::size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

}  // namespace

CaretMove MoveFor(ReadingKey key, bool control) {
    switch (key) {
        case ReadingKey::kLeft: return control ? CaretMove::PreviousWord : CaretMove::PreviousCharacter;
        case ReadingKey::kRight: return control ? CaretMove::NextWord : CaretMove::NextCharacter;
        case ReadingKey::kUp: return CaretMove::PreviousLine;
        case ReadingKey::kDown: return CaretMove::NextLine;
        case ReadingKey::kHome: return control ? CaretMove::PageStart : CaretMove::LineStart;
        case ReadingKey::kEnd: break;
    }
    return control ? CaretMove::PageEnd : CaretMove::LineEnd;
}

namespace {
const PageRecord kNoPage;
}  // namespace

Reading::Reading(const PageRecord* page) : page_(page != nullptr ? page : &kNoPage) {}

std::u16string Reading::Current() const { return page_->Text(); }

void Reading::Struck(int x, int y, std::uint8_t code) {
    pexal::Cell cell;
    if (!pexal::CellAt({x, y}, &cell)) return;
    afterColumn_ = cell.column + 1;
    afterLine_ = cell.line;
    last_ = pexal::ReadAs(code);
    struck_ = true;
}

std::u16string Reading::Unsaid() const {
    const std::u16string now = page_->Text();
    std::size_t start = 0;
    while (start < told_.size() && start < now.size() && told_[start] == now[start]) ++start;
    return Spoken(now.substr(start));
}

ReadingNews Reading::Clear(const std::u16string& unsaid) {
    following_ = true;
    afterColumn_ = afterLine_ = 0;
    rightStops_ = 0;
    endOfLineSaid_ = bottom_ = endOfPageSaid_ = false;
    std::u16string said = Then(std::exchange(phrase_, {}), unsaid);
    return Tell(Then(std::move(said), kPageEmpty), false);
}

// The poll cycle moves one byte a tick, so a tick either struck, moved the head or idled.
// A word ends at a space, a line at a carriage return (the head back at the margin) or a
// line feed (the head on another line); what is left is said after a second's quiet.
ReadingNews Reading::Tick(int headX, int headY, bool pageFocused) {
    bool ends = false, phraseEnds = false;
    const bool movedOff = headX_ >= 0 && (headY != headY_ || (headX != headX_ && headX == pexal::kOriginX));
    if (headY != headY_ || headX != pexal::kLastColumnX) {  // away from the right edge
        rightStops_ = 0;
        endOfLineSaid_ = false;
    }
    const bool pastEdge = struck_ && rightStops_ >= 2;  // drawn over the last cell
    if (struck_) {
        idle_ = 0;
        ends = last_ == u' ' || pastEdge;
    } else if (movedOff) {
        ends = phraseEnds = true;
    } else if (idle_ < kIdleTicks && ++idle_ == kIdleTicks) {
        ends = phraseEnds = true;
    }
    // What came before the bell or an edge is said before it.
    std::u16string edges;
    if (pastEdge && !std::exchange(endOfLineSaid_, true)) edges = kEndOfLine;
    if (std::exchange(bottomStop_, false) && !std::exchange(endOfPageSaid_, true)) edges = Then(edges, kEndOfPage);
    if (rang_ || !edges.empty()) ends = phraseEnds = true;
    struck_ = false;
    headX_ = headX;
    headY_ = headY;
    ReadingNews news;
    if (ends && page_->Text() != told_) {
        news = Tell({}, true, pageFocused);
        if (!news.heardInInsertion && phrased_ && edges.empty()) {  // gathered until the phrase ends
            phrase_ += (phrase_.empty() || news.announcement.empty() ? u"" : u" ") + news.announcement;
            news.announcement.clear();
        }
    }
    if (!edges.empty()) {  // the edge, then the character drawn over the last cell
        news.announcement = Then(Then(std::exchange(phrase_, {}), edges),
                                 news.heardInInsertion ? std::u16string() : news.announcement);
        news.heardInInsertion = false;
    } else if (news.heardInInsertion && !phrase_.empty()) {  // the reader rejoined: the rest, said
        news.announcement = std::exchange(phrase_, {});
        news.heardInInsertion = false;
    } else if (!news.heardInInsertion && (phraseEnds || rang_ || !phrased_)) {
        news.announcement = Then(std::exchange(phrase_, {}), news.announcement);
    }
    if (std::exchange(rang_, false)) {
        news.announcement = Then(news.heardInInsertion ? std::u16string() : std::move(news.announcement), kBell);
        news.heardInInsertion = false;
    }
    return news;
}

// Brings the text told up to the page, as one replacement of the part that differs, and
// announces what was printed (an overprint says its new characters). A following caret
// goes just after the last character struck: the end of what was said.
ReadingNews Reading::Tell(std::u16string announcement, bool printed, bool pageFocused) {
    ReadingNews news;
    std::u16string now = page_->Text();
    if (now != told_) {
        std::size_t start = 0, endBefore = told_.size(), endNow = now.size();
        while (start < endBefore && start < endNow && told_[start] == now[start]) ++start;
        while (endBefore > start && endNow > start && told_[endBefore - 1] == now[endNow - 1]) {
            --endBefore;
            --endNow;
        }
        if (bottom_) {  // the last line written over again is told as the line it now is
            std::size_t last = 0;
            for (int line = 0; line < pexal::kLines - 1 && last != std::u16string::npos; ++line) {
                last = told_.find(u'\n', last);
                if (last != std::u16string::npos) ++last;
            }
            if (last != std::u16string::npos && start >= last) {
                start = last;
                endBefore = told_.size();
                endNow = now.size();
            }
        }
        news.textChanged = true;
        news.at = static_cast<int>(start);
        news.removed = told_.substr(start, endBefore - start);
        news.inserted = now.substr(start, endNow - start);
    }
    told_ = std::move(now);
    const int caret = following_ ? OffsetOfCell(afterColumn_, afterLine_) : Clamp(caret_);
    news.caretMoved = caret != caret_;
    caret_ = caret;
    // An overprint is heard from its insertion too, which replaces what it overprints.
    news.heardInInsertion = printed && pageFocused && following_ && news.textChanged &&
                            caret_ == news.at + static_cast<int>(news.inserted.size());
    news.announcement = printed ? Spoken(news.inserted) : std::move(announcement);
    idle_ = kIdleTicks;
    return news;
}

int Reading::Clamp(int offset) const { return std::clamp(offset, 0, Length()); }

// The offset of a cell, or of the end of its line when the cell lies past it.
int Reading::OffsetOfCell(int column, int line) const {
    int start = 0;
    for (int k = 0; k < line; ++k) {
        const std::size_t feed = told_.find(u'\n', static_cast<std::size_t>(start));
        if (feed == std::u16string::npos) return Length();
        start = static_cast<int>(feed) + 1;
    }
    return std::min(start + std::max(column, 0), LineEnd(At(start, TextUnit::Line)));
}

// Where a line's text ends: before its line feed.
int Reading::LineEnd(const TextSpan& line) const {
    return line.end < Length() ? line.end - 1 : line.end;
}

TextSpan Reading::At(int offset, TextUnit unit) const {
    const int length = Length();
    offset = Clamp(offset);
    if (length == 0) return {};
    if (unit == TextUnit::All) return {0, length};
    if (unit == TextUnit::Character) return {offset, std::min(offset + 1, length)};
    if (offset == length) offset = length - 1;  // the end belongs to the last line and word
    // A line runs through its line feed; a sentence and a paragraph are lines.
    const std::size_t feedBefore = offset == 0 ? std::u16string::npos
                                               : told_.rfind(u'\n', static_cast<std::size_t>(offset - 1));
    const int lineStart = feedBefore == std::u16string::npos ? 0 : static_cast<int>(feedBefore) + 1;
    const std::size_t feed = told_.find(u'\n', static_cast<std::size_t>(offset));
    const int lineEnd = feed == std::u16string::npos ? length : static_cast<int>(feed) + 1;
    if (unit != TextUnit::Word) return {lineStart, lineEnd};
    // A word runs from its first letter through the spaces after it; the line's first word
    // holds any spaces before it and the last its line feed, so words tile the text.
    const int firstInk = static_cast<int>(
        std::min(told_.find_first_not_of(u' ', static_cast<std::size_t>(lineStart)), told_.size()));
    auto startsWord = [&](int k) {
        return k == lineStart ||
               (k > firstInk && told_[k] != u' ' && told_[k] != u'\n' && told_[k - 1] == u' ');
    };
    int start = offset;
    while (!startsWord(start)) --start;
    int end = offset + 1;
    while (end < lineEnd && !startsWord(end)) ++end;
    return {start, end};
}

TextSpan Reading::Before(int offset, TextUnit unit) const {
    const int start = At(offset, unit).start;
    return start == 0 ? TextSpan{} : At(start - 1, unit);
}

TextSpan Reading::After(int offset, TextUnit unit) const {
    const TextSpan at = At(offset, unit);
    if (at.end >= Length()) return {Length(), Length()};
    return At(at.end, unit);
}

ReadingNews Reading::Move(CaretMove move) {
    const int length = Length();
    const TextSpan line = At(caret_, TextUnit::Line);
    const int column = caret_ - line.start;
    int to = caret_;
    switch (move) {
        case CaretMove::PreviousCharacter: to = caret_ - 1; break;
        case CaretMove::NextCharacter: to = caret_ + 1; break;
        case CaretMove::PreviousWord: {
            to = At(caret_, TextUnit::Word).start;
            if (to == caret_ && caret_ > 0) to = At(caret_ - 1, TextUnit::Word).start;
            break;
        }
        case CaretMove::NextWord: to = At(caret_, TextUnit::Word).end; break;
        case CaretMove::PreviousLine:  // to the same column, or the line's end if shorter
            to = line.start == 0 ? 0 : std::min(At(line.start - 1, TextUnit::Line).start + column, line.start - 1);
            break;
        case CaretMove::NextLine:  // from the last line to the end, where printing is
            to = line.end >= length ? length : std::min(line.end + column, LineEnd(At(line.end, TextUnit::Line)));
            break;
        case CaretMove::LineStart: to = line.start; break;
        case CaretMove::LineEnd: to = LineEnd(line); break;
        case CaretMove::PageStart: to = 0; break;
        case CaretMove::PageEnd: to = length; break;
    }
    return SetCaret(to);
}

ReadingNews Reading::SetCaret(int offset) {
    ReadingNews news;
    const int to = Clamp(offset);
    following_ = to == Length();
    news.caretMoved = to != caret_;
    caret_ = to;
    return news;
}

bool Reading::CellOf(int offset, int* column, int* line) const {
    if (offset < 0 || offset >= Length()) return false;
    const int start = At(offset, TextUnit::Line).start;
    *line = static_cast<int>(std::count(told_.begin(), told_.begin() + start, u'\n'));
    *column = offset - start;
    return true;
}

int Reading::MoveEndpoint(int offset, TextUnit unit, int count, int* moved) const {
    int at = Clamp(offset);
    *moved = 0;
    for (; *moved != count; *moved += count > 0 ? 1 : -1) {
        const TextSpan span = At(at, unit);
        int next = at;
        if (count > 0) {
            next = at < Length() ? span.end : at;
        } else if (at > 0) {
            next = span.start < at ? span.start : At(at - 1, unit).start;
        }
        if (next == at) break;
        at = next;
    }
    return at;
}

TextSpan Reading::MoveRange(TextSpan range, TextUnit unit, int count, int* moved) const {
    const int from = Clamp(range.start);
    int at = unit == TextUnit::Character ? from : At(from, unit).start;
    *moved = 0;
    for (; *moved != count; *moved += count > 0 ? 1 : -1) {
        const TextSpan span = At(at, unit);
        if (count > 0 ? span.end >= Length() : span.start == 0) break;
        at = count > 0 ? span.end : At(span.start - 1, unit).start;
    }
    if (range.start == range.end) return {at, at};
    return {at, At(at, unit).end};
}

bool Reading::Find(std::u16string_view wanted, TextSpan within, bool backward, bool ignoreCase,
                   TextSpan* found) const {
    const auto fold = [&](std::u16string_view text) {
        std::u16string folded(text);
        if (ignoreCase) {
            for (char16_t& c : folded) c = static_cast<char16_t>(std::towlower(c));
        }
        return folded;
    };
    const int start = Clamp(within.start), end = std::max(start, Clamp(within.end));
    const std::u16string in = fold(std::u16string_view(told_).substr(start, end - start)), what = fold(wanted);
    if (what.empty()) return false;
    const std::size_t at = backward ? in.rfind(what) : in.find(what);
    if (at == std::u16string::npos) return false;
    *found = {start + static_cast<int>(at), start + static_cast<int>(at + what.size())};
    return true;
}

bool Reading::BoxOf(int offset, PixelBox* box) const {
    pexal::Cell cell;
    if (!CellOf(offset, &cell.column, &cell.line)) return false;
    const pexal::Pixel corner = pexal::CornerOf(cell);
    *box = {corner.x, corner.y, pexal::kCellWidth, pexal::kCellHeight};
    return true;
}

std::vector<PixelBox> Reading::BoxesOf(TextSpan span) const {
    std::vector<PixelBox> boxes;
    const int end = Clamp(span.end);
    for (int k = Clamp(span.start); k < end;) {
        const int lineEnd = std::min(end, At(k, TextUnit::Line).end);
        PixelBox box;
        BoxOf(k, &box);
        box.width = (lineEnd - k) * pexal::kCellWidth;
        boxes.push_back(box);
        k = lineEnd;
    }
    return boxes;
}

int Reading::OffsetAt(int x, int y) const {
    pexal::Cell cell;
    if (!pexal::CellAt({x, y}, &cell)) return -1;
    int start = 0;  // of the cell's line
    for (int k = 0; k < cell.line; ++k) {
        const std::size_t feed = told_.find(u'\n', static_cast<std::size_t>(start));
        if (feed == std::u16string::npos) return -1;
        start = static_cast<int>(feed) + 1;
    }
    const int offset = start + cell.column;
    // The cell just right of a line's last character is its line feed's.
    return start < Length() && offset < At(start, TextUnit::Line).end ? offset : -1;
}

pexal::Pixel Reading::CaretCorner() const {
    pexal::Cell cell;
    if (!CellOf(caret_, &cell.column, &cell.line) && caret_ > 0 && CellOf(caret_ - 1, &cell.column, &cell.line)) {
        ++cell.column;
    }
    return pexal::CornerOf(cell);
}

}  // namespace General
