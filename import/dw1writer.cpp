#include "import/dw1writer.h"

namespace wp {
namespace {

// Checked stores; they also spare GCC 12 at -O3 a false null-pointer warning.
void put16(std::vector<uint8_t>& out, size_t at, unsigned v) {
    out.at(at) = static_cast<uint8_t>(v >> 8);
    out.at(at + 1) = static_cast<uint8_t>(v);
}

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out[at + static_cast<size_t>(k)] = static_cast<uint8_t>(v >> (24 - 8 * k));
}

// A 38-byte colour record of three 16-bit components.
void putRecord(std::vector<uint8_t>& out, uint32_t colour) {
    uint8_t rec[38] = {};
    for (int c = 0; c < 3; ++c) {
        rec[2 * c] = static_cast<uint8_t>(colour >> (8 * c));
        rec[2 * c + 1] = rec[2 * c];
    }
    out.insert(out.end(), rec, rec + sizeof rec);
}

}  // namespace

std::vector<uint8_t> writeDw1(const Dw1Design& d) {
    const size_t rowBytes = static_cast<size_t>((d.warps + 7) / 8);
    std::vector<uint8_t> out(512 + (rowBytes + 4) * static_cast<size_t>(d.wefts), 0);
    put16(out, 12, static_cast<unsigned>(d.warps));
    put16(out, 14, static_cast<unsigned>(d.wefts));
    for (int pick = 1; pick <= d.wefts; ++pick) {
        const size_t at = 512 + (rowBytes + 4) * static_cast<size_t>(pick - 1);
        // Bit k of the row, most significant first, is warp end warps - k.
        for (int k = 0; k < d.warps; ++k)
            if (d.lifted && d.lifted(pick, d.warps - k))
                out[at + static_cast<size_t>(k / 8)] |= static_cast<uint8_t>(0x80u >> (k % 8));
        const int entry = d.weftEntry ? d.weftEntry(pick) : -1;
        if (entry >= 0) put16(out, at + rowBytes, 1u << entry);
        put16(out, at + rowBytes + 2, 0xBEEF);
    }
    // The blocks follow the rows.
    if (!d.palette.empty()) {
        put32(out, 68, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), {0, 0, 0, static_cast<uint8_t>(d.palette.size()), 0, 0});
        for (uint32_t c : d.palette) putRecord(out, c);
    }
    if (!d.warpRecords.empty()) {
        put32(out, 72, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), 6, 0);
        for (uint32_t c : d.warpRecords) putRecord(out, c);
        put32(out, 76, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), {0, 0, static_cast<uint8_t>(d.warpPattern.size() >> 8),
                               static_cast<uint8_t>(d.warpPattern.size()), 0, 0, 0, 0});
        out.insert(out.end(), d.warpPattern.begin(), d.warpPattern.end());
    }
    return out;
}

}  // namespace wp
