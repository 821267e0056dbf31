#include "tests/support/drafts.h"

namespace wp::test {
namespace {

constexpr bool kRosepathTie[4][4] = {{1, 1, 0, 0}, {0, 1, 1, 0}, {0, 0, 1, 1}, {1, 0, 0, 1}};

int rosepathTreadle(int pick) {
    return (pick * 3) % 4;
}

}  // namespace

bool jacquardLift(int pick, int warpEnd) {
    return ((pick * 31 + warpEnd * 17) ^ (pick * warpEnd)) % 3 == 0;
}
uint32_t jacquardWarpColour(int warpEnd) {
    return static_cast<uint32_t>(warpEnd * 7919) & 0xFFFFFF;
}
uint32_t jacquardWeftColour(int pick) {
    return static_cast<uint32_t>(pick * 104729 + 3) & 0xFFFFFF;
}

NativeDraft jacquard(int warps, int wefts) {
    NativeDraft d;
    d.warps = warps;
    d.wefts = wefts;
    d.lifted = jacquardLift;
    d.warpColour = jacquardWarpColour;
    d.weftColour = jacquardWeftColour;
    return d;
}

NativeDraft dobby(int warps, int wefts, int shafts) {
    NativeDraft d;
    d.warps = warps;
    d.wefts = wefts;
    d.shafts = shafts;
    d.treadles = shafts;
    d.loom = 607;
    d.threading = [shafts](int end) { return (end - 1) % shafts; };
    d.liftPlan = [](int t, int pick) { return (t + pick) % 4 < 2; };
    d.lifted = [shafts](int pick, int end) {
        return (shafts - 1 - (end - 1) % shafts + pick) % 4 < 2;
    };
    d.warpColour = jacquardWarpColour;
    d.weftColour = jacquardWeftColour;
    return d;
}

NativeDraft rosepath() {
    NativeDraft d;
    d.warps = 16;
    d.wefts = 12;
    d.shafts = 4;
    d.treadles = 4;
    d.loom = 608;
    d.threading = [](int end) { return (end - 1) % 4; };
    d.tieUp = [](int t, int sh) { return kRosepathTie[t][sh]; };
    d.treadleOfPick = rosepathTreadle;
    d.lifted = [](int pick, int end) { return kRosepathTie[rosepathTreadle(pick)][(end - 1) % 4]; };
    d.warpColour = [](int) { return 255u; };
    d.weftColour = [](int) { return 0xFFFFFFu; };
    return d;
}

std::vector<int> rosepathShafts(int pick) {
    std::vector<int> out;
    for (int sh = 0; sh < 4; ++sh)
        if (kRosepathTie[rosepathTreadle(pick)][sh]) out.push_back(sh + 1);
    return out;
}

}  // namespace wp::test
