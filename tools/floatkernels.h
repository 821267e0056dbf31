#pragma once

#include <cstdint>

#include "model/design.h"

// The float passes on wide vectors: whole 64-cell words of the lift matrix at a
// time instead of one run after another. Only for processors with AVX-512 (VBMI2,
// BITALG and VPOPCNTDQ); every function returns false, having changed nothing,
// when the processor lacks them, when they are switched off, or when some row of
// the design is missing. The caller then takes the cell-by-cell way, which gives
// the same results.
namespace wp::floatkernels {

// Whether the kernels run (the processor has them and they are not switched off).
bool enabled();
// Switches them off or, where the processor has them, back on; for comparing
// both ways in tests.
void setEnabled(bool on);

// Runs of every pick row. Counts are added to `hist` (100 bins) unless it is
// null; unless `map` is null, every cell gets the length of its run (1 for runs
// of 255 cells or more).
bool passAlongPicks(const DesignModel& d, int* hist, uint8_t* map);

// Runs of every warp end, counted into `hist` (100 bins).
bool countAlongWarpEnds(const DesignModel& d, int* hist);

}  // namespace wp::floatkernels
