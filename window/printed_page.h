// The printed page, toolkit-free: the head's page, which records every strike, keeps the
// reading model following the record, and draws through a platform's surface. Each
// front-end's page control is only that surface: its retained image and its paint.
#pragma once

#include <cstdint>

#include "printhead/page.h"
#include "printhead/page_record.h"
#include "printhead/reading.h"

namespace printer {

// What a platform's page gives: drawing into its retained image and showing it.
class Surface {
public:
    virtual ~Surface() = default;
    // The glyph of `code` (32..255) with its cell's top-left corner at page pixel (x, y),
    // over whatever is there; shown at the next Invalidate.
    virtual void DrawGlyph(int x, int y, std::uint8_t code) = 0;
    // Asks for what was drawn since the last call to be shown.
    virtual void Invalidate() = 0;
    // The whole image in the page's background colour.
    virtual void Fill() = 0;
    virtual void Bell() = 0;
};

class PrintedPage final : public General::Page {
public:
    explicit PrintedPage(Surface& surface) : surface_(surface) {}
    PrintedPage(const PrintedPage&) = delete;
    PrintedPage& operator=(const PrintedPage&) = delete;

    void DrawGlyph(int x, int y, std::uint8_t code) override;
    void Refresh() override { surface_.Invalidate(); }
    void Clear() override { Wipe(); }
    void Bell() override {
        surface_.Bell();
        reading_.Rang();
    }
    void Stopped(Edge edge) override {
        if (edge == Edge::kRight) reading_.StoppedAtRight();
        if (edge == Edge::kBottom) reading_.StoppedAtBottom();
    }

    // Clears the page, and says what assistive technology is to be told of it.
    General::ReadingNews Wipe();
    // Once a poll tick: the reading model brought up to the head's position.
    General::ReadingNews Tick(bool pageFocused = false);
    // The record drawn again on a new image (a new density), crisp, not stretched.
    void Redraw();

    const General::PageRecord& Record() const { return record_; }
    const General::Reading& Reading() const { return reading_; }
    General::Reading& Reading() { return reading_; }

private:
    Surface& surface_;
    General::PageRecord record_;
    General::Reading reading_{&record_};
};

}  // namespace printer
