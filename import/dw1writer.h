#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wp {

// A design to be written as a jacquard CAD file (*.DW1), in the weaver's
// terms: picks and warp ends counted from 1. Colours are 0x00BBGGRR.
struct Dw1Design {
    int warps = 0;
    int wefts = 0;
    std::function<bool(int pick, int warpEnd)> lifted;
    std::vector<uint32_t> palette;           // at most 16 entries; none: no palette block
    std::vector<uint32_t> warpRecords;       // records 1, 2, ...; none: no warp colours
    std::vector<uint8_t> warpPattern;        // record numbers, repeated over the warp
    std::function<int(int pick)> weftEntry;  // palette entry of a pick, -1: none
};

std::vector<uint8_t> writeDw1(const Dw1Design& d);

}  // namespace wp
