#include "platform/classic_rnd.h"

#include <gtest/gtest.h>

namespace vlt {
namespace {

TEST(ClassicRnd, MatchesThePublishedFirstResults) {
    ClassicRnd rnd;
    const struct {
        std::uint32_t state;
        float value;
        int pad;
    } expected[] = {
        {11837123, 0.7055475f, 180}, {8949370, 0.533424f, 136}, {9722709, 0.5795186f, 148}};
    for (const auto& e : expected) {
        const std::uint32_t state = rnd.NextState();
        EXPECT_EQ(state, e.state);
        EXPECT_FLOAT_EQ(ClassicRnd::Single(state), e.value);
        EXPECT_EQ(ClassicRnd::PadValue(state), e.pad);
        EXPECT_EQ(static_cast<int>(256.0f * ClassicRnd::Single(state) + 0.0f), e.pad);
    }
    EXPECT_EQ(ClassicRnd::PadValue(rnd.NextState()), 74);
}

TEST(ClassicRnd, JumpAheadEqualsStepping) {
    ClassicRnd stepped;
    EXPECT_EQ(ClassicRnd::StateAfter(0), ClassicRnd::kStartState);
    for (std::uint64_t n = 1; n <= 70000; ++n) {
        stepped.NextState();
        if (n < 300 || n % 4099 == 0 || n == 65536) {
            ASSERT_EQ(ClassicRnd::StateAfter(n), stepped.state()) << n;
        }
    }
}

TEST(ClassicRnd, SequenceHasPeriodTwoToTheTwentyFour) {
    EXPECT_EQ(ClassicRnd::StateAfter(1u << 24), ClassicRnd::kStartState);
    EXPECT_EQ(ClassicRnd::StateAfter((1ull << 24) + 1), ClassicRnd::StateAfter(1));
    EXPECT_EQ(ClassicRnd::StateAfter((5ull << 40) + 3), ClassicRnd::StateAfter(3));
    EXPECT_NE(ClassicRnd::StateAfter(1u << 23), ClassicRnd::kStartState);
}

TEST(ClassicRnd, PadValueIsTheSinglePrecisionFloorForEveryState) {
    for (std::uint32_t state = 0; state <= ClassicRnd::kMask; state += 251) {
        const float r = ClassicRnd::Single(state);
        ASSERT_EQ(static_cast<int>(256.0f * r + 0.0f), ClassicRnd::PadValue(state)) << state;
    }
}

}  // namespace
}  // namespace vlt
