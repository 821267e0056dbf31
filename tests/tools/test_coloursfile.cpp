#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/tools/designs.h"
#include "tools/bmp.h"
#include "tools/coloursfile.h"

namespace wp {
namespace {

using test::makeDesign;

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
}
uint32_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at] | b[at + 1] << 8);
}

class TempDir {
public:
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "wp-colours-XXXXXX").string();
        path_ = mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const std::string& path, const std::vector<uint8_t>& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

TEST(WeftImage, HeaderTableAndRowsByteForByte) {
    // 10 ends, 3 picks; pick 1 (row 2) lifts ends 0 and 9, pick 3 (row 0) end 7.
    DesignModel d = makeDesign(
        10, 3, [](int j, int x) { return (j == 2 && (x == 0 || x == 9)) || (j == 0 && x == 7); });
    const std::vector<uint8_t> b = encodeWeftImage(d);
    ASSERT_EQ(b.size(), 54u + 8u + 3u * 4u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), 74u);  // S x H + 4 x D + 54
    EXPECT_EQ(le32(b, 6), 0u);
    EXPECT_EQ(le32(b, 10), 62u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), 10u);
    EXPECT_EQ(le32(b, 22), 3u);
    EXPECT_EQ(le16(b, 26), 1u);
    EXPECT_EQ(le16(b, 28), 1u);
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_EQ(le32(b, 34), 12u);
    EXPECT_EQ(le32(b, 38), 2834u);
    EXPECT_EQ(le32(b, 42), 2834u);
    EXPECT_EQ(le32(b, 46), 2u);
    EXPECT_EQ(le32(b, 50), 2u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 54, b.begin() + 62),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0}));
    // Rows of 4 bytes, pick 1 first; end 0 is the top bit of the first byte.
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 62, b.end()),
              (std::vector<uint8_t>{0x80, 0x40, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0}));
}

TEST(ColoursFile, LayoutOfTheTwoRows) {
    DesignModel d = makeDesign(5, 3);
    d.weftColours = {0x0000FF, 0x00FF00, 0xFF0000};
    d.warpColours = {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F};
    const std::vector<uint8_t> b = encodeColoursFile(d);
    ASSERT_EQ(b.size(), 54u + 8u * 5u);
    EXPECT_EQ(le32(b, 2), 94u);
    EXPECT_EQ(le32(b, 10), 54u);
    EXPECT_EQ(le32(b, 18), 5u);
    EXPECT_EQ(le32(b, 22), 2u);
    EXPECT_EQ(le16(b, 28), 32u);
    EXPECT_EQ(le32(b, 34), 40u);
    EXPECT_EQ(le32(b, 46), 0u);
    // Weft row: blue, green, red bytes of each colour, then two black pixels.
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 54, b.begin() + 74),
              (std::vector<uint8_t>{0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0,
                                    0, 0, 0,    0, 0, 0,    0, 0, 0,    0}));
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 74, b.begin() + 78),
              (std::vector<uint8_t>{1, 2, 3, 0}));
    EXPECT_EQ(std::vector<uint8_t>(b.end() - 4, b.end()),
              (std::vector<uint8_t>{0x0D, 0x0E, 0x0F, 0}));
}

TEST(ColoursFile, WrittenAndReadBackWithPalettesRebuilt) {
    TempDir dir;
    DesignModel d = makeDesign(6, 7);
    d.weftColours = {0x0000FF, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFFFFFF, 0x00FF00, 0x123456};
    d.warpColours = {0xAA0000, 0xAA0000, 0x00BB00, 0x00BB00, 0xAA0000, 0x0000CC};
    std::string error;
    ASSERT_TRUE(writeColoursFile(dir.file("d_colors.bmp"), d, error)) << error;

    DesignModel e = makeDesign(6, 7);
    ColourPalettes p;
    p.weft.layout = "kept";
    const ColoursFileResult r = readColoursFile(dir.file("d_colors.bmp"), e, p);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(e.weftColours, d.weftColours);
    EXPECT_EQ(e.warpColours, d.warpColours);
    // Distinct colours numbered from pick 1 on; white takes a slot like any other.
    EXPECT_EQ(e.weftColourNumbers, (std::vector<uint16_t>{1, 2, 1, 3, 2, 3, 4}));
    EXPECT_EQ(p.weft.count, 4);
    EXPECT_EQ(p.weft.colours[1], 0xFFFFFFu);
    EXPECT_EQ(p.weft.colours[3], 0x123456u);
    EXPECT_EQ(p.weft.colours[4], 0xFFFFFFu);
    EXPECT_EQ(p.warp.count, 3);
    EXPECT_EQ(p.warp.colours[2], 0x0000CCu);
    EXPECT_EQ(p.weft.layout, "kept");
}

