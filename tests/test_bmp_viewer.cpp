// The BMP decoder against a picture viewer's: Qt's BMP reader decodes the
// same files, and every pixel must show the same colour.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>

#include "import/bmp.h"
#include "tests/support/bmpbuilder.h"

namespace wp {
namespace {

using test::BmpForm;

IndexedImage indexed(int w, int h, int colours) {
    IndexedImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.at(x, y) = static_cast<uint8_t>((x * 5 + y * 3 + x * y) % colours);
    for (int i = 0; i < colours; ++i)
        img.palette.push_back(static_cast<uint32_t>((i * 53) & 0xFF) |
                              static_cast<uint32_t>((i * 17) & 0xFF) << 8 |
                              static_cast<uint32_t>((200 - i) & 0xFF) << 16);
    return img;
}

RgbImage colours(int w, int h) {
    RgbImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.set(x, y,
                    static_cast<uint32_t>((x * 23 + y) & 0xFF) |
                        static_cast<uint32_t>((y * 41) & 0xFF) << 8 |
                        static_cast<uint32_t>((x * 7 + y * 11) & 0xFF) << 16);
    return img;
}

void sameAsTheViewer(const std::vector<uint8_t>& bytes, const std::string& what,
                     int tolerance = 0) {
    Picture p;
    std::string error;
    ASSERT_TRUE(decodeBmp(bytes.data(), bytes.size(), p, error)) << what << ": " << error;
    const QImage viewer = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), "BMP");
    ASSERT_FALSE(viewer.isNull()) << what;
    ASSERT_EQ(viewer.width(), p.width) << what;
    ASSERT_EQ(viewer.height(), p.height) << what;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const QRgb v = viewer.pixel(x, y);
            const uint32_t c = p.colourOf(p.raw(y, x));
            const int diff[3] = {qRed(v) - static_cast<int>(c & 0xFF),
                                 qGreen(v) - static_cast<int>((c >> 8) & 0xFF),
                                 qBlue(v) - static_cast<int>((c >> 16) & 0xFF)};
            for (int k = 0; k < 3; ++k)
                ASSERT_LE(std::abs(diff[k]), tolerance)
                    << what << " at " << x << "," << y << " component " << k;
        }
}

TEST(BmpAgainstAViewer, PalettePictures) {
    const std::pair<const char*, BmpForm> forms[] = {
        {"1 bit", {BmpForm::Header::Info, 1}},
        {"4 bits", {BmpForm::Header::Info, 4}},
        {"8 bits", {BmpForm::Header::Info, 8}},
        {"8 bits top-down", {BmpForm::Header::Info, 8, false, true}},
        {"OS/2 4 bits", {BmpForm::Header::Os2, 4}},
        {"OS/2 8 bits", {BmpForm::Header::Os2, 8}},
        {"RLE8", {BmpForm::Header::Info, 8, true}},
        {"RLE4", {BmpForm::Header::Info, 4, true}},
        {"V5 8 bits", {BmpForm::Header::V5, 8}},
    };
    for (const auto& [what, form] : forms)
        sameAsTheViewer(test::buildBmp(indexed(29, 13, 1 << std::min(form.bits, 6)), form), what);
}

TEST(BmpAgainstAViewer, ColourPictures) {
    const RgbImage img = colours(31, 17);
    sameAsTheViewer(test::buildBmp(img, {BmpForm::Header::Info, 24}), "24 bits");
    sameAsTheViewer(test::buildBmp(img, {BmpForm::Header::Info, 24, false, true}),
                    "24 bits top-down");
    sameAsTheViewer(test::buildBmp(img, {BmpForm::Header::Info, 32}), "32 bits");
    sameAsTheViewer(
        test::buildBmp(img, {BmpForm::Header::V4, 32, false, false, {0xFF, 0xFF00, 0xFF0000}}),
        "32 bits masks");
    // Viewers round 5- and 6-bit components to 8 bits in slightly different ways.
    sameAsTheViewer(test::buildBmp(img, {BmpForm::Header::Info, 16}), "16 bits 5-5-5", 8);
    sameAsTheViewer(
        test::buildBmp(img, {BmpForm::Header::Info, 16, false, false, {0xF800, 0x07E0, 0x001F}}),
        "16 bits 5-6-5", 8);
}

}  // namespace
}  // namespace wp
