#include <gtest/gtest.h>

#include <zlib.h>
#include <cstring>

#include "sim/picture.h"
#include "sim/record.h"
#include "tests/sim/simharness.h"

namespace wp::sim {
namespace {

std::uint32_t be32(const std::vector<std::uint8_t>& data, std::size_t at) {
    return std::uint32_t{data[at]} << 24 | std::uint32_t{data[at + 1]} << 16 |
           std::uint32_t{data[at + 2]} << 8 | data[at + 3];
}

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

// Splits a PNG into chunks, checking each CRC on the way.
std::vector<Chunk> pngChunks(const std::vector<std::uint8_t>& png) {
    std::vector<Chunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = be32(png, at);
        if (at + 12 + length > png.size()) {
            ADD_FAILURE() << "chunk runs past the end";
            break;
        }
        Chunk chunk{std::string(png.begin() + static_cast<long>(at) + 4,
                                png.begin() + static_cast<long>(at) + 8),
                    {png.begin() + static_cast<long>(at) + 8,
                     png.begin() + static_cast<long>(at + 8 + length)}};
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), png.data() + at + 4, 4 + length);
        EXPECT_EQ(be32(png, at + 8 + length), crc) << chunk.type;
        chunks.push_back(std::move(chunk));
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    return chunks;
}

TEST(Picture, PngDecodesBackToTheBitmap) {
    Bitmap bitmap(10, 3);
    bitmap.setBlack(0, 0);
    bitmap.setBlack(9, 0);
    bitmap.setBlack(4, 2);
    const std::vector<std::uint8_t> png = encodePng(bitmap);
    ASSERT_GE(png.size(), 8u);
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);

    const std::vector<Chunk> chunks = pngChunks(png);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    ASSERT_EQ(chunks[0].data.size(), 13u);
    EXPECT_EQ(be32(chunks[0].data, 0), 10u);
    EXPECT_EQ(be32(chunks[0].data, 4), 3u);
    EXPECT_EQ(chunks[0].data[8], 1) << "bit depth";
    EXPECT_EQ(chunks[0].data[9], 0) << "grayscale";
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_EQ(chunks[2].type, "IEND");

    std::vector<std::uint8_t> raw(3 * 3);
    uLongf rawSize = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawSize, chunks[1].data.data(), chunks[1].data.size()), Z_OK);
    ASSERT_EQ(rawSize, raw.size());
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(raw[static_cast<std::size_t>(y * 3)], 0) << "filter type of row " << y;
        for (int x = 0; x < 10; ++x) {
            const std::uint8_t byte = raw[static_cast<std::size_t>(y * 3 + 1 + x / 8)];
            const bool white = (byte >> (7 - x % 8)) & 1U;
            EXPECT_EQ(!white, bitmap.black(x, y)) << x << "," << y;
        }
    }
}

TEST(Picture, PbmIsBinaryP4) {
    Bitmap bitmap(9, 2);
    bitmap.setBlack(8, 1);
    const std::vector<std::uint8_t> pbm = encodePbm(bitmap);
    const std::string header = "P4\n9 2\n";
    ASSERT_EQ(pbm.size(), header.size() + 4);
    EXPECT_EQ(std::string(pbm.begin(), pbm.begin() + static_cast<long>(header.size())), header);
    EXPECT_EQ(pbm[header.size() + 2], 0x00);
    EXPECT_EQ(pbm[header.size() + 3], 0x80);
}

TEST(Picture, ClothHasFirstPickAtTheBottomAndHookOneOnTheRight) {
    LoomSimOptions options;
    const std::vector<WovenPick> picks = {{{1}, {}, {}}, {{220, 221}, {}, {}}};
    const int width = clothWidth(options, picks);
    EXPECT_EQ(width, 440);
    const Bitmap cloth = clothPicture(picks, width);
    ASSERT_EQ(cloth.height(), 2);
    EXPECT_TRUE(cloth.black(439, 1));
    EXPECT_TRUE(cloth.black(220, 0));
    EXPECT_TRUE(cloth.black(219, 0));
    int blacks = 0;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < width; ++x) blacks += cloth.black(x, y) ? 1 : 0;
    }
    EXPECT_EQ(blacks, 3);

    options.loom = LoomType::Olm;
    EXPECT_EQ(clothWidth(options, picks), 24);
}

TEST(Picture, FileFormatFollowsTheName) {
    test::TempPath png(".PNG");
    test::TempPath pbm(".pbm");
    Bitmap bitmap(3, 1);
    ASSERT_TRUE(writePicture(png.str(), bitmap));
    ASSERT_TRUE(writePicture(pbm.str(), bitmap));
    EXPECT_EQ(test::readFile(png.str()).substr(1, 3), "PNG");
    EXPECT_EQ(test::readFile(pbm.str()).substr(0, 3), "P4\n");
    EXPECT_FALSE(writePicture("/nonexistent-dir/x.png", bitmap));
}

}  // namespace
}  // namespace wp::sim
