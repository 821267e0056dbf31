#pragma once

#include <cstdint>
#include <functional>

#include "model/design.h"

namespace wp::test {

// A design of the given size held by the model as a reader leaves it: matrix
// and colour tables allocated, ready. `lifted(row, bit)` fills the matrix.
inline DesignModel makeDesign(int warps, int wefts,
                              const std::function<bool(int row, int bit)>& lifted = {}) {
    DesignModel d;
    d.hw.chunksize = 50;
    d.header.set(Slot::warps, static_cast<uint16_t>(warps));
    d.header.set(Slot::wefts, static_cast<uint16_t>(wefts));
    d.allocateMatrix();
    d.initialiseColours(0);
    d.designReady = true;
    if (lifted)
        for (int j = 0; j < wefts; ++j)
            for (int x = 0; x < warps; ++x) d.setLift(RowNo{j}, x, lifted(j, x));
    return d;
}

}  // namespace wp::test
