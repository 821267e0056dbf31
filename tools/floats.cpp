#include "tools/floats.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tools/floatkernels.h"
#include "tools/rowwords.h"

namespace wp {

namespace {

using rowwords::cellsOf;
using rowwords::rowWord;

// The value a run's cells hold in the float map.
inline uint8_t runMark(int n) {
    return n >= 255 ? 1 : static_cast<uint8_t>(n);
}

// Run counts by bin, summed into a histogram at the end of a pass.
class Histogram {
public:
    void add(int n) { ++bins_[floatBin(n)]; }
    void addTo(int* out) const {
        for (int k = 0; k < kFloatBins; ++k) out[k] += bins_[k];
    }

private:
    int bins_[kFloatBins] = {};
};

// Runs of every pick row. Each run's length goes to the histogram and into
// the map. Short runs are written as one or two 8-byte stores that spill into the
// cells after them; those belong to later runs (or rows) and are written over.
template <bool kCount, bool kMark>
void passAlongPicks(const DesignModel& d, int* out, uint8_t* map) {
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    const int rowBytes = d.matrix.rowBytes();
    const int words = (warps + 63) / 64;
    const size_t cells = static_cast<size_t>(wefts) * static_cast<size_t>(warps);
    uint8_t* const mapEnd = kMark ? map + cells : nullptr;
    Histogram hist;
    for (int j = 0; j < wefts; ++j) {
        const uint8_t* row = d.matrix.row(RowNo{j});
        if (!row || warps <= 0) continue;
        uint8_t* const m =
            kMark ? map + static_cast<size_t>(j) * static_cast<size_t>(warps) : nullptr;
        const auto finish = [&](int start, int n) {
            if constexpr (kCount) hist.add(n);
            if constexpr (kMark) {
                uint8_t* p = m + start;
                const uint8_t v = runMark(n);
                const uint64_t fill = uint64_t{v} * 0x0101010101010101u;
                if (n <= 8 && mapEnd - p >= 8) {
                    std::memcpy(p, &fill, 8);
                } else if (n <= 16 && mapEnd - p >= 16) {
                    std::memcpy(p, &fill, 8);
                    std::memcpy(p + 8, &fill, 8);
                } else {
                    std::memset(p, v, static_cast<size_t>(n));
                }
            }
        };
        int start = 0;
        uint64_t carry = row[0] & 1u;  // cell 0 starts the first run
        for (int k = 0; k < words; ++k) {
            const uint64_t w = rowWord(row, k, rowBytes);
            uint64_t t = (w ^ ((w << 1) | carry)) & cellsOf(k, warps);
            carry = w >> 63;
            while (t) {
                const int pos = k * 64 + __builtin_ctzll(t);
                finish(start, pos - start);
                start = pos;
                t &= t - 1;
            }
        }
        finish(start, warps - start);
    }
    if constexpr (kCount) hist.addTo(out);
}

// Runs of every warp end, walking the rows in storage order: a change between
// two rows ends the run of that end, whose first row is kept per end. Marking
// writes the run's cells in the rows just passed, which are still in cache.
template <bool kCount, bool kMark>
void passAlongWarpEnds(const DesignModel& d, int* out, uint8_t* map) {
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    if (warps <= 0 || wefts <= 0) return;
    const int rowBytes = d.matrix.rowBytes();
    const int words = (warps + 63) / 64;
    std::vector<int> first(static_cast<size_t>(warps), 0);
    Histogram hist;
    const auto finish = [&](int x, int start, int n) {
        if constexpr (kCount) hist.add(n);
        if constexpr (kMark) {
            const uint8_t v = runMark(n);
            uint8_t* p = map + static_cast<size_t>(start) * static_cast<size_t>(warps) +
                         static_cast<size_t>(x);
            for (int r = 0; r < n; ++r, p += warps) *p = v;
        }
    };
    const uint8_t* prev = d.matrix.row(RowNo{0});
    for (int j = 1; j < wefts && prev; ++j) {
        const uint8_t* row = d.matrix.row(RowNo{j});
        if (!row) break;
        for (int k = 0; k < words; ++k) {
            uint64_t t =
                (rowWord(row, k, rowBytes) ^ rowWord(prev, k, rowBytes)) & cellsOf(k, warps);
            while (t) {
                const int x = k * 64 + __builtin_ctzll(t);
                int& s = first[static_cast<size_t>(x)];
                finish(x, s, j - s);
                s = j;
                t &= t - 1;
            }
        }
        prev = row;
    }
    for (int x = 0; x < warps; ++x) {
        const int s = first[static_cast<size_t>(x)];
        finish(x, s, wefts - s);
    }
    if constexpr (kCount) hist.addTo(out);
}

template <bool kCount, bool kMark>
void pass(const DesignModel& d, FloatLine line, int* out, uint8_t* map) {
    if (line == FloatLine::Picks)
        passAlongPicks<kCount, kMark>(d, out, map);
    else
        passAlongWarpEnds<kCount, kMark>(d, out, map);
}

// One line of the map: `n` cells `stride` bytes apart.
struct Line {
    uint8_t* cell;
    size_t stride;
    int n;
    uint8_t& operator[](int i) const { return cell[static_cast<size_t>(i) * stride]; }
};

// The cells of a run of c cells (c > L) that are cut: pieces of L cells from
// its start, one cut between them, while more than 2L + 1 cells are left; the
// rest is cut once in its middle, a cell earlier when its length is even and
// the draw odd. `draw` is asked only for an even rest.
template <class Draw>
void cutRun(const Line& line, int pos, int c, int limit, Draw&& draw) {
    int d = 0;
    while (c > 2 * limit + 1) {
        if (pos + d + limit < line.n) line[pos + d + limit] = kCutMark;
        d += limit + 1;
        c -= limit + 1;
    }
    d += c / 2;
    if (c % 2 == 0 && draw() % 2 == 1) d -= 1;
    // Marks never leave the line.
    if (pos + d < line.n) line[pos + d] = kCutMark;
}

#if defined(__SSE2__)

// Sixteen lines walked side by side, one cell of each line per step: wait[k]
// counts the cells until line k's walk lands again (0: it lands on this cell).
// A step of the walk is a few vector operations instead of a load that the
// next load waits for.
class LaneWalk {
public:
    explicit LaneWalk(int limit) : over_(_mm_set1_epi8(static_cast<char>(limit + 1))) {}
    // Steps every lane over its cell in v; returns the lanes that land on a run
    // longer than the limit (bit k for lane k).
    unsigned step(__m128i v) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i one = _mm_set1_epi8(1);
        const __m128i land = _mm_cmpeq_epi8(wait_, zero);
        // Unmarked cells and marks are stepped over one at a time.
        const __m128i single =
            _mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(v, _mm_set1_epi8(-1)));
        const __m128i length =
            _mm_or_si128(_mm_and_si128(single, one), _mm_andnot_si128(single, v));
        wait_ = _mm_sub_epi8(
            _mm_or_si128(_mm_and_si128(land, length), _mm_andnot_si128(land, wait_)), one);
        const __m128i longer = _mm_cmpeq_epi8(_mm_max_epu8(v, over_), v);
        return static_cast<unsigned>(
            _mm_movemask_epi8(_mm_andnot_si128(single, _mm_and_si128(land, longer))));
    }

private:
    __m128i wait_ = _mm_setzero_si128();
    __m128i over_;
};

