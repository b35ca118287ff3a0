#include "printhead/general.h"

#include "common/facts.h"

namespace General {

std::int16_t RightLimit;
std::int16_t CharWidth;
std::int16_t LineHeight;
std::int16_t LeftMargin;
std::int16_t TopMargin;
std::int16_t BottomLimit;

std::int16_t PosX;
std::int16_t PosY;

namespace {

Page* page = nullptr;

constexpr std::uint8_t kBell = 7;
constexpr std::uint8_t kBackSpace = 8;
constexpr std::uint8_t kLineFeed = 10;
constexpr std::uint8_t kCarriageReturn = 13;
constexpr std::uint8_t kFirstPrintable = 32;

}  // namespace

namespace {

constexpr std::int16_t kRightLimit = 210;
constexpr std::int16_t kBottomLimit = 300;

// The limits are the head's own; the grid they produce is what the rest of the system
// (the page, the window, the senders) relies on.
static_assert(pexal::kLastColumnX + pexal::kCellWidth > kRightLimit &&
                  pexal::kLastColumnX <= kRightLimit,
              "the right limit must stop the head at the last column");
static_assert(pexal::kLastLineY + 2 * pexal::kCellHeight > kBottomLimit &&
                  pexal::kLastLineY - pexal::kCellHeight + 2 * pexal::kCellHeight <= kBottomLimit,
              "the bottom limit must stop the head at the last line");

}  // namespace

void InitPrinter() {
    RightLimit = kRightLimit;
    CharWidth = pexal::kCellWidth;
    LineHeight = pexal::kCellHeight;
    LeftMargin = pexal::kOriginX;
    TopMargin = pexal::kOriginY;
    BottomLimit = kBottomLimit;
}

void HomeHead() {
    PosX = LeftMargin;
    PosY = TopMargin;
}

void SetPage(Page* target) { page = target; }

void Load(Page* target) {
    SetPage(target);
    InitPrinter();
    HomeHead();
}

void PrintChar(const std::string& c) {
    if (c.empty()) return;
    const auto code = static_cast<std::uint8_t>(c.front());
    if (code >= kFirstPrintable) {
        DrawChar(PosX, PosY, c);
        AdvanceColumn();
        return;
    }
    switch (code) {
        case kBell:
            if (page != nullptr) page->Bell();
            break;
        case kBackSpace:
            BackSpace();
            break;
        case kLineFeed:
            LineFeed();
            break;
        case kCarriageReturn:
            CarriageReturn();
            break;
        default:  // a printer with no use for the other control codes passes them over
            break;
    }
}

void DrawChar(int x, int y, const std::string& c) {
    if (page == nullptr || c.empty()) return;
    page->DrawGlyph(x, y, static_cast<std::uint8_t>(c.front()));
    page->Refresh();
}

// The head stops at the edges instead of wrapping or scrolling: further output overprints.
void AdvanceColumn() {
    if (PosX + CharWidth <= RightLimit) {
        PosX += CharWidth;
    } else if (page != nullptr) {
        page->Stopped(Page::Edge::kRight);
    }
}

void BackSpace() {
    if (PosX - CharWidth >= LeftMargin) PosX -= CharWidth;
}

// Keeps room for one more full line below the new one, so the last line starts at 275.
void LineFeed() {
    if (PosY + 2 * LineHeight <= BottomLimit) {
        PosY += LineHeight;
    } else if (page != nullptr) {
        page->Stopped(Page::Edge::kBottom);
    }
}

void CarriageReturn() { PosX = LeftMargin; }

}  // namespace General