TEST(ColoursFile, WrongSizesChangeNothing) {
    TempDir dir;
    DesignModel small = makeDesign(4, 4);
    small.weftColours.assign(4, 0x111111);
    std::string error;
    ASSERT_TRUE(writeColoursFile(dir.file("small.bmp"), small, error));
    // Wider than the picks, or the warp ends, than the file.
    for (auto [warps, wefts] : {std::pair{4, 5}, {5, 4}}) {
        DesignModel d = makeDesign(warps, wefts);
        ColourPalettes p;
        p.weft.count = 2;
        EXPECT_EQ(readColoursFile(dir.file("small.bmp"), d, p).status,
                  ColoursFileStatus::WrongSize);
        for (uint32_t c : d.weftColours) EXPECT_EQ(c, 0xFFFFFFu);
        EXPECT_EQ(p.weft.count, 2);
    }
    // Three rows high.
    std::vector<uint8_t> three = bmpHeader(4, 3, 32, 0);
    three.resize(three.size() + 3 * 16, 0x40);
    writeAll(dir.file("three.bmp"), three);
    DesignModel d = makeDesign(4, 4);
    ColourPalettes p;
    EXPECT_EQ(readColoursFile(dir.file("three.bmp"), d, p).status, ColoursFileStatus::WrongSize);
}

TEST(ColoursFile, SixteenColoursAreReadButNotKept) {
    TempDir dir;
    DesignModel d = makeDesign(2, 18);
    for (size_t i = 0; i < 18; ++i) d.weftColours[i] = static_cast<uint32_t>(0x100 * (i + 1));
    std::string error;
    ASSERT_TRUE(writeColoursFile(dir.file("many.bmp"), d, error));
    DesignModel e = makeDesign(2, 18);
    ColourPalettes p;
    EXPECT_EQ(readColoursFile(dir.file("many.bmp"), e, p).status,
              ColoursFileStatus::TooManyColours);
    EXPECT_EQ(e.weftColours, d.weftColours);
    EXPECT_EQ(e.weftColourNumbers[15], 16);
    EXPECT_EQ(e.weftColourNumbers[16], 0);
    EXPECT_EQ(p.weft.count, 16);
}

TEST(ColoursFile, UnreadableFilesSayWhy) {
    TempDir dir;
    DesignModel d = makeDesign(2, 2);
    ColourPalettes p;
    ColoursFileResult r = readColoursFile(dir.file("missing.bmp"), d, p);
    EXPECT_EQ(r.status, ColoursFileStatus::Unreadable);
    EXPECT_FALSE(r.error.empty());
    writeAll(dir.file("text.bmp"), {'h', 'e', 'l', 'l', 'o'});
    r = readColoursFile(dir.file("text.bmp"), d, p);
    EXPECT_EQ(r.status, ColoursFileStatus::Unreadable);
    EXPECT_EQ(r.error, "not a BMP picture");
    std::vector<uint8_t> cut = bmpHeader(4, 2, 32, 0);
    cut.resize(cut.size() + 20);
    writeAll(dir.file("cut.bmp"), cut);
    EXPECT_EQ(readColoursFile(dir.file("cut.bmp"), d, p).error, "the picture data is cut short");
    for (uint32_t c : d.weftColours) EXPECT_EQ(c, 0xFFFFFFu);
}

