#include "import/bmp.h"

#include <algorithm>

#include "import/bytes.h"

namespace wp {
namespace {

// Compression methods of the info header.
enum Compression : uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitfields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitfields = 6,
};

constexpr uint64_t kFileHeaderBytes = 14;
// Pictures beyond this many pixels are not designs: 16 modules by the tallest
// design several times over.
constexpr uint64_t kMaxPixels = uint64_t{64} << 20;

// One colour component described by a mask, scaled to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t top = 0;  // largest value the mask holds

    explicit Channel(uint32_t m = 0) : mask(m) {
        if (m == 0) return;
        shift = __builtin_ctz(m);
        top = m >> shift;
    }
    uint32_t operator()(uint32_t pixel) const {
        if (top == 0) return 0;
        const uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint32_t>(std::min<uint64_t>((v * 255 + top / 2) / top, 255));
    }
};

bool fail(std::string& error, const std::string& why) {
    error = why;
    return false;
}

// Run-length compressed rows, bottom row first, into palette indices; the
// pixels a delta or an early end of line skips stay 0.
bool decodeRle(const ByteView& f, uint64_t at, int bits, Picture& out, std::string& error) {
    const int w = out.width, h = out.height;
    int x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint8_t v) {
        if (x < w && y < h)
            out.index[static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w) +
                      static_cast<size_t>(x)] = v;
        ++x;
    };
    while (true) {
        if (y >= h) return true;  // every row done; a missing end mark does not matter
        if (!f.has(at, 2)) return fail(error, "the compressed pixels end before the picture does");
        const uint8_t n = f.at(at)[0], v = f.at(at)[1];
        at += 2;
        if (n > 0) {
            for (int k = 0; k < n; ++k)
                put(bits == 8 ? v : static_cast<uint8_t>(k % 2 ? v & 0x0F : v >> 4));
            continue;
        }
        switch (v) {
            case 0:  // end of line
                x = 0;
                ++y;
                break;
            case 1:  // end of picture
                return true;
            case 2: {  // delta
                if (!f.has(at, 2))
                    return fail(error, "the compressed pixels end before the picture does");
                x += f.at(at)[0];
                y += f.at(at)[1];
                at += 2;
                break;
            }
            default: {  // v literal pixels, padded to a 16-bit boundary
                const uint64_t bytes = bits == 8 ? v : (v + 1u) / 2;
                if (!f.has(at, bytes))
                    return fail(error, "the compressed pixels end before the picture does");
                const uint8_t* p = f.at(at);
                for (int k = 0; k < v; ++k)
                    put(bits == 8 ? p[k]
                                  : static_cast<uint8_t>(k % 2 ? p[k / 2] & 0x0F : p[k / 2] >> 4));
                at += bytes + (bytes % 2);
                break;
            }
        }
    }
}

}  // namespace

