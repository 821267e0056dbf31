#include "sim/shuffle.h"

namespace wp::sim {

namespace {

constexpr int kGroupBits = 55;  // 7 bytes, the last one's LSB unused
constexpr int kGroupBytes = 7;

// order[j] = hook bit written at shuffled position j.
constexpr std::array<std::uint8_t, kHooksPerModule> makeOrder() {
    std::array<std::uint8_t, kHooksPerModule> order{};
    std::size_t j = 0;
    for (int r = 9; r >= 0; --r) {
        for (int half : {110, 0}) {
            for (int k = 10; k >= 0; --k) order[j++] = static_cast<std::uint8_t>(half + r + 10 * k);
        }
    }
    return order;
}

constexpr auto kOrder = makeOrder();

BitPlace shuffledPlace(int position) {
    const int group = position / kGroupBits;
    const int within = position % kGroupBits;
    return {group * kGroupBytes + within / 8, 7 - within % 8};
}

bool testBit(const Block& block, BitPlace place) {
    return (block[static_cast<std::size_t>(place.byte)] >> place.bit) & 1U;
}

void setBit(Block& block, BitPlace place) {
    block[static_cast<std::size_t>(place.byte)] |= static_cast<std::uint8_t>(1U << place.bit);
}

}  // namespace

Block shuffleBlock(const Block& plain) {
    Block out{};
    for (int j = 0; j < kHooksPerModule; ++j) {
        const int hook = kOrder[static_cast<std::size_t>(j)];
        if (testBit(plain, {hook / 8, hook % 8})) setBit(out, shuffledPlace(j));
    }
    return out;
}

Block unshuffleBlock(const Block& shuffled) {
    Block out{};
    for (int j = 0; j < kHooksPerModule; ++j) {
        const int hook = kOrder[static_cast<std::size_t>(j)];
        if (testBit(shuffled, shuffledPlace(j))) setBit(out, {hook / 8, hook % 8});
    }
    return out;
}

BitPlace hookPlace(int hook) {
    const int module = hook / kHooksPerModule;
    const int within = hook % kHooksPerModule;
    return {module * kBlockBytes + within / 8, within % 8};
}

std::vector<int> liftedHooks(std::span<const std::uint8_t> pick) {
    std::vector<int> hooks;
    const int modules = static_cast<int>(pick.size()) / kBlockBytes;
    for (int hook = 0; hook < modules * kHooksPerModule; ++hook) {
        const BitPlace place = hookPlace(hook);
        if ((pick[static_cast<std::size_t>(place.byte)] >> place.bit) & 1U) hooks.push_back(hook);
    }
    return hooks;
}

}  // namespace wp::sim