// Transposes 16 rows of 16 bytes: each round interleaves row i with row i + 8,
// which rotates a cell's 8-bit address (row, column) by one bit; four rounds
// swap row and column.
void transpose16(__m128i (&r)[16]) {
    for (int round = 0; round < 4; ++round) {
        __m128i t[16];
        for (int i = 0; i < 8; ++i) {
            t[2 * i] = _mm_unpacklo_epi8(r[i], r[i + 8]);
            t[2 * i + 1] = _mm_unpackhi_epi8(r[i], r[i + 8]);
        }
        std::memcpy(r, t, sizeof t);
    }
}

// Cells past a line's end read as one-cell runs, which are never cut.
constexpr uint8_t kPad = 1;

// Runs of the picks, 64 rows at a time: tiles of 16 x 16 cells are turned so
// that a vector holds one cell of each of 16 rows, and four such walks run side
// by side so that their steps overlap. The runs to cut are noted, then cut row
// by row in order, so the draws come in the order of a walk of one row at a
// time. A run's cuts fall between its first cell and the next cell the walk
// reads, so cutting after the walk reads the same cells.
void placeAlongPicks(uint8_t* map, int warps, int wefts, int limit, const CutDraw& draw) {
    constexpr int kLanes = 16, kWalks = 4, kRows = kLanes * kWalks;
    const auto w = static_cast<size_t>(warps);
    std::vector<int> found[kRows];
    for (int j0 = 0; j0 < wefts; j0 += kRows) {
        const int rows = std::min(kRows, wefts - j0);
        uint8_t* const band = map + static_cast<size_t>(j0) * w;
        for (auto& f : found) f.clear();
        LaneWalk walk[kWalks] = {LaneWalk(limit), LaneWalk(limit), LaneWalk(limit),
                                 LaneWalk(limit)};
        const int walks = (rows + kLanes - 1) / kLanes;
        for (int x0 = 0; x0 < warps; x0 += kLanes) {
            const int cols = std::min(kLanes, warps - x0);
            __m128i r[kWalks][kLanes];
            for (int b = 0; b < walks; ++b) {
                const int first = b * kLanes, count = std::min(kLanes, rows - first);
                if (count == kLanes && cols == kLanes) {
                    for (int k = 0; k < kLanes; ++k)
                        r[b][k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                            band + static_cast<size_t>(first + k) * w + x0));
                } else {
                    uint8_t tile[kLanes][kLanes];
                    std::memset(tile, kPad, sizeof tile);
                    for (int k = 0; k < count; ++k)
                        std::memcpy(tile[k], band + static_cast<size_t>(first + k) * w + x0,
                                    static_cast<size_t>(cols));
                    for (int k = 0; k < kLanes; ++k)
                        r[b][k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tile[k]));
                }
                transpose16(r[b]);
            }
            for (int c = 0; c < cols; ++c)
                for (int b = 0; b < walks; ++b)
                    for (unsigned hits = walk[b].step(r[b][c]); hits; hits &= hits - 1)
                        found[b * kLanes + __builtin_ctz(hits)].push_back(x0 + c);
        }
        for (int k = 0; k < rows; ++k) {
            const Line line{band + static_cast<size_t>(k) * w, 1, warps};
            for (const int at : found[k])
                cutRun(line, at, line[at], limit, [&] { return draw ? draw() : 0; });
        }
    }
}

