// The printer's window laid out as a sheet of tractor-feed paper, as data: the client
// area, the controls, the perforation dashes (`Line1`) and the sprocket holes (`Shape1`),
// colours, captions and font sizes. Everything is in twips (1/1440 inch, 15 to a pixel at
// 96 dpi), the unit the sheet was designed in; each front-end converts in one place.
// Plain C++ with no toolkit, so that every front-end draws the same sheet.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sheet {

inline constexpr int kTwipsPerPixel = 15;

struct Twips {
    int left, top, width, height;
};

struct Rgb {
    std::uint8_t red, green, blue;
};

inline constexpr char kCaption[] = "Pexal Printer";
inline constexpr Twips kClientArea{0, 0, 4095, 5940};
inline constexpr Rgb kPaperGreen{192, 255, 192};  // the window and the illustration's frame
inline constexpr double kFontPoints = 9.75;       // the window's, the page's and the button's
inline constexpr double kLabelFontPoints = 8.25;

// The controls, in tab order.
struct Control {
    const char* name;
    Twips box;
};
inline constexpr Control kLabel1{"Label1", {120, 120, 1575, 255}};
inline constexpr Control kNewPage{"NewPage", {240, 480, 1215, 375}};
inline constexpr Control kPaper{"Paper", {360, 1200, 3375, 4455}};
inline constexpr Control kPicture1{"Picture1", {2280, 120, 1335, 855}};
inline constexpr std::array<Control, 4> kTabOrder{kLabel1, kNewPage, kPaper, kPicture1};

inline constexpr char kNewPageCaption[] = "New page";
// What assistive technology calls the page and the illustration.
inline constexpr char16_t kPageName[] = u"Page";
inline constexpr char16_t kPageDescription[] = u"What the printer has printed";
inline constexpr char16_t kPictureName[] = u"Printer";
inline constexpr char16_t kPictureDescription[] = u"A picture of a printer";
// "Printer data port: 130", from the data port itself.
std::string Label1Caption();

// A perforation dash: a horizontal line from x1 to x2 at y.
struct Dash {
    int x1, x2, y;
};

// Where a sprocket hole's white comes from; both read as white on a white page.
enum class HoleFill { kSolidWhite, kOpaqueWindowBackground };

struct Hole {
    int left, top;
    HoleFill fill;
};
inline constexpr int kHoleSize = 135;  // both ways

// 34 dashes in two rows of 17, above and below the page.
extern const std::array<Dash, 34> Line1;
// 38 holes in two columns of 19 beside the page, in their designed element order.
extern const std::array<Hole, 38> Shape1;

}  // namespace sheet
