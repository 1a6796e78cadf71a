// Pictures of windows for the tests: the pixels a window shows on the
// screen, read back for checks and saved as PNG files under build/screens/.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace parvex::testing {

struct WindowPixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;  // rows from the top, RGB() values
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Pixels of the rectangle (client coordinates) that differ from colour.
    int CountOtherThan(COLORREF colour, const RECT& area) const;
};

// What the window's client area shows on the screen now.
WindowPixels CaptureWindow(HWND window);
// Saves the window's picture as build/screens/<name>.png beside the
// module's build folder; false when it could not be written.
bool SaveScreenshot(HWND window, const std::wstring& name);

}  // namespace parvex::testing
