#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace wp {

enum class LoomType { JX3, OLM, Select };

const char* loomTypeName(LoomType t);

// The loom's hardware description and controller settings, filled from the
// settings file at start-up.
struct HardwareConfig {
    uint16_t commPort = 1;
    int moduleCount = 1;
    int hookCount = 220;
    int modulesDeep = 1;
    int densityX = 1;
    int densityY = 1;
    std::array<uint8_t, 448> blankHeadleMask{};
    int blankHeadleCount = 0;
    std::array<uint8_t, 448> hookSkipMask{};
    std::array<uint8_t, 448> dialogMask{};  // result of the last density reduction

    int PumpTimeout = 60;
    int MaxValves = 0;
    int PowerOnTime = 0;
    bool Shuffle = true;
    std::string Hexfile = "DS_MAIN.HEX";

    int chunksize = 50;
    int maxWefts = 5000;

    LoomType loomType = LoomType::JX3;

    // "COMn" -> device path, from the optional [Ports] section.
    std::map<std::string, std::string> ports;

    std::string programDirectory;
};

}  // namespace wp
