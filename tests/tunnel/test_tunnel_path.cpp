// test_tunnel_path.cpp: the random tunnel path: its turns, its self-avoidance and restarts,
// its segment matrices and curve tangents.
#include "tests/recording_fixture.h"

#include <cmath>
#include <cstring>
#include <set>
#include <tuple>

#include "tunnel/tunnel.h"

namespace {

D3DXVECTOR3 point(int32_t i) {
    const D3DXMATRIX& m = segmentMatrices[i];
    return {m._41, m._42, m._43};
}

std::tuple<long, long, long> roundedPoint(int32_t i) {
    const D3DXVECTOR3 p = point(i);
    return {std::lrint(p.x), std::lrint(p.y), std::lrint(p.z)};
}

class TunnelPathTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        skipRandom(2);  // start-up's state: one draw from 0
    }

    // Turn matrices filled, every turn straight.
    void straightPath() {
        buildTunnel();
        std::memset(tunnelTurns, 0, sizeof tunnelTurns);
    }
};

TEST_F(TunnelPathTest, BuildStartsFromTheStateStartUpGives) {
    EXPECT_EQ(randomSeed, 1013904223u);
}

TEST_F(TunnelPathTest, SameStartStateGivesTheSameTunnel) {
    buildTunnel();
    uint8_t firstTurns[tunnelLength];
    D3DXMATRIX firstMatrices[tunnelLength];
    std::memcpy(firstTurns, tunnelTurns, sizeof firstTurns);
    std::memcpy(firstMatrices, segmentMatrices, sizeof firstMatrices);
    const uint32_t seedAfter = randomSeed;

    randomSeed = 1013904223u;
    buildTunnel();
    EXPECT_EQ(std::memcmp(firstTurns, tunnelTurns, sizeof firstTurns), 0);
    EXPECT_EQ(std::memcmp(firstMatrices, segmentMatrices, sizeof firstMatrices), 0);
    EXPECT_EQ(randomSeed, seedAfter) << "both builds took the same number of draws";
    // One attempt draws 68 turns; this path needs restarts, so the build draws more.
    randomSeed = 1013904223u;
    advanceRandom(68);
    EXPECT_NE(randomSeed, seedAfter);
}

TEST_F(TunnelPathTest, TurnsOnlyAtEvenStepsAndStraightAtTheEnd) {
    buildTunnel();
    int32_t turning = 0;
    for (int32_t i = 0; i < tunnelLength; ++i) {
        if (i % 2 == 1 || i >= 128) {
            EXPECT_EQ(tunnelTurns[i], 0) << "step " << i;
        } else {
            EXPECT_GE(tunnelTurns[i], 1) << "step " << i;
            EXPECT_LE(tunnelTurns[i], 4) << "step " << i;
            ++turning;
        }
    }
    EXPECT_EQ(turning, 64);
}

TEST_F(TunnelPathTest, AcceptedPathNeverRevisitsARoundedPoint) {
    buildTunnel();
    // Points 0...128 do not depend on the straightened turns 128...134.
    std::set<std::tuple<long, long, long>> seen;
    for (int32_t i = 0; i <= 128; ++i) EXPECT_TRUE(seen.insert(roundedPoint(i)).second) << "point " << i;
}

TEST_F(TunnelPathTest, TurnDrawingKeepsEverythingBeforeTheRestart) {
    straightPath();
    for (int32_t i = 0; i < tunnelLength; ++i) tunnelTurns[i] = static_cast<uint8_t>(i % 5);
    uint8_t before[tunnelLength];
    std::memcpy(before, tunnelTurns, sizeof before);

    const uint32_t seed = randomSeed;
    drawTunnelTurns(6);
    for (int32_t i = 0; i < tunnelLength; ++i) {
        if (i < 6 || i % 2 == 1) {
            EXPECT_EQ(tunnelTurns[i], before[i]) << "step " << i;
        } else {
            EXPECT_GE(tunnelTurns[i], 1) << "step " << i;
            EXPECT_LE(tunnelTurns[i], 4) << "step " << i;
        }
    }
    // Even steps 6...134: 65 draws, continuing the sequence.
    randomSeed = seed;
    advanceRandom(65);
    const uint32_t expected = randomSeed;
    randomSeed = seed;
    drawTunnelTurns(6);
    EXPECT_EQ(randomSeed, expected);
}

TEST_F(TunnelPathTest, TurnValueFollowsTheDrawHalvesToEven) {
    straightPath();
    // Tally the values the drawing gives against the draws it consumed.
    randomSeed = 12345u;
    const uint32_t seed = randomSeed;
    drawTunnelTurns(0);
    randomSeed = seed;
    for (int32_t i = 0; i < tunnelLength; i += 2) {
        const double p = nextRandom();
        const int expected = p < 1.0 / 6.0 ? 1 : p <= 0.5 ? 2 : p < 5.0 / 6.0 ? 3 : 4;
        EXPECT_EQ(tunnelTurns[i], expected) << "draw " << p;
    }
}

