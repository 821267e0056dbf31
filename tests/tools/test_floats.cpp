#include <gtest/gtest.h>

#include "tools/floats.h"

namespace wp {
namespace {

DesignModel design(int warps, int wefts) {
    DesignModel d;
    d.header.set(Slot::warps, static_cast<uint16_t>(warps));
    d.header.set(Slot::wefts, static_cast<uint16_t>(wefts));
    EXPECT_TRUE(d.allocateMatrix());
    d.designReady = true;
    return d;
}

TEST(RepairByHand, FlipsOnlyWhileTheAnalysisIsOpen) {
    DesignModel d = design(5, 3);
    d.analysis.floatMap.assign(15, 7);
    d.analysis.displayMode = 0;
    EXPECT_FALSE(flipCellByHand(d, RowNo{1}, 2));
    EXPECT_FALSE(d.lift(RowNo{1}, 2));

    d.analysis.displayMode = 1;
    EXPECT_TRUE(flipCellByHand(d, RowNo{1}, 2));
    EXPECT_TRUE(d.lift(RowNo{1}, 2));
    // Mode 1 draws plain colours: the marks are left as they are.
    EXPECT_EQ(d.analysis.floatMap[1 * 5 + 2], 7);
    EXPECT_TRUE(flipCellByHand(d, RowNo{1}, 2));
    EXPECT_FALSE(d.lift(RowNo{1}, 2));
}

TEST(RepairByHand, MarkedViewsShowTheCellAsAOneCellRun) {
    for (uint8_t mode : {uint8_t{2}, uint8_t{3}}) {
        DesignModel d = design(5, 3);
        d.analysis.floatMap.assign(15, 255);
        d.analysis.displayMode = mode;
        EXPECT_TRUE(flipCellByHand(d, RowNo{2}, 4));
        EXPECT_TRUE(d.lift(RowNo{2}, 4));
        EXPECT_EQ(d.analysis.floatMap[2 * 5 + 4], 1);
        // Its neighbours keep their marks.
        EXPECT_EQ(d.analysis.floatMap[2 * 5 + 3], 255);
        EXPECT_EQ(d.analysis.floatMap[1 * 5 + 4], 255);
    }
}

TEST(RepairByHand, CellsOutsideTheDesignChangeNothing) {
    DesignModel d = design(5, 3);
    d.analysis.displayMode = 2;
    d.analysis.floatMap.assign(15, 9);
    for (auto [row, bit] : {std::pair{-1, 0}, {3, 0}, {0, -1}, {0, 5}})
        EXPECT_FALSE(flipCellByHand(d, RowNo{row}, bit)) << row << "," << bit;
    for (uint8_t v : d.analysis.floatMap) EXPECT_EQ(v, 9);
    // Bit 5 shares the byte of bits 0..4: it is outside the design and stays clear.
    EXPECT_EQ(d.matrix.row(RowNo{0})[0], 0);
}

}  // namespace
}  // namespace wp
