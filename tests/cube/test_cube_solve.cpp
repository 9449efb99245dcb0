// test_cube_solve.cpp: the recorded scramble, its bounds, and the timed solve that plays it
// back: pace, animation, the solved end and a clock that goes back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/core.h"
#include "cube/cube.h"

namespace {

float maxDifference(const D3DXMATRIX& a, const D3DXMATRIX& b) {
    float worst = 0.0f;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) worst = std::fmax(worst, std::fabs(a.m[r][c] - b.m[r][c]));
    return worst;
}

bool solved(float tolerance) {
    for (int32_t i = 0; i < cubeStickers; ++i) {
        if (slotSticker[i] != i) return false;
        if (maxDifference(stickerTurn[i], identityMatrix) > tolerance) return false;
        if (maxDifference(stickerPose[i], stickerTurn[i]) != 0.0f) return false;
    }
    return true;
}

class CubeSolveTest : public ::testing::Test {
protected:
    void SetUp() override {
        loadMathApi();
        randomSeed = 1013904223u;
    }
};

TEST_F(CubeSolveTest, ScrambleRecordsTwoDrawsPerMoveDirectionFirst) {
    const uint32_t seed = randomSeed;
    scrambleCube(125);
    EXPECT_EQ(scrambleLength, 125);
    EXPECT_EQ(solvedMoves, 0);
    EXPECT_EQ(currentMove, -1);
    const uint32_t after = randomSeed;
    randomSeed = seed;
    advanceRandom(250);
    EXPECT_EQ(randomSeed, after);

    randomSeed = seed;
    for (int32_t j = 0; j < 125; ++j) {
        const double direction = nextRandom();
        const double move = nextRandom();
        EXPECT_EQ(scrambleDirections[j], direction <= 0.5 ? 0 : 1) << j;
        EXPECT_EQ(scrambleMoves[j], static_cast<int32_t>(std::lrint(8.0 * move))) << j;
        ASSERT_GE(scrambleMoves[j], 0);
        ASSERT_LE(scrambleMoves[j], 8);
    }
    EXPECT_FALSE(solved(1e-3f));
}

TEST_F(CubeSolveTest, ScrambleCountsBeyondTheRecordAreCut) {
    const uint32_t seed = randomSeed;
    scrambleCube(1000);
    EXPECT_EQ(scrambleLength, scrambleCapacity);
    const uint32_t after = randomSeed;
    randomSeed = seed;
    advanceRandom(2 * scrambleCapacity);
    EXPECT_EQ(randomSeed, after) << "256 moves drawn, no more";

    updateCubeSolve(1 << 30);
    EXPECT_EQ(solvedMoves, scrambleCapacity + 1);
    EXPECT_TRUE(solved(1e-4f));
}

TEST_F(CubeSolveTest, NegativeOrZeroScrambleLeavesTheCubeSolved) {
    for (int32_t n : {0, -1, -100000}) {
        const uint32_t seed = randomSeed;
        scrambleCube(n);
        EXPECT_EQ(randomSeed, seed) << "no draws for " << n;
        EXPECT_EQ(scrambleLength, 0);
        EXPECT_TRUE(solved(0.0f));
        updateCubeSolve(5000);
        EXPECT_EQ(solvedMoves, 1) << "only one step to count";
        EXPECT_EQ(currentMove, -1);
        EXPECT_TRUE(solved(0.0f));
    }
}

TEST_F(CubeSolveTest, PastTheEndTheCubeIsSolvedWhateverTheScramble) {
    for (uint32_t seed : {1013904223u, 1u, 0xDEADBEEFu, 0x80000000u, 77u}) {
        randomSeed = seed;
        scrambleCube(125);
        ASSERT_FALSE(solved(1e-3f));
        updateCubeSolve(126 * 960);
        EXPECT_EQ(solvedMoves, 126);
        EXPECT_TRUE(solved(1e-5f)) << "seed " << seed;
        updateCubeSolve(500000);
        EXPECT_EQ(solvedMoves, 126) << "solved stays solved";
        EXPECT_TRUE(solved(1e-5f));
    }
}

