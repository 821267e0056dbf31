#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "model/design.h"

namespace wp {
namespace {

DesignModel makeDesign(int warps, int wefts, int chunksize = 50) {
    DesignModel d;
    d.hw.chunksize = chunksize;
    d.header.set(Slot::warps, static_cast<uint16_t>(warps));
    d.header.set(Slot::wefts, static_cast<uint16_t>(wefts));
    EXPECT_TRUE(d.allocateMatrix());
    return d;
}

TEST(LiftMatrix, RowLayoutFollowsModuleGroups) {
    DesignModel d = makeDesign(221, 3);
    EXPECT_EQ(d.matrix.rowModules(), 2);
    EXPECT_EQ(d.matrix.rowBytes(), 56);
    // Warp end 1 is bit warps - 1 = 220: byte 27, bit 4, still in the first group.
    d.setLift(d.rowOfPick(PickNo{1}), 220, true);
    const uint8_t* row = d.matrix.row(RowNo{2});
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row[27], 0x10);
    EXPECT_EQ(std::count(row, row + 56, 0), 55);
    EXPECT_TRUE(d.liftAt(PickNo{1}, 1));
    EXPECT_FALSE(d.liftAt(PickNo{2}, 1));
}

TEST(LiftMatrix, RowBlocksHoldChunksizeRows) {
    DesignModel d = makeDesign(10, 120, 50);
    EXPECT_EQ(d.matrix.blockCount(), 3);
    // Pick 1 is row 119: block 2, row 19 of it.
    EXPECT_EQ(d.rowOfPick(PickNo{1}).value, 119);
    const uint8_t* first = d.matrix.row(RowNo{100});
    EXPECT_EQ(d.matrix.row(RowNo{119}), first + 19 * d.matrix.rowBytes());
    EXPECT_EQ(d.matrix.row(RowNo{120}), nullptr);
    EXPECT_EQ(d.matrix.row(RowNo{-1}), nullptr);
}

TEST(LiftMatrix, AllocationRefusesMoreThanTheBlockSlots) {
    LiftMatrix m;
    EXPECT_FALSE(m.allocate(5001, 10, 50));
    EXPECT_EQ(m.blockCount(), 0);
    EXPECT_TRUE(m.allocate(5000, 3520, 50));
    EXPECT_EQ(m.blockCount(), 100);
    EXPECT_EQ(m.rowModules(), 16);
    m.release();
    EXPECT_EQ(m.blockCount(), 0);
}

TEST(DesignModel, IndicesOutsideTheHeaderAreIgnored) {
    DesignModel d = makeDesign(12, 4);
    d.setLift(RowNo{4}, 0, true);
    d.setLift(RowNo{-1}, 0, true);
    d.setLift(RowNo{0}, 12, true);  // a pad bit: not part of the design
    d.setLift(RowNo{0}, -1, true);
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 16; ++x) EXPECT_FALSE(d.matrix.bit(RowNo{r}, x)) << r << "," << x;
    EXPECT_FALSE(d.lift(RowNo{100}, 0));
    EXPECT_FALSE(d.liftAt(PickNo{0}, 1));
    EXPECT_FALSE(d.liftAt(PickNo{5}, 1));
    EXPECT_FALSE(d.tieUpBit(0, 0));  // no tie-up at all
    d.setTreadlingBit(0, RowNo{0}, true);
    EXPECT_FALSE(d.treadlingBit(0, RowNo{0}));
}

TEST(DesignModel, InvertComplementsRowsAndTheDraftOfItsLayout) {
    DesignModel d = makeDesign(10, 3);
    d.setLift(RowNo{0}, 0, true);
    d.header.set(Slot::loom, kLoomDobby);
    d.header.set(Slot::treadles, 2);
    d.draft.treadling = {0x01, 0x00, 0xFF};  // 2 treadles x 1 byte, plus a byte beyond
    d.invertDesign();
    const uint8_t* row = d.matrix.row(RowNo{0});
    EXPECT_EQ(row[0], 0xFE);
    // Pad bits above warps - 1 are set too, and the rest of the row stays.
    EXPECT_EQ(row[1], 0xFF);
    EXPECT_EQ(row[2], 0x00);
    EXPECT_EQ(d.draft.treadling, (std::vector<uint8_t>{0xFE, 0xFF, 0xFF}));

    DesignModel c = makeDesign(8, 1);
    c.header.set(Slot::loom, kLoomCountermarche);
    c.header.set(Slot::shafts, 2);
    c.draft.tieUp = {0x01, 0x02, 0x7};
    c.draft.treadling = {0x01};
    c.invertDesign();
    EXPECT_EQ(c.draft.tieUp, (std::vector<uint8_t>{0xFE, 0xFD, 0x7}));
    EXPECT_EQ(c.draft.treadling, (std::vector<uint8_t>{0x01}));
}

