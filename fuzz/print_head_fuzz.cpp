// Any byte sequence through the print head keeps it on the page's grid, draws exactly the
// printable codes and rings exactly on code 7; the page's reading model, asked for any
// unit at any offset and moved any way between bytes, answers with spans that lie in the
// text and tile it, and keeps its caret there.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "printhead/general.h"
#include "printhead/reading.h"

namespace {

bool OnGrid(int x, int y) {
    return x >= 3 && x <= 203 && (x - 3) % 8 == 0 && y >= 5 && y <= 275 && (y - 5) % 15 == 0;
}

class CheckingPage : public General::Page {
public:
    void DrawGlyph(int x, int y, std::uint8_t code) override {
        if (!OnGrid(x, y) || code < 32) std::abort();
        reading.Struck(x, y, code);
        ++draws;
    }
    void Refresh() override {}
    void Clear() override {}
    void Bell() override { ++bells; }
    long draws = 0;
    long bells = 0;
    General::Reading reading;
};

bool Inside(const General::TextSpan& span, int length) {
    return 0 <= span.start && span.start <= span.end && span.end <= length;
}

// Every unit at `offset` and either side of it.
void Ask(const General::Reading& reading, int offset) {
    const int length = reading.Length();
    for (int u = 0; u <= static_cast<int>(General::TextUnit::All); ++u) {
        const auto unit = static_cast<General::TextUnit>(u);
        const General::TextSpan at = reading.At(offset, unit);
        const General::TextSpan before = reading.Before(offset, unit);
        const General::TextSpan after = reading.After(offset, unit);
        if (!Inside(at, length) || !Inside(before, length) || !Inside(after, length)) std::abort();
        if (before.end > at.start || after.start < at.end) std::abort();
    }
}

// Walked by each unit, the text is tiled: no gap, no overlap, no step in place.
void Walk(const General::Reading& reading) {
    const int length = reading.Length();
    for (int u = 0; u <= static_cast<int>(General::TextUnit::All); ++u) {
        const auto unit = static_cast<General::TextUnit>(u);
        int steps = 0;
        for (General::TextSpan walk = reading.At(0, unit); walk.end < length; ++steps) {
            const General::TextSpan next = reading.After(walk.start, unit);
            if (next.start != walk.end || next.end <= next.start || steps > length) std::abort();
            walk = next;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingPage page;
    General::Load(&page);
    for (std::size_t k = 0; k < size; ++k) {
        const long draws = page.draws, bells = page.bells;
        General::PrintChar(std::string(1, static_cast<char>(data[k])));
        if (!OnGrid(General::PosX, General::PosY)) std::abort();
        if (page.draws - draws != (data[k] >= 32 ? 1 : 0)) std::abort();
        if (page.bells - bells != (data[k] == 7 ? 1 : 0)) std::abort();
        page.reading.Tick(General::PosX, General::PosY);
        // The byte also says where to ask and how to move: offsets around the text's ends.
        Ask(page.reading, static_cast<int>(data[k] % 40) - 2);
        Ask(page.reading, page.reading.Length() + static_cast<int>(data[k] % 3) - 1);
        page.reading.Move(static_cast<General::CaretMove>(data[k] % 10));
        if (page.reading.Caret() < 0 || page.reading.Caret() > page.reading.Length()) std::abort();
        if (data[k] == 12) page.reading.Clear();  // New page, now and then
    }
    page.reading.Tick(General::PosX, General::PosY);
    Walk(page.reading);
    General::SetPage(nullptr);
    return 0;
}
