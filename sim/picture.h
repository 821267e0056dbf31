#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/status.h"

namespace wp::sim {

// A black-and-white picture, rows packed MSB first (the PBM P4 layout), 1 = black.
class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return (width_ + 7) / 8; }
    bool black(int x, int y) const;
    void setBlack(int x, int y);
    const std::uint8_t* row(int y) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> bits_;
};

// 1-bit grayscale PNG. Empty on failure (zero-sized picture or zlib error).
std::vector<std::uint8_t> encodePng(const Bitmap& bitmap);
// Binary PBM (P4).
std::vector<std::uint8_t> encodePbm(const Bitmap& bitmap);
// PNG when the path ends in .png (any case), PBM otherwise.
Status writePicture(const std::string& path, const Bitmap& bitmap);

}  // namespace wp::sim
