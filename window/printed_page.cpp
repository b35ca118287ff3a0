#include "window/printed_page.h"

#include "common/facts.h"
#include "printhead/general.h"

namespace printer {

void PrintedPage::DrawGlyph(int x, int y, std::uint8_t code) {
    record_.Put(x, y, code);
    reading_.Struck(x, y, code);
    surface_.DrawGlyph(x, y, code);
}

General::ReadingNews PrintedPage::Wipe() {
    const std::u16string unsaid = reading_.Unsaid();
    record_.Clear();
    surface_.Fill();
    surface_.Invalidate();
    return reading_.Clear(unsaid);
}

General::ReadingNews PrintedPage::Tick(bool pageFocused) {
    return reading_.Tick(General::PosX, General::PosY, pageFocused);
}

void PrintedPage::Redraw() {
    surface_.Fill();
    for (const General::PageRecord::Strike& s : record_.Strikes()) {
        const pexal::Pixel at = pexal::CornerOf({s.column, s.line});
        surface_.DrawGlyph(at.x, at.y, s.code);
    }
    surface_.Invalidate();
}

}  // namespace printer
