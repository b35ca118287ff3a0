// Any byte sequence through the print head keeps it on the page's grid, draws exactly the
// printable codes and rings exactly on code 7.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "printhead/general.h"

namespace {

bool OnGrid(int x, int y) {
    return x >= 3 && x <= 203 && (x - 3) % 8 == 0 && y >= 5 && y <= 275 && (y - 5) % 15 == 0;
}

class CheckingPage : public General::Page {
public:
    void DrawGlyph(int x, int y, std::uint8_t code) override {
        if (!OnGrid(x, y) || code < 32) std::abort();
        ++draws;
    }
    void Refresh() override {}
    void Clear() override {}
    void Bell() override { ++bells; }
    long draws = 0;
    long bells = 0;
};

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
    }
    General::SetPage(nullptr);
    return 0;
}