// Runs of the warp ends, 64 neighbouring ends at a time (one cache line of
// each row), walked row by row. The block's cells are copied side by side as
// they are read, cut there, and copied back: cutting down the ends in the map
// itself would touch a new page at every mark. The draws are handed out as a
// walk of one end at a time would ask for them.
void placeAlongWarpEnds(uint8_t* map, int warps, int wefts, int limit, const CutDraw& draw) {
    constexpr int kLanes = 16, kWalks = 4, kBlock = kLanes * kWalks;
    const auto w = static_cast<size_t>(warps);
    struct Run {
        int row, cells;
    };
    std::vector<Run> found[kBlock];
    std::vector<uint8_t> block(static_cast<size_t>(wefts) * kBlock);
    for (int x0 = 0; x0 < warps; x0 += kBlock) {
        const int ends = std::min(kBlock, warps - x0);
        bool any = false;
        for (auto& f : found) f.clear();
        LaneWalk walk[kWalks] = {LaneWalk(limit), LaneWalk(limit), LaneWalk(limit),
                                 LaneWalk(limit)};
        for (int j = 0; j < wefts; ++j) {
            const uint8_t* row = map + static_cast<size_t>(j) * w + static_cast<size_t>(x0);
            uint8_t* const copy = block.data() + static_cast<size_t>(j) * kBlock;
            if (ends == kBlock) {
                std::memcpy(copy, row, kBlock);
            } else {
                std::memset(copy, kPad, kBlock);
                std::memcpy(copy, row, static_cast<size_t>(ends));
            }
            for (int b = 0; b < kWalks && b * kLanes < ends; ++b) {
                const uint8_t* cells = copy + b * kLanes;
                for (unsigned hits =
                         walk[b].step(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells)));
                     hits; hits &= hits - 1) {
                    const int k = __builtin_ctz(hits);
                    found[b * kLanes + k].push_back({j, cells[k]});
                    any = true;
                }
            }
        }
        if (!any) continue;
        for (int k = 0; k < ends; ++k) {
            const Line line{block.data() + k, kBlock, wefts};
            for (const Run& r : found[k])
                cutRun(line, r.row, r.cells, limit, [&] { return draw ? draw() : 0; });
        }
        for (int j = 0; j < wefts; ++j)
            std::memcpy(map + static_cast<size_t>(j) * w + static_cast<size_t>(x0),
                        block.data() + static_cast<size_t>(j) * kBlock, static_cast<size_t>(ends));
    }
}

