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

    RgbImage(int w, int h)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0) {}
    // colour is 0x00BBGGRR, as the design model keeps colours.
    void set(int x, int y, uint32_t colour) {
        uint8_t* p =
            &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                    3];
        p[0] = static_cast<uint8_t>(colour & 0xFF);
        p[1] = static_cast<uint8_t>((colour >> 8) & 0xFF);
        p[2] = static_cast<uint8_t>((colour >> 16) & 0xFF);
    }
    uint32_t at(int x, int y) const {
        const uint8_t* p =
            &pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                    3];
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16;
    }
};

// A picture of palette indices, one byte a pixel, rows top to bottom; the
// palette's colours are 0x00BBGGRR.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> palette;

    IndexedImage(int w, int h)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), 0) {}
    uint8_t& at(int x, int y) {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

std::vector<uint8_t> encodePngRgb(const RgbImage& img);
// Binary PBM of a black-and-white picture given as one byte a pixel (non-zero = black).
std::vector<uint8_t> encodePbm(int width, int height, const std::vector<uint8_t>& black);

// Uncompressed Windows BMP files, bottom row first: palette pictures of 1, 4
// or 8 bits a pixel, and 24-bit colour pictures.
std::vector<uint8_t> encodeBmp(const IndexedImage& img, int bitsPerPixel);
std::vector<uint8_t> encodeBmp(const RgbImage& img);

struct JpegOptions {
    int quality = 90;
    bool progressive = false;
    bool grey = false;  // one component: the pixels' green
};
std::vector<uint8_t> encodeJpeg(const RgbImage& img, const JpegOptions& options = {});

enum class TiffKind {
    Rgb,    // 8 bits a component, deflate
    FaxG4,  // bilevel, CCITT group 4, 0 is white (dark pixels are black)
    Grey8,  // 8-bit grey, LZW
};
// A TIFF file, or nothing when libtiff refused (the reason in error).
std::vector<uint8_t> encodeTiff(const RgbImage& img, TiffKind kind, std::string* error = nullptr);

}  // namespace wp
