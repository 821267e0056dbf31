#include <gtest/gtest.h>
#include <png.h>

#include <string>

#include "tools/image.h"

namespace wp {
namespace {

TEST(PictureWriters, PngHoldsEveryPixelInTheModelsColours) {
    RgbImage img(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            img.set(x, y, static_cast<uint32_t>(x * 40 | y * 90 << 8 | (x + y) * 30 << 16));
    const std::vector<uint8_t> png = encodePngRgb(img);
    ASSERT_GT(png.size(), 8u);

    png_image back{};
    back.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&back, png.data(), png.size())) << back.message;
    EXPECT_EQ(back.width, 5u);
    EXPECT_EQ(back.height, 3u);
    back.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(back));
    ASSERT_TRUE(png_image_finish_read(&back, nullptr, pixels.data(), 0, nullptr)) << back.message;
    // Red is the low byte of a model colour and the first byte of a pixel.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t* p = &pixels[static_cast<size_t>((y * 5 + x) * 3)];
            EXPECT_EQ(p[0], x * 40);
            EXPECT_EQ(p[1], y * 90);
            EXPECT_EQ(p[2], (x + y) * 30);
        }
    EXPECT_TRUE(encodePngRgb(RgbImage(0, 4)).empty());
}

TEST(PictureWriters, PbmPacksRowsMostSignificantBitFirst) {
    // 10 x 2: row 0 has pixels 0 and 9 black, row 1 pixel 8.
    std::vector<uint8_t> black(20, 0);
    black[0] = black[9] = black[18] = 1;
    const std::vector<uint8_t> pbm = encodePbm(10, 2, black);
    const std::string head = "P4\n10 2\n";
    ASSERT_EQ(pbm.size(), head.size() + 4);
    EXPECT_EQ(std::string(pbm.begin(), pbm.begin() + static_cast<std::ptrdiff_t>(head.size())),
              head);
    EXPECT_EQ(pbm[head.size()], 0x80);
    EXPECT_EQ(pbm[head.size() + 1], 0x40);
    EXPECT_EQ(pbm[head.size() + 2], 0x00);
    EXPECT_EQ(pbm[head.size() + 3], 0x80);
}

}  // namespace
}  // namespace wp