TEST_F(CubeSolveTest, EachStepTakesTheNextRecordedMoveFromTheEnd) {
    scrambleCube(125);
    updateCubeSolve(959);
    EXPECT_EQ(solvedMoves, 0);
    EXPECT_EQ(currentMove, -1) << "nothing turns in the first step";
    for (int32_t j = 1; j <= 125; ++j) {
        updateCubeSolve(960 * j + 17);
        EXPECT_EQ(solvedMoves, j);
        EXPECT_EQ(currentMove, scrambleMoves[125 - j]) << "step " << j;
        EXPECT_EQ(currentDirection, scrambleDirections[125 - j]) << "step " << j;
    }
    updateCubeSolve(960 * 126);
    EXPECT_EQ(currentMove, -1);
}

// Just before a step ends, the animated pose is within a hair of where the inverse turn that
// starts the next step puts every sticker: the signs of the partial turn are right.
TEST_F(CubeSolveTest, AnimationEndsWhereTheNextStepSnaps) {
    scrambleCube(125);
    D3DXMATRIX before[cubeStickers];
    for (int32_t j = 1; j <= 125; ++j) {
        updateCubeSolve(960 * j + 959);
        std::memcpy(before, stickerPose, sizeof before);
        updateCubeSolve(960 * (j + 1));
        for (int32_t i = 0; i < cubeStickers; ++i)
            ASSERT_LT(maxDifference(before[i], stickerPose[i]), 3e-3f) << "step " << j << " sticker " << i;
    }
}

TEST_F(CubeSolveTest, MidStepOnlyTheTurningSliceLeavesItsTurn) {
    scrambleCube(125);
    updateCubeSolve(960 * 5 + 480);
    ASSERT_GE(currentMove, 0);
    const int32_t sliceSize = currentMove % 3 == 1 ? 12 : 21;
    int moving = 0;
    for (int32_t i = 0; i < cubeStickers; ++i) moving += maxDifference(stickerPose[i], stickerTurn[i]) > 1e-3f;
    // The face centre of an outer slice spins in place, but its matrix still turns.
    EXPECT_EQ(moving, sliceSize);
}

TEST_F(CubeSolveTest, AClockGoingBackScramblesAfresh) {
    scrambleCube(125);
    updateCubeSolve(960 * 20 + 300);
    int32_t firstMoves[125];
    std::memcpy(firstMoves, scrambleMoves, sizeof firstMoves);
    const uint32_t seed = randomSeed;

    updateCubeSolve(960 * 3 + 100);
    const uint32_t after = randomSeed;
    EXPECT_EQ(solvedMoves, 3);
    EXPECT_EQ(scrambleLength, 125);
    EXPECT_NE(std::memcmp(firstMoves, scrambleMoves, sizeof firstMoves), 0) << "fresh draws";
    randomSeed = seed;
    advanceRandom(250);
    EXPECT_EQ(after, randomSeed) << "one new scramble of 125 moves";
    randomSeed = after;
    EXPECT_EQ(currentMove, scrambleMoves[125 - 3]);
    updateCubeSolve(126 * 960);
    EXPECT_TRUE(solved(1e-5f)) << "the new scramble solves too";
}

TEST_F(CubeSolveTest, NegativeTimeLeavesTheCubeAsScrambled) {
    scrambleCube(125);
    int8_t slots[cubeStickers];
    D3DXMATRIX poses[cubeStickers];
    std::memcpy(slots, slotSticker, sizeof slots);
    std::memcpy(poses, stickerPose, sizeof poses);
    const uint32_t seed = randomSeed;
    for (int32_t t : {-1, -959, -960, -5000, INT32_MIN}) {
        updateCubeSolve(t);
        EXPECT_EQ(solvedMoves, 0) << t;
        EXPECT_EQ(randomSeed, seed) << "no re-scramble at " << t;
        EXPECT_EQ(std::memcmp(slots, slotSticker, sizeof slots), 0) << t;
        EXPECT_EQ(std::memcmp(poses, stickerPose, sizeof poses), 0) << t;
    }
}

}  // namespace
