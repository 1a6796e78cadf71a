#include "tools/page/screenshot_win.h"

#include "tools/page/png_file_win.h"

namespace parvex::page {

namespace {

// Copies width x height pixels at (x, y) of source.
bool Copy(HDC source, int x, int y, BgrImage& image) {
    if (image.width <= 0 || image.height <= 0) return false;
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (dib) {
        HGDIOBJ old = SelectObject(memory, dib);
        copied = BitBlt(memory, 0, 0, image.width, image.height, source, x, y, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (copied) {
        auto* pixels = static_cast<const unsigned char*>(bits);
        image.bgr.resize(static_cast<std::size_t>(image.width) * image.height * 3);
        for (std::size_t i = 0, n = static_cast<std::size_t>(image.width) * image.height; i < n; ++i) {
            image.bgr[i * 3] = pixels[i * 4];
            image.bgr[i * 3 + 1] = pixels[i * 4 + 1];
            image.bgr[i * 3 + 2] = pixels[i * 4 + 2];
        }
    }
    if (dib) DeleteObject(dib);
    DeleteDC(memory);
    return copied;
}

bool Capture(HWND window, BgrImage& image) {
    RECT bounds;
    if (!GetWindowRect(window, &bounds)) return false;
    image.width = bounds.right - bounds.left;
    image.height = bounds.bottom - bounds.top;
    // The window's own pixels, children included: what the screen shows
    // may lag behind a repaint that just happened.
    HDC dc = GetWindowDC(window);
    bool copied = Copy(dc, 0, 0, image);
    ReleaseDC(window, dc);
    return copied;
}

BOOL CALLBACK NoteUnpainted(HWND child, LPARAM unpainted) {
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) *reinterpret_cast<bool*>(unpainted) = true;
    return TRUE;
}

bool LeftToPaint(HWND window) {
    bool unpainted = GetUpdateRect(window, nullptr, FALSE) != FALSE;
    EnumChildWindows(window, NoteUnpainted, reinterpret_cast<LPARAM>(&unpainted));
    return unpainted;
}

// At most two seconds: a window that never finishes is pictured as it is.
void WaitUntilPainted(HWND window) {
    for (DWORD start = GetTickCount(); LeftToPaint(window) && GetTickCount() - start < 2000;) Sleep(10);
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::wstring& path) {
    if (!IsWindow(window)) return false;
    // A window of another thread (a prompt of a worker) may still be in the
    // middle of showing itself: its thread answers a message only once it
    // is back in its message loop.
    DWORD_PTR answer = 0;
    bool otherThread = GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId();
    if (otherThread) SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // Another thread paints when its loop gets to it, not within the call
    // above: the picture waits until nothing of the window is left to paint.
    if (otherThread) WaitUntilPainted(window);
    BgrImage image;
    return Capture(window, image) && WritePngFile(image, path);
}

bool SaveScreenPicture(const RECT& area, const std::wstring& path) {
    BgrImage image;
    image.width = area.right - area.left;
    image.height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    bool copied = Copy(screen, area.left, area.top, image);
    ReleaseDC(nullptr, screen);
    return copied && WritePngFile(image, path);
}

}  // namespace parvex::page
