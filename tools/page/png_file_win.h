// PNG files through the system's imaging component (WIC): compressed as any
// PNG encoder does, with no encoder of our own to keep.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace parvex::page {

struct BgrImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgr;  // rows top to bottom, three bytes a pixel, blue first
};

// False for an image without pixels, or when any step of the encoder fails
// (a file half written is then removed).
bool WritePngFile(const BgrImage& image, const std::wstring& path);

}  // namespace parvex::page
