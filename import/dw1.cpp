#include "import/dw1.h"

#include "import/bytes.h"

namespace wp {
namespace {

constexpr uint64_t kHeaderBytes = 80;
constexpr uint64_t kRecordBytes = 38;
constexpr uint64_t kRowsAt = 512;

// A colour record: the high bytes of three 16-bit components.
uint32_t recordColour(const ByteView& f, uint64_t at) {
    const uint8_t* p = f.at(at);
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[2]) << 8 |
           static_cast<uint32_t>(p[4]) << 16;
}

}  // namespace

ReadResult Dw1Reader::read(const uint8_t* data, size_t size, DesignModel& d,
                           const ReadOptions&) const {
    ReadResult r;
    const ByteView f(data, size);
    if (!f.has(0, kHeaderBytes)) return r.failed("the file ends inside its header");
    const int W = f.be16(12) & 0x7FFF;
    const int F = f.be16(14) & 0x7FFF;
    const uint64_t paletteAt = f.be32(68);
    const uint64_t recordsAt = f.be32(72);
    const uint64_t patternAt = f.be32(76);

    d.header = DesignHeader{};
    d.header.set(Slot::warps, static_cast<uint16_t>(W));
    d.header.set(Slot::wefts, static_cast<uint16_t>(F));
    if (W == 0 && F != 0) return r.failed("the design has no warp ends");
    truncateToLoom(d, r);
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    const int dropped = W - warps;
    if (wefts == 0 || !d.allocateMatrix()) {
        r.tell(BoxKind::Information, "Unknown file structure.");
        return r.failed("");
    }
    d.initialiseColours(0);

    std::vector<uint32_t> palette;
    if (paletteAt != 0) {
        if (!f.has(paletteAt, 6)) return r.failed("the file ends before its palette");
        const int n = f.at(paletteAt)[3];
        if (!f.has(paletteAt + 6, kRecordBytes * static_cast<uint64_t>(n)))
            return r.failed("the file ends inside its palette of " + std::to_string(n) +
                            " colours");
        for (int k = 0; k < n; ++k)
            palette.push_back(
                recordColour(f, paletteAt + 6 + kRecordBytes * static_cast<uint64_t>(k)));
    }

    if (recordsAt != 0 && patternAt != 0) {
        if (!f.has(patternAt, 8)) return r.failed("the file ends before its warp colour pattern");
        const int length = f.be16(patternAt + 2);
        if (!f.has(patternAt + 8, static_cast<uint64_t>(length)))
            return r.failed("the file ends inside its warp colour pattern");
        // A pattern of length 0 is the one-entry pattern 1.
        std::vector<int> pattern;
        for (int k = 0; k < length; ++k) pattern.push_back(f.at(patternAt + 8)[k]);
        if (pattern.empty()) pattern.push_back(1);
        // Records are numbered from 1; a number naming no record leaves the
        // warp end in its default colour.
        for (int i = 0; i < warps; ++i) {
            const int record = pattern[static_cast<size_t>(i) % pattern.size()];
            if (record < 1) continue;
            const uint64_t at = recordsAt + 6 + kRecordBytes * static_cast<uint64_t>(record - 1);
            if (!f.has(at, kRecordBytes))
                return r.failed("warp colour record " + std::to_string(record) +
                                " lies beyond the end of the file");
            d.warpColours[static_cast<size_t>(i)] = recordColour(f, at);
        }
    }

    const uint64_t rowBytes = static_cast<uint64_t>((W + 7) / 8);
    const uint64_t stride = rowBytes + 4;
    if (!f.has(kRowsAt, stride * static_cast<uint64_t>(wefts)))
        return r.failed("the file ends inside the design's rows (" + std::to_string(wefts) +
                        " rows of " + std::to_string(stride) + " bytes are due)");
    for (int i = 1; i <= wefts; ++i) {
        const uint64_t at = kRowsAt + stride * static_cast<uint64_t>(i - 1);
        const uint8_t* row = f.at(at);
        uint8_t* out = d.matrix.row(RowNo{wefts - i});
        // File bit k, most significant first; the first `dropped` ends are cut.
        for (int k = dropped; k < W; ++k) {
            if (!(row[k / 8] & (0x80u >> (k % 8)))) continue;
            const int x = k - dropped;
            out[x / 8] |= static_cast<uint8_t>(1u << (x % 8));
        }
        // The colour mark's lowest set bit names the palette entry; a mark
        // naming no entry leaves the pick white.
        const unsigned mark = f.be16(at + rowBytes);
        if (mark != 0 && !palette.empty()) {
            const auto entry = static_cast<size_t>(__builtin_ctz(mark));
            if (entry < palette.size()) {
                d.weftColours[static_cast<size_t>(i - 1)] = palette[entry];
                d.weftColourNumbers[static_cast<size_t>(i - 1)] = static_cast<uint16_t>(entry + 1);
            }
        }
    }
    return r;
}

}  // namespace wp
