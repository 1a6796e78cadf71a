#include "tools/page/png_writer.h"

#include <gtest/gtest.h>

namespace parvex::page {
namespace {

RgbImage Image(int width, int height) {
    RgbImage image;
    image.width = width;
    image.height = height;
    image.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
    return image;
}

TEST(PngWriter, WritesSignatureChunksAndStoredDeflateByteForByte) {
    RgbImage image = Image(2, 1);
    image.rgb = {255, 0, 0, 0, 0, 255};  // red, blue
    const std::string want(
        "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52"
        "\x00\x00\x00\x02\x00\x00\x00\x01\x08\x02\x00\x00\x00\x7b\x40\xe8"
        "\xdd\x00\x00\x00\x12\x49\x44\x41\x54\x78\x01\x01\x07\x00\xf8\xff"
        "\x00\xff\x00\x00\x00\x00\xff\x07\x00\x01\xff\x55\x36\xba\xc7\x00"
        "\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
        75);
    EXPECT_EQ(EncodePng(image), want);
}

TEST(PngWriter, SplitsRowsLongerThanOneStoredBlockAndRefusesBadImages) {
    // One row of 21846 pixels: a filter byte and 65538 bytes, so a full
    // block of 65535 and a last block of 4.
    std::string png = EncodePng(Image(21846, 1));
    const std::size_t zlibAt = 8 + 25 + 8;  // signature, IHDR chunk, IDAT length and type
    ASSERT_GT(png.size(), zlibAt + 2 + 5 + 65535 + 5);
    EXPECT_EQ(png.substr(zlibAt, 7), std::string("\x78\x01\x00\xff\xff\x00\x00", 7));
    EXPECT_EQ(png.substr(zlibAt + 2 + 5 + 65535, 5), std::string("\x01\x04\x00\xfb\xff", 5));

    EXPECT_EQ(EncodePng(Image(0, 0)), "");
    RgbImage truncated = Image(2, 2);
    truncated.rgb.pop_back();
    EXPECT_EQ(EncodePng(truncated), "");
}

}  // namespace
}  // namespace parvex::page
