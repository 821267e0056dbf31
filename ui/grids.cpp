#include "ui/grids.h"

#include <algorithm>

#include "tools/floats.h"

namespace wp::ui {

void DesignCells::fillRow(int r, int c0, int c1, QRgb* out) const {
    const DesignModel& d = s_.design();
    std::fill(out, out + (c1 - c0), kUnpainted);
    // Return immediately when there is nothing to draw
    if (!d.designReady) return;
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    const auto warpColour = [&](int x) {
        const size_t i = static_cast<size_t>(warps - x - 1);
        return i < d.warpColours.size() ? fromBgr(d.warpColours[i]) : kUnpainted;
    };

    if (r == 0) {
        for (int c = std::max(c0, 2); c < c1; ++c)
            if (c - 2 < warps) out[c - c0] = warpColour(c - 2);
        return;
    }
    const int pick = wefts - r + 1;
    if (pick < 1) return;
    const size_t pickIndex = static_cast<size_t>(pick - 1);
    const QRgb weft =
        pickIndex < d.weftColours.size() ? fromBgr(d.weftColours[pickIndex]) : kUnpainted;

    int c = c0;
    for (; c < std::min(c1, 2); ++c) {
        if (c == 0)
            out[c - c0] = r == wefts - d.markerPick ? kMarkerColour : kUnpainted;
        else
            out[c - c0] = weft;
    }
    const int j = r - 1;
    const uint8_t* row = d.matrix.row(RowNo{j});
    const int end = std::min(c1, warps + 2);
    const AnalysisState& a = d.analysis;
    if (a.displayMode < kWeftFloatsMarked) {
        for (; c < end; ++c) {
            const int x = c - 2;
            const bool lifted = row && ((row[x >> 3] >> (x & 7)) & 1);
            out[c - c0] = lifted ? warpColour(x) : weft;
        }
        return;
    }
    // Marked runs: cuts, runs over the limit and the bilevel view.
    const uint32_t weftBgr = pickIndex < d.weftColours.size() ? d.weftColours[pickIndex] : 0;
    for (; c < end; ++c) {
        const int x = c - 2;
        const size_t warpIndex = static_cast<size_t>(warps - x - 1);
        const uint32_t warpBgr = warpIndex < d.warpColours.size() ? d.warpColours[warpIndex] : 0;
        const size_t at =
            static_cast<size_t>(j) * static_cast<size_t>(warps) + static_cast<size_t>(x);
        const uint8_t v = at < a.floatMap.size() ? a.floatMap[at] : 0;
        const bool lifted = row && ((row[x >> 3] >> (x & 7)) & 1);
        out[c - c0] =
            fromBgr(floatViewColour(lifted, v, a.floatCutLimit, a.bilevelView, warpBgr, weftBgr));
    }
}

void ThreadingCells::fillRow(int r, int c0, int c1, QRgb* out) const {
    const DesignModel& d = s_.design();
    std::fill(out, out + (c1 - c0), kUnpainted);
    if (!d.designReady || d.draft.threading.empty()) return;
    const auto& threading = d.draft.threading;
    for (int c = c0; c < c1; ++c) {
        if (c < 2) {
            out[c - c0] = face_;
            continue;
        }
        const size_t x = static_cast<size_t>(c - 2);
        out[c - c0] = x < threading.size() && threading[x] == r ? kBlack : kWhite;
    }
}

void TieUpCells::fillRow(int r, int c0, int c1, QRgb* out) const {
    const DesignModel& d = s_.design();
    std::fill(out, out + (c1 - c0), kUnpainted);
    if (!d.designReady || d.draft.tieUp.empty()) return;
    for (int c = c0; c < c1; ++c) out[c - c0] = d.tieUpBit(c, r) ? kBlack : kWhite;
}

void TreadlingCells::fillRow(int r, int c0, int c1, QRgb* out) const {
    const DesignModel& d = s_.design();
    std::fill(out, out + (c1 - c0), kUnpainted);
    if (!d.designReady || d.draft.treadling.empty()) return;
    for (int c = c0; c < c1; ++c)
        out[c - c0] = r == 0 ? face_ : (d.treadlingBit(c, RowNo{r - 1}) ? kBlack : kWhite);
}

}  // namespace wp::ui
