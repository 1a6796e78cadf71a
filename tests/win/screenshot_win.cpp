#include "tests/win/screenshot_win.h"

#include <cstdint>
#include <cstdio>

#include "tests/win/ocx_win.h"

namespace parvex::testing {

namespace {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
    PutBigEndian(out, static_cast<uint32_t>(body.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBigEndian(out, Crc32(typed.data(), typed.size()));
}

// A zlib stream of stored (uncompressed) blocks: screenshots are few and
// small, and this needs no compressor.
std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t at = 0;
    do {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        out.push_back(at + n == raw.size() ? 1 : 0);
        out.push_back(static_cast<uint8_t>(n));
        out.push_back(static_cast<uint8_t>(n >> 8));
        out.push_back(static_cast<uint8_t>(~n));
        out.push_back(static_cast<uint8_t>(~n >> 8));
        out.insert(out.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(out, (b << 16) | a);
    return out;
}

}  // namespace

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

bool SavePng(const WindowPixels& picture, const std::wstring& path) {
    if (picture.width <= 0 || picture.height <= 0) return false;
    std::vector<uint8_t> header;
    PutBigEndian(header, picture.width);
    PutBigEndian(header, picture.height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, no interlace
    std::vector<uint8_t> raw;
    for (int y = 0; y < picture.height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < picture.width; ++x) {
            COLORREF c = picture.At(x, y);
            raw.insert(raw.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    }
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", StoredZlib(raw));
    PutChunk(png, "IEND", {});
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    bool written = fwrite(png.data(), 1, png.size(), file) == png.size();
    return fclose(file) == 0 && written;
}

bool SaveScreenshot(HWND window, const std::wstring& name) {
    // The module sits in build/win; the pictures go to build/screens.
    std::wstring folder = OcxPath();
    folder.resize(folder.find_last_of(L'\\'));
    folder.resize(folder.find_last_of(L'\\') + 1);
    folder += L"screens";
    CreateDirectoryW(folder.c_str(), nullptr);
    return SavePng(CaptureWindow(window), folder + L"\\" + name + L".png");
}

}  // namespace parvex::testing
