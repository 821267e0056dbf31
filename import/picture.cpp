#include "import/picture.h"

#include <algorithm>

namespace wp {

int histogramThreshold(const int (&counts)[128]) {
    int largestCount = 0, largestPos = 0, secondCount = 0, secondPos = 0;
    for (int g = 1; g < 32; ++g) {
        const int count = counts[4 * g] + counts[4 * g + 1] + counts[4 * g + 2] + counts[4 * g + 3];
        const int pos = 4 * g + 1;
        const int before = g == 1 ? 0 : pos - 4;
        if (count > largestCount) {
            if (largestCount > 0 && (secondCount == 0 || secondPos < before)) {
                secondCount = largestCount;
                secondPos = largestPos;
            }
            largestCount = count;
            largestPos = pos;
        } else if (count > secondCount && secondPos < before) {
            secondCount = count;
            secondPos = pos;
        }
    }
    return (largestPos + secondPos) / 2;
}

int blankEdgeWidth(const Picture& p, int row) {
    const int w = p.width;
    for (int x = 32; x <= 240 && x < w; ++x)
        if (p.raw(row, x) != 0) return 0;
    int run = 0;
    for (int x = w - 1; x >= 0 && run < 240 && p.raw(row, x) == 0; --x) ++run;
    return run > 50 ? run : 0;
}

namespace {

// Whether every counted pixel is darker than mid-grey and none of them lies
// below the threshold: the sampled rows were one dark band, and the
// threshold they give would lift nothing of it (threshold 0 for pure black).
bool oneUnliftedDarkBand(const int (&counts)[128], int threshold) {
    for (int l = 0; l < 128; ++l)
        if (counts[l] != 0 && (l >= 64 || l < threshold)) return false;
    return true;
}

// Lightness counts of the columns first..last of the given rows of pixel data.
void countRows(const Picture& p, int fromRow, int toRow, int first, int last, int (&counts)[128]) {
    std::fill(std::begin(counts), std::end(counts), 0);
    if (p.indexed) {
        long perIndex[256] = {};
        for (int r = fromRow; r <= toRow; ++r) {
            const uint8_t* row = &p.index[static_cast<size_t>(r) * static_cast<size_t>(p.width)];
            for (int x = first; x <= last; ++x) ++perIndex[row[x]];
        }
        for (int i = 0; i < 256; ++i)
            if (perIndex[i])
                counts[lightness(p.colourOf(static_cast<uint32_t>(i)))] +=
                    static_cast<int>(std::min<long>(perIndex[i], 1 << 30));
        return;
    }
    for (int r = fromRow; r <= toRow; ++r) {
        const uint32_t* row = &p.colour[static_cast<size_t>(r) * static_cast<size_t>(p.width)];
        for (int x = first; x <= last; ++x) ++counts[lightness(row[x])];
    }
}

}  // namespace

ReadResult readBilevel(const Picture& p, DesignModel& d, const ReadOptions& options,
                       bool weftMarkers) {
    ReadResult r;
    if (p.width <= 0 || p.height <= 0) return r.failed("the picture is empty");
    if (p.width > 65535 || p.height > 65535)
        return r.failed("the picture is " + std::to_string(p.width) + " x " +
                        std::to_string(p.height) + " pixels, more than a design can have");
    d.header = DesignHeader{};
    d.header.set(Slot::warps, static_cast<uint16_t>(p.width));
    d.header.set(Slot::wefts, static_cast<uint16_t>(p.height));

    // Blank edges: the narrowest blank right edge of the first seven rows,
    // taken off both sides when the weaver agrees.
    int strip = 0, first = 0, width = p.width;
    if (p.width > 500 && p.height > 10) {
        strip = 500;
        for (int row = 0; row < 7; ++row) strip = std::min(strip, blankEdgeWidth(p, row));
        if (strip > 40 && options.askYesNo(kStripQuestion)) {
            width = p.width - 2 * strip;
            first = strip;
            d.header.set(Slot::warps, static_cast<uint16_t>(width));
        }
    }
    int last = first + width - 1;
    if (truncateToLoom(d, r)) first = last - d.header.warps() + 1;
    const int warps = d.header.warps();
    const int wefts = d.header.wefts();
    last = first + warps - 1;
    if (warps <= 0) return r.failed("no column of the picture fits the loom");
    if (!d.allocateMatrix()) {
        r.tell(BoxKind::Information, "Insufficient memory.");
        return r.failed("");
    }

    // Lift-matrix row j (pick wefts - j) is picture row j from the top; a
    // picture whose rows start at the bottom gives its bottom rows.
    auto dataRow = [&](int j) { return p.bottomUp ? wefts - 1 - j : j; };

    int counts[128];
    countRows(p, 0, std::min(1, p.height - 1), first, last, counts);
    int threshold = histogramThreshold(counts);
    if (oneUnliftedDarkBand(counts, threshold)) {
        // Two sampled rows of one dark band (a frame, a white-on-black fax)
        // give a threshold below the band itself: the whole picture tells
        // light from dark.
        const int a = dataRow(0), b = dataRow(wefts - 1);
        countRows(p, std::min(a, b), std::max(a, b), first, last, counts);
        threshold = histogramThreshold(counts);
    }

    // A colour is lifted when its largest and smallest components add up to
    // less than this (the same as its lightness being below the threshold).
    int darkBelow = 0;
    while (darkBelow <= 510 && ((darkBelow * 127 + 255) / 510) < threshold) ++darkBelow;
    bool liftedIndex[256] = {};
    if (p.indexed)
        for (int i = 0; i < 256; ++i)
            liftedIndex[i] = lightness(p.colourOf(static_cast<uint32_t>(i))) < threshold;
    for (int j = 0; j < wefts; ++j) {
        uint8_t* out = d.matrix.row(RowNo{j});
        const size_t at = static_cast<size_t>(dataRow(j)) * static_cast<size_t>(p.width) +
                          static_cast<size_t>(first);
        if (p.indexed) {
            // Eight pixels a byte, without a branch a pixel.
            const uint8_t* in = &p.index[at];
            int x = 0;
            for (; x + 8 <= warps; x += 8) {
                unsigned byte = 0;
                for (int k = 0; k < 8; ++k)
                    byte |= static_cast<unsigned>(liftedIndex[in[x + k]]) << k;
                out[x / 8] = static_cast<uint8_t>(byte);
            }
            for (; x < warps; ++x)
                out[x / 8] |=
                    static_cast<uint8_t>(static_cast<unsigned>(liftedIndex[in[x]]) << (x % 8));
        } else {
            const uint32_t* in = &p.colour[at];
            for (int x = 0; x < warps; ++x) {
                const uint32_t c = in[x];
                const int red = c & 0xFF, green = (c >> 8) & 0xFF, blue = (c >> 16) & 0xFF;
                const int sum = std::max({red, green, blue}) + std::min({red, green, blue});
                out[x / 8] |= static_cast<uint8_t>((sum < darkBelow ? 1u : 0u) << (x % 8));
            }
        }
    }
    d.initialiseColours(0);

    // Weft colours from the margin: a row with exactly one coloured pixel in
    // its first 16 columns colours its own pick. A row without one ends the
    // walk; after a coloured row it takes every colour back.
    if (weftMarkers && strip > 0) {
        int coloured = 0;
        for (int j = 0; j < wefts; ++j) {
            const int row = dataRow(j);
            int marks = 0;
            uint32_t mark = 0;
            for (int x = 0; x < 16 && x < p.width; ++x) {
                const uint32_t v = p.raw(row, x);
                if (v == 0) continue;
                ++marks;
                mark = p.colourOf(v);
            }
            if (marks != 1) {
                if (coloured > 0) d.weftColours.assign(d.weftColours.size(), kDefaultWeftColour);
                break;
            }
            d.weftColours[static_cast<size_t>(wefts - 1 - j)] = mark;
            ++coloured;
        }
    }
    return r;
}

ReadResult readPictureFile(PictureDecoder decode, const uint8_t* data, size_t size, DesignModel& d,
                           const ReadOptions& options, bool weftMarkers) {
    Picture p;
    std::string error;
    if (!decode(data, size, p, error)) {
        ReadResult r;
        return r.failed(error);
    }
    return readBilevel(p, d, options, weftMarkers);
}

}  // namespace wp
