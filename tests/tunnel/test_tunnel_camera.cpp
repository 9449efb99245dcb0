// test_tunnel_camera.cpp: time to curve piece, points on the curve, the camera's view and the
// set of segments drawn around it.
#include "tests/recording_fixture.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "tunnel/tunnel.h"

namespace {

D3DXVECTOR3 point(int32_t i) {
    const D3DXMATRIX& m = segmentMatrices[i];
    return {m._41, m._42, m._43};
}

class TunnelCameraTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        skipRandom(2);
        buildTunnel();
    }

    std::vector<int32_t> drawnSegments() {
        device->clearLog();
        drawTunnelSegments();
        std::vector<int32_t> drawn;
        const D3DMATRIX* world = nullptr;
        for (const RecordedCall& call : device->calls) {
            if (call.kind == CallKind::SetTransform) world = &call.matrix;
            if (call.kind != CallKind::DrawPrimitiveUP) continue;
            EXPECT_EQ(call.args[0], uint32_t(D3DPT_TRIANGLELIST));
            EXPECT_EQ(call.args[1], 10u);
            for (int32_t i = 0; i < tunnelLength; ++i)
                if (world != nullptr && std::memcmp(world, &segmentMatrices[i], sizeof(D3DMATRIX)) == 0) {
                    drawn.push_back(i);
                    break;
                }
        }
        return drawn;
    }
};

TEST_F(TunnelCameraTest, TimeToSegmentPiecesAndTheHeldEnd) {
    const struct { uint32_t t; int32_t segment; float fraction; } cases[] = {
        {0, 0, 0.0f},          {959, 0, 959 * 0.0010416667f}, {960, 2, 0.0f},
        {63359, 130, 959 * 0.0010416667f}, {63360, 132, 0.0f}, {64320, 132, 0.0f},
        {64321, 132, 0.0010416667f}, {0xFFFFFFFFu, 132, (0xFFFFFFFFu % 960) * 0.0010416667f},
    };
    for (const auto& c : cases) {
        tunnelTimeToSegment(c.t);
        EXPECT_EQ(tunnelSegment, c.segment) << "t = " << c.t;
        EXPECT_FLOAT_EQ(tunnelFraction, c.fraction) << "t = " << c.t;
    }
}

TEST_F(TunnelCameraTest, PiecesJoinWithoutAJump) {
    D3DXVECTOR3 before, after;
    tunnelTimeToSegment(959);
    tunnelPathPoint(&before, tunnelSegment, tunnelFraction);
    tunnelTimeToSegment(960);
    tunnelPathPoint(&after, tunnelSegment, tunnelFraction);
    const D3DXVECTOR3 p2 = point(2);
    EXPECT_EQ(after.x, p2.x);
    EXPECT_EQ(after.y, p2.y);
    EXPECT_EQ(after.z, p2.z);
    EXPECT_LT(std::fabs(before.x - p2.x) + std::fabs(before.y - p2.y) + std::fabs(before.z - p2.z), 0.1f);
}

TEST_F(TunnelCameraTest, MidPieceOfAStraightStretchIsTheOddPoint) {
    std::memset(tunnelTurns, 0, sizeof tunnelTurns);
    walkTunnelPath();
    for (int32_t k = 0; k + 4 < tunnelLength; k += 2) {
        D3DXVECTOR3 mid;
        tunnelPathPoint(&mid, k, 0.5f);
        EXPECT_EQ(mid.z, point(k + 1).z) << "piece " << k / 2;
        EXPECT_NEAR(mid.x, point(k + 1).x, 1e-4f);
        EXPECT_NEAR(mid.y, point(k + 1).y, 1e-4f);
    }
}

TEST_F(TunnelCameraTest, ObjectAndViewLookAheadBy1100Ms) {
    D3DXMATRIX object, view;
    tunnelObjectMatrix(&object, 1100);
    EXPECT_EQ(tunnelSegment, 2);
    EXPECT_FLOAT_EQ(tunnelFraction, 140 * 0.0010416667f);

    tunnelViewMatrix(&view, 0);
    EXPECT_EQ(tunnelSegment, 2) << "the look-ahead's piece is left behind";
    EXPECT_FLOAT_EQ(tunnelFraction, 140 * 0.0010416667f);

    // The eye sits at the origin (P_0) and the target, the cube's place, straight ahead.
    const D3DXVECTOR3 target = {object._41, object._42, object._43};
    D3DXVECTOR3 inView;
    MathApi.D3DXVec3TransformCoord(&inView, &target, &view);
    EXPECT_NEAR(inView.x, 0.0f, 1e-3f);
    EXPECT_NEAR(inView.y, 0.0f, 1e-3f);
    EXPECT_GT(inView.z, 6.0f);
    EXPECT_NEAR(view._41, 0.0f, 1e-5f);
    EXPECT_NEAR(view._42, 0.0f, 1e-5f);
    EXPECT_NEAR(view._43, 0.0f, 1e-5f);
}

TEST_F(TunnelCameraTest, SegmentsDrawnAroundTheCamera) {
    tunnelSegment = 4;
    std::vector<int32_t> expected;
    for (int32_t i = 0; i <= 23; ++i) expected.push_back(i);
    EXPECT_EQ(drawnSegments(), expected);

    tunnelSegment = 40;
    expected.clear();
    for (int32_t i = 0; i <= 59; ++i)
        if (i != 20) expected.push_back(i);
    EXPECT_EQ(drawnSegments(), expected);
    EXPECT_EQ(device->calls[0].kind, CallKind::SetTexture);
    EXPECT_EQ(device->texture(), tileTexture);
    EXPECT_EQ(device->fvf(), D3DFVF_XYZ | D3DFVF_TEX1);
}

TEST_F(TunnelCameraTest, PointsOffTheCurveAreHeldToItsPieces) {
    D3DXVECTOR3 low, first, high, last;
    tunnelPathPoint(&low, -8, 0.0f);
    tunnelPathPoint(&first, 0, 0.0f);
    tunnelPathPoint(&high, 500, 0.0f);
    tunnelPathPoint(&last, 132, 0.0f);
    EXPECT_EQ(std::memcmp(&low, &first, sizeof low), 0);
    EXPECT_EQ(std::memcmp(&high, &last, sizeof high), 0);
}

}  // namespace
