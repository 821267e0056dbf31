// Writes the example designs of examples/ and, with --big, the largest design
// the model holds (3520 warp ends x 5000 picks) for the benchmarks.
#include <cstdio>
#include <cstring>
#include <string>

#include "import/nativewriter.h"

namespace {

using wp::NativeDraft;

constexpr uint32_t rgb(unsigned r, unsigned g, unsigned b) { return r | g << 8 | b << 16; }

// 8-shaft dobby: straight draw, 2/2 twill lift plan.
NativeDraft twill8() {
    NativeDraft d;
    d.warps = 48;
    d.wefts = 64;
    d.shafts = 8;
    d.treadles = 8;
    d.loom = 607;
    auto raised = [](int pick, int shaft) { return (shaft - pick + 800) % 8 < 4; };
    d.threading = [](int end) { return (end - 1) % 8; };
    // Treadle t raises shaft shafts - 1 - t.
    d.liftPlan = [raised](int treadle, int pick) { return raised(pick, 7 - treadle); };
    d.lifted = [raised](int pick, int end) { return raised(pick, (end - 1) % 8); };
    d.warpColour = [](int) { return rgb(30, 40, 110); };
    d.weftColour = [](int) { return rgb(240, 230, 200); };
    return d;
}

// 4-shaft countermarche rosepath: tie-up of 6 treadles, a treadle per pick.
NativeDraft rosepath() {
    static const int threadingOrder[] = {0, 1, 2, 3, 2, 1, 0, 3};
    static const bool tie[6][4] = {{1, 1, 0, 0}, {0, 1, 1, 0}, {0, 0, 1, 1},
                                   {1, 0, 0, 1}, {1, 0, 1, 0}, {0, 1, 0, 1}};
    static const int treadlingOrder[] = {0, 1, 2, 3, 2, 1, 0, 3, 4, 5, 4, 5};
    NativeDraft d;
    d.warps = 40;
    d.wefts = 48;
    d.shafts = 4;
    d.treadles = 6;
    d.loom = 608;
    d.threading = [](int end) { return threadingOrder[(end - 1) % 8]; };
    d.tieUp = [](int t, int s) { return tie[t][s]; };
    d.treadleOfPick = [](int pick) { return treadlingOrder[(pick - 1) % 12]; };
    d.lifted = [](int pick, int end) {
        return tie[treadlingOrder[(pick - 1) % 12]][threadingOrder[(end - 1) % 8]];
    };
    d.warpColour = [](int end) { return (end - 1) / 4 % 2 ? rgb(200, 40, 40) : rgb(250, 250, 240); };
    d.weftColour = [](int pick) { return (pick - 1) / 12 % 2 ? rgb(40, 90, 40) : rgb(30, 30, 30); };
    return d;
}

// Jacquard design on two modules: diamonds on a satin ground, striped warp,
// banded weft.
NativeDraft jacquard440() {
    NativeDraft d;
    d.warps = 440;
    d.wefts = 160;
    d.lifted = [](int pick, int end) {
        const int x = (end - 1) % 40 - 20, y = (pick - 1) % 40 - 20;
        const int r = (x < 0 ? -x : x) + (y < 0 ? -y : y);
        if (r < 14 && r > 8) return true;
        if (r <= 8) return (end + 2 * pick) % 5 == 0 ? false : true;
        return (end * 3 + pick) % 5 == 0;  // 5-end satin ground
    };
    d.warpColour = [](int end) {
        switch ((end - 1) / 20 % 3) {
            case 0: return rgb(180, 20, 60);
            case 1: return rgb(240, 200, 60);
            default: return rgb(20, 60, 150);
        }
    };
    d.weftColour = [](int pick) { return (pick - 1) / 40 % 2 ? rgb(250, 250, 250) : rgb(20, 20, 20); };
    return d;
}

NativeDraft big() {
    NativeDraft d;
    d.warps = 3520;
    d.wefts = 5000;
    d.lifted = [](int pick, int end) {
        unsigned h = static_cast<unsigned>(pick) * 2654435761u ^ static_cast<unsigned>(end) * 40503u;
        return ((h >> 13) & 3) == 0 || (end + pick) % 7 == 0;
    };
    d.warpColour = [](int end) { return rgb(static_cast<unsigned>(end % 256), 80, 160); };
    d.weftColour = [](int pick) { return rgb(240, static_cast<unsigned>(pick % 256), 200); };
    return d;
}

bool save(const NativeDraft& d, const std::string& path) {
    if (wp::saveNativeDraft(d, path)) return true;
    std::fprintf(stderr, "weavepilot-mkexamples: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--big") == 0) return save(big(), argv[2]) ? 0 : 1;
    if (argc != 2) {
        std::fprintf(stderr, "usage: weavepilot-mkexamples OUTDIR | --big FILE\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = save(twill8(), dir + "/twill8.dob") && save(rosepath(), dir + "/rosepath.ctm") &&
                    save(jacquard440(), dir + "/jacquard440.dob");
    return ok ? 0 : 1;
}
