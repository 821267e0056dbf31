#include <gtest/gtest.h>

#include "tools/transforms.h"

namespace wp {
namespace {

TEST(ReverseNextWeft, WrapsAtOneAndEndWeft) {
    DesignModel d;
    d.currentPick = 1;
    EXPECT_EQ(reverseNextWeft(d, true, 40), 40);
    d.currentPick = 17;
    EXPECT_EQ(reverseNextWeft(d, true, 40), 16);
    EXPECT_EQ(reverseNextWeft(d, false, 40), 18);
    // Forwards from End weft wraps to 1, not to Start weft.
    d.currentPick = 40;
    EXPECT_EQ(reverseNextWeft(d, false, 40), 1);
    EXPECT_EQ(d.currentPick, 40);
}

TEST(ReverseNextWeft, PickZeroBecomesEndWeftWhenReversing) {
    DesignModel d;
    d.currentPick = 0;
    EXPECT_EQ(reverseNextWeft(d, true, 40), 39);
    EXPECT_EQ(d.currentPick, 40);
    d.currentPick = 0;
    EXPECT_EQ(reverseNextWeft(d, true, 1), 1);
    EXPECT_EQ(d.currentPick, 1);
    // Forwards leaves a pick of 0 alone.
    d.currentPick = 0;
    EXPECT_EQ(reverseNextWeft(d, false, 40), 1);
    EXPECT_EQ(d.currentPick, 0);
}

}  // namespace
}  // namespace wp
