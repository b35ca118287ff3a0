// Where the printer's head will be: the bytes a sender hands over are followed through
// the real print head (the printer's own code, on a page of this object's, starting from
// a new page), so that a sender can warn when text runs off the page, and fold lines at
// the page's width instead. Uses the process's one print head: one watch at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "printhead/page.h"

namespace host {

class PageWatch {
public:
    PageWatch();
    ~PageWatch();
    PageWatch(const PageWatch&) = delete;
    PageWatch& operator=(const PageWatch&) = delete;

    // Follows one byte on its way to the printer.
    void Follow(std::uint8_t byte);

    // Columns of the current line already printed (0 to 26).
    int ColumnsUsed() const;
    // A character was printed over the last column of a line because the line was full.
    bool ranPastRightEdge() const { return pastRight_; }
    // A character was printed on the last line after a line feed found no line below.
    bool ranPastLastLine() const { return pastBottom_; }

private:
    class Tracker : public General::Page {
    public:
        explicit Tracker(PageWatch& watch) : watch_(watch) {}
        void DrawGlyph(int x, int y, std::uint8_t code) override;
        void Refresh() override {}
        void Clear() override {}
        void Bell() override {}

    private:
        PageWatch& watch_;
    };

    Tracker tracker_{*this};
    int lastX_ = -1, lastY_ = -1;  // where the last character was drawn
    bool movedSinceDraw_ = true;
    bool noLineBelow_ = false;     // a line feed on the last line did not move the head
    bool pastRight_ = false, pastBottom_ = false;
};

// Folds text at the page's width (at a space where the line has one), with CR LF. Holds
// back the word in progress until it knows on which line it goes; Flush sends it.
class Folder {
public:
    explicit Folder(PageWatch& watch) : watch_(watch) {}
    // Appends to `out` the bytes to send for `in`, each followed on `watch`.
    void Feed(std::string_view in, std::string& out);
    void Flush(std::string& out);

private:
    void Emit(std::string_view bytes, std::string& out);
    void Break(std::string& out) { Emit("\r\n", out); }

    PageWatch& watch_;
    std::string word_;
};

}  // namespace host
