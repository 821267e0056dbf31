#include <gtest/gtest.h>

#include <random>
#include <set>

#include "sim/shuffle.h"

namespace wp::sim {
namespace {

Block withBits(std::initializer_list<int> bits) {
    Block block{};
    for (int bit : bits)
        block[static_cast<std::size_t>(bit / 8)] |= static_cast<std::uint8_t>(1U << bit % 8);
    return block;
}

TEST(Shuffle, KnownVector) {
    Block expected{};
    expected[22] = 0x20;
    expected[25] = 0x80;
    expected[27] = 0x02;
    EXPECT_EQ(shuffleBlock(withBits({0, 1, 2})), expected);
    EXPECT_EQ(unshuffleBlock(expected), withBits({0, 1, 2}));
    // The first bits written are 219 then 209, into byte 0 from its top bit down.
    EXPECT_EQ(shuffleBlock(withBits({219, 209}))[0], 0xC0);
}

TEST(Shuffle, EveryHookHasItsOwnPlaceAndSkippedBitsStayClear) {
    std::set<std::pair<int, int>> places;
    for (int hook = 0; hook < kHooksPerModule; ++hook) {
        const Block shuffled = shuffleBlock(withBits({hook}));
        int setBits = 0;
        for (int byte = 0; byte < kBlockBytes; ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                if (!((shuffled[static_cast<std::size_t>(byte)] >> bit) & 1U)) continue;
                ++setBits;
                places.insert({byte, bit});
                EXPECT_FALSE(bit == 0 && byte % 7 == 6) << "hook " << hook << " in a skipped bit";
            }
        }
        EXPECT_EQ(setBits, 1) << "hook " << hook;
    }
    EXPECT_EQ(places.size(), static_cast<std::size_t>(kHooksPerModule));
}

TEST(Shuffle, RoundTripDropsOnlyTheUnusedBits) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        Block block;
        for (auto& byte : block) byte = static_cast<std::uint8_t>(random());
        Block expected = block;
        expected[27] &= 0x0F;  // bits 220..223 carry nothing
        EXPECT_EQ(unshuffleBlock(shuffleBlock(block)), expected);
    }
}

TEST(ModulePacking, HooksOfLaterModulesStartAtTheirBlock) {
    EXPECT_EQ(hookPlace(219).byte, 27);
    EXPECT_EQ(hookPlace(219).bit, 3);
    EXPECT_EQ(hookPlace(220).byte, 28);
    EXPECT_EQ(hookPlace(220).bit, 0);
    EXPECT_EQ(hookPlace(447).byte, 2 * 28);  // module 3, its hook 7
    EXPECT_EQ(hookPlace(447).bit, 7);

    std::vector<std::uint8_t> pick(2 * kBlockBytes, 0);
    pick[27] = 0xF8;  // hook 219 plus the four unused bits
    pick[28] = 0x01;  // hook 220
    EXPECT_EQ(liftedHooks(pick), (std::vector<int>{219, 220}));
}

}  // namespace
}  // namespace wp::sim
