// The import (*.IMP) and CAD (*.DW1) readers through the common load.
#include <gtest/gtest.h>

#include "import/dw1writer.h"
#include "import/impwriter.h"
#include "tests/support/drafts.h"
#include "tests/support/loadtest.h"

namespace wp {
namespace {

using test::jacquardLift;

constexpr uint32_t kRed = 255, kWhite = 0xFFFFFF;

ImpDesign impJacquard(int warps, int wefts) {
    ImpDesign d;
    d.warps = warps;
    d.wefts = wefts;
    d.lifted = jacquardLift;
    return d;
}

struct Imp : test::LoadTest {
    bool open(const std::string& path) { return LoadTest::open(path, FileType::Imp); }
};

TEST_F(Imp, PicksAndWarpEndsLandWhereTheWeaverSeesThem) {
    ASSERT_TRUE(open(write("j.imp", writeImp(impJacquard(37, 23)))));
    const DesignModel& d = s.design();
    EXPECT_EQ(d.header.warps(), 37);
    EXPECT_EQ(d.header.wefts(), 23);
    for (int p = 1; p <= 23; ++p)
        for (int e = 1; e <= 37; ++e)
            ASSERT_EQ(d.liftAt(PickNo{p}, e), jacquardLift(p, e)) << p << "," << e;
    EXPECT_EQ(d.warpColours, std::vector<uint32_t>(37, kRed));
    EXPECT_EQ(d.weftColours, std::vector<uint32_t>(23, kWhite));
    EXPECT_FALSE(d.shaftDraftAvailable);
    EXPECT_TRUE(d.designReady);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.filters.back(), "Import|*.IMP");
}

TEST_F(Imp, OnlyTheLowestBitOfAPixelLifts) {
    // 10 warp ends: rows of 8 bytes. Pixel values 1, 3, 15 lift; 0, 2, 14 do not.
    ImpDesign one;
    one.warps = 10;
    one.wefts = 1;
    std::vector<uint8_t> bytes = writeImp(one);
    const size_t row = one.firstBlock + one.secondBlock + 186;
    const uint8_t pixels[5] = {0x13, 0xF0, 0x2E, 0x00, 0x0F};  // pixels 1..10
    std::copy(pixels, pixels + 5, bytes.begin() + static_cast<std::ptrdiff_t>(row));
    ASSERT_TRUE(open(write("n.imp", bytes)));
    const bool expected[10] = {true, true, true, false, false, false, false, false, false, true};
    // Pixel j is bit j - 1.
    for (int j = 1; j <= 10; ++j) EXPECT_EQ(s.design().lift(RowNo{0}, j - 1), expected[j - 1]) << j;
}

TEST_F(Imp, WideDesignLosesItsLeftPixels) {
    ASSERT_TRUE(open(write("w.imp", writeImp(impJacquard(300, 6)))));
    ASSERT_EQ(ui.boxTexts(),
              std::vector<std::string>{
                  "Design size: 300 threads, Available 1 modules. Truncating from left"});
    const DesignModel& d = s.design();
    ASSERT_EQ(d.header.warps(), 220);
    // Pixels 81..300 are warp ends 220..1 of the file and of the design.
    for (int p = 1; p <= 6; ++p)
        for (int e = 1; e <= 220; ++e) ASSERT_EQ(d.liftAt(PickNo{p}, e), jacquardLift(p, e));
}

TEST_F(Imp, LatePicksBeyondTheRowBlocksAreNotRead) {
    settings("[Mirlo]\nchunksize=1\n");
    ASSERT_TRUE(open(write("l.imp", writeImp(impJacquard(9, 101)))));
    EXPECT_EQ(s.design().header.wefts(), 100);
    for (int p = 1; p <= 100; ++p)
        for (int e = 1; e <= 9; ++e) ASSERT_EQ(s.design().liftAt(PickNo{p}, e), jacquardLift(p, e));
}

TEST_F(Imp, DamagedFilesFailWithTheirReason) {
    const std::vector<uint8_t> whole = writeImp(impJacquard(12, 5));
    for (size_t len = 0; len < whole.size(); len += 7) {
        ASSERT_FALSE(open(
            write("cut.imp", {whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(len)})))
            << len;
        EXPECT_FALSE(s.design().hasDesign());
        EXPECT_NE(ui.boxes.back().text.find("Cannot load"), std::string::npos)
            << ui.boxes.back().text;
    }
    ASSERT_TRUE(open(write("whole.imp", whole)));

    ImpDesign empty = impJacquard(12, 0);
    ui.boxes.clear();
    EXPECT_FALSE(open(write("empty.imp", writeImp(empty))));
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Unknown file structure."});

    // A block length near 4 GiB points far past the end.
    std::vector<uint8_t> huge = whole;
    huge[38] = huge[39] = huge[40] = huge[41] = 0xFF;
    EXPECT_FALSE(open(write("huge.imp", huge)));
    EXPECT_NE(ui.boxes.back().text.find("ends before its second block"), std::string::npos);
}

// --- CAD format -----------------------------------------------------------------

constexpr uint32_t kPalette[3] = {0x112233, 0x445566, 0x778899};

Dw1Design cad(int warps, int wefts) {
    Dw1Design d;
    d.warps = warps;
    d.wefts = wefts;
    d.lifted = jacquardLift;
    d.palette.assign(std::begin(kPalette), std::end(kPalette));
    d.warpRecords = {0x0000C0, 0x00C000, 0xC00000};
    d.warpPattern = {1, 2};
    // Entry 3 lies beyond the palette.
    d.weftEntry = [](int pick) { return pick % 5 == 0 ? -1 : pick % 4; };
    return d;
}

struct Dw1 : test::LoadTest {
    bool open(const std::string& path) { return LoadTest::open(path, FileType::Dw1); }
};

TEST_F(Dw1, LiftsAndColoursRoundTrip) {
    ASSERT_TRUE(open(write("c.dw1", writeDw1(cad(45, 17)))));
    const DesignModel& d = s.design();
    EXPECT_EQ(d.header.warps(), 45);
    EXPECT_EQ(d.header.wefts(), 17);
    for (int p = 1; p <= 17; ++p)
        for (int e = 1; e <= 45; ++e)
            ASSERT_EQ(d.liftAt(PickNo{p}, e), jacquardLift(p, e)) << p << "," << e;
    // Pattern 1, 2 gives records 1, 2, 1, 2, ... to warp ends 1, 2, 3, ...
    for (int e = 1; e <= 45; ++e)
        EXPECT_EQ(d.warpColours[static_cast<size_t>(e - 1)], e % 2 ? 0x0000C0u : 0x00C000u);
    for (int p = 1; p <= 17; ++p) {
        const int entry = p % 5 == 0 ? -1 : p % 4;
        const bool known = entry >= 0 && entry < 3;
        EXPECT_EQ(d.weftColours[static_cast<size_t>(p - 1)], known ? kPalette[entry] : kWhite) << p;
        EXPECT_EQ(d.weftColourNumbers[static_cast<size_t>(p - 1)], known ? entry + 1 : 0) << p;
    }
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.filters.back(), "Pattrix|*.DW1");
}

