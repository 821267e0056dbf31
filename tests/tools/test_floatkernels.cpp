#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/tools/designs.h"
#include "tools/floatkernels.h"
#include "tools/floats.h"

namespace wp {
namespace {

using test::makeDesign;
using Cells = std::vector<uint8_t>;  // row-major by lift-matrix row

// Lift of every cell, for rebuilding a design.
struct Drawn {
    int warps;
    int wefts;
    Cells lifted;
    DesignModel build() const {
        return makeDesign(warps, wefts, [this](int j, int x) {
            return lifted[static_cast<size_t>(j) * static_cast<size_t>(warps) +
                          static_cast<size_t>(x)] != 0;
        });
    }
};

// Runs counted and marked the slow way: each line walked cell by cell.
struct Walked {
    std::vector<int> weft = std::vector<int>(kFloatBins, 0);
    std::vector<int> warp = std::vector<int>(kFloatBins, 0);
    Cells weftMap, warpMap;

    explicit Walked(const Drawn& g) {
        const int W = g.warps, H = g.wefts;
        weftMap.assign(g.lifted.size(), 0);
        warpMap.assign(g.lifted.size(), 0);
        const auto at = [W](int j, int x) { return static_cast<size_t>(j) * W + x; };
        const auto bin = [](int n) {
            return static_cast<size_t>(n < 99 ? n - 1 : n < 255 ? 98 : 99);
        };
        const auto mark = [](int n) { return static_cast<uint8_t>(n >= 255 ? 1 : n); };
        for (int j = 0; j < H; ++j) {
            int s = 0;
            for (int x = 1; x <= W; ++x) {
                if (x < W && g.lifted[at(j, x)] == g.lifted[at(j, s)]) continue;
                ++weft[bin(x - s)];
                for (int k = s; k < x; ++k) weftMap[at(j, k)] = mark(x - s);
                s = x;
            }
        }
        for (int x = 0; x < W; ++x) {
            int s = 0;
            for (int j = 1; j <= H; ++j) {
                if (j < H && g.lifted[at(j, x)] == g.lifted[at(s, x)]) continue;
                ++warp[bin(j - s)];
                for (int k = s; k < j; ++k) warpMap[at(k, x)] = mark(j - s);
                s = j;
            }
        }
    }
};

// Cut marks placed by walking each line from run to run, one line after the
// other: a run longer than the limit keeps pieces of `limit` cells from its
// start while more than 2 * limit + 1 cells are left, the rest is cut in its
// middle, a cell earlier for an even rest and an odd draw.
Cells cutByWalking(Cells map, int warps, int wefts, bool alongPicks, int limit,
                   const CutDraw& draw) {
    const int lines = alongPicks ? wefts : warps;
    const int n = alongPicks ? warps : wefts;
    for (int l = 0; l < lines; ++l) {
        const auto cell = [&](int i) -> uint8_t& {
            return map[alongPicks ? static_cast<size_t>(l) * warps + i
                                  : static_cast<size_t>(i) * warps + l];
        };
        int pos = 0;
        while (pos < n) {
            const int c = cell(pos);
            if (c > limit && c != kCutMark) {
                int d = 0, rest = c;
                while (rest > 2 * limit + 1) {
                    if (pos + d + limit < n) cell(pos + d + limit) = kCutMark;
                    d += limit + 1;
                    rest -= limit + 1;
                }
                d += rest / 2;
                if (rest % 2 == 0 && draw() % 2 == 1) d -= 1;
                if (pos + d < n) cell(pos + d) = kCutMark;
            }
            pos += c == 0 || c == kCutMark ? 1 : c;
        }
    }
    return map;
}

// Run lengths drawn for random designs: short runs, runs across 64-cell words,
// and runs around the 255 that ends counting.
int runLength(std::mt19937& rng) {
    const int kind = std::uniform_int_distribution<int>(0, 19)(rng);
    if (kind < 9) return std::uniform_int_distribution<int>(1, 4)(rng);
    if (kind < 14) return std::uniform_int_distribution<int>(5, 70)(rng);
    if (kind < 16) return std::uniform_int_distribution<int>(120, 140)(rng);
    return std::uniform_int_distribution<int>(252, 258)(rng);
}

// Rows of random runs, copies and complements of the row before (runs along
// the warp ends), plain weave (a run at every cell) and one-colour rows.
Drawn randomDesign(int warps, int wefts, std::mt19937& rng) {
    Drawn g{warps, wefts, Cells(static_cast<size_t>(warps) * wefts)};
    for (int j = 0; j < wefts; ++j) {
        uint8_t* row = g.lifted.data() + static_cast<size_t>(j) * warps;
        const uint8_t* above = row - warps;
        const int kind = std::uniform_int_distribution<int>(0, 19)(rng);
        if (j > 0 && kind < 8) {
            std::copy(above, above + warps, row);
        } else if (j > 0 && kind < 9) {
            for (int x = 0; x < warps; ++x) row[x] = !above[x];
        } else if (kind < 11) {
            for (int x = 0; x < warps; ++x) row[x] = (x + j) % 2;
        } else if (kind < 12) {
            std::fill(row, row + warps, static_cast<uint8_t>(j % 2));
        } else {
            uint8_t on = rng() % 2;
            for (int x = 0; x < warps;) {
                const int n = runLength(rng);
                for (int k = 0; k < n && x < warps; ++k) row[x++] = on;
                on = !on;
            }
        }
    }
    return g;
}

Drawn designOf(int warps, int wefts, const std::function<bool(int, int)>& lifted) {
    Drawn g{warps, wefts, Cells(static_cast<size_t>(warps) * wefts)};
    for (int j = 0; j < wefts; ++j)
        for (int x = 0; x < warps; ++x) g.lifted[static_cast<size_t>(j) * warps + x] = lifted(j, x);
    return g;
}

// Designs of odd sizes: single picks and single warp ends, widths around the
// 64-cell words, and runs of 253 to 258 cells along both directions.
std::vector<Drawn> designs() {
    std::mt19937 rng(2024);
    std::vector<Drawn> all;
    for (auto [warps, wefts] : {std::pair{1, 1},
                                {1, 300},
                                {300, 1},
                                {7, 9},
                                {63, 40},
                                {64, 33},
                                {65, 31},
                                {127, 20},
                                {128, 17},
                                {129, 260},
                                {200, 300},
                                {513, 12},
                                {1000, 6}})
        all.push_back(randomDesign(warps, wefts, rng));
    all.push_back(designOf(70, 600, [](int j, int x) { return (j / (253 + x % 6)) % 2 == 0; }));
    all.push_back(designOf(1100, 12, [](int j, int x) { return (x / (253 + j % 6)) % 2 == 1; }));
    all.push_back(designOf(640, 9, [](int j, int x) { return (x + j) % 2 == 0; }));
    return all;
}

std::string sizeOf(const Drawn& g) {
    return std::to_string(g.warps) + "x" + std::to_string(g.wefts);
}

// Each test runs with the wide-vector kernels and with the cell-by-cell walk.
class BothWays : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        floatkernels::setEnabled(GetParam());
        if (GetParam() && !floatkernels::enabled())
            GTEST_SKIP() << "this processor has no AVX-512 kernels";
    }
    void TearDown() override { floatkernels::setEnabled(true); }
};

