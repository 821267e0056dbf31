#include "tools/bmp.h"

#include <algorithm>
#include <cstdlib>

namespace wp {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

uint32_t get16(const std::vector<uint8_t>& b, size_t at) {
    return at + 2 <= b.size() ? static_cast<uint32_t>(b[at] | b[at + 1] << 8) : 0;
}

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return get16(b, at) | get16(b, at + 2) << 16;
}

// One colour channel of a bit-field pixel, scaled to 0..255.
uint32_t channel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = __builtin_ctz(mask);
    const uint64_t max = mask >> shift;
    return static_cast<uint32_t>(((pixel & mask) >> shift) * uint64_t{255} / max);
}

}  // namespace

std::vector<uint8_t> bmpHeader(int width, int height, int bitsPerPixel, int tableEntries) {
    const auto image =
        static_cast<uint32_t>(bmpRowBytes(width, bitsPerPixel)) * static_cast<uint32_t>(height);
    const auto table = 4u * static_cast<uint32_t>(tableEntries);
    std::vector<uint8_t> h;
    h.reserve(kBmpHeaderBytes);
    h.push_back('B');
    h.push_back('M');
    put32(h, image + table + kBmpHeaderBytes);  // file size
    put32(h, 0);                                // reserved
    put32(h, table + kBmpHeaderBytes);          // pixel data offset
    put32(h, 40);                               // info header size
    put32(h, static_cast<uint32_t>(width));
    put32(h, static_cast<uint32_t>(height));  // positive: bottom-up
    put16(h, 1);                              // planes
    put16(h, static_cast<uint32_t>(bitsPerPixel));
    put32(h, 0);  // no compression
    put32(h, image);
    put32(h, kBmpPixelsPerMetre);
    put32(h, kBmpPixelsPerMetre);
    put32(h, static_cast<uint32_t>(tableEntries));  // colours used
    put32(h, static_cast<uint32_t>(tableEntries));  // colours important
    return h;
}

bool decodeBmp(const std::vector<uint8_t>& b, BmpImage& out, std::string& error, size_t maxPixels) {
    const auto fail = [&error](const char* why) {
        error = why;
        return false;
    };
    if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return fail("not a BMP picture");
    const uint32_t dataOffset = get32(b, 10);
    const uint32_t infoSize = get32(b, 14);
    int32_t width, height;
    uint32_t bits, compression = 0, used = 0;
    if (infoSize == 12) {  // the old OS/2 header
        width = static_cast<int32_t>(get16(b, 18));
        height = static_cast<int32_t>(get16(b, 20));
        bits = get16(b, 24);
    } else if (infoSize >= 40 && b.size() >= 54) {
        width = static_cast<int32_t>(get32(b, 18));
        height = static_cast<int32_t>(get32(b, 22));
        bits = get16(b, 28);
        compression = get32(b, 30);
        used = get32(b, 46);
    } else {
        return fail("unknown BMP header");
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > 1 << 16 || height > 1 << 16 ||
        static_cast<size_t>(width) * static_cast<size_t>(height) > maxPixels)
        return fail("impossible picture size");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return fail("unsupported number of bits per pixel");
    const bool bitFields = compression == 3 && (bits == 16 || bits == 32);
    if (compression != 0 && !bitFields) return fail("compressed BMP pictures are not read");

    // Bit fields follow a 40-byte header; later headers hold them.
    uint32_t masks[3] = {0, 0, 0};
    size_t tableAt = 14 + infoSize;
    if (bitFields) {
        const size_t at = infoSize == 40 ? tableAt : 14 + 40;
        for (int i = 0; i < 3; ++i) masks[i] = get32(b, at + 4 * static_cast<size_t>(i));
        if (infoSize == 40) tableAt += 12;
    } else if (bits == 16) {
        masks[0] = 0x7C00;  // 5-5-5
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    // The colour table of an indexed picture.
    std::vector<uint32_t> table;
    if (bits <= 8) {
        const size_t entry = infoSize == 12 ? 3 : 4;
        size_t n = used != 0 ? used : size_t{1} << bits;
        n = std::min<size_t>(n, 256);
        if (dataOffset > tableAt) n = std::min(n, (dataOffset - tableAt) / entry);
        for (size_t i = 0; i < n && tableAt + i * entry + 3 <= b.size(); ++i) {
            const size_t at = tableAt + i * entry;
            table.push_back(static_cast<uint32_t>(b[at + 2] | b[at + 1] << 8 | b[at] << 16));
        }
    }

    const auto rowBytes = static_cast<size_t>(bmpRowBytes(width, static_cast<int>(bits)));
    if (dataOffset > b.size() || b.size() - dataOffset < rowBytes * static_cast<size_t>(height))
        return fail("the picture data is cut short");
    out.width = width;
    out.height = height;
    out.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const int stored = topDown ? y : height - 1 - y;
        const uint8_t* row = b.data() + dataOffset + static_cast<size_t>(stored) * rowBytes;
        for (int x = 0; x < width; ++x) {
            uint32_t colour = 0;
            if (bits <= 8) {
                const int per = 8 / static_cast<int>(bits);
                const int shift = 8 - static_cast<int>(bits) * (x % per + 1);
                const uint32_t index = (row[x / per] >> shift) & ((1u << bits) - 1);
                // An index beyond the table stands for itself.
                colour = index < table.size() ? table[index] : index;
            } else if (bits == 16 || (bits == 32 && bitFields)) {
                const size_t at = static_cast<size_t>(x) * (bits / 8);
                const uint32_t p =
                    bits == 16
                        ? static_cast<uint32_t>(row[at] | row[at + 1] << 8)
                        : static_cast<uint32_t>(row[at] | row[at + 1] << 8 | row[at + 2] << 16 |
                                                static_cast<uint32_t>(row[at + 3]) << 24);
                colour =
                    channel(p, masks[0]) | channel(p, masks[1]) << 8 | channel(p, masks[2]) << 16;
            } else {
                const uint8_t* p = row + static_cast<size_t>(x) * (bits / 8);
                colour = static_cast<uint32_t>(p[2] | p[1] << 8 | p[0] << 16);
            }
            out.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) +
                       static_cast<size_t>(x)] = colour;
        }
    }
    return true;
}

}  // namespace wp
