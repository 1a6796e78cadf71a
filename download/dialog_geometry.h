// Where the download dialog goes on screen and where its tray animation
// ends: plain arithmetic on rectangles, so that it holds without a screen.
#pragma once
#include <string>

namespace parvex {

struct ScreenRect {
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;
};

struct ScreenPoint {
    long x = 0;
    long y = 0;
};

// The dialog's top-left corner on every WM_SIZE: halfway into the work area
// measured from the screen's origin (its left and top edges are not added),
// halves rounded toward zero.
ScreenPoint CentredOrigin(const ScreenRect& workArea, long width, long height);

// Where the tray animation ends without a taskbar: the screen's bottom-right
// 40 x 20 pixels.
ScreenRect TrayRectWithoutTaskbar(long screenWidth, long screenHeight);
// With a taskbar but no notification area in it: its bottom-right 20 x 20.
ScreenRect TrayRectInTaskbar(const ScreenRect& taskbar);

// The tray icon's tip: the title cut to what a tip field of that many
// characters (its terminating zero included) holds, never between the two
// halves of a surrogate pair.
std::wstring TrayTip(const std::wstring& title, size_t fieldChars = 128);

}  // namespace parvex