bool decodeBmp(const uint8_t* data, size_t size, Picture& out, std::string& error) {
    out = Picture{};
    const ByteView f(data, size);
    if (!f.has(0, kFileHeaderBytes + 4))
        return fail(error, "the file is too short to be a BMP picture");
    if (f.at(0)[0] != 'B' || f.at(0)[1] != 'M') {
        if (f.at(0)[0] == 'B' && f.at(0)[1] == 'A')
            return fail(error, "it is an OS/2 bitmap array, not a single picture");
        return fail(error, "it is not a BMP picture (no \"BM\" at its start)");
    }
    const uint64_t pixelsAt = f.le32(10);
    const uint64_t headerBytes = f.le32(14);
    if (headerBytes < 12 || !f.has(kFileHeaderBytes, headerBytes))
        return fail(error, "its header is damaged (" + std::to_string(headerBytes) + " bytes)");

    int64_t width = 0, height = 0;
    int bits = 0;
    uint32_t compression = kRgb, coloursUsed = 0;
    uint32_t masks[3] = {0, 0, 0};
    int entryBytes = 4;
    const bool os2 = headerBytes == 12;
    uint64_t paletteAt = kFileHeaderBytes + headerBytes;
    if (os2) {
        // OS/2 1.x: 16-bit sizes, bottom-up, three-byte palette entries.
        width = f.le16(18);
        height = f.le16(20);
        bits = f.le16(24);
        entryBytes = 3;
    } else {
        if (headerBytes < 16)
            return fail(error, "its header is damaged (" + std::to_string(headerBytes) + " bytes)");
        width = static_cast<int32_t>(f.le32(18));
        height = static_cast<int32_t>(f.le32(22));
        bits = f.le16(28);
        if (headerBytes >= 20) compression = f.le32(30);
        if (headerBytes >= 36) coloursUsed = f.le32(46);
        // OS/2 2.x headers use 3 and 4 for Huffman and RLE24.
        const bool os2v2 = headerBytes == 16 || headerBytes == 64;
        if (os2v2 && (compression == 3 || compression == 4))
            return fail(error,
                        "it is an OS/2 picture compressed with Huffman or RLE24 coding, which is "
                        "not supported");
        if (compression == kBitfields || compression == kAlphaBitfields) {
            if (headerBytes >= 52) {
                masks[0] = f.le32(54);
                masks[1] = f.le32(58);
                masks[2] = f.le32(62);
            } else {
                // The masks follow a short header.
                const uint64_t maskBytes = compression == kAlphaBitfields ? 16 : 12;
                if (!f.has(paletteAt, maskBytes))
                    return fail(error, "the file ends inside its colour masks");
                masks[0] = f.le32(paletteAt);
                masks[1] = f.le32(paletteAt + 4);
                masks[2] = f.le32(paletteAt + 8);
                paletteAt += maskBytes;
            }
        }
    }

    if (compression == kJpeg || compression == kPng)
        return fail(error, std::string("it holds a ") + (compression == kJpeg ? "JPEG" : "PNG") +
                               " picture inside the BMP, which is not supported");
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0)
        return fail(error, "the picture is " + std::to_string(width) + " x " +
                               std::to_string(height) + " pixels");
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels)
        return fail(error, "the picture is " + std::to_string(width) + " x " +
                               std::to_string(height) + " pixels, too large to be a design");
    const bool known =
        bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (!known)
        return fail(error,
                    "it has " + std::to_string(bits) + " bits a pixel, which is not supported");
    const bool rle = compression == kRle8 || compression == kRle4;
    const bool masked = compression == kBitfields || compression == kAlphaBitfields;
    if ((compression == kRle8 && bits != 8) || (compression == kRle4 && bits != 4) ||
        (masked && bits != 16 && bits != 32) || compression > kAlphaBitfields)
        return fail(error, "its compression " + std::to_string(compression) + " does not go with " +
                               std::to_string(bits) + " bits a pixel");
    if (rle && topDown)
        return fail(error,
                    "it is a compressed picture stored top row first, which BMP does not allow");

    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);

    if (bits <= 8) {
        // The palette the file declares: as many entries as it says it uses,
        // else all its pixels can name, as far as the header and pixels leave room.
        uint64_t entries =
            coloursUsed != 0 ? std::min<uint64_t>(coloursUsed, 256) : uint64_t{1} << bits;
        if (pixelsAt > paletteAt)
            entries = std::min<uint64_t>(
                entries, (pixelsAt - paletteAt) / static_cast<uint64_t>(entryBytes));
        if (!f.has(paletteAt, entries * static_cast<uint64_t>(entryBytes)))
            return fail(error, "the file ends inside its palette");
        for (uint64_t i = 0; i < entries; ++i) {
            const uint8_t* e = f.at(paletteAt + i * static_cast<uint64_t>(entryBytes));
            out.palette.push_back(static_cast<uint32_t>(e[2]) | static_cast<uint32_t>(e[1]) << 8 |
                                  static_cast<uint32_t>(e[0]) << 16);
        }
        out.indexed = true;
        out.index.assign(pixels, 0);
    } else {
        out.colour.assign(pixels, 0);
    }

    if (!f.has(pixelsAt, 0) || pixelsAt < paletteAt)
        return fail(error, "its pixel data offset (" + std::to_string(pixelsAt) + ") is wrong");
    if (rle) return decodeRle(f, pixelsAt, bits, out, error);

    const uint64_t stride =
        (static_cast<uint64_t>(width) * static_cast<uint64_t>(bits) + 31) / 32 * 4;
    const uint64_t lastRow = (static_cast<uint64_t>(width) * static_cast<uint64_t>(bits) + 7) / 8;
    // The last row may lack its padding.
    if (!f.has(pixelsAt, stride * static_cast<uint64_t>(height - 1) + lastRow))
        return fail(error, "the file ends inside its pixel rows");

    Channel red, green, blue;
    if (bits == 16) {
        if (!masked) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        red = Channel(masks[0]), green = Channel(masks[1]), blue = Channel(masks[2]);
    } else if (bits == 32 && masked) {
        red = Channel(masks[0]), green = Channel(masks[1]), blue = Channel(masks[2]);
    }
    const auto w = static_cast<size_t>(width);
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* in =
            f.at(pixelsAt + stride * static_cast<uint64_t>(topDown ? y : height - 1 - y));
        const size_t o = static_cast<size_t>(y) * w;
        switch (bits) {
            case 1:
                for (size_t x = 0; x < w; ++x) out.index[o + x] = (in[x / 8] >> (7 - x % 8)) & 1;
                break;
            case 4:
                for (size_t x = 0; x < w; ++x)
                    out.index[o + x] = x % 2 ? in[x / 2] & 0x0F : in[x / 2] >> 4;
                break;
            case 8:
                std::copy(in, in + w, out.index.begin() + static_cast<std::ptrdiff_t>(o));
                break;
            case 16:
                for (size_t x = 0; x < w; ++x) {
                    const uint32_t v = static_cast<uint32_t>(in[2 * x] | in[2 * x + 1] << 8);
                    out.colour[o + x] = red(v) | green(v) << 8 | blue(v) << 16;
                }
                break;
            case 24:
                for (size_t x = 0; x < w; ++x)
                    out.colour[o + x] = static_cast<uint32_t>(in[3 * x + 2]) |
                                        static_cast<uint32_t>(in[3 * x + 1]) << 8 |
                                        static_cast<uint32_t>(in[3 * x]) << 16;
                break;
            case 32:
                for (size_t x = 0; x < w; ++x) {
                    const uint8_t* p = in + 4 * x;
                    if (masked) {
                        const uint32_t v =
                            static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                            static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
                        out.colour[o + x] = red(v) | green(v) << 8 | blue(v) << 16;
                    } else {
                        out.colour[o + x] = static_cast<uint32_t>(p[2]) |
                                            static_cast<uint32_t>(p[1]) << 8 |
                                            static_cast<uint32_t>(p[0]) << 16;
                    }
                }
                break;
        }
    }
    return true;
}

ReadResult BmpReader::read(const uint8_t* data, size_t size, DesignModel& d,
                           const ReadOptions& options) const {
    Picture p;
    std::string error;
    if (!decodeBmp(data, size, p, error)) {
        ReadResult r;
        return r.failed(error);
    }
    return readBilevel(p, d, options, true);
}

}  // namespace wp
