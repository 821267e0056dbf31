#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace wp::sim {

constexpr int kHooksPerModule = 220;
constexpr int kBlockBytes = 28;
constexpr int kMaxBlocks = 16;
constexpr int kPickBytes = kMaxBlocks * kBlockBytes;

using Block = std::array<std::uint8_t, kBlockBytes>;

// The host-side shuffle of one module block: the 220 hook bits (bit b at byte b/8, bit b%8)
// rewritten as four groups of seven bytes, MSB first, in the controller's valve order.
Block shuffleBlock(const Block& plain);
// Undoes shuffleBlock. Bits 220..223 of the result are always clear.
Block unshuffleBlock(const Block& shuffled);

// Where hook h (0-based) lives in a module-packed pick buffer.
struct BitPlace {
    int byte;
    int bit;
};
BitPlace hookPlace(int hook);

// 0-based lifted hooks of a module-packed pick buffer holding whole blocks, ascending.
std::vector<int> liftedHooks(std::span<const std::uint8_t> pick);

}  // namespace wp::sim
