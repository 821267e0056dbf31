#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "tests/tools/designs.h"
#include "tools/floats.h"

namespace wp {
namespace {

using test::makeDesign;

// Draws from a script: even draws cut at the middle, odd ones a cell earlier.
struct ScriptedDraw {
    std::shared_ptr<std::deque<int>> draws = std::make_shared<std::deque<int>>();
    int calls = 0;
    CutDraw fn() {
        return [q = draws] {
            if (q->empty()) return 0;
            const int v = q->front();
            q->pop_front();
            return v;
        };
    }
};

// Runs the slow way, cell by cell, as the weaver would count them.
struct Reference {
    std::vector<int> weft = std::vector<int>(kFloatBins, 0);
    std::vector<int> warp = std::vector<int>(kFloatBins, 0);
    std::vector<uint8_t> weftMap, warpMap;

    explicit Reference(const DesignModel& d) {
        const int W = d.header.warps(), H = d.header.wefts();
        weftMap.assign(static_cast<size_t>(W * H), 0);
        warpMap.assign(static_cast<size_t>(W * H), 0);
        const auto mark = [](int n) { return static_cast<uint8_t>(n >= 255 ? 1 : n); };
        for (int j = 0; j < H; ++j) {
            int s = 0;
            for (int x = 1; x <= W; ++x) {
                if (x < W && d.lift(RowNo{j}, x) == d.lift(RowNo{j}, s)) continue;
                ++weft[static_cast<size_t>(floatBin(x - s))];
                for (int k = s; k < x; ++k) weftMap[static_cast<size_t>(j * W + k)] = mark(x - s);
                s = x;
            }
        }
        for (int x = 0; x < W; ++x) {
            int s = 0;
            for (int j = 1; j <= H; ++j) {
                if (j < H && d.lift(RowNo{j}, x) == d.lift(RowNo{s}, x)) continue;
                ++warp[static_cast<size_t>(floatBin(j - s))];
                for (int k = s; k < j; ++k) warpMap[static_cast<size_t>(k * W + x)] = mark(j - s);
                s = j;
            }
        }
    }
};

TEST(FloatBins, LengthsToBins) {
    EXPECT_EQ(floatBin(1), 0);
    EXPECT_EQ(floatBin(98), 97);
    EXPECT_EQ(floatBin(99), 98);
    EXPECT_EQ(floatBin(254), 98);
    EXPECT_EQ(floatBin(255), 99);
    EXPECT_EQ(floatBin(5000), 99);
}

TEST(FloatAnalysis, PlainWeaveHasOnlyOneCellRuns) {
    DesignModel d = makeDesign(12, 8, [](int j, int x) { return (j + x) % 2 == 0; });
    ASSERT_TRUE(openFloatAnalysis(d));
    EXPECT_EQ(d.analysis.displayMode, kAnalysed);
    analyseFloats(d);
    EXPECT_EQ(d.analysis.weftHistogram[0], 8 * 12);
    EXPECT_EQ(d.analysis.warpHistogram[0], 8 * 12);
    for (int k = 1; k < kFloatBins; ++k) {
        EXPECT_EQ(d.analysis.weftHistogram[static_cast<size_t>(k)], 0);
        EXPECT_EQ(d.analysis.warpHistogram[static_cast<size_t>(k)], 0);
    }
    EXPECT_EQ(longestFloatText(d.analysis.weftHistogram), "0");
    EXPECT_EQ(longestFloatText(d.analysis.warpHistogram), "0");
    for (uint8_t v : d.analysis.floatMap) EXPECT_EQ(v, 1);
}

TEST(FloatAnalysis, RunsOf255AndMoreAreCountedApartAndNeverCut) {
    // Row 1 entirely lifted over 300 ends; the rest plain weave.
    DesignModel d = makeDesign(300, 4, [](int j, int x) { return j == 1 || (j + x) % 2 == 0; });
    ASSERT_TRUE(openFloatAnalysis(d));
    analyseFloats(d);
    EXPECT_EQ(d.analysis.weftHistogram[99], 1);
    EXPECT_EQ(longestFloatText(d.analysis.weftHistogram), ">254");
    // Along the warp ends the lifted row joins its neighbours: runs of 2 and 3.
    EXPECT_EQ(longestFloatText(d.analysis.warpHistogram), "2");
    for (int x = 0; x < 300; ++x) EXPECT_EQ(d.analysis.floatMap[static_cast<size_t>(300 + x)], 1);

    ASSERT_TRUE(showFloats(d, FloatLine::Picks, 3));
    ScriptedDraw draw;
    ASSERT_TRUE(toggleCutPreview(d, draw.fn()));
    for (int x = 0; x < 300; ++x)
        EXPECT_NE(d.analysis.floatMap[static_cast<size_t>(300 + x)], kCutMark);
}

TEST(FloatAnalysis, PassesMatchACellByCellCountOnOddSizes) {
    std::mt19937 rng(7);
    for (auto [warps, wefts] :
         {std::pair{1, 1}, {63, 5}, {64, 3}, {65, 7}, {130, 9}, {221, 60}, {3, 130}, {300, 2}}) {
        // Long stretches as well as short ones, so that runs cross word boundaries.
        std::bernoulli_distribution flip(0.15);
        bool on = false;
        DesignModel d = makeDesign(warps, wefts, [&](int, int) {
            if (flip(rng)) on = !on;
            return on;
        });
        const Reference ref(d);
        ASSERT_TRUE(openFloatAnalysis(d));
        analyseFloats(d);
        EXPECT_EQ(d.analysis.weftHistogram, ref.weft) << warps << "x" << wefts;
        EXPECT_EQ(d.analysis.warpHistogram, ref.warp) << warps << "x" << wefts;
        EXPECT_EQ(d.analysis.floatMap, ref.weftMap) << warps << "x" << wefts;

        ASSERT_TRUE(showFloats(d, FloatLine::WarpEnds, 4));
        EXPECT_EQ(d.analysis.displayMode, kWarpFloatsMarked);
        EXPECT_EQ(d.analysis.floatMap, ref.warpMap) << warps << "x" << wefts;
        // Marking alone leaves the counts alone.
        EXPECT_EQ(d.analysis.warpHistogram, ref.warp);
        ASSERT_TRUE(showFloats(d, FloatLine::Picks, 4));
        EXPECT_EQ(d.analysis.floatMap, ref.weftMap);
    }
}

TEST(FloatAnalysis, LimitsOfTwoOrLessMarkNothing) {
    DesignModel d = makeDesign(10, 3, [](int j, int) { return j == 0; });
    ASSERT_TRUE(openFloatAnalysis(d));
    analyseFloats(d);
    d.analysis.floatCutLimit = 7;
    const auto before = d.analysis.floatMap;
    for (std::optional<int> limit :
         {std::optional<int>{}, std::optional<int>{0}, std::optional<int>{2}}) {
        EXPECT_FALSE(showFloats(d, FloatLine::WarpEnds, limit));
        EXPECT_EQ(d.analysis.floatCutLimit, 0);
        EXPECT_EQ(d.analysis.displayMode, kAnalysed);
        EXPECT_EQ(d.analysis.floatMap, before);
    }
    // Nothing is marked, so a new limit and Show TieUp do nothing either.
    EXPECT_FALSE(changeCutLimit(d, 5));
    EXPECT_FALSE(toggleCutPreview(d, ScriptedDraw().fn()));
    EXPECT_FALSE(d.analysis.cutPreview);
}

// One pick row holding a lifted run of `run` cells and one sunk cell after it,
// marked with limit L; returns the cut cells.
std::vector<int> cutsOfRun(int run, int limit, std::initializer_list<int> draws,
                           int* drawsUsed = nullptr) {
    const int warps = run + 1;
    DesignModel d = makeDesign(warps, 1, [&](int, int x) { return x < run; });
    EXPECT_TRUE(openFloatAnalysis(d));
    analyseFloats(d);
    EXPECT_TRUE(showFloats(d, FloatLine::Picks, limit));
    ScriptedDraw draw;
    draw.draws->assign(draws);
    const size_t before = draw.draws->size();
    EXPECT_TRUE(toggleCutPreview(d, draw.fn()));
    if (drawsUsed) *drawsUsed = static_cast<int>(before - draw.draws->size());
    std::vector<int> cuts;
    for (int x = 0; x < warps; ++x)
        if (d.analysis.floatMap[static_cast<size_t>(x)] == kCutMark) cuts.push_back(x);
    return cuts;
}

TEST(CutPreview, LongRunsAreCutIntoPiecesOfAtMostTheLimit) {
    // 10 cells, limit 3: a cut at 3, then the 6 cells left are cut at their
    // offset 3 (even draw) or 2 (odd draw).
    EXPECT_EQ(cutsOfRun(10, 3, {0}), (std::vector<int>{3, 7}));
    EXPECT_EQ(cutsOfRun(10, 3, {41}), (std::vector<int>{3, 6}));
    // Limit 4: 10 > 9, a cut at 4, the 5 cells left are cut at their offset 2.
    int used = -1;
    EXPECT_EQ(cutsOfRun(10, 4, {1}, &used), (std::vector<int>{4, 7}));
    EXPECT_EQ(used, 0);
    // 8 cells, limit 3: 3, then 6 or 5.
    EXPECT_EQ(cutsOfRun(8, 3, {98}), (std::vector<int>{3, 6}));
    EXPECT_EQ(cutsOfRun(8, 3, {97}), (std::vector<int>{3, 5}));
    // L + 1 cells: one cut near the middle; L cells: none.
    EXPECT_EQ(cutsOfRun(4, 3, {0}), (std::vector<int>{2}));
    EXPECT_EQ(cutsOfRun(3, 3, {0}), (std::vector<int>{}));
    // 12 cells, limit 3: 3 and 7 (more than 7 left twice), then 4 left: 10 or 9.
    EXPECT_EQ(cutsOfRun(12, 3, {0}), (std::vector<int>{3, 7, 10}));
}

TEST(CutPreview, TheLastRunOfALineIsCutOnItsOwnCells) {
    // Ends 0..1 lifted, 2..11 a run of 10 sunk cells ending the line.
    DesignModel d = makeDesign(12, 2, [](int j, int x) { return j == 0 ? x < 2 : x % 2 == 0; });
    ASSERT_TRUE(openFloatAnalysis(d));
    analyseFloats(d);
    for (int x = 2; x < 12; ++x) EXPECT_EQ(d.analysis.floatMap[static_cast<size_t>(x)], 10);
    ASSERT_TRUE(showFloats(d, FloatLine::Picks, 3));
    ScriptedDraw draw;
    draw.draws->assign({0});
    ASSERT_TRUE(toggleCutPreview(d, draw.fn()));
    EXPECT_EQ(d.analysis.floatMap[5], kCutMark);
    EXPECT_EQ(d.analysis.floatMap[9], kCutMark);
    // The next row is not touched.
    for (int x = 12; x < 24; ++x) EXPECT_EQ(d.analysis.floatMap[static_cast<size_t>(x)], 1);
}

TEST(CutPreview, WarpEndsAreCutAlongTheirCells) {
    // Warp end 0 lifted on rows 0..9 of 11; the others plain.
    DesignModel d = makeDesign(3, 11, [](int j, int x) { return x == 0 ? j < 10 : (j + x) % 2; });
    ASSERT_TRUE(openFloatAnalysis(d));
    analyseFloats(d);
    ASSERT_TRUE(showFloats(d, FloatLine::WarpEnds, 4));
    ASSERT_TRUE(toggleCutPreview(d, ScriptedDraw().fn()));
    std::vector<int> cuts;
    for (int j = 0; j < 11; ++j)
        for (int x = 0; x < 3; ++x)
            if (d.analysis.floatMap[static_cast<size_t>(j * 3 + x)] == kCutMark)
                cuts.push_back(j * 3 + x);
    EXPECT_EQ(cuts, (std::vector<int>{4 * 3, 7 * 3}));
}

TEST(CutPreview, RemovalRestoresTheRunLengthsAndANewLimitCutsAnew) {
    DesignModel d = makeDesign(40, 6, [](int j, int x) { return (x / (j + 3)) % 2 == 0; });
    ASSERT_TRUE(openFloatAnalysis(d));
    analyseFloats(d);
    ASSERT_TRUE(showFloats(d, FloatLine::Picks, 3));
    const auto marked = d.analysis.floatMap;
    const CutDraw draw = seededDraw(5);
    ASSERT_TRUE(toggleCutPreview(d, draw));
    EXPECT_TRUE(d.analysis.cutPreview);
    EXPECT_NE(d.analysis.floatMap, marked);
    ASSERT_TRUE(toggleCutPreview(d, draw));
    EXPECT_FALSE(d.analysis.cutPreview);
    EXPECT_EQ(d.analysis.floatMap, marked);

    // A new limit while the marks are shown takes them away.
    ASSERT_TRUE(toggleCutPreview(d, draw));
    ASSERT_TRUE(changeCutLimit(d, 6));
    EXPECT_FALSE(d.analysis.cutPreview);
    EXPECT_EQ(d.analysis.floatCutLimit, 6);
    EXPECT_EQ(d.analysis.floatMap, marked);
    ASSERT_TRUE(toggleCutPreview(d, draw));
    // Row 3 has runs of 6: none is over the new limit. Row 5 has runs of 8.
    for (int x = 0; x < 40; ++x)
        EXPECT_NE(d.analysis.floatMap[static_cast<size_t>(3 * 40 + x)], kCutMark);
    int cutsRow5 = 0;
    for (int x = 0; x < 40; ++x)
        cutsRow5 += d.analysis.floatMap[static_cast<size_t>(5 * 40 + x)] == kCutMark;
    EXPECT_EQ(cutsRow5, 5);  // runs of 8 at 0, 8, 16, 24, 32
}

TEST(CutPreview, NoPieceIsLongerThanTheLimitAfterApply) {
    for (int limit : {3, 5, 10}) {
        std::mt19937 rng(3);
        std::bernoulli_distribution flip(0.08);
        bool on = false;
        DesignModel c = makeDesign(150, 40, [&](int, int) {
            if (flip(rng)) on = !on;
            return on;
        });
        ASSERT_TRUE(openFloatAnalysis(c));
        analyseFloats(c);
        ASSERT_TRUE(showFloats(c, FloatLine::Picks, limit));
        ASSERT_TRUE(toggleCutPreview(c, seededDraw(static_cast<uint32_t>(limit))));
        const int flipped = applyCuts(c);
        EXPECT_GT(flipped, 0);
        // Measured again, no weft float is over the limit (runs of 255 and more aside).
        analyseFloats(c);
        for (int k = limit; k < 99; ++k)
            EXPECT_EQ(c.analysis.weftHistogram[static_cast<size_t>(k)], 0) << limit;
    }
}

TEST(Apply, FlipsTheCutCellsAndASecondApplyRestoresThem) {
    DesignModel d = makeDesign(16, 2, [](int j, int) { return j == 0; });
    ASSERT_TRUE(openFloatAnalysis(d));
    analyseFloats(d);
    ASSERT_TRUE(showFloats(d, FloatLine::Picks, 5));
    ASSERT_TRUE(toggleCutPreview(d, ScriptedDraw().fn()));
    // Each row is one run of 16: cuts at 5 and 11 (the 10 cells left cut at 5).
    EXPECT_EQ(applyCuts(d), 4);
    for (int j : {0, 1})
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(d.lift(RowNo{j}, x), (j == 0) != (x == 5 || x == 11)) << j << "," << x;
    // The marks stay: the second Apply flips them back.
    EXPECT_EQ(applyCuts(d), 4);
    for (int x = 0; x < 16; ++x) EXPECT_TRUE(d.lift(RowNo{0}, x));
}

TEST(FloatAnalysis, DoneFreesEverything) {
    DesignModel d = makeDesign(8, 8, [](int j, int x) { return j > x; });
    ASSERT_TRUE(openFloatAnalysis(d));
    analyseFloats(d);
    showFloats(d, FloatLine::Picks, 3);
    d.analysis.bilevelView = true;
    toggleCutPreview(d, ScriptedDraw().fn());
    closeFloatAnalysis(d);
    EXPECT_TRUE(d.analysis.floatMap.empty());
    EXPECT_TRUE(d.analysis.weftHistogram.empty());
    EXPECT_TRUE(d.analysis.warpHistogram.empty());
    EXPECT_EQ(d.analysis.displayMode, kAnalysisClosed);
    EXPECT_EQ(d.analysis.floatCutLimit, 0);
    EXPECT_FALSE(d.analysis.bilevelView);
    EXPECT_FALSE(d.analysis.cutPreview);
    // Repair by hand stops with the analysis.
    EXPECT_FALSE(flipCellByHand(d, RowNo{0}, 0));
}

TEST(FloatAnalysis, CellColoursOfTheMarkedViews) {
    const uint32_t warp = 0x123456, weft = 0x654321;
    EXPECT_EQ(floatViewColour(true, kCutMark, 3, false, warp, weft), 0x000000u);
    EXPECT_EQ(floatViewColour(false, kCutMark, 0, true, warp, weft), 0x000000u);
    // Limit below 2: plain colours whatever the run.
    EXPECT_EQ(floatViewColour(true, 50, 1, true, warp, weft), warp);
    EXPECT_EQ(floatViewColour(false, 50, 0, true, warp, weft), weft);
    // Over the limit: blue lifted, green not.
    EXPECT_EQ(floatViewColour(true, 6, 5, false, warp, weft), 0xFF0000u);
    EXPECT_EQ(floatViewColour(false, 6, 5, false, warp, weft), 0x00FF00u);
    // At the limit: plain, or red and white in the bilevel view.
    EXPECT_EQ(floatViewColour(true, 5, 5, false, warp, weft), warp);
    EXPECT_EQ(floatViewColour(false, 5, 5, false, warp, weft), weft);
    EXPECT_EQ(floatViewColour(true, 5, 5, true, warp, weft), 0x0000FFu);
    EXPECT_EQ(floatViewColour(false, 5, 5, true, warp, weft), 0xFFFFFFu);
}

TEST(FloatChart, PointsUpToOneBinPastTheLongestFloat) {
    AnalysisState a;
    a.warpHistogram.assign(kFloatBins, 0);
    a.weftHistogram.assign(kFloatBins, 0);
    a.warpHistogram[0] = 40;
    a.weftHistogram[0] = 30;
    FloatChartData c = floatChartData(a);
    EXPECT_EQ(c.warp, (std::vector<int>{40, 0}));
    EXPECT_EQ(c.weft, (std::vector<int>{30, 0}));
    EXPECT_EQ(c.warpLabel, " ");
    EXPECT_EQ(c.weftLabel, " ");

    a.weftHistogram[6] = 2;
    c = floatChartData(a);
    ASSERT_EQ(c.weft.size(), 8u);
    EXPECT_EQ(c.weft[6], 2);
    EXPECT_EQ(c.warp.size(), 8u);

    a.warpHistogram[99] = 3;
    a.weftHistogram[99] = 1;
    c = floatChartData(a);
    EXPECT_EQ(c.warp.size(), 100u);
    EXPECT_EQ(c.warp.back(), 3);
    EXPECT_EQ(c.warpLabel, "Number of warp pts in too long floats: 3");
    EXPECT_EQ(c.weftLabel, "Number of weft pts in too long floats: 1");
}

TEST(RepairByHand, FlipsOnlyWhileTheAnalysisIsOpen) {
    DesignModel d = makeDesign(5, 3);
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
        DesignModel d = makeDesign(5, 3);
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
    DesignModel d = makeDesign(5, 3);
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
