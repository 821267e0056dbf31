#pragma once

#include <cstdint>
#include <vector>

#include "import/nativewriter.h"

namespace wp::test {

// The scattered lift pattern of jacquard(): no repeat short enough to hide a
// pick or warp end taken for its neighbour.
bool jacquardLift(int pick, int warpEnd);
uint32_t jacquardWarpColour(int warpEnd);
uint32_t jacquardWeftColour(int pick);

// A jacquard design without a shaft draft: jacquardLift(), a colour of its own
// for every warp end and every pick.
NativeDraft jacquard(int warps, int wefts);

// A dobby draft (layout 607): straight draw over `shafts` shafts, as many
// treadles, the lift plan treadle t on pick p when (t + p) % 4 < 2, and lifts
// that agree with it (treadle t raises shaft shafts - 1 - t).
NativeDraft dobby(int warps, int wefts, int shafts);

// A 4-shaft countermarche rosepath (layout 608), 16 warp ends x 12 picks: four
// treadles tied in pairs, pick p on treadle 3p mod 4.
NativeDraft rosepath();
// Shafts (1-based) that pick p of rosepath() raises.
std::vector<int> rosepathShafts(int pick);

}  // namespace wp::test
