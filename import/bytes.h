#pragma once

#include <cstddef>
#include <cstdint>

namespace wp {

// A whole file held in memory, read at offsets the file itself gives: every
// range is checked against the end before it is touched.
class ByteView {
public:
    ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t size() const { return size_; }
    // Whether n bytes from offset lie inside the file (offsets from the file
    // may be anything, so no sum here can overflow).
    bool has(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }
    const uint8_t* at(uint64_t offset) const { return data_ + offset; }

    // Callers check has() first.
    uint16_t le16(uint64_t o) const { return static_cast<uint16_t>(data_[o] | data_[o + 1] << 8); }
    uint32_t le32(uint64_t o) const {
        return static_cast<uint32_t>(data_[o]) | static_cast<uint32_t>(data_[o + 1]) << 8 |
               static_cast<uint32_t>(data_[o + 2]) << 16 |
               static_cast<uint32_t>(data_[o + 3]) << 24;
    }
    uint16_t be16(uint64_t o) const { return static_cast<uint16_t>(data_[o] << 8 | data_[o + 1]); }
    uint32_t be32(uint64_t o) const {
        return static_cast<uint32_t>(data_[o]) << 24 | static_cast<uint32_t>(data_[o + 1]) << 16 |
               static_cast<uint32_t>(data_[o + 2]) << 8 | static_cast<uint32_t>(data_[o + 3]);
    }

private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace wp