#else

// Whether cutting a run of c cells asks for a draw.
bool cutNeedsDraw(int c, int limit) {
    while (c > 2 * limit + 1) c -= limit + 1;
    return c % 2 == 0;
}

// Walks the lines from run to run (a cell holds the length of the run it
// starts) and cuts the runs over the limit. Eight lines are walked side by
// side, so that their reads overlap, and the runs to cut are noted; then they
// are cut line by line in order, so the draws come in the order of a walk of
// one line at a time. A run's cuts fall between its first cell and the next
// cell the walk reads, so cutting after the walk reads the same cells.
void placeLines(uint8_t* first, size_t lineStep, size_t cellStep, int lines, int n, int limit,
                const CutDraw& draw) {
    constexpr int kSide = 8;
    std::vector<int> found(static_cast<size_t>(kSide) * static_cast<size_t>(n));
    for (int l0 = 0; l0 < lines; l0 += kSide) {
        uint8_t* cell[kSide];
        int pos[kSide];
        int count[kSide] = {};
        for (int k = 0; k < kSide; ++k) {
            const bool used = l0 + k < lines;
            cell[k] = used ? first + static_cast<size_t>(l0 + k) * lineStep : first;
            pos[k] = used ? 0 : n;
        }
        for (bool any = true; any;) {
            any = false;
            for (int k = 0; k < kSide; ++k) {
                if (pos[k] >= n) continue;
                any = true;
                const int v = cell[k][static_cast<size_t>(pos[k]) * cellStep];
                found[static_cast<size_t>(k * n + count[k])] = pos[k];
                count[k] += v > limit && v != kCutMark;
                // Unmarked cells and marks are stepped over one at a time.
                pos[k] += v == 0 || v == kCutMark ? 1 : v;
            }
        }
        for (int k = 0; k < kSide && l0 + k < lines; ++k) {
            const Line line{cell[k], cellStep, n};
            for (int i = 0; i < count[k]; ++i) {
                const int at = found[static_cast<size_t>(k * n + i)];
                cutRun(line, at, line[at], limit, [&] { return draw ? draw() : 0; });
            }
        }
    }
}

