// test_cube_moves.cpp: the slice moves against the sticker geometry: which slots a move turns,
// where it carries them, and that moves undo and repeat as quarter turns should.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "cube/cube.h"

namespace {

// Centre of the quad of index a = 9 f + 3 r + c on its face, from the sticker table of the
// drawing: lo(k) + hi(k) over 2 is k - 1.
D3DXVECTOR3 slotCentre(int32_t a) {
    const float f = static_cast<float>(a / 9), r = static_cast<float>(a / 3 % 3) - 1.0f;
    const float c = static_cast<float>(a % 3) - 1.0f;
    switch (static_cast<int>(f)) {
        case 0:  return {c, r, 1.5f};
        case 1:  return {1.5f, r, -c};
        case 2:  return {-c, r, -1.5f};
        case 3:  return {-1.5f, r, c};
        case 4:  return {c, 1.5f, r};
        default: return {c, -1.5f, r};
    }
}

D3DXVECTOR3 turned(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    MathApi.D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

float distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

bool nearIdentity(const D3DXMATRIX& m, float tolerance) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (std::fabs(m.m[r][c] - (r == c ? 1.0f : 0.0f)) > tolerance) return false;
    return true;
}

// Every slot shows the sticker that the sticker's own turns carried there from home.
void expectStateMatchesGeometry(const char* when) {
    for (int32_t s = 0; s < cubeStickers; ++s) {
        const int32_t k = slotSticker[s];
        ASSERT_GE(k, 0);
        ASSERT_LT(k, cubeStickers);
        EXPECT_LT(distance(turned(slotCentre(k), stickerTurn[k]), slotCentre(s)), 1e-3f)
            << when << ": slot " << s << " holds sticker " << k;
    }
}

std::vector<int32_t> rowSlots(int32_t m) {
    std::vector<int32_t> slots;
    for (int e = 0; e < 21 && CubeMoveStickers[m][e] != 255; ++e) slots.push_back(CubeMoveStickers[m][e]);
    return slots;
}

class CubeMovesTest : public ::testing::Test {
protected:
    void SetUp() override {
        loadMathApi();
        randomSeed = 0;
        scrambleCube(0);
    }
};

TEST_F(CubeMovesTest, QuarterTurnOfMoveZeroCarriesSlotZeroToNine) {
    applyCubeMove(0, 1);
    EXPECT_EQ(slotSticker[9], 0);
    const D3DXVECTOR3 moved = turned({-1.0f, -1.0f, 1.5f}, stickerTurn[0]);
    EXPECT_LT(distance(moved, {1.5f, -1.0f, 1.0f}), 1e-5f);
}

TEST_F(CubeMovesTest, EveryMoveAgreesWithTheGeometryBothWays) {
    for (int32_t m = 0; m < cubeMoves; ++m)
        for (int32_t flag : {1, 0}) {
            scrambleCube(0);
            applyCubeMove(m, flag);
            const std::string when = "move " + std::to_string(m) + " flag " + std::to_string(flag);
            expectStateMatchesGeometry(when.c_str());
        }
}

TEST_F(CubeMovesTest, AScrambleOfManyMovesStillAgreesWithTheGeometry) {
    scrambleCube(256);
    expectStateMatchesGeometry("after 256 random moves");
}

TEST_F(CubeMovesTest, EachRowListsExactlyItsLayersSlots) {
    for (int32_t m = 0; m < cubeMoves; ++m) {
        const int axis = m / 3;  // 0: Y, 1: X, 2: Z
        const float low = static_cast<float>(m % 3) - 1.0f;
        std::vector<int32_t> inLayer;
        for (int32_t s = 0; s < cubeStickers; ++s) {
            const D3DXVECTOR3 c = slotCentre(s);
            const float along = axis == 0 ? c.y : axis == 1 ? c.x : c.z;
            // Z layers are numbered from +z: the tables follow the reversed Z sense.
            const float layer = axis == 2 ? -low : low;
            if (std::fabs(along - layer) < 0.75f) inLayer.push_back(s);
        }
        std::vector<int32_t> listed = rowSlots(m);
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, inLayer) << "move " << m;
        EXPECT_EQ(listed.size(), m % 3 == 1 ? 12u : 21u) << "move " << m;
    }
}