TEST_P(BothWays, PassesCountAndMarkEveryRunLikeTheWalk) {
    for (const Drawn& g : designs()) {
        SCOPED_TRACE(sizeOf(g));
        const Walked walked(g);
        DesignModel d = g.build();
        ASSERT_TRUE(openFloatAnalysis(d));
        analyseFloats(d);
        EXPECT_EQ(d.analysis.weftHistogram, walked.weft);
        EXPECT_EQ(d.analysis.warpHistogram, walked.warp);
        EXPECT_EQ(d.analysis.floatMap, walked.weftMap);

        ASSERT_TRUE(showFloats(d, FloatLine::WarpEnds, 3));
        EXPECT_EQ(d.analysis.floatMap, walked.warpMap);
        ASSERT_TRUE(showFloats(d, FloatLine::Picks, 3));
        EXPECT_EQ(d.analysis.floatMap, walked.weftMap);

        // Counting alone, into histograms that already hold counts.
        runFloatPass(d, FloatLine::Picks, FloatPass::Count);
        runFloatPass(d, FloatLine::WarpEnds, FloatPass::CountAndMark);
        for (int k = 0; k < kFloatBins; ++k) {
            EXPECT_EQ(d.analysis.weftHistogram[k], 2 * walked.weft[k]) << k;
            EXPECT_EQ(d.analysis.warpHistogram[k], 2 * walked.warp[k]) << k;
        }
        EXPECT_EQ(d.analysis.floatMap, walked.warpMap);
    }
}

