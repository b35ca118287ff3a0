// The surface the print head draws on. The head never owns it; whoever hands it to
// General::SetPage keeps it alive while the head may print.
#pragma once

#include <cstdint>

namespace General {

class Page {
public:
    virtual ~Page() = default;
    // Draws the glyph of single-byte `code` (32..255) with its cell's top-left corner at
    // (x, y), over whatever is there; shows nothing until Refresh.
    virtual void DrawGlyph(int x, int y, std::uint8_t code) = 0;
    // Shows on screen what has been drawn since the last refresh.
    virtual void Refresh() = 0;
    // Fills the whole page with the background colour.
    virtual void Clear() = 0;
    // Sounds the system's bell.
    virtual void Bell() = 0;
    // The head stopped at an edge: a character could not advance it past the last column,
    // or a line feed could not move it below the last line. Nothing to draw.
    enum class Edge { kRight, kBottom };
    virtual void Stopped(Edge) {}
};

}  // namespace General
