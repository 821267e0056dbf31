#include "import/native.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace wp {
namespace {

// Reads the native format: keys found by searching, little-endian numbers, and
// every read checked against the end of the file.
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size) : f_(data), size_(size) {}

    // Keys are looked for at start offsets 0..65535, the first match wins.
    bool find(const char* key) {
        const size_t n = std::strlen(key);
        if (size_ < n) return false;
        const size_t lastStart = std::min<size_t>(65535, size_ - n);
        for (size_t s = 0; s <= lastStart; ++s) {
            if (f_[s] == static_cast<uint8_t>(key[0]) && std::memcmp(&f_[s], key, n) == 0) {
                pos_ = s + n;
                return true;
            }
        }
        return false;
    }

    bool u16(uint16_t& v) {
        if (left() < 2) return false;
        v = static_cast<uint16_t>(f_[pos_] | (f_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    // A 4-byte item: tag, then value.
    bool item(uint16_t& value) {
        uint16_t tag = 0;
        return u16(tag) && u16(value);
    }
    const uint8_t* take(size_t n) {
        if (left() < n) return nullptr;
        const uint8_t* p = f_ + pos_;
        pos_ += n;
        return p;
    }
    bool skip(size_t n) { return take(n) != nullptr || n == 0; }
    size_t left() const { return size_ - pos_; }

private:
    const uint8_t* f_;
    size_t size_;
    size_t pos_ = 0;
};

uint32_t rgb(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16;
}

// Transposes an 8x8 bit block: bit r of byte k moves to bit k of byte r.
uint64_t transpose8(uint64_t x) {
    uint64_t t;
    t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
    x = x ^ t ^ (t << 28);
    return x;
}

// Matrix data is stored warp end by warp end, ceil(F/8) bytes each; rows are
// picks. File warp end i becomes bit i - dropped, file weft j row j.
void fillMatrix(DesignModel& d, const uint8_t* data, int W, int F, int dropped) {
    const size_t stride = static_cast<size_t>((F + 7) / 8);
    const int warps = d.header.warps();
    const int rows = std::min(F, d.header.wefts());
    std::vector<uint8_t*> row(static_cast<size_t>(rows));
    for (int j = 0; j < rows; ++j) row[static_cast<size_t>(j)] = d.matrix.row(RowNo{j});

    const int fullBits = warps / 8 * 8;
    int done = 0;
#ifdef __SSE2__
    // Sixteen warp ends by sixteen columns (128 picks) at a time: a 16 x 16 byte
    // transpose in registers puts each column's bytes of the sixteen ends in one
    // vector, and each movemask then yields the two row bytes of one pick.
    done = warps / 16 * 16;
    const size_t fullColumns = stride / 16 * 16;
    // Picks in the outer loop: the 128 rows being written stay in cache while
    // the warp ends are walked.
    for (size_t c0 = 0; c0 < fullColumns; c0 += 16) {
        if (static_cast<int>(c0) * 8 >= rows) break;
        for (int b = 0; b < done; b += 16) {
            const uint8_t* ends = data + static_cast<size_t>(dropped + b) * stride;
            __m128i r[16];
            for (int k = 0; k < 16; ++k)
                r[k] = _mm_loadu_si128(
                    reinterpret_cast<const __m128i*>(ends + static_cast<size_t>(k) * stride + c0));
            __m128i t[16], u[16];
            for (int k = 0; k < 16; k += 2) {
                t[k] = _mm_unpacklo_epi8(r[k], r[k + 1]);
                t[k + 1] = _mm_unpackhi_epi8(r[k], r[k + 1]);
            }
            for (int k = 0; k < 16; k += 4) {
                u[k] = _mm_unpacklo_epi16(t[k], t[k + 2]);
                u[k + 1] = _mm_unpackhi_epi16(t[k], t[k + 2]);
                u[k + 2] = _mm_unpacklo_epi16(t[k + 1], t[k + 3]);
                u[k + 3] = _mm_unpackhi_epi16(t[k + 1], t[k + 3]);
            }
            // u[4q + i]: ends 4q..4q+3, columns 4i..4i+3.
            for (int q = 0; q < 16; q += 8) {
                for (int i = 0; i < 4; ++i) {
                    t[q + 2 * i] = _mm_unpacklo_epi32(u[q + i], u[q + 4 + i]);
                    t[q + 2 * i + 1] = _mm_unpackhi_epi32(u[q + i], u[q + 4 + i]);
                }
            }
            // t[8h + m]: ends 8h..8h+7, columns 2m, 2m+1.
            for (int m = 0; m < 8; ++m) {
                r[2 * m] = _mm_unpacklo_epi64(t[m], t[8 + m]);
                r[2 * m + 1] = _mm_unpackhi_epi64(t[m], t[8 + m]);
            }
            // r[c]: column c0 + c of the sixteen ends.
            for (int c = 0; c < 16; ++c) {
                const int j0 = static_cast<int>(c0 + static_cast<size_t>(c)) * 8;
                __m128i x = r[c];
                for (int bitInByte = 7; bitInByte >= 0; --bitInByte) {
                    const int j = j0 + bitInByte;
                    const auto m = static_cast<uint16_t>(_mm_movemask_epi8(x));
                    if (j < rows) std::memcpy(row[static_cast<size_t>(j)] + b / 8, &m, 2);
                    x = _mm_add_epi8(x, x);
                }
            }
        }
    }
    for (int b = 0; b < done; b += 16) {
        const uint8_t* ends = data + static_cast<size_t>(dropped + b) * stride;
        // Columns left over at the end of each warp end.
        for (size_t c = fullColumns; c < stride; ++c) {
            const int j0 = static_cast<int>(c) * 8;
            if (j0 >= rows) break;
            alignas(16) uint8_t g[16];
            for (int k = 0; k < 16; ++k) g[k] = ends[static_cast<size_t>(k) * stride + c];
            __m128i x = _mm_load_si128(reinterpret_cast<const __m128i*>(g));
            for (int bitInByte = 7; bitInByte >= 0; --bitInByte) {
                const int j = j0 + bitInByte;
                const auto m = static_cast<uint16_t>(_mm_movemask_epi8(x));
                if (j < rows) std::memcpy(row[static_cast<size_t>(j)] + b / 8, &m, 2);
                x = _mm_add_epi8(x, x);
            }
        }
    }
#endif
    // Eight warp ends at a time, when they fill one byte of the rows.
    for (size_t c = 0; c < stride; ++c) {
        const int j0 = static_cast<int>(c) * 8;
        if (j0 >= rows) break;
        const int rowsHere = std::min(8, rows - j0);
        const uint8_t* col = data + static_cast<size_t>(dropped) * stride + c;
        for (int b = done; b < fullBits; b += 8) {
            const uint8_t* p = col + static_cast<size_t>(b) * stride;
            uint64_t x = 0;
            for (int k = 0; k < 8; ++k)
                x |= static_cast<uint64_t>(p[static_cast<size_t>(k) * stride]) << (8 * k);
            if (x == 0) continue;
            x = transpose8(x);
            for (int r = 0; r < rowsHere; ++r)
                row[static_cast<size_t>(j0 + r)][b / 8] = static_cast<uint8_t>(x >> (8 * r));
        }
    }
    int bit = fullBits;
    for (; bit < warps && bit + dropped < W; ++bit) {
        const uint8_t* end = data + static_cast<size_t>(bit + dropped) * stride;
        for (size_t c = 0; c < stride; ++c) {
            for (unsigned v = end[c]; v != 0; v &= v - 1) {
                const int j = static_cast<int>(c) * 8 + __builtin_ctz(v);
                if (j < rows)
                    row[static_cast<size_t>(j)][bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
            }
        }
    }
}

}  // namespace

ReadResult NativeReader::read(const uint8_t* file, size_t size, DesignModel& d,
                              const ReadOptions&) const {
    ReadResult r;
    Cursor c(file, size);
    const Slot readSlots[] = {Slot::startTreadleTop,   Slot::warps, Slot::shafts,
                              Slot::startTreadleRight, Slot::loom,  Slot::blocksize,
                              Slot::treadles,          Slot::wefts};
    d.header = DesignHeader{};
    for (Slot s : readSlots) {
        if (!c.find(slotKey(s))) continue;
        uint16_t tag = 0, value = 0;
        if (!c.u16(tag)) return r.failed("the file ends inside the header");
        if ((tag & 0x7FFF) == 0x2001) {
            if (!c.u16(value)) return r.failed("the file ends inside the header");
            d.header.set(s, value);
        } else {
            d.header.set(s, 65535);
        }
    }

    const int W = d.header.warps();
    const int F = d.header.wefts();
    if (W == 0) return r.failed("the design has no warp ends");
    if (F == 0) return r.failed("the design has no picks");
    // A draft is drawn shaft by shaft and treadle by treadle; more than this
    // is a damaged header, not a loom.
    constexpr int kMaxDraftSize = 1024;
    if (d.header.shafts() > kMaxDraftSize || d.header.treadles() > kMaxDraftSize)
        return r.failed("the draft has " + std::to_string(d.header.shafts()) + " shafts and " +
                        std::to_string(d.header.treadles()) +
                        " treadles, more than a draft can have");
    truncateToLoom(d, r);
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    const int dropped = W - warps;
    const int shafts = d.header.shafts();
    const int treadles = d.header.treadles();
    d.initialiseColours(0);

    if (c.find("Color")) {
        for (int k = 0; k < W; ++k) {
            const uint8_t* rec = c.take(5);
            if (!rec) return r.failed("the file ends inside the warp colours");
            if (k >= dropped) d.warpColours[static_cast<size_t>(W - k - 1)] = rgb(rec);
        }
        if (!c.skip(4)) return r.failed("the file ends after the warp colours");
        for (int k = 0; k < F; ++k) {
            const uint8_t* rec = c.take(5);
            if (!rec) return r.failed("the file ends inside the weft colours");
            if (k < wefts) d.weftColours[static_cast<size_t>(wefts - k - 1)] = rgb(rec + 2);
        }
        if (shafts != 0) {
            if (!c.skip(6)) return r.failed("the file ends before the threading");
            // After a truncation the threading follows the warp ends the
            // matrix keeps: the first `dropped` items go with the dropped ends.
            d.draft.threading.assign(static_cast<size_t>(warps), 0);
            for (int k = 0; k < W; ++k) {
                uint16_t v = 0;
                if (!c.item(v)) return r.failed("the file ends inside the threading");
                const int b = k - dropped;
                if (b >= 0 && b < warps)
                    d.draft.threading[static_cast<size_t>(b)] = static_cast<uint8_t>(v & 0xFF);
            }
            uint16_t length = 0;
            if (!c.item(length)) return r.failed("the file ends after the threading");
            const size_t shaftBytes = static_cast<size_t>((shafts + 7) / 8);
            const size_t weftBytes = static_cast<size_t>((wefts + 7) / 8);
            d.draft.treadling.assign(static_cast<size_t>(treadles) * weftBytes, 0);
            if (d.header.loom() == kLoomCountermarche) {
                // Tie-up bytes beyond treadles x ceil(shafts/8) are read past;
                // a shorter tie-up leaves the rest untied.
                const size_t n = length & 0x0FFF;
                const uint8_t* tie = c.take(n);
                if (!tie) return r.failed("the file ends inside the tie-up");
                d.draft.tieUp.assign(static_cast<size_t>(treadles) * shaftBytes, 0);
                std::copy_n(tie, std::min(n, d.draft.tieUp.size()), d.draft.tieUp.begin());
                if (!c.skip(6)) return r.failed("the file ends before the treadling");
                // Item l is the file's weft l, which the matrix data puts in
                // lift-matrix row l: treadling and lifts agree pick for pick.
                for (int l = 0; l < F; ++l) {
                    uint16_t v = 0;
                    if (!c.item(v)) return r.failed("the file ends inside the treadling");
                    const int t = v & 0x7FFF;
                    if (l < wefts && t < treadles) d.setTreadlingBit(t, RowNo{l}, true);
                }
            } else {
                d.draft.tieUp.assign(static_cast<size_t>(shafts) * shaftBytes, 0);
                for (int j = 0; j < shafts; ++j) {
                    const int s = shafts - 1 - j;
                    d.draft
                        .tieUp[static_cast<size_t>(j) * shaftBytes + static_cast<size_t>(s / 8)] |=
                        static_cast<uint8_t>(1u << (s % 8));
                }
                const size_t m = length & 0x7FFF;
                const uint8_t* plan = c.take(m);
                if (!plan) return r.failed("the file ends inside the lift plan");
                // Rows of the file are ceil(F/8) bytes; a capped design keeps
                // the start of each.
                const size_t fileRow = static_cast<size_t>((F + 7) / 8);
                for (size_t t = 0; t < static_cast<size_t>(treadles); ++t) {
                    const size_t from = t * fileRow;
                    if (from >= m) break;
                    const size_t n = std::min({weftBytes, fileRow, m - from});
                    std::copy_n(
                        plan + from, n,
                        d.draft.treadling.begin() + static_cast<std::ptrdiff_t>(t * weftBytes));
                }
            }
        }
        numberWeftColours(d);
    }

    if (!c.find("Struct")) {
        r.tell(BoxKind::Information, "Unknown file structure.");
        return r.failed("");
    }
    if (!d.allocateMatrix()) {
        r.tell(BoxKind::Information, "Insufficient memory.");
        return r.failed("");
    }
    // The stored length is a signed 16-bit number and cannot describe a large
    // design: the header's sizes say how much data there is.
    uint16_t storedLength = 0;
    if (!c.u16(storedLength)) return r.failed("the file ends before the design data");
    const size_t need = static_cast<size_t>(W) * static_cast<size_t>((F + 7) / 8);
    const uint8_t* data = c.take(need);
    if (!data) {
        return r.failed("the design data is shorter than its header says (" +
                        std::to_string(c.left()) + " of " + std::to_string(need) + " bytes)");
    }
    fillMatrix(d, data, W, F, dropped);
    return r;
}

}  // namespace wp
