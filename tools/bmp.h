#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wp {

// Windows bitmaps (BMP): the 54-byte header written before every picture we
// save, and a reader for the uncompressed kinds other programs save.
inline constexpr int kBmpHeaderBytes = 54;
inline constexpr int kBmpPixelsPerMetre = 2834;

// Bytes of one stored row of W pixels of B bits.
inline int bmpRowBytes(int width, int bitsPerPixel) {
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// BITMAPFILEHEADER and a 40-byte BITMAPINFOHEADER for a bottom-up,
// uncompressed picture of W x H pixels of B bits with D colour-table entries.
std::vector<uint8_t> bmpHeader(int width, int height, int bitsPerPixel, int tableEntries);

// A decoded bitmap: every pixel's colour as 0x00BBGGRR, row 0 at the top.
struct BmpImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

// Decodes 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed or with bit
// fields, bottom-up or top-down, of at most maxPixels pixels. False with the
// reason when it cannot.
bool decodeBmp(const std::vector<uint8_t>& bytes, BmpImage& out, std::string& error,
               size_t maxPixels = size_t{1} << 26);

}  // namespace wp