// Runs of the warp ends, walked for a block of 64 neighbouring ends at once,
// row by row, so that each row's cells of the block are one read. The draws are handed out as a
// walk of one end at a time would ask for them, then the cuts are written row by row.
void placeAlongWarpEnds(uint8_t* map, int warps, int wefts, int limit, const CutDraw& draw) {
    constexpr int kBlock = 64;
    const auto w = static_cast<size_t>(warps);
    struct Run {
        int row, cells, drawn;
    };
    std::vector<Run> found[kBlock];
    for (int x0 = 0; x0 < warps; x0 += kBlock) {
        const int ends = std::min(kBlock, warps - x0);
        // due[r % 256]: the ends whose walk reads row r next. A step is at
        // most 254 rows, so a row's slot is free again before it is reused.
        uint64_t due[256] = {};
        due[0] = ends == kBlock ? ~uint64_t{0} : (uint64_t{1} << ends) - 1;
        for (auto& f : found) f.clear();
        for (int j = 0; j < wefts; ++j) {
            const uint8_t* row = map + static_cast<size_t>(j) * w + static_cast<size_t>(x0);
            uint64_t now = due[j & 255];
            due[j & 255] = 0;
            while (now) {
                const int k = __builtin_ctzll(now);
                now &= now - 1;
                const int v = row[k];
                if (v > limit && v != kCutMark) found[k].push_back({j, v, 0});
                const int step = v == 0 || v == kCutMark ? 1 : v;
                due[(j + step) & 255] |= uint64_t{1} << k;
            }
        }
        for (int k = 0; k < ends; ++k) {
            const Line line{map + x0 + k, w, wefts};
            for (Run& r : found[k]) {
                if (cutNeedsDraw(r.cells, limit) && draw) r.drawn = draw();
                cutRun(line, r.row, r.cells, limit, [&] { return r.drawn; });
            }
        }
    }
}

void placeAlongPicks(uint8_t* map, int warps, int wefts, int limit, const CutDraw& draw) {
    placeLines(map, static_cast<size_t>(warps), 1, wefts, warps, limit, draw);
}

#endif

std::optional<int> usableLimit(std::optional<int> limit) {
    if (!limit || *limit <= 2) return std::nullopt;
    return std::min(*limit, kCutLimitMax);
}

}  // namespace

namespace {

// xorshift64*: small and quick; the draws only choose between two cells.
class DrawEngine {
public:
    explicit DrawEngine(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15u | 1u) {}
    int operator()() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        const auto r = static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Du) >> 32);
        return static_cast<int>((uint64_t{r} * 99u) >> 32);  // 0..98
    }

private:
    uint64_t state_;
};

}  // namespace

