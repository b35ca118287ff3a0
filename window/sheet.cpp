#include "window/sheet.h"

#include "common/facts.h"

namespace sheet {
namespace {

static_assert(kPaper.box.width == pexal::kPageWidth * kTwipsPerPixel &&
                  kPaper.box.height == pexal::kPageHeight * kTwipsPerPixel,
              "the page control holds exactly the head's page");

constexpr std::array<Dash, 34> MakeDashes() {
    constexpr int kRows[] = {1080, 5760};  // just above and just below the page
    std::array<Dash, 34> dashes{};
    for (int row = 0; row < 2; ++row) {
        for (int k = 0; k < 17; ++k) dashes[row * 17 + k] = {240 * k, 240 * k + 120, kRows[row]};
    }
    return dashes;
}

// The holes of one column were laid down out of order; the order means nothing, but
// keeping it keeps the table element for element as designed.
constexpr int kHoleTops[19] = {2640, 2400, 2160, 1920, 1680, 1440, 1200, 2880, 3120, 3360,
                               3600, 3840, 4080, 4320, 4560, 4800, 5040, 5280, 5520};

constexpr std::array<Hole, 38> MakeHoles() {
    constexpr int kColumns[] = {120, 3840};  // beside the page's left and right edges
    std::array<Hole, 38> holes{};
    for (int column = 0; column < 2; ++column) {
        for (int k = 0; k < 19; ++k) {
            const int element = column * 19 + k;
            const bool opaque = element >= 19 && element <= 28;
            holes[element] = {kColumns[column], kHoleTops[k],
                              opaque ? HoleFill::kOpaqueWindowBackground : HoleFill::kSolidWhite};
        }
    }
    return holes;
}

}  // namespace

const std::array<Dash, 34> Line1 = MakeDashes();
const std::array<Hole, 38> Shape1 = MakeHoles();

std::string Label1Caption() { return "Printer data port: " + std::to_string(pexal::kDataPort); }

}  // namespace sheet