TEST_F(CubeMovesTest, MiddleMovesTurnTwelveOuterMovesTwentyOne) {
    for (int32_t m = 0; m < cubeMoves; ++m) {
        scrambleCube(0);
        applyCubeMove(m, 1);
        int changedSlots = 0, turnedStickers = 0;
        for (int32_t i = 0; i < cubeStickers; ++i) {
            changedSlots += slotSticker[i] != i;
            turnedStickers += !nearIdentity(stickerTurn[i], 1e-5f);
            EXPECT_EQ(std::memcmp(&stickerPose[i], &stickerTurn[i], sizeof(D3DXMATRIX)), 0);
        }
        const bool middle = m % 3 == 1;
        EXPECT_EQ(changedSlots, middle ? 12 : 20) << "move " << m;
        EXPECT_EQ(turnedStickers, middle ? 12 : 21) << "move " << m;
    }
}

TEST_F(CubeMovesTest, AMoveAndItsInverseRestoreTheCube) {
    scrambleCube(40);
    int8_t slots[cubeStickers];
    D3DXMATRIX turns[cubeStickers];
    std::memcpy(slots, slotSticker, sizeof slots);
    std::memcpy(turns, stickerTurn, sizeof turns);
    for (int32_t m = 0; m < cubeMoves; ++m) {
        applyCubeMove(m, 1);
        EXPECT_NE(std::memcmp(slots, slotSticker, sizeof slots), 0) << "move " << m << " moved nothing";
        applyCubeMove(m, 0);
        EXPECT_EQ(std::memcmp(slots, slotSticker, sizeof slots), 0) << "move " << m;
        for (int32_t i = 0; i < cubeStickers; ++i)
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) EXPECT_NEAR(stickerTurn[i].m[r][c], turns[i].m[r][c], 1e-5f);
    }
}

TEST_F(CubeMovesTest, FourQuarterTurnsRestoreTheSlots) {
    for (int32_t m = 0; m < cubeMoves; ++m)
        for (int32_t flag : {0, 1}) {
            scrambleCube(0);
            for (int q = 0; q < 4; ++q) {
                applyCubeMove(m, flag);
                if (q < 3) {
                    EXPECT_FALSE(nearIdentity(stickerTurn[slotSticker[rowSlots(m)[0]]], 1e-4f));
                }
            }
            for (int32_t i = 0; i < cubeStickers; ++i) {
                EXPECT_EQ(slotSticker[i], i) << "move " << m << " flag " << flag;
                EXPECT_TRUE(nearIdentity(stickerTurn[i], 1e-5f)) << "move " << m << " sticker " << i;
            }
        }
}

TEST_F(CubeMovesTest, AnyNonZeroFlagTurnsTheTablesWay) {
    applyCubeMove(4, 7);
    int8_t slots[cubeStickers];
    std::memcpy(slots, slotSticker, sizeof slots);
    scrambleCube(0);
    applyCubeMove(4, 1);
    EXPECT_EQ(std::memcmp(slots, slotSticker, sizeof slots), 0);
}

TEST_F(CubeMovesTest, MovesOutsideZeroToEightDoNothing) {
    scrambleCube(10);
    int8_t slots[cubeStickers];
    D3DXMATRIX turns[cubeStickers], poses[cubeStickers];
    std::memcpy(slots, slotSticker, sizeof slots);
    std::memcpy(turns, stickerTurn, sizeof turns);
    std::memcpy(poses, stickerPose, sizeof poses);
    for (int32_t m : {-1, 9, 255, -128, 1000}) {
        applyCubeMove(m, 1);
        applyCubeMove(m, 0);
    }
    EXPECT_EQ(std::memcmp(slots, slotSticker, sizeof slots), 0);
    EXPECT_EQ(std::memcmp(turns, stickerTurn, sizeof turns), 0);
    EXPECT_EQ(std::memcmp(poses, stickerPose, sizeof poses), 0);
}

}  // namespace