CutDraw clockSeededDraw() {
    static auto engine = std::make_shared<DrawEngine>(
        static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    return [e = engine] { return (*e)(); };
}

CutDraw seededDraw(uint32_t seed) {
    return [e = std::make_shared<DrawEngine>(seed)] { return (*e)(); };
}

bool openFloatAnalysis(DesignModel& d) {
    AnalysisState& a = d.analysis;
    const size_t cells =
        static_cast<size_t>(d.header.wefts()) * static_cast<size_t>(d.header.warps());
    try {
        // Built aside first, so that a failure leaves everything as it was.
        std::vector<uint8_t> map;
        if (a.floatMap.size() != cells) map.assign(cells, 0);
        std::vector<int> weft(kFloatBins, 0);
        std::vector<int> warp(kFloatBins, 0);
        if (a.floatMap.size() != cells) a.floatMap = std::move(map);
        if (a.weftHistogram.size() != kFloatBins) a.weftHistogram = std::move(weft);
        if (a.warpHistogram.size() != kFloatBins) a.warpHistogram = std::move(warp);
    } catch (const std::bad_alloc&) {
        return false;
    }
    a.displayMode = kAnalysed;
    a.bilevelView = false;
    a.cutPreview = false;
    return true;
}

void runFloatPass(DesignModel& d, FloatLine line, FloatPass kind) {
    AnalysisState& a = d.analysis;
    std::vector<int>& h = line == FloatLine::Picks ? a.weftHistogram : a.warpHistogram;
    if (kind != FloatPass::Mark && h.size() != kFloatBins) h.assign(kFloatBins, 0);
    const size_t cells =
        static_cast<size_t>(d.header.wefts()) * static_cast<size_t>(d.header.warps());
    if (kind != FloatPass::Count && a.floatMap.size() != cells) a.floatMap.assign(cells, 0);
    const bool alongPicks = line == FloatLine::Picks;
    switch (kind) {
        case FloatPass::Count:
            if (alongPicks ? floatkernels::passAlongPicks(d, h.data(), nullptr)
                           : floatkernels::countAlongWarpEnds(d, h.data()))
                return;
            return pass<true, false>(d, line, h.data(), nullptr);
        case FloatPass::CountAndMark:
            if (alongPicks && floatkernels::passAlongPicks(d, h.data(), a.floatMap.data())) return;
            return pass<true, true>(d, line, h.data(), a.floatMap.data());
        case FloatPass::Mark:
            if (alongPicks && floatkernels::passAlongPicks(d, nullptr, a.floatMap.data())) return;
            return pass<false, true>(d, line, nullptr, a.floatMap.data());
    }
}

void analyseFloats(DesignModel& d) {
    AnalysisState& a = d.analysis;
    // The marking pass along the picks writes every cell of the map, so the
    // map is not cleared first.
    a.weftHistogram.assign(kFloatBins, 0);
    a.warpHistogram.assign(kFloatBins, 0);
    runFloatPass(d, FloatLine::Picks, FloatPass::CountAndMark);
    runFloatPass(d, FloatLine::WarpEnds, FloatPass::Count);
    a.displayMode = kAnalysed;
    a.cutPreview = false;
}

std::string longestFloatText(const std::vector<int>& h) {
    if (h.size() < static_cast<size_t>(kFloatBins)) return "0";
    if (h[99] != 0) return ">254";
    for (int k = 98; k >= 1; --k)
        if (h[static_cast<size_t>(k)] != 0) return std::to_string(k);
    return "0";
}

bool showFloats(DesignModel& d, FloatLine line, std::optional<int> limit) {
    AnalysisState& a = d.analysis;
    a.floatCutLimit = 0;
    const auto usable = usableLimit(limit);
    if (!usable) return false;
    a.floatCutLimit = static_cast<uint8_t>(*usable);
    runFloatPass(d, line, FloatPass::Mark);
    a.displayMode = line == FloatLine::Picks ? kWeftFloatsMarked : kWarpFloatsMarked;
    a.cutPreview = false;
    return true;
}

bool changeCutLimit(DesignModel& d, std::optional<int> limit) {
    AnalysisState& a = d.analysis;
    const auto usable = usableLimit(limit);
    if ((a.displayMode != kWeftFloatsMarked && a.displayMode != kWarpFloatsMarked) || !usable)
        return false;
    if (a.cutPreview) removeCutMarks(d);
    a.floatCutLimit = static_cast<uint8_t>(*usable);
    return true;
}

bool toggleCutPreview(DesignModel& d, const CutDraw& draw) {
    AnalysisState& a = d.analysis;
    if (a.displayMode != kWeftFloatsMarked && a.displayMode != kWarpFloatsMarked) return false;
    if (a.floatCutLimit == 0 && !a.cutPreview) return false;
    if (a.cutPreview)
        removeCutMarks(d);
    else
        placeCutMarks(d, draw);
    return true;
}

void placeCutMarks(DesignModel& d, const CutDraw& draw) {
    AnalysisState& a = d.analysis;
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    const int limit = a.floatCutLimit;
    const size_t cells = static_cast<size_t>(warps) * static_cast<size_t>(wefts);
    if (cells > 0 && a.floatMap.size() >= cells && limit > 0) {
        if (a.displayMode == kWeftFloatsMarked)
            placeAlongPicks(a.floatMap.data(), warps, wefts, limit, draw);
        else if (a.displayMode == kWarpFloatsMarked)
            placeAlongWarpEnds(a.floatMap.data(), warps, wefts, limit, draw);
    }
    a.cutPreview = true;
}

void removeCutMarks(DesignModel& d) {
    AnalysisState& a = d.analysis;
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    const size_t cells = static_cast<size_t>(warps) * static_cast<size_t>(wefts);
    const bool alongPicks = a.displayMode == kWeftFloatsMarked;
    if (cells > 0 && a.floatMap.size() >= cells &&
        (alongPicks || a.displayMode == kWarpFloatsMarked)) {
        // A cut takes the value of the cell before it on its line, the line's
        // first cell that of the cell after it. Storage order visits each line's
        // cells in order, so a cell before a cut is already restored.
        uint8_t* const map = a.floatMap.data();
        const size_t step = alongPicks ? 1 : static_cast<size_t>(warps);
        const size_t n = static_cast<size_t>(alongPicks ? warps : wefts);
        uint8_t* p = map;
        while ((p = static_cast<uint8_t*>(
                    std::memchr(p, kCutMark, cells - static_cast<size_t>(p - map))))) {
            const size_t i = static_cast<size_t>(p - map);
            // The cell's place on its line.
            const size_t index =
                alongPicks ? i % static_cast<size_t>(warps) : i / static_cast<size_t>(warps);
            if (index > 0)
                *p = p[-static_cast<ptrdiff_t>(step)];
            else
                *p = n > 1 && p[step] != kCutMark ? p[step] : 1;
            ++p;
        }
    }
    a.cutPreview = false;
}

int applyCuts(DesignModel& d) {
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    const auto& map = d.analysis.floatMap;
    if (map.size() < static_cast<size_t>(warps) * static_cast<size_t>(wefts)) return 0;
    int flipped = 0;
    for (int j = 0; j < wefts; ++j) {
        const uint8_t* line = map.data() + static_cast<size_t>(j) * static_cast<size_t>(warps);
        uint8_t* row = d.matrix.row(RowNo{j});
        if (!row) continue;
        const uint8_t* p = line;
        const uint8_t* end = line + warps;
        while ((p = static_cast<const uint8_t*>(
                    std::memchr(p, kCutMark, static_cast<size_t>(end - p))))) {
            const int x = static_cast<int>(p - line);
            row[x / 8] ^= static_cast<uint8_t>(1u << (x % 8));
            ++flipped;
            ++p;
        }
    }
    return flipped;
}

void closeFloatAnalysis(DesignModel& d) {
    AnalysisState& a = d.analysis;
    std::vector<uint8_t>().swap(a.floatMap);
    std::vector<int>().swap(a.weftHistogram);
    std::vector<int>().swap(a.warpHistogram);
    a.floatCutLimit = 0;
    a.displayMode = kAnalysisClosed;
    a.bilevelView = false;
    a.cutPreview = false;
}

bool flipCellByHand(DesignModel& d, RowNo j, int x) {
    const uint8_t mode = d.analysis.displayMode;
    if (mode < kAnalysed || mode > kWarpFloatsMarked) return false;
    const int warps = d.header.warps();
    if (j.value < 0 || j.value >= d.header.wefts() || x < 0 || x >= warps) return false;
    d.setLift(j, x, !d.lift(j, x));
    if (mode >= kWeftFloatsMarked) {
        const size_t at =
            static_cast<size_t>(j.value) * static_cast<size_t>(warps) + static_cast<size_t>(x);
        if (at < d.analysis.floatMap.size()) d.analysis.floatMap[at] = 1;
    }
    return true;
}

FloatChartData floatChartData(const AnalysisState& a) {
    FloatChartData out;
    const auto count = [](const std::vector<int>& h, int k) {
        return k < static_cast<int>(h.size()) ? h[static_cast<size_t>(k)] : 0;
    };
    int n = 0;
    for (int k = kFloatBins - 1; k >= 1 && n == 0; --k)
        if (count(a.warpHistogram, k) != 0 || count(a.weftHistogram, k) != 0) n = k;
    const int last = std::min(n + 1, kFloatBins - 1);
    for (int k = 0; k <= last; ++k) {
        out.warp.push_back(count(a.warpHistogram, k));
        out.weft.push_back(count(a.weftHistogram, k));
    }
    const auto label = [](const char* what, int c) {
        if (c <= 0) return std::string(" ");
        char text[80];
        std::snprintf(text, sizeof text, "Number of %s pts in too long floats: %d", what, c);
        return std::string(text);
    };
    out.warpLabel = label("warp", count(a.warpHistogram, 99));
    out.weftLabel = label("weft", count(a.weftHistogram, 99));
    return out;
}

}  // namespace wp
