#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace wp {

// A draft to be written as a WIF file, in the weaver's terms: warp ends,
// picks, shafts and treadles counted from 1.
struct WifDraft {
    int warps = 0;
    int wefts = 0;
    int shafts = 0;
    int treadles = 0;
    std::function<std::vector<int>(int warpEnd)> threading;  // its shafts; none: unthreaded
    std::function<std::vector<int>(int treadle)> tieUp;      // the shafts it raises
    std::function<std::vector<int>(int pick)> treadling;     // its treadles; unset: no treadling
    std::function<std::vector<int>(int pick)> liftPlan;      // its shafts; unset: no lift plan
    // Colour table entries 1, 2, ... as red, green, blue within the range.
    std::vector<std::array<int, 3>> colours;
    int rangeLow = 0;
    int rangeHigh = 255;
    int warpColour = 0;  // default table index of the warp, 0: none
    int weftColour = 0;
    // A thread's table index; threads in the default colour are left out, as
    // weaving programs do.
    std::function<int(int warpEnd)> warpColourOf;
    std::function<int(int pick)> weftColourOf;
    std::string sourceProgram = "Weave Pilot";
};

// The text of a WIF 1.1 file as weaving programs write it: CRLF line ends,
// [CONTENTS] with true/false, sections in the order the format lists them.
std::string writeWif(const WifDraft& d);

}  // namespace wp