TEST_F(Dw1, FirstBitOfARowIsTheLastWarpEnd) {
    Dw1Design d;
    d.warps = 8;
    d.wefts = 1;
    std::vector<uint8_t> bytes = writeDw1(d);
    bytes[512] = 0x81;
    ASSERT_TRUE(open(write("b.dw1", bytes)));
    for (int x = 0; x < 8; ++x) EXPECT_EQ(s.design().lift(RowNo{0}, x), x == 0 || x == 7) << x;
}

TEST_F(Dw1, PatternOfLengthZeroAndMissingPaletteGiveDefaults) {
    Dw1Design d = cad(5, 4);
    d.warpPattern.clear();
    d.palette.clear();
    ASSERT_TRUE(open(write("z.dw1", writeDw1(d))));
    EXPECT_EQ(s.design().warpColours, std::vector<uint32_t>(5, 0x0000C0u));
    EXPECT_EQ(s.design().weftColours, std::vector<uint32_t>(4, kWhite));
    EXPECT_EQ(s.design().weftColourNumbers, std::vector<uint16_t>(4, 0));
}

TEST_F(Dw1, WideDesignIsCutFromTheLeftWithItsColourPatternFromWarpEndOne) {
    settings("[WeavePilot]\nBlankHeadles=4\n");
    ASSERT_TRUE(open(write("w.dw1", writeDw1(cad(300, 3)))));
    ASSERT_EQ(ui.boxTexts(),
              std::vector<std::string>{
                  "Design size: 300 threads, Available 1 modules. Truncating from left"});
    const DesignModel& d = s.design();
    ASSERT_EQ(d.header.warps(), 219);
    for (int p = 1; p <= 3; ++p)
        for (int e = 1; e <= 219; ++e) ASSERT_EQ(d.liftAt(PickNo{p}, e), jacquardLift(p, e));
    EXPECT_EQ(d.warpColours[0], 0x0000C0u);
    EXPECT_EQ(d.warpColours[1], 0x00C000u);
}

TEST_F(Dw1, DamagedFilesFailWithTheirReason) {
    const std::vector<uint8_t> whole = writeDw1(cad(20, 6));
    for (size_t len = 0; len < whole.size(); len += 5) {
        ASSERT_FALSE(open(
            write("cut.dw1", {whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(len)})))
            << len;
        EXPECT_FALSE(s.design().hasDesign());
    }
    ASSERT_TRUE(open(write("whole.dw1", whole)));

    // A pattern naming a record past the end of the file.
    Dw1Design d = cad(20, 6);
    d.warpPattern = {1, 200};
    EXPECT_FALSE(open(write("rec.dw1", writeDw1(d))));
    EXPECT_NE(ui.boxes.back().text.find("warp colour record 200"), std::string::npos)
        << ui.boxes.back().text;
}

}  // namespace
}  // namespace wp
