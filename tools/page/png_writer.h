// A PNG file of 24-bit pixels, written without a compression library: the
// picture travels in stored (uncompressed) deflate blocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace parvex::page {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // rows top to bottom, three bytes a pixel
};

// The whole file's bytes; empty for an image without pixels.
std::string EncodePng(const RgbImage& image);

}  // namespace parvex::page
