#include "tests/support/bmpbuilder.h"

#include <algorithm>

namespace wp::test {
namespace {

void put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

int headerBytes(BmpForm::Header h) {
    switch (h) {
        case BmpForm::Header::Os2:
            return 12;
        case BmpForm::Header::Info:
            return 40;
        case BmpForm::Header::V4:
            return 108;
        case BmpForm::Header::V5:
            return 124;
    }
    return 40;
}

bool hasMasks(const BmpForm& f) {
    return f.masks[0] | f.masks[1] | f.masks[2];
}

// Headers and palette; pixels are appended by the caller.
std::vector<uint8_t> start(int width, int height, const BmpForm& f,
                           const std::vector<uint32_t>& palette, size_t& sizeAt) {
    std::vector<uint8_t> out = {'B', 'M'};
    put(out, 0, 4);  // file size, patched at the end
    put(out, 0, 4);
    sizeAt = out.size();
    put(out, 0, 4);  // pixel offset, patched below
    const int hb = headerBytes(f.header);
    put(out, static_cast<uint32_t>(hb), 4);
    const bool masks = hasMasks(f);
    if (f.header == BmpForm::Header::Os2) {
        put(out, static_cast<uint32_t>(width), 2);
        put(out, static_cast<uint32_t>(height), 2);
        put(out, 1, 2);
        put(out, static_cast<uint32_t>(f.bits), 2);
    } else {
        put(out, static_cast<uint32_t>(width), 4);
        put(out, static_cast<uint32_t>(f.topDown ? -height : height), 4);
        put(out, 1, 2);
        put(out, static_cast<uint32_t>(f.bits), 2);
        put(out, f.rle ? (f.bits == 8 ? 1u : 2u) : masks ? 3u : 0u, 4);
        put(out, 0, 4);  // image size: may be 0 when not compressed
        put(out, 2835, 4);
        put(out, 2835, 4);
        put(out, f.declareColoursUsed ? static_cast<uint32_t>(palette.size()) : 0u, 4);
        put(out, 0, 4);
        if (hb > 40) {
            for (uint32_t m : f.masks) put(out, m, 4);
            put(out, 0, 4);  // alpha mask
            out.resize(14 + static_cast<size_t>(hb), 0);
        } else if (masks) {
            for (uint32_t m : f.masks) put(out, m, 4);
        }
    }
    for (uint32_t c : palette) {
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c));
        if (f.header != BmpForm::Header::Os2) out.push_back(0);
    }
    const auto at = static_cast<uint32_t>(out.size());
    for (int k = 0; k < 4; ++k)
        out[sizeAt + static_cast<size_t>(k)] = static_cast<uint8_t>(at >> (8 * k));
    return out;
}

void finish(std::vector<uint8_t>& out) {
    const auto size = static_cast<uint32_t>(out.size());
    for (int k = 0; k < 4; ++k)
        out[2 + static_cast<size_t>(k)] = static_cast<uint8_t>(size >> (8 * k));
}

// Rows bottom first unless top-down; each padded to four bytes.
template <typename Pixel>
void rows(std::vector<uint8_t>& out, int width, int height, const BmpForm& f, int bits,
          Pixel pixel) {
    const size_t stride = (static_cast<size_t>(width) * static_cast<size_t>(bits) + 31) / 32 * 4;
    for (int k = 0; k < height; ++k) {
        const int y = f.topDown ? k : height - 1 - k;
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < width; ++x) {
            const uint32_t v = pixel(x, y);
            const size_t bit = static_cast<size_t>(x) * static_cast<size_t>(bits);
            if (bits < 8) {
                row[bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
            } else {
                for (int b = 0; b < bits / 8; ++b)
                    row[bit / 8 + static_cast<size_t>(b)] = static_cast<uint8_t>(v >> (8 * b));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

// Run-length coding: runs of one index as counted pairs, mixed stretches of
// three or more as literal runs, an end of line after each row and an end of
// picture mark.
void rle(std::vector<uint8_t>& out, const IndexedImage& img, int bits) {
    for (int y = img.height - 1; y >= 0; --y) {
        const uint8_t* row = &img.pixels[static_cast<size_t>(y) * static_cast<size_t>(img.width)];
        int x = 0;
        while (x < img.width) {
            int run = 1;
            // RLE4 repeats a pair of nibbles: a run of one index is a pair of equals.
            while (x + run < img.width && run < 255 && row[x + run] == row[x]) ++run;
            if (run >= 2 || img.width - x < 3) {
                out.push_back(static_cast<uint8_t>(run));
                out.push_back(bits == 8 ? row[x] : static_cast<uint8_t>(row[x] << 4 | row[x]));
                x += run;
                continue;
            }
            int lit = 1;
            while (x + lit < img.width && lit < 255 &&
                   (x + lit + 1 >= img.width || row[x + lit] != row[x + lit + 1]))
                ++lit;
            if (lit < 3) lit = std::min(3, img.width - x);
            out.push_back(0);
            out.push_back(static_cast<uint8_t>(lit));
            std::vector<uint8_t> bytes;
            for (int k = 0; k < lit; ++k) {
                if (bits == 8) {
                    bytes.push_back(row[x + k]);
                } else if (k % 2 == 0) {
                    bytes.push_back(static_cast<uint8_t>(row[x + k] << 4));
                } else {
                    bytes.back() |= row[x + k];
                }
            }
            if (bytes.size() % 2) bytes.push_back(0);
            out.insert(out.end(), bytes.begin(), bytes.end());
            x += lit;
        }
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(1);
}

}  // namespace

std::vector<uint8_t> buildBmp(const IndexedImage& img, const BmpForm& form) {
    std::vector<uint32_t> palette = img.palette;
    const size_t entries =
        form.coloursUsed > 0 ? static_cast<size_t>(form.coloursUsed) : size_t{1} << form.bits;
    palette.resize(entries, 0);
    size_t offsetAt = 0;
    std::vector<uint8_t> out = start(img.width, img.height, form, palette, offsetAt);
    if (form.rle)
        rle(out, img, form.bits);
    else
        rows(out, img.width, img.height, form, form.bits, [&](int x, int y) {
            return img.pixels[static_cast<size_t>(y) * static_cast<size_t>(img.width) +
                              static_cast<size_t>(x)];
        });
    finish(out);
    return out;
}

std::vector<uint8_t> buildBmp(const RgbImage& img, const BmpForm& form) {
    size_t offsetAt = 0;
    std::vector<uint8_t> out = start(img.width, img.height, form, {}, offsetAt);
    const bool masks = hasMasks(form);
    rows(out, img.width, img.height, form, form.bits, [&](int x, int y) -> uint32_t {
        const uint32_t c = img.at(x, y);
        const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
        if (form.bits == 24) return b | g << 8 | r << 16;
        if (!masks && form.bits == 32) return b | g << 8 | r << 16;
        // Each component scaled down to its mask's width; 16 bits without
        // masks are 5-5-5.
        auto field = [](uint32_t v, uint32_t mask) {
            const int shift = __builtin_ctz(mask);
            const uint32_t top = mask >> shift;
            return ((v * top + 127) / 255) << shift;
        };
        const uint32_t m[3] = {masks ? form.masks[0] : 0x7C00u, masks ? form.masks[1] : 0x03E0u,
                               masks ? form.masks[2] : 0x001Fu};
        return field(r, m[0]) | field(g, m[1]) | field(b, m[2]);
    });
    finish(out);
    return out;
}

}  // namespace wp::test
