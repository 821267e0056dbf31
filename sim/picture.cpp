#include "sim/picture.h"

#include <zlib.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace wp::sim {

Bitmap::Bitmap(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      bits_(static_cast<std::size_t>(stride()) * static_cast<std::size_t>(height_), 0) {}

bool Bitmap::black(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    return (row(y)[x / 8] >> (7 - x % 8)) & 1U;
}

void Bitmap::setBlack(int x, int y) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    const std::size_t index = static_cast<std::size_t>(y) * static_cast<std::size_t>(stride()) +
                              static_cast<std::size_t>(x / 8);
    bits_[index] |= static_cast<std::uint8_t>(0x80U >> (x % 8));
}

const std::uint8_t* Bitmap::row(int y) const {
    return bits_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride());
}

namespace {

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void putChunk(std::vector<std::uint8_t>& out, const char (&type)[5],
              const std::vector<std::uint8_t>& data) {
    putU32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    // The CRC covers the chunk type and data, not the length.
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    putU32(out, static_cast<std::uint32_t>(crc));
}

bool endsWithPng(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".png";
}

}  // namespace

std::vector<std::uint8_t> encodePng(const Bitmap& bitmap) {
    if (bitmap.width() <= 0 || bitmap.height() <= 0) return {};
    const auto stride = static_cast<std::size_t>(bitmap.stride());

    // PNG gray 0 is black, so the bits are inverted; each row starts with filter type 0.
    std::vector<std::uint8_t> raw;
    raw.reserve((stride + 1) * static_cast<std::size_t>(bitmap.height()));
    for (int y = 0; y < bitmap.height(); ++y) {
        raw.push_back(0);
        const std::uint8_t* row = bitmap.row(y);
        for (std::size_t i = 0; i < stride; ++i) raw.push_back(static_cast<std::uint8_t>(~row[i]));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    packed.resize(packedSize);

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putU32(header, static_cast<std::uint32_t>(bitmap.width()));
    putU32(header, static_cast<std::uint32_t>(bitmap.height()));
    header.insert(header.end(), {1, 0, 0, 0, 0});  // depth 1, gray, deflate, filter 0, no interlace
    putChunk(out, "IHDR", header);
    putChunk(out, "IDAT", packed);
    putChunk(out, "IEND", {});
    return out;
}

std::vector<std::uint8_t> encodePbm(const Bitmap& bitmap) {
    const std::string header =
        "P4\n" + std::to_string(bitmap.width()) + " " + std::to_string(bitmap.height()) + "\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    for (int y = 0; y < bitmap.height(); ++y) {
        out.insert(out.end(), bitmap.row(y), bitmap.row(y) + bitmap.stride());
    }
    return out;
}

Status writePicture(const std::string& path, const Bitmap& bitmap) {
    const bool png = endsWithPng(path);
    const std::vector<std::uint8_t> bytes = png ? encodePng(bitmap) : encodePbm(bitmap);
    if (bytes.empty()) return Status::failure("cannot encode picture " + path);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return Status::failure("cannot write " + path + ": " + std::strerror(errno));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) return Status::failure("cannot write " + path);
    return Status::success();
}

}  // namespace wp::sim
