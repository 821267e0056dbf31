#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wp {

// A draft to be written in the native format, in the weaver's terms: picks and
// warp ends counted from 1.
struct NativeDraft {
    int warps = 0;
    int wefts = 0;
    int shafts = 0;  // 0: no shaft draft
    int treadles = 0;
    int loom = 0;  // 607 dobby lift plan, 608 countermarche tie-up and treadle list
    std::function<bool(int pick, int warpEnd)> lifted;
    std::function<uint32_t(int warpEnd)> warpColour;  // 0x00BBGGRR; empty: no colours
    std::function<uint32_t(int pick)> weftColour;
    std::function<int(int warpEnd)> threading;            // shaft index from 0
    std::function<bool(int treadle, int shaft)> tieUp;    // 608, both from 0
    std::function<int(int pick)> treadleOfPick;           // 608, from 0
    std::function<bool(int treadle, int pick)> liftPlan;  // other looms, treadle from 0
    // Leave the "Struct" key out (a damaged file).
    bool omitStruct = false;
};

// The bytes of a native draft file.
std::vector<uint8_t> writeNativeDraft(const NativeDraft& d);

bool saveNativeDraft(const NativeDraft& d, const std::string& path);

}  // namespace wp
