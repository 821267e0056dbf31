#include "tools/floatkernels.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "tools/floats.h"
#include "tools/rowwords.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define WP_FLOAT_KERNELS 1
#define WP_WIDE                                                                 \
    __attribute__((                                                             \
        target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,avx512bitalg," \
               "avx512vpopcntdq,avx512dq,bmi,bmi2,popcnt")))
#endif

namespace wp::floatkernels {

namespace {

bool processorHasThem() {
#ifdef WP_FLOAT_KERNELS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512bitalg") &&
           __builtin_cpu_supports("avx512vpopcntdq") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

bool& switchedOn() {
    static bool on = processorHasThem();
    return on;
}

}  // namespace

bool enabled() {
    return switchedOn();
}

void setEnabled(bool on) {
    switchedOn() = on && processorHasThem();
}

#ifdef WP_FLOAT_KERNELS

namespace {

// Runs are followed level by level (length 1, 2, ...) up to this length; the
// few that are longer are measured one at a time.
constexpr int kLevels = 64;

using rowwords::cellsOf;
using rowwords::rowWord;

// Vector helpers that avoid the intrinsics built on undefined vectors, which
// GCC 12 reports as used uninitialized.
WP_WIDE inline __m512i andNot(__m512i a, __m512i b) {
    return _mm512_maskz_andnot_epi64(0xFF, a, b);
}

WP_WIDE inline int64_t sumOf(__m512i v) {
    alignas(64) int64_t lanes[8];
    _mm512_store_si512(lanes, v);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3] + lanes[4] + lanes[5] + lanes[6] + lanes[7];
}

inline uint8_t runMark(int64_t n) {
    return n >= 255 ? 1 : static_cast<uint8_t>(n);
}

bool allRowsThere(const DesignModel& d) {
    const int wefts = d.header.wefts();
    if (wefts <= 0 || d.header.warps() <= 0) return false;
    for (int j = 0; j < wefts; ++j)
        if (!d.matrix.row(RowNo{j})) return false;
    return true;
}

// Counts of runs by length: atLeast[k] runs of k cells or more for k up to
// kLevels, longer runs by their exact bin.
struct RunCounts {
    int64_t atLeast[kLevels + 1] = {};
    int64_t longer[kFloatBins] = {};

    void addTo(int* hist) const {
        for (int k = 1; k < kLevels; ++k)
            hist[floatBin(k)] += static_cast<int>(atLeast[k] - atLeast[k + 1]);
        for (int b = 0; b < kFloatBins; ++b) hist[b] += static_cast<int>(longer[b]);
    }
};

// A pick row as words of 64 cells and vectors of 8 words, with the cells that
// each word holds (none in the words past the row).
struct RowShape {
    int warps;
    int rowBytes;
    int words;
    int vectors;
    std::vector<uint64_t> cells;

    explicit RowShape(const DesignModel& d)
        : warps(d.header.warps()),
          rowBytes(d.matrix.rowBytes()),
          words((warps + 63) / 64),
          vectors((words + 7) / 8),
          cells(static_cast<size_t>(vectors) * 8) {
        for (int k = 0; k < words; ++k) cells[static_cast<size_t>(k)] = cellsOf(k, warps);
    }
    // Room for start bits: the closing bit and a read one word past the last vector.
    size_t startWords() const { return static_cast<size_t>(vectors) * 8 + 16; }
};

// Words 8z .. 8z + 7 of a lift-matrix row; bytes past the row read as zero.
WP_WIDE inline __m512i rowVector(const uint8_t* row, int z, int rowBytes) {
    const int at = z * 64;
    if (at + 64 <= rowBytes) return _mm512_loadu_si512(row + at);
    const int left = rowBytes - at;
    if (left <= 0) return _mm512_setzero_si512();
    return _mm512_maskz_loadu_epi8((__mmask64{1} << left) - 1, row + at);
}

// The start bits of one pick row: bit x set where a run starts at cell x (cell
// 0 and every cell unlike the one before it), and bit `warps` set to close the
// last run. The words after it stay zero.
WP_WIDE void pickStarts(const uint8_t* row, const RowShape& shape, uint64_t* t) {
    __m512i before = _mm512_setzero_si512();
    for (int z = 0; z < shape.vectors; ++z) {
        const __m512i w = _mm512_and_si512(rowVector(row, z, shape.rowBytes),
                                           _mm512_loadu_si512(shape.cells.data() + z * 8));
        // Each word's cells shifted up one, the cell before the word coming in at bit 0.
        const __m512i lower = _mm512_maskz_alignr_epi64(0xFF, w, before, 7);
        const __m512i up = _mm512_or_si512(_mm512_maskz_slli_epi64(0xFF, w, 1),
                                           _mm512_maskz_srli_epi64(0xFF, lower, 63));
        _mm512_storeu_si512(t + z * 8, _mm512_xor_si512(w, up));
        before = w;
    }
    t[0] |= 1;
    // A change just past the last cell is no start.
    t[shape.words - 1] &= shape.cells[static_cast<size_t>(shape.words - 1)];
    t[shape.warps / 64] |= uint64_t{1} << (shape.warps % 64);
}

// The first start at or after cell `from`; the closing bit ends the search.
inline int nextStart(const uint64_t* t, int from) {
    int k = from / 64;
    uint64_t w = t[k] & (~uint64_t{0} << (from % 64));
    while (!w) w = t[++k];
    return k * 64 + __builtin_ctzll(w);
}

// Counts the runs of a pick row from its start bits. Level k keeps the starts
// of runs of k cells or more: a start stays while no other start follows within
// k cells, tested for 512 cells at once with a funnel shift of the start bits.
WP_WIDE void countPickRow(const uint64_t* t, const RowShape& shape, uint64_t* u,
                          RunCounts& counts) {
    __m512i sum = _mm512_setzero_si512();
    for (int z = 0; z < shape.vectors; ++z) {
        const __m512i v = _mm512_and_si512(_mm512_loadu_si512(t + z * 8),
                                           _mm512_loadu_si512(shape.cells.data() + z * 8));
        _mm512_storeu_si512(u + z * 8, v);
        sum = _mm512_add_epi64(sum, _mm512_popcnt_epi64(v));
    }
    counts.atLeast[1] += sumOf(sum);
    for (int k = 1; k < kLevels; ++k) {
        const __m512i by = _mm512_set1_epi64(k);
        sum = _mm512_setzero_si512();
        for (int z = 0; z < shape.vectors; ++z) {
            const __m512i here = _mm512_loadu_si512(t + z * 8);
            const __m512i next = _mm512_loadu_si512(t + z * 8 + 1);
            const __m512i ahead = _mm512_shrdv_epi64(here, next, by);
            const __m512i left = andNot(ahead, _mm512_loadu_si512(u + z * 8));
            _mm512_storeu_si512(u + z * 8, left);
            sum = _mm512_add_epi64(sum, _mm512_popcnt_epi64(left));
        }
        const int64_t c = sumOf(sum);
        if (c == 0) return;
        counts.atLeast[k + 1] += c;
    }
    // Runs of kLevels cells or more, one by one.
    for (int k = 0; k < shape.words; ++k) {
        for (uint64_t w = u[k]; w; w &= w - 1) {
            const int at = k * 64 + __builtin_ctzll(w);
            ++counts.longer[floatBin(nextStart(t, at + 1) - at)];
        }
    }
}

// The byte of every 64-cell word that holds the bits of cells 8i .. 8i + 7, for
// the 16 cells of each 128-bit lane.
alignas(64) constexpr uint8_t kByteOfCell[64] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3,
    4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7};
// Bits 0 .. i % 8 of a byte.
alignas(64) constexpr uint8_t kUpToCell[64] = {
    1, 3, 7, 15, 31, 63, 127, 255, 1, 3, 7, 15, 31, 63, 127, 255, 1, 3, 7, 15, 31, 63, 127, 255,
    1, 3, 7, 15, 31, 63, 127, 255, 1, 3, 7, 15, 31, 63, 127, 255, 1, 3, 7, 15, 31, 63, 127, 255,
    1, 3, 7, 15, 31, 63, 127, 255, 1, 3, 7, 15, 31, 63, 127, 255};

// Writes the run length of every cell of a pick row, 64 cells at a time. For a
// word: the starts in it are numbered; each cell's number (starts up to and
// including it, less one) picks the length of its run from a table built by
// compressing the start positions (each run's length is the next start less its
// own). Cells before the word's first start continue the last run of the word
// before, whose length is known by then; they take slot 63 of the table, which
// no run of the word needs unless all 64 cells start runs (and then no cell
// continues a run).
WP_WIDE void markPickRow(const uint64_t* t, const RowShape& shape, uint8_t* out) {
    const __m512i byteOfCell = _mm512_load_si512(kByteOfCell);
    const __m512i upToCell = _mm512_load_si512(kUpToCell);
    const __m512i bytes = _mm512_set1_epi64(0x0101010101010101);
    const __m512i one = _mm512_set1_epi8(1);
    const __m512i iota = _mm512_set_epi8(
        63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42, 41,
        40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18,
        17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const int words = shape.words;
    const uint64_t* cellBits = shape.cells.data();
    uint8_t lastRun = 0;  // length of the last run of the word before
    for (int k = 0; k < words; ++k) {
        const int base = k * 64;
        const uint64_t s = t[k] & cellBits[k];
        // Starts at or before each cell: within its byte, plus those of the bytes before.
        const __m512i all = _mm512_set1_epi64(static_cast<long long>(s));
        const __m512i inByte =
            _mm512_popcnt_epi8(_mm512_and_si512(_mm512_shuffle_epi8(all, byteOfCell), upToCell));
        const __m512i before =
            _mm512_maskz_slli_epi64(0xFF, _mm512_mullo_epi64(_mm512_popcnt_epi8(all), bytes), 8);
        const __m512i number =
            _mm512_sub_epi8(_mm512_add_epi8(inByte, _mm512_shuffle_epi8(before, byteOfCell)), one);

        const __m512i at = _mm512_maskz_compress_epi8(s, iota);
        const __m512i nextAt = _mm512_maskz_compress_epi8(s & (s - 1), iota);
        __m512i lengths = _mm512_mask_set1_epi8(_mm512_sub_epi8(nextAt, at), __mmask64{1} << 63,
                                                static_cast<char>(lastRun));
        if (s) {
            // The word's last run ends at the closing bit in this word, or at the
            // next start after the word.
            const uint64_t past = t[k] & ~cellBits[k];
            const int end = past ? base + __builtin_ctzll(past) : nextStart(t, base + 64);
            const int starts = __builtin_popcountll(s);
            lastRun = runMark(end - (base + 63 - __builtin_clzll(s)));
            lengths = _mm512_mask_set1_epi8(lengths, __mmask64{1} << (starts - 1),
                                            static_cast<char>(lastRun));
        }
        const __m512i cells = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, number, lengths);
        // Masked stores are slow on some processors: whole words are stored plainly.
        if (base + 64 <= shape.warps)
            _mm512_storeu_si512(out + base, cells);
        else
            _mm512_mask_storeu_epi8(out + base, cellBits[k], cells);
    }
}

}  // namespace

bool passAlongPicks(const DesignModel& d, int* hist, uint8_t* map) {
    if (!enabled() || !allRowsThere(d)) return false;
    const int wefts = d.header.wefts();
    const RowShape shape(d);
    std::vector<uint64_t> t(shape.startWords()), u(shape.startWords());
    RunCounts counts;
    for (int j = 0; j < wefts; ++j) {
        pickStarts(d.matrix.row(RowNo{j}), shape, t.data());
        if (hist) countPickRow(t.data(), shape, u.data(), counts);
        if (map) markPickRow(t.data(), shape, map + static_cast<size_t>(j) * shape.warps);
    }
    if (hist) counts.addTo(hist);
    return true;
}

namespace {

// The start bits of a row along the warp ends: the ends that change from the
// row above, or all ends for the first row and the closing one (no row).
WP_WIDE void warpStarts(const uint8_t* row, const uint8_t* above, const RowShape& shape,
                        uint64_t* s) {
    for (int z = 0; z < shape.vectors; ++z) {
        const __m512i cells = _mm512_loadu_si512(shape.cells.data() + z * 8);
        const __m512i change =
            row ? _mm512_and_si512(_mm512_xor_si512(rowVector(row, z, shape.rowBytes),
                                                    rowVector(above, z, shape.rowBytes)),
                                   cells)
                : cells;
        _mm512_storeu_si512(s + z * 8, change);
    }
}

// Counts the runs of the warp ends, sweeping the rows in order. Row j's start
// bits mark the ends that change from row j - 1 (all ends at row 0 and at the
// closing row `wefts`). The runs that start at row j are followed level by
// level through the next rows' start bits, 512 ends at once; runs of kLevels
// rows or more are kept aside with their first row until their end comes.
WP_WIDE void countWarpEnds(const DesignModel& d, RunCounts& counts) {
    const int wefts = d.header.wefts();
    const RowShape shape(d);
    const int vectors = shape.vectors;
    const size_t stride = static_cast<size_t>(vectors) * 8;
    constexpr int kRing = kLevels + 1;
    std::vector<uint64_t> ring(static_cast<size_t>(kRing) * stride);
    std::vector<uint64_t> alive(stride), longRuns(stride);
    std::vector<int> longFrom(static_cast<size_t>(shape.warps));
    bool anyLong = false;
    int ready = -1;
    const auto startsOf = [&](int j) {
        uint64_t* s = ring.data() + static_cast<size_t>(j % kRing) * stride;
        if (j > ready) {
            const uint8_t* row = j > 0 && j < wefts ? d.matrix.row(RowNo{j}) : nullptr;
            warpStarts(row, row ? d.matrix.row(RowNo{j - 1}) : nullptr, shape, s);
            ready = j;
        }
        return s;
    };
    for (int j = 0; j <= wefts; ++j) {
        const uint64_t* s = startsOf(j);
        for (int k = 0; anyLong && k < shape.words; ++k) {
            const uint64_t ended = longRuns[static_cast<size_t>(k)] & s[k];
            if (!ended) continue;
            longRuns[static_cast<size_t>(k)] &= ~ended;
            for (uint64_t w = ended; w; w &= w - 1) {
                const int x = k * 64 + __builtin_ctzll(w);
                ++counts.longer[floatBin(j - longFrom[static_cast<size_t>(x)])];
            }
        }
        if (j == wefts) break;
        __m512i sum = _mm512_setzero_si512();
        for (int z = 0; z < vectors; ++z) {
            const __m512i v = _mm512_loadu_si512(s + z * 8);
            _mm512_storeu_si512(alive.data() + z * 8, v);
            sum = _mm512_add_epi64(sum, _mm512_popcnt_epi64(v));
        }
        counts.atLeast[1] += sumOf(sum);
        int level = 1;
        for (; level < kLevels; ++level) {
            // The closing row starts everything, so no run reads past it.
            const uint64_t* later = startsOf(j + level);
            sum = _mm512_setzero_si512();
            for (int z = 0; z < vectors; ++z) {
                const __m512i v = andNot(_mm512_loadu_si512(later + z * 8),
                                         _mm512_loadu_si512(alive.data() + z * 8));
                _mm512_storeu_si512(alive.data() + z * 8, v);
                sum = _mm512_add_epi64(sum, _mm512_popcnt_epi64(v));
            }
            const int64_t c = sumOf(sum);
            if (c == 0) break;
            counts.atLeast[level + 1] += c;
        }
        if (level < kLevels) continue;
        anyLong = true;
        for (int k = 0; k < shape.words; ++k) {
            longRuns[static_cast<size_t>(k)] |= alive[static_cast<size_t>(k)];
            for (uint64_t w = alive[static_cast<size_t>(k)]; w; w &= w - 1)
                longFrom[static_cast<size_t>(k * 64 + __builtin_ctzll(w))] = j;
        }
    }
}

}  // namespace

bool countAlongWarpEnds(const DesignModel& d, int* hist) {
    if (!enabled() || !allRowsThere(d)) return false;
    RunCounts counts;
    countWarpEnds(d, counts);
    counts.addTo(hist);
    return true;
}

#else

bool passAlongPicks(const DesignModel&, int*, uint8_t*) {
    return false;
}

bool countAlongWarpEnds(const DesignModel&, int*) {
    return false;
}

#endif

}  // namespace wp::floatkernels