TEST_P(BothWays, CutPreviewPlacesTheMarksAndDrawsOfTheWalk) {
    uint32_t seed = 11;
    for (const Drawn& g : designs()) {
        for (const FloatLine line : {FloatLine::Picks, FloatLine::WarpEnds}) {
            const bool alongPicks = line == FloatLine::Picks;
            for (const int limit : {3, 4, 7, 100}) {
                SCOPED_TRACE(sizeOf(g) + (alongPicks ? " picks" : " warp ends") + " limit " +
                             std::to_string(limit));
                DesignModel d = g.build();
                ASSERT_TRUE(openFloatAnalysis(d));
                analyseFloats(d);
                ASSERT_TRUE(showFloats(d, line, limit));
                const CutDraw walkDraw = seededDraw(++seed), draw = seededDraw(seed);
                const Cells want = cutByWalking(d.analysis.floatMap, g.warps, g.wefts, alongPicks,
                                                limit, walkDraw);
                ASSERT_TRUE(toggleCutPreview(d, draw));
                EXPECT_EQ(d.analysis.floatMap, want);
                // As many draws taken: both sources go on alike.
                EXPECT_EQ(draw(), walkDraw());

                // Applied cuts leave marks that no longer match the lift matrix;
                // cut again, they are walked as they stand.
                applyCuts(d);
                ASSERT_TRUE(toggleCutPreview(d, draw));
                const CutDraw again = seededDraw(seed + 1000), walkAgain = seededDraw(seed + 1000);
                const Cells wantAgain = cutByWalking(d.analysis.floatMap, g.warps, g.wefts,
                                                     alongPicks, limit, walkAgain);
                ASSERT_TRUE(toggleCutPreview(d, again));
                EXPECT_EQ(d.analysis.floatMap, wantAgain);
                EXPECT_EQ(again(), walkAgain());
            }
        }
    }
}

TEST_P(BothWays, CellsRepairedByHandAreWalkedAsTheyStand) {
    std::mt19937 rng(5);
    for (const Drawn& g : designs()) {
        for (const FloatLine line : {FloatLine::Picks, FloatLine::WarpEnds}) {
            SCOPED_TRACE(sizeOf(g));
            DesignModel d = g.build();
            ASSERT_TRUE(openFloatAnalysis(d));
            analyseFloats(d);
            ASSERT_TRUE(showFloats(d, line, 3));
            // A repaired cell reads as a one-cell run, inside runs or at their start.
            for (int k = 0; k < 1 + g.warps * g.wefts / 50; ++k)
                flipCellByHand(d, RowNo{static_cast<int>(rng() % g.wefts)},
                               static_cast<int>(rng() % g.warps));
            const Cells want = cutByWalking(d.analysis.floatMap, g.warps, g.wefts,
                                            line == FloatLine::Picks, 3, seededDraw(77));
            ASSERT_TRUE(toggleCutPreview(d, seededDraw(77)));
            EXPECT_EQ(d.analysis.floatMap, want);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FloatKernels, BothWays, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return std::string(p.param ? "Wide" : "CellByCell");
                         });

}  // namespace
}  // namespace wp
