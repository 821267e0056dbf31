#pragma once

#include <cstdint>
#include <cstring>

// A lift-matrix row read 64 cells at a time, for the float passes.
namespace wp::rowwords {

// Bytes 8k .. 8k + 7 of a row as one word, bit x of the row at bit x % 64;
// the row's last word may be short.
inline uint64_t rowWord(const uint8_t* row, int k, int rowBytes) {
    uint64_t w = 0;
    const int at = k * 8;
    if (at + 8 <= rowBytes)
        std::memcpy(&w, row + at, 8);
    else if (at < rowBytes)
        std::memcpy(&w, row + at, static_cast<size_t>(rowBytes - at));
    return w;
}

// The cells of word k that lie inside a line of n cells.
inline uint64_t cellsOf(int k, int n) {
    const int left = n - k * 64;
    return left >= 64 ? ~uint64_t{0} : left <= 0 ? 0 : (uint64_t{1} << left) - 1;
}

}  // namespace wp::rowwords
