#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wp {

// An RGB picture, 3 bytes a pixel, rows top to bottom.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    RgbImage(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0) {}
    // colour is 0x00BBGGRR, as the design model keeps colours.
    void set(int x, int y, uint32_t colour) {
        uint8_t* p = &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
        p[0] = static_cast<uint8_t>(colour & 0xFF);
        p[1] = static_cast<uint8_t>((colour >> 8) & 0xFF);
        p[2] = static_cast<uint8_t>((colour >> 16) & 0xFF);
    }
};

std::vector<uint8_t> encodePngRgb(const RgbImage& img);
// Binary PBM of a black-and-white picture given as one byte a pixel (non-zero = black).
std::vector<uint8_t> encodePbm(int width, int height, const std::vector<uint8_t>& black);

}  // namespace wp