TEST(ColoursFile, WritesReplaceWholeFilesAndFailuresSayWhy) {
    TempDir dir;
    DesignModel d = makeDesign(3, 3);
    const std::string path = dir.file("d_colors.bmp");
    writeAll(path, std::vector<uint8_t>(5000, 0x77));
    std::string error;
    ASSERT_TRUE(writeColoursFile(path, d, error));
    EXPECT_EQ(readAll(path), encodeColoursFile(d));
    EXPECT_FALSE(writeColoursFile(dir.file("no/such/folder/x.bmp"), d, error));
    EXPECT_NE(error.find("no/such/folder"), std::string::npos) << error;
    // Nothing is left beside the file.
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(WeftImageName, BmpAppendedWhenTheNameHasNoDot) {
    EXPECT_EQ(weftImageName("/tmp/weft"), "/tmp/weft.bmp");
    EXPECT_EQ(weftImageName("/tmp/a.b/weft"), "/tmp/a.b/weft.bmp");
    EXPECT_EQ(weftImageName("/tmp/weft.BMP"), "/tmp/weft.BMP");
    EXPECT_EQ(weftImageName("weft.v2"), "weft.v2");
}

// Pictures as other programs save them.
std::vector<uint8_t> picture(int w, int h, int bits, const std::vector<uint8_t>& table,
                             const std::vector<uint8_t>& rows, bool topDown = false) {
    std::vector<uint8_t> b = bmpHeader(w, h, bits, static_cast<int>(table.size() / 4));
    if (topDown) {
        const uint32_t neg = static_cast<uint32_t>(-h);
        for (int i = 0; i < 4; ++i)
            b[22 + static_cast<size_t>(i)] = static_cast<uint8_t>(neg >> (8 * i));
    }
    b.insert(b.end(), table.begin(), table.end());
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

TEST(BmpReader, IndexedAndDirectPictures) {
    BmpImage img;
    std::string error;
    // 8 bits with a table of blue-green-red entries: index 1 is pure red.
    ASSERT_TRUE(decodeBmp(
        picture(3, 2, 8, {0, 0, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0}, {1, 2, 7, 0, 0, 1, 0, 0}), img,
        error))
        << error;
    EXPECT_EQ(img.at(0, 1), 0x0000FFu);  // bottom row, stored first
    EXPECT_EQ(img.at(1, 1), 0xFF0000u);
    EXPECT_EQ(img.at(2, 1), 7u);  // beyond the table: the index itself
    EXPECT_EQ(img.at(1, 0), 0x0000FFu);
    EXPECT_EQ(img.at(2, 0), 0u);
    // 1 and 4 bits: pixels from the top bits.
    ASSERT_TRUE(decodeBmp(picture(10, 1, 1, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}, {0x81, 0x40, 0, 0}),
                          img, error));
    EXPECT_EQ(img.at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(img.at(1, 0), 0u);
    EXPECT_EQ(img.at(7, 0), 0xFFFFFFu);
    EXPECT_EQ(img.at(9, 0), 0xFFFFFFu);
    ASSERT_TRUE(decodeBmp(picture(2, 1, 4, {0, 0, 0, 0, 0x10, 0x20, 0x30, 0}, {0x10, 0, 0, 0}), img,
                          error));
    EXPECT_EQ(img.at(0, 0), 0x102030u);
    EXPECT_EQ(img.at(1, 0), 0u);
    // 24 bits, top-down: the first stored row is the top.
    ASSERT_TRUE(decodeBmp(picture(1, 2, 24, {}, {0x10, 0x20, 0x30, 0, 0x40, 0x50, 0x60, 0}, true),
                          img, error));
    EXPECT_EQ(img.at(0, 0), 0x102030u);
    EXPECT_EQ(img.at(0, 1), 0x405060u);
    // 16 bits, 5-5-5: white and pure red.
    ASSERT_TRUE(decodeBmp(picture(2, 1, 16, {}, {0xFF, 0x7F, 0x00, 0x7C}), img, error));
    EXPECT_EQ(img.at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(img.at(1, 0), 0x0000FFu);
}

TEST(BmpReader, RefusesWhatItCannotRead) {
    BmpImage img;
    std::string error;
    std::vector<uint8_t> rle = picture(2, 1, 8, {0, 0, 0, 0}, {0, 0, 0, 0});
    rle[30] = 1;
    EXPECT_FALSE(decodeBmp(rle, img, error));
    EXPECT_EQ(error, "compressed BMP pictures are not read");
    std::vector<uint8_t> odd = picture(2, 1, 8, {0, 0, 0, 0}, {0, 0, 0, 0});
    odd[28] = 7;
    EXPECT_FALSE(decodeBmp(odd, img, error));
    std::vector<uint8_t> huge = bmpHeader(60000, 60000, 1, 0);
    EXPECT_FALSE(decodeBmp(huge, img, error));
    EXPECT_EQ(error, "impossible picture size");
}

}  // namespace
}  // namespace wp
