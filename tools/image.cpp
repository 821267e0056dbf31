#include "tools/image.h"

#include <zlib.h>

#include <string>

namespace wp {
namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    put32(out, static_cast<uint32_t>(crc));
}

}  // namespace

std::vector<uint8_t> encodePngRgb(const RgbImage& img) {
    if (img.width <= 0 || img.height <= 0) return {};
    const size_t rowBytes = static_cast<size_t>(img.width) * 3;
    std::vector<uint8_t> raw;
    raw.reserve((rowBytes + 1) * static_cast<size_t>(img.height));
    for (int y = 0; y < img.height; ++y) {
        raw.push_back(0);  // no filter
        const auto* row = img.pixels.data() + static_cast<size_t>(y) * rowBytes;
        raw.insert(raw.end(), row, row + rowBytes);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
        return {};
    packed.resize(packedSize);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put32(ihdr, static_cast<uint32_t>(img.width));
    put32(ihdr, static_cast<uint32_t>(img.height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter, no interlace
    chunk(out, "IHDR", ihdr);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", {});
    return out;
}

std::vector<uint8_t> encodePbm(int width, int height, const std::vector<uint8_t>& black) {
    const std::string head = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
    std::vector<uint8_t> out(head.begin(), head.end());
    const size_t stride = static_cast<size_t>((width + 7) / 8);
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < width; ++x)
            if (black[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)])
                row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80u >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace wp
