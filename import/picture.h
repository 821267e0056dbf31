#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "import/reader.h"

namespace wp {

// A decoded picture as the bilevel readers use it: either palette indices or
// colours (0x00BBGGRR), one value a pixel, in rows of pixel data. A pixel's raw
// value is its index, or its colour; 0 is a blank pixel (index 0, or black).
struct Picture {
    int width = 0;
    int height = 0;
    bool indexed = false;
    std::vector<uint8_t> index;     // indexed: width x height
    std::vector<uint32_t> colour;   // otherwise: width x height
    std::vector<uint32_t> palette;  // indexed: the file's entries; others read as black
    // Row 0 of the pixel data is the bottom of the picture (a TIFF raster);
    // otherwise it is the top.
    bool bottomUp = false;

    uint32_t raw(int row, int x) const {
        const size_t i =
            static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(x);
        return indexed ? index[i] : colour[i];
    }
    // The colour a raw value stands for.
    uint32_t colourOf(uint32_t raw) const {
        if (!indexed) return raw;
        return raw < palette.size() ? palette[raw] : 0;
    }
};

// Lightness of a colour, 0..127: the mean of its largest and smallest component.
inline int lightness(uint32_t colour) {
    const int r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    const int most = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const int least = r < g ? (r < b ? r : b) : (g < b ? g : b);
    return ((most + least) * 127 + 255) / 510;
}

// The threshold of the histogram of 128 lightness counters: the middle of its
// two peaks, groups of four counters, ties never replacing.
int histogramThreshold(const int (&counts)[128]);

// Width of the blank right edge of a row of pixel data (0 when none).
int blankEdgeWidth(const Picture& p, int row);

inline constexpr const char* kStripQuestion = "Strip blank edges ?";

// Turns a picture into a design: blank edges stripped when the weaver says so,
// cut to the loom, dark pixels lifted. With weftMarkers, a row's one coloured
// pixel among the first 16 columns gives its pick's colour.
ReadResult readBilevel(const Picture& p, DesignModel& d, const ReadOptions& options,
                       bool weftMarkers);

}  // namespace wp
