#include "import/impwriter.h"

namespace wp {
namespace {

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out[at + static_cast<size_t>(k)] = static_cast<uint8_t>(v >> (8 * k));
}

}  // namespace

std::vector<uint8_t> writeImp(const ImpDesign& d) {
    const size_t a = d.firstBlock, b = d.secondBlock;
    const size_t rowBytes = 4 * static_cast<size_t>((d.warps + 7) / 8);
    std::vector<uint8_t> out(a + b + 186 + rowBytes * static_cast<size_t>(d.wefts), 0);
    put32(out, 38, d.firstBlock);
    put32(out, a + 74, d.secondBlock);
    put32(out, a + b + 86, static_cast<uint32_t>(d.warps));
    put32(out, a + b + 90, static_cast<uint32_t>(d.wefts));
    // Pixel j of a row is warp end warps - j + 1: the leftmost is the last end.
    for (int pick = 1; pick <= d.wefts; ++pick) {
        uint8_t* row = &out[a + b + 186 + rowBytes * static_cast<size_t>(pick - 1)];
        for (int j = 1; j <= d.warps; ++j) {
            const bool up = d.lifted && d.lifted(pick, d.warps - j + 1);
            const unsigned value = pick == 1 ? (up ? 1u : 0u) : (up ? 3u : 14u);
            row[(j - 1) / 2] |= static_cast<uint8_t>(j % 2 == 1 ? value << 4 : value);
        }
    }
    return out;
}

}  // namespace wp
