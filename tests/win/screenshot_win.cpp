#include "tests/win/screenshot_win.h"

#include <cstdint>
#include <cstdio>

#include "tests/win/ocx_win.h"
#include "tools/page/screenshot_win.h"

namespace parvex::testing {

int WindowPixels::CountOtherThan(COLORREF colour, const RECT& area) const {
    int count = 0;
    for (int y = area.top > 0 ? area.top : 0; y < area.bottom && y < height; ++y)
        for (int x = area.left > 0 ? area.left : 0; x < area.right && x < width; ++x)
            if (At(x, y) != colour) ++count;
    return count;
}

WindowPixels CaptureWindow(HWND window) {
    WindowPixels picture;
    // The client area only: without a window manager on the display, the
    // screen keeps a top-level window's first caption bar.
    RECT rect;
    if (!GetClientRect(window, &rect)) return picture;
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    picture.width = rect.right - rect.left;
    picture.height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) return picture;
    HDC source = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(source);
    HGDIOBJ old = SelectObject(memory, dib);
    // The screen's own pixels, stale ones included.
    BitBlt(memory, 0, 0, picture.width, picture.height, source, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const auto* bgrx = static_cast<const uint32_t*>(bits);
    picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        uint32_t p = bgrx[i];
        picture.pixels[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, source);
    DeleteObject(dib);
    return picture;
}

bool SaveScreenshot(HWND window, const std::wstring& name) {
    // The module sits in build/win; the pictures go to build/screens.
    std::wstring folder = OcxPath();
    folder.resize(folder.find_last_of(L'\\'));
    folder.resize(folder.find_last_of(L'\\') + 1);
    folder += L"screens";
    CreateDirectoryW(folder.c_str(), nullptr);
    return page::SaveWindowPicture(window, folder + L"\\" + name + L".png");
}

}  // namespace parvex::testing
