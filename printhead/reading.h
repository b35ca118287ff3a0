// The page as a person who cannot see it follows it: the page's text as assistive
// technology has been told it, a reading caret the user moves by character, word and
// line, the text's units around any offset and where they stand on the page, and, once a
// poll tick, what to tell assistive technology and what to announce. It observes the
// page's record, which the page keeps. Plain C++ for both front-ends, which only
// translate their accessibility API onto it and deliver its news.
//
// Printed text is announced in words: when a space or a line break ends it, or when the
// printer has been idle for a second. Until then the text told lags the page, so that a
// reader never hears a word letter by letter. A reader on the page who follows the
// printing hears each word from the insertion at the caret; anyone else from the
// announcement. Where every announcement costs a role word in front (Orca's notifications),
// the words are gathered into phrases, a line or what ends in a second's quiet, so that
// speaking a job takes no longer than printing it. The bell is said, and a word "New page"
// cuts short is said before the page is said to be empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/facts.h"
#include "printhead/page_record.h"

namespace General {

enum class TextUnit { Character, Word, Sentence, Line, Paragraph, All };

enum class CaretMove {
    PreviousCharacter, NextCharacter, PreviousWord, NextWord, PreviousLine, NextLine,
    LineStart, LineEnd, PageStart, PageEnd,
};

// The keys that read the page; each front-end maps its own key codes to these.
enum class ReadingKey { kLeft, kRight, kUp, kDown, kHome, kEnd };

// The move a key asks for, Ctrl held or not: by word with Left and Right, to the page's
// ends with Home and End.
CaretMove MoveFor(ReadingKey key, bool control);

// Offsets into the text told: [start, end), start <= end, both within 0..length.
struct TextSpan {
    int start = 0;
    int end = 0;
    bool operator==(const TextSpan& other) const {
        return start == other.start && end == other.end;
    }
};

// A rectangle on the page, in page pixels.
struct PixelBox {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const PixelBox&) const = default;
};

// What the front-end passes on after a tick, a clear or a move.
struct ReadingNews {
    bool textChanged = false;  // `removed` at `at` became `inserted`
    int at = 0;
    std::u16string removed, inserted;
    bool caretMoved = false;
    std::u16string announcement;  // what was printed, or happened; empty: nothing
    // A reader on the page following it (its caret at the end of the insertion, which is
    // the announcement) hears it from the insertion itself: nothing is to be announced.
    bool heardInInsertion = false;
};

class Reading {
public:
    static constexpr int kIdleTicks = 5;  // a second of the printer's ticks

    // Follows `page` (not owned; nullptr: a page that stays empty). A copy reads the text
    // told as it was; only a reading whose page is alive may Tick, Clear or say Current.
    explicit Reading(const PageRecord* page = nullptr);

    // Announcements that cost a role word each: printed words come in phrases.
    void SetPhrased(bool phrased) { phrased_ = phrased; }

    // From the page, once it has recorded it: `code` drawn in the cell at (x, y).
    void Struck(int x, int y, std::uint8_t code);
    // From the page: the bell rang.
    void Rang() { rang_ = true; }
    // From the page: the head stopped at the right edge (a character drawn there and the
    // head not moved on), or at the bottom (a line feed on the last line). A line that
    // runs past the edge is said to end, each character then drawn over its last cell is
    // said as it comes, and the bottom is said once a page; the last line written over
    // again is told as the line it now is.
    void StoppedAtRight() { ++rightStops_; }
    void StoppedAtBottom() { bottomStop_ = bottom_ = true; }
    // What was printed and not yet told: said before a clear takes it away.
    std::u16string Unsaid() const;
    // From the page, once its record is wiped. The text empties at once, announced after
    // `unsaid`, the page's words that were never said.
    ReadingNews Clear(const std::u16string& unsaid = {});
    // Once a poll tick, with the head's position after it; `pageFocused` when the page has
    // the keyboard focus, where a following reader hears insertions.
    ReadingNews Tick(int headX, int headY, bool pageFocused = true);

    const std::u16string& Text() const { return told_; }
    // The page's text as it stands now, ahead of what was told.
    std::u16string Current() const;
    int Length() const { return static_cast<int>(told_.size()); }
    int Caret() const { return caret_; }

    // The user's moves. A move to the end of the text joins the print position again;
    // any other leaves the caret where the user put it while printing goes on.
    ReadingNews Move(CaretMove move);
    ReadingNews SetCaret(int offset);

    // The unit holding `offset`, the one before it and the one after it; any offset is
    // clamped into the text, and past either end the span is empty there. A sentence
    // is a line (a printed page has no punctuation to trust); a paragraph is a line.
    TextSpan At(int offset, TextUnit unit) const;
    TextSpan Before(int offset, TextUnit unit) const;
    TextSpan After(int offset, TextUnit unit) const;

    // `count` units on from `offset` (back when negative) to a unit's start, stopping at
    // either end of the text; `moved` says how many were gone. Moving forward from the
    // last unit reaches the end.
    int MoveEndpoint(int offset, TextUnit unit, int count, int* moved) const;
    // A range moved by `count` whole units: the unit it then starts (an empty range stays
    // empty there); `moved` as above, never past the last unit.
    TextSpan MoveRange(TextSpan range, TextUnit unit, int count, int* moved) const;

    // The first (or, `backward`, the last) place in `within` where `wanted` stands, in any
    // case when `ignoreCase`; false when it stands nowhere there, or is empty.
    bool Find(std::u16string_view wanted, TextSpan within, bool backward, bool ignoreCase, TextSpan* found) const;

    // The cell of the character at `offset` (a line feed stands just right of its line's
    // last character); false outside the text.
    bool CellOf(int offset, int* column, int* line) const;
    // The character's cell on the page; false outside the text.
    bool BoxOf(int offset, PixelBox* box) const;
    // A box for each line the span covers, its characters' cells side by side.
    std::vector<PixelBox> BoxesOf(TextSpan span) const;
    // The character whose cell holds page pixel (x, y), or -1.
    int OffsetAt(int x, int y) const;
    // Where a caret at the reading caret stands: before its character, or just after the
    // last one at the end of the text.
    pexal::Pixel CaretCorner() const;

private:
    ReadingNews Tell(std::u16string announcement, bool printed, bool pageFocused = false);
    int OffsetOfCell(int column, int line) const;
    int LineEnd(const TextSpan& line) const;
    int Clamp(int offset) const;

    const PageRecord* page_;
    std::u16string told_;
    int caret_ = 0;
    bool following_ = true;  // the caret keeps to the print position
    bool phrased_ = false;
    std::u16string phrase_;  // words announced but not yet said, when phrased
    bool rang_ = false;      // since the last tick
    int rightStops_ = 0;     // at the right edge, since the head came there
    bool endOfLineSaid_ = false, bottomStop_ = false, bottom_ = false, endOfPageSaid_ = false;
    bool struck_ = false;    // since the last tick
    char16_t last_ = 0;
    int idle_ = 0;
    int headX_ = -1, headY_ = -1;        // at the last tick
    int afterColumn_ = 0, afterLine_ = 0;  // the cell after the last one struck
};

}  // namespace General
