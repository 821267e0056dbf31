#include "import/imp.h"

#include "import/bytes.h"

namespace wp {

ReadResult ImpReader::read(const uint8_t* data, size_t size, DesignModel& d,
                           const ReadOptions&) const {
    ReadResult r;
    const ByteView f(data, size);
    // Offset 38: the first block's length A; after it and 32 more bytes the
    // second block's length B; after that and 8 more bytes the sizes.
    if (!f.has(38, 4)) return r.failed("the file ends before its first block");
    const uint64_t a = f.le32(38);
    const uint64_t bAt = a + 74;
    if (!f.has(bAt, 4)) return r.failed("the file ends before its second block");
    const uint64_t b = f.le32(bAt);
    const uint64_t sizesAt = a + b + 86;
    if (!f.has(sizesAt, 8)) return r.failed("the file ends before the design's size");
    const int W = f.le16(sizesAt) & 0x7FFF;
    const int F = f.le16(sizesAt + 4) & 0x7FFF;
    const uint64_t rowsAt = sizesAt + 100;
    const uint64_t rowBytes = 4 * static_cast<uint64_t>((W + 7) / 8);

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
    if (!f.has(rowsAt, rowBytes * static_cast<uint64_t>(wefts)))
        return r.failed("the file ends inside the design's rows (" + std::to_string(wefts) +
                        " rows of " + std::to_string(rowBytes) + " bytes are due)");

    // File row i (from 1) is pick i; pixel j (from 1) is bit j - 1, the
    // first pixels going with the warp ends a truncation drops.
    for (int i = 1; i <= wefts; ++i) {
        const uint8_t* row = f.at(rowsAt + static_cast<uint64_t>(i - 1) * rowBytes);
        uint8_t* out = d.matrix.row(RowNo{wefts - i});
        for (int j = dropped + 1; j <= W; ++j) {
            const uint8_t byte = row[(j - 1) / 2];
            const bool lifted = (j % 2 == 1 ? byte >> 4 : byte) & 1;
            const int x = j - dropped - 1;
            if (lifted) out[x / 8] |= static_cast<uint8_t>(1u << (x % 8));
        }
    }
    d.initialiseColours(0);
    return r;
}

}  // namespace wp
