#pragma once

#include <cstdint>
#include <vector>

#include "tools/image.h"

namespace wp::test {

// The many shapes of BMP files found in the wild, built from one picture.
struct BmpForm {
    enum class Header { Os2, Info, V4, V5 };
    Header header = Header::Info;
    int bits = 24;         // 1, 4, 8 (palette) or 16, 24, 32
    bool rle = false;      // 4 and 8 bits: run-length compressed
    bool topDown = false;  // negative height, top row first
    // 16 and 32 bits: red, green, blue masks; all 0 for the plain layout
    // (5-5-5 and B, G, R, unused).
    uint32_t masks[3] = {0, 0, 0};
    int coloursUsed = 0;  // palette entries written and declared; 0: 2^bits
    bool declareColoursUsed = true;
};

std::vector<uint8_t> buildBmp(const IndexedImage& img, const BmpForm& form);
std::vector<uint8_t> buildBmp(const RgbImage& img, const BmpForm& form);

}  // namespace wp::test
