// test_random.cpp: the shared generator, its skip rule and the jump-ahead behind it.
#include <gtest/gtest.h>

#include "core/core.h"

namespace {

uint32_t stepLoop(uint32_t state, uint64_t steps) {
    for (uint64_t i = 0; i < steps; ++i) state = state * 1664525u + 1013904223u;
    return state;
}

class RandomTest : public ::testing::Test {
protected:
    void SetUp() override { randomSeed = 0; }
};

TEST_F(RandomTest, FirstStatesAndResults) {
    EXPECT_EQ(nextRandom(), 1013904223.0 / 2147483648.0);
    EXPECT_EQ(randomSeed, 0x3C6EF35Fu);
    nextRandom();
    const uint32_t second = randomSeed;
    const double third = nextRandom();
    EXPECT_EQ(randomSeed, second * 1664525u + 1013904223u);
    ASSERT_NE(randomSeed & 0x80000000u, 0u) << "the third state has its top bit set";
    const double magnitude = -static_cast<double>(static_cast<int32_t>(randomSeed));
    EXPECT_EQ(third, magnitude / 2147483648.0);
    EXPECT_GT(third, 0.0);
    EXPECT_LE(third, 1.0);
}

TEST_F(RandomTest, ExtremeStates) {
    // Find the predecessor of 0x80000000 by stepping back with the inverse multiplier.
    const uint32_t inverse = 4276115653u;  // 1664525 * inverse = 1 mod 2^32
    ASSERT_EQ(1664525u * inverse, 1u);
    randomSeed = (0x80000000u - 1013904223u) * inverse;
    EXPECT_EQ(nextRandom(), 1.0);
    randomSeed = (0u - 1013904223u) * inverse;
    EXPECT_EQ(nextRandom(), 0.0);
}

TEST_F(RandomTest, SkipCountsOnlyTheLowByte) {
    for (uint32_t n : {1u, 257u, 0x12345601u}) {
        randomSeed = 777u;
        skipRandom(n);
        EXPECT_EQ(randomSeed, 777u) << "skipRandom(" << n << ") must change nothing";
    }
    randomSeed = 0;
    skipRandom(2);
    EXPECT_EQ(randomSeed, 0x3C6EF35Fu);
    randomSeed = 5;
    skipRandom(200);
    EXPECT_EQ(randomSeed, stepLoop(5, 199));
    randomSeed = 5;
    skipRandom(0xABCD00FFu);
    EXPECT_EQ(randomSeed, stepLoop(5, 254));
}

TEST_F(RandomTest, SkipOfLowByteZeroStepsOneBack) {
    for (uint32_t n : {256u, 0u, 512u}) {
        randomSeed = 0x3C6EF35Fu;
        skipRandom(n);
        EXPECT_EQ(randomSeed, 0u) << "2^32 - 1 steps leave the state one step behind";
    }
}

TEST_F(RandomTest, AfterSkipTwoTheTunnelGetsTheSecondValue) {
    skipRandom(2);
    const double firstForTunnel = nextRandom();
    randomSeed = 0;
    nextRandom();
    EXPECT_EQ(firstForTunnel, nextRandom());
}

TEST_F(RandomTest, JumpAheadMatchesTheLoop) {
    for (uint32_t steps = 0; steps < 600; steps += 7) {
        randomSeed = 0xDEADBEEFu;
        advanceRandom(steps);
        EXPECT_EQ(randomSeed, stepLoop(0xDEADBEEFu, steps)) << steps << " steps";
    }
    randomSeed = 123456789u;
    advanceRandom(100000u);
    EXPECT_EQ(randomSeed, stepLoop(123456789u, 100000u));
}

TEST_F(RandomTest, FullPeriodReturnsToTheStart) {
    randomSeed = 42u;
    advanceRandom(0xFFFFFFFFu);
    nextRandom();
    EXPECT_EQ(randomSeed, 42u);
}

}  // namespace
