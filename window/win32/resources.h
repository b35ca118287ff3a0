// Resource numbers shared by the window's code and its resource script.
#pragma once

#define kIconId 1
#define kIllustrationId 10
#define kIllustration2xId 11
#define kPrinterFontId 20