TEST(DesignModel, TabbyRowsAlternateBits) {
    DesignModel d;
    EXPECT_TRUE(
        std::all_of(d.tabbyEven.begin(), d.tabbyEven.end(), [](uint8_t b) { return b == 0x55; }));
    EXPECT_TRUE(
        std::all_of(d.tabbyOdd.begin(), d.tabbyOdd.end(), [](uint8_t b) { return b == 0xAA; }));
}

TEST(DesignModel, ColoursDefaultToRedWarpAndWhiteWeft) {
    DesignModel d = makeDesign(3, 2);
    d.initialiseColours(0);
    EXPECT_EQ(d.warpColours, (std::vector<uint32_t>{255, 255, 255}));
    EXPECT_EQ(d.weftColours, (std::vector<uint32_t>{0xFFFFFF, 0xFFFFFF}));
    EXPECT_EQ(d.weftColourNumbers, (std::vector<uint16_t>{0, 0}));
    d.initialiseColours(0x00FF00);
    EXPECT_EQ(d.warpColours[2], 0x00FF00u);
    d.releaseDesign();
    EXPECT_FALSE(d.hasDesign());
    EXPECT_TRUE(d.warpColours.empty());
}

TEST(Hooks, PackedPlaceLeavesTheTopBitsOfEachModuleFree) {
    EXPECT_EQ(modulePackedPlace(0).byte, 0);
    EXPECT_EQ(modulePackedPlace(219).byte, 27);
    EXPECT_EQ(modulePackedPlace(219).bit, 0x08);
    EXPECT_EQ(modulePackedPlace(220).byte, 28);
    EXPECT_EQ(modulePackedPlace(220).bit, 0x01);
    EXPECT_EQ(modulePackedPlace(3519).byte, 15 * 28 + 27);
}

TEST(Hooks, UsableCountStopsWhereTheWarpEndsAreAllPlaced) {
    HardwareConfig hw;
    hw.hookCount = 440;
    hw.moduleCount = 2;
    setMaskBit(hw.hookSkipMask, 1);
    UsableHooks u = usableHookCount(hw, 219);
    EXPECT_EQ(u.count, 219);
    EXPECT_EQ(u.modules, 1);  // walked hooks 1..220
    u = usableHookCount(hw, 220);
    EXPECT_EQ(u.count, 220);
    EXPECT_EQ(u.modules, 2);
    u = usableHookCount(hw, 1000);
    EXPECT_EQ(u.count, 439);
    EXPECT_EQ(u.modules, 2);
    hw.hookCount = 0;
    u = usableHookCount(hw, 10);
    EXPECT_EQ(u.count, 0);
    EXPECT_EQ(u.modules, 0);
}

TEST(Hooks, WalkInterleavesModuleRows) {
    HardwareConfig hw;
    hw.moduleCount = 2;
    hw.hookCount = 440;
    hw.modulesDeep = 2;
    std::vector<int> order = hookWalkOrder(hw);
    ASSERT_EQ(order.size(), 440u);
    EXPECT_EQ(order[0], 0);
    EXPECT_EQ(order[1], 220);  // walk index 1: first hook of the second module
    EXPECT_EQ(order[2], 1);
    hw.modulesDeep = 1;
    order = hookWalkOrder(hw);
    for (size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], static_cast<int>(i));
}

TEST(Hooks, WalkWithUnequalRowsReachesEveryExistingHookOnce) {
    for (int modules : {3, 5, 7, 16}) {
        for (int deep : {2, 3, 4}) {
            HardwareConfig hw;
            hw.moduleCount = modules;
            hw.hookCount = modules * 220;
            hw.modulesDeep = deep;
            const std::vector<int> order = hookWalkOrder(hw);
            std::set<int> seen(order.begin(), order.end());
            EXPECT_EQ(seen.size(), order.size()) << modules << "/" << deep;
            EXPECT_EQ(static_cast<int>(order.size()), modules * 220) << modules << "/" << deep;
            EXPECT_LT(*seen.rbegin(), modules * 220);
        }
    }
    // 5 modules in 2 rows: rows of 3 and 2 modules interleave for 440 places,
    // then the first row goes on alone.
    HardwareConfig hw;
    hw.moduleCount = 5;
    hw.hookCount = 1100;
    hw.modulesDeep = 2;
    const std::vector<int> order = hookWalkOrder(hw);
    EXPECT_EQ(order[0], 0);
    EXPECT_EQ(order[1], 660);
    EXPECT_EQ(order[879], 1099);
    EXPECT_EQ(order[880], 440);
    EXPECT_EQ(order[1099], 659);
}

}  // namespace
}  // namespace wp
