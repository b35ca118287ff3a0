// The print head: where the next character goes on the page, the page's layout limits
// and the four control codes. One head per program, driven from one thread.
//
// Before PrintChar: hand over a page with SetPage, then InitPrinter and HomeHead (Load
// does the three).
#pragma once

#include <cstdint>
#include <string>

#include "printhead/page.h"

namespace General {

// Layout, in page pixels; set by InitPrinter and constant afterwards.
extern std::int16_t RightLimit;   // a character advances only while PosX + CharWidth <= this
extern std::int16_t CharWidth;    // column step of a character and of a backspace
extern std::int16_t LineHeight;   // row step of a line feed
extern std::int16_t LeftMargin;   // first column; carriage-return target
extern std::int16_t TopMargin;    // first line
extern std::int16_t BottomLimit;  // a line feed moves down only while PosY + 2 * LineHeight <= this

// Top-left corner of the cell where the next printable character is drawn.
extern std::int16_t PosX;
extern std::int16_t PosY;

void InitPrinter();
void HomeHead();

// The page PrintChar draws on; not owned. nullptr detaches the head from any page.
void SetPage(Page* page);

// The load step in one call, for everything that drives the head without a window (the
// front-ends write it out as their load event): SetPage, InitPrinter, HomeHead.
void Load(Page* page);

// Acts on the first character of `c` (its single-byte code): 7 rings the bell, 8, 10 and
// 13 move the head, other codes below 32 are ignored, 32..255 are drawn and advance.
void PrintChar(const std::string& c);

void DrawChar(int x, int y, const std::string& c);
void AdvanceColumn();
void BackSpace();
void LineFeed();
void CarriageReturn();

}  // namespace General
