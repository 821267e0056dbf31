#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wp {

// A design to be written as an import file (*.IMP), in the weaver's terms:
// picks and warp ends counted from 1.
struct ImpDesign {
    int warps = 0;
    int wefts = 0;
    std::function<bool(int pick, int warpEnd)> lifted;
    // Lengths of the two blocks the reader skips.
    uint32_t firstBlock = 24;
    uint32_t secondBlock = 12;
};

// The bytes of an import file: lifted pixels get the value 1 and the others 0
// in the first row, and 3 and 14 in the rest, so that only the lowest bit tells.
std::vector<uint8_t> writeImp(const ImpDesign& d);

}  // namespace wp
