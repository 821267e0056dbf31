#include "tools/floats.h"

namespace wp {

bool flipCellByHand(DesignModel& d, RowNo j, int x) {
    const uint8_t mode = d.analysis.displayMode;
    if (mode < 1 || mode > 3) return false;
    const int warps = d.header.warps();
    if (j.value < 0 || j.value >= d.header.wefts() || x < 0 || x >= warps) return false;
    d.setLift(j, x, !d.lift(j, x));
    if (mode >= 2) {
        const size_t at =
            static_cast<size_t>(j.value) * static_cast<size_t>(warps) + static_cast<size_t>(x);
        if (at < d.analysis.floatMap.size()) d.analysis.floatMap[at] = 1;
    }
    return true;
}

}  // namespace wp