// A square loop in the plane across the tunnel's axis, begun at step s: the first collision
// is P_s with P_{s+8}, and the straight stretch before it is free.
void craftLoopAt(int32_t s) {
    std::memset(tunnelTurns, 0, sizeof tunnelTurns);
    tunnelTurns[s] = 2;
    tunnelTurns[s + 2] = 1;
    tunnelTurns[s + 4] = 1;
    tunnelTurns[s + 6] = 1;
}

TEST_F(TunnelPathTest, CollisionRestartsFromTheEvenStepBeforeIt) {
    straightPath();
    walkTunnelPath();
    EXPECT_EQ(findTunnelCollision(), -1) << "a straight path never meets itself";

    const std::pair<int32_t, int32_t> cases[] = {{0, 0}, {1, 0}, {2, 0}, {3, 2}, {7, 6}, {8, 6}, {9, 8}};
    for (auto [s, restart] : cases) {
        craftLoopAt(s);
        walkTunnelPath();
        EXPECT_EQ(roundedPoint(s), roundedPoint(s + 8)) << "the loop closes, s = " << s;
        ASSERT_EQ(findTunnelCollision(), s);
        EXPECT_EQ(tunnelRestartStep(s), restart) << "collision at " << s;
    }
    EXPECT_EQ(tunnelRestartStep(133), 132);
    EXPECT_EQ(tunnelRestartStep(134), 132);
}

TEST_F(TunnelPathTest, EachSegmentLiesOneStepAheadAlongItsTurnedAxis) {
    buildTunnel();
    EXPECT_EQ(point(0).x, 0.0f);
    EXPECT_EQ(point(0).y, 0.0f);
    EXPECT_EQ(point(0).z, 0.0f);
    for (int32_t i = 0; i < tunnelLength; ++i) {
        const D3DXMATRIX& w = segmentMatrices[i];
        const D3DXMATRIX& b = segmentOrientations[i];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(w.m[r][c], b.m[r][c], 1e-5f) << i;
        EXPECT_EQ(b._41, 0.0f);
        EXPECT_EQ(b._42, 0.0f);
        EXPECT_EQ(b._43, 0.0f);
        if (i + 1 < tunnelLength) {
            const D3DXVECTOR3 p = point(i), q = point(i + 1);
            EXPECT_NEAR(q.x - p.x, 6.0f * b._31, 1e-3f) << i;
            EXPECT_NEAR(q.y - p.y, 6.0f * b._32, 1e-3f) << i;
            EXPECT_NEAR(q.z - p.z, 6.0f * b._33, 1e-3f) << i;
        }
    }
    // A straight step keeps the orientation; a turn at step i shows in orientation i itself.
    for (int32_t i = 1; i < tunnelLength; ++i) {
        const bool same = std::memcmp(&segmentOrientations[i], &segmentOrientations[i - 1], 64) == 0;
        EXPECT_EQ(same, tunnelTurns[i] == 0) << "step " << i;
    }
}

TEST_F(TunnelPathTest, TangentsAreScaledChordsAndTheEndIsDefined) {
    buildTunnel();
    for (int32_t j = 0; j + 2 < tunnelLength; ++j) {
        const D3DXVECTOR3 p = point(j), q = point(j + 2);
        EXPECT_NEAR(pathTangents[j].x, 0.65 * (q.x - p.x), 1e-3) << j;
        EXPECT_NEAR(pathTangents[j].y, 0.65 * (q.y - p.y), 1e-3) << j;
        EXPECT_NEAR(pathTangents[j].z, 0.65 * (q.z - p.z), 1e-3) << j;
    }
    const D3DXVECTOR3 last = point(134), before = point(133);
    EXPECT_NEAR(pathTangents[133].x, 1.3 * (last.x - before.x), 1e-3);
    EXPECT_NEAR(pathTangents[133].y, 1.3 * (last.y - before.y), 1e-3);
    EXPECT_NEAR(pathTangents[133].z, 1.3 * (last.z - before.z), 1e-3);
    EXPECT_EQ(pathTangents[134].x, last.x);
    EXPECT_EQ(pathTangents[134].y, last.y);
    EXPECT_EQ(pathTangents[134].z, last.z);
}

TEST_F(TunnelPathTest, TurnValuesOutOfRangeWalkStraight) {
    straightPath();
    tunnelTurns[10] = 200;
    walkTunnelPath();
    EXPECT_NEAR(point(134).z, 134 * 6.0f, 1e-3f);
    EXPECT_NEAR(point(134).x, 0.0f, 1e-3f);
}

}  // namespace
