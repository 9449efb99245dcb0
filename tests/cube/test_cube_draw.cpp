// test_cube_draw.cpp: sticker geometry, the one-time seeding, the explosion, and the call
// sequences of the cube scenes and the tunnel flight.
#include <cmath>
#include <cstring>

#include "cube/cube.h"
#include "scenes/scenes.h"
#include "tests/recording_fixture.h"
#include "tunnel/tunnel.h"

namespace {

class CubeDrawTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        stickersSeeded = 0;
        demoTimeMs = 0;
        demoTimeSec = 0;
        scrambleCube(0);
        updateCubeSolve(0);
        for (IDirect3DTexture9*& texture : faceTextures)
            device->CreateTexture(256, 256, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                  &texture, nullptr);
        screenCopyTexture = nullptr;
        device->CreateTexture(256, 256, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                              &screenCopyTexture, nullptr);
        device->clearLog();
    }

    // Stickers drawn since the log was cleared: the triangle fans.
    size_t fans() const {
        size_t n = 0;
        for (const RecordedCall& call : device->calls)
            if (call.kind == CallKind::DrawPrimitiveUP && call.args[0] == D3DPT_TRIANGLEFAN) ++n;
        return n;
    }
};

D3DXMATRIX identity() {
    D3DXMATRIX m;
    MathApi.D3DXMatrixIdentity(&m);
    return m;
}

TEST_F(CubeDrawTest, StickersLieOnTheirFacesAndTileThem) {
    const int axis[6] = {2, 0, 2, 0, 1, 1};
    const float plane[6] = {1.5f, 1.5f, -1.5f, -1.5f, 1.5f, -1.5f};
    for (int f = 0; f < 6; ++f) {
        double area = 0;
        bool covered[3][3] = {};
        for (int i = 0; i < 9; ++i) {
            TexVertex q[4];
            stickerQuad(9 * f + i, q);
            float minU = 1, minV = 1;
            for (const TexVertex& v : q) {
                const float p[3] = {v.x, v.y, v.z};
                EXPECT_EQ(p[axis[f]], plane[f]) << "sticker " << 9 * f + i;
                minU = std::min(minU, v.u);
                minV = std::min(minV, v.v);
            }
            const int cu = int(std::lround(minU * 3)), cv = int(std::lround(minV * 3));
            ASSERT_TRUE(cu >= 0 && cu < 3 && cv >= 0 && cv < 3);
            EXPECT_FALSE(covered[cu][cv]) << "two stickers of face " << f << " show one ninth";
            covered[cu][cv] = true;
            const D3DXVECTOR3 e1 = {q[1].x - q[0].x, q[1].y - q[0].y, q[1].z - q[0].z};
            const D3DXVECTOR3 e2 = {q[3].x - q[0].x, q[3].y - q[0].y, q[3].z - q[0].z};
            const double cx = e1.y * e2.z - e1.z * e2.y, cy = e1.z * e2.x - e1.x * e2.z,
                         cz = e1.x * e2.y - e1.y * e2.x;
            area += std::sqrt(cx * cx + cy * cy + cz * cz);
        }
        EXPECT_NEAR(area, 9.0, 1e-5) << "face " << f << " is tiled by unit squares";
    }
}

TEST_F(CubeDrawTest, FirstCubeSeedsWith324DrawsLaterOnesNone) {
    const D3DXMATRIX world = identity();
    drawCube(&world);
    EXPECT_EQ(randomSeed, [] {
        uint32_t s = 0;
        for (int i = 0; i < 324; ++i) s = s * 1664525u + 1013904223u;
        return s;
    }());
    EXPECT_EQ(stickersSeeded, 54);
    EXPECT_EQ(fans(), 54u);
    EXPECT_EQ(callsOf(CallKind::SetFVF).size(), 1u);
    const auto textures = callsOf(CallKind::SetTexture);
    ASSERT_EQ(textures.size(), 54u);
    EXPECT_EQ(textures[53]->object, static_cast<RecordingTexture*>(faceTextures[5])->id);
    const uint32_t after = randomSeed;
    drawCube(&world);
    EXPECT_EQ(randomSeed, after);
    for (int k = 0; k < 54; ++k) {
        const D3DXVECTOR3& w = stickerSpin[k];
        EXPECT_NEAR(w.x * w.x + w.y * w.y + w.z * w.z, 1.0, 1e-5);
    }
}

TEST_F(CubeDrawTest, ExplosionOfNothingIsTheIdentity) {
    const D3DXMATRIX world = identity();
    drawCube(&world);
    for (auto args : {std::pair{0.0f, 7.0f}, std::pair{3.0f, 0.0f}}) {
        explodeCube(args.first, args.second);
        for (const D3DXMATRIX& m : stickerExplode)
            EXPECT_EQ(std::memcmp(&m, &world, sizeof m), 0);
    }
    explodeCube(1.0f, 2.0f);
    // The centre flies out by s times itself.
    D3DXVECTOR3 moved;
    MathApi.D3DXVec3TransformCoord(&moved, &stickerCentre[4], &stickerExplode[4]);
    EXPECT_NEAR(moved.x, 3 * stickerCentre[4].x, 1e-4);
    EXPECT_NEAR(moved.z, 3 * stickerCentre[4].z, 1e-4);
}

TEST_F(CubeDrawTest, FieldOf27OrNothing) {
    drawCubeField(0, 0, 0, 0, 20);
    EXPECT_EQ(fans(), 27u * 54u);
    device->clearLog();
    drawCubeField(-1, 0, 0, 0, 20);
    EXPECT_EQ(fans(), 0u);
    EXPECT_EQ(RenderMode, 2);
}

TEST_F(CubeDrawTest, StreakModeOrderOfPasses) {
    const D3DXMATRIX world = identity();
    drawCube(&world);
    device->clearLog();
    drawCubeScene(20, 0.5f, 6, 0.3f, 0, 1);
    std::vector<std::string> order;
    for (const RecordedCall& call : device->calls) {
        if (call.kind == CallKind::SetRenderTarget) order.push_back("target");
        if (call.kind == CallKind::DrawPrimitiveUP && call.args[0] == D3DPT_TRIANGLEFAN) {
            if (order.empty() || order.back() != "cube") order.push_back("cube");
        } else if (call.kind == CallKind::DrawPrimitiveUP) {
            order.push_back("quad");
        }
        if (call.kind == CallKind::SetRenderState && call.args[0] == D3DRS_SRCBLEND)
            order.push_back(call.args[1] == D3DBLEND_SRCALPHA ? "alpha" : "additive");
    }
    // Particle passes first (targets and sprites), then the captured cube, the streaks, the cube.
    const std::vector<std::string> tail = {"target", "cube", "target", "alpha", "quad", "additive", "cube"};
    // The streaks are 50 quads; fold them.
    std::vector<std::string> folded;
    for (const std::string& step : order)
        if (folded.empty() || !(step == "quad" && folded.back() == "quad")) folded.push_back(step);
    ASSERT_GE(folded.size(), tail.size());
    std::vector<std::string> foldedTail(folded.end() - std::ptrdiff_t(tail.size()), folded.end());
    EXPECT_EQ(foldedTail, tail);
    EXPECT_EQ(fans(), 108u) << "the exploded cube twice";
    EXPECT_EQ(device->renderState(D3DRS_DESTBLEND), DWORD(D3DBLEND_ONE)) << "one/one restored";
}

TEST_F(CubeDrawTest, OnlyTheLowByteOfTheFlagsCounts) {
    const D3DXMATRIX world = identity();
    drawCube(&world);
    device->clearLog();
    drawCubeScene(20, 0, 6, 0, 256, 512);
    EXPECT_EQ(fans(), 54u) << "256 and 512 count as false: plain mode, no whole cube";
    device->clearLog();
    drawCubeScene(20, 0, 6, 0, 257, 0);
    EXPECT_EQ(fans(), 108u) << "the exploded cube, then the whole one";
}

TEST_F(CubeDrawTest, TunnelSceneOrder) {
    buildTunnel();
    device->clearLog();
    demoTimeMs = 30720 + 500;
    drawTunnelScene(0.0f, 30720);
    const auto views = callsOf(CallKind::SetTransform);
    D3DXMATRIX plain;
    tunnelViewMatrix(&plain, 500);
    bool found = false;
    for (const RecordedCall* call : views)
        if (call->args[0] == D3DTS_VIEW && std::memcmp(&call->matrix, &plain, sizeof plain) == 0) found = true;
    EXPECT_TRUE(found) << "a roll of 0 leaves the plain look-at";
    EXPECT_EQ(fans(), 54u);
    EXPECT_EQ(RenderMode, 2);
    // The cube sits where the camera looks, 1100 ms ahead.
    D3DXMATRIX ahead;
    tunnelObjectMatrix(&ahead, 1600);
    EXPECT_EQ(device->transform(D3DTS_WORLD)._41, [&] {
        D3DXMATRIX last;
        MathApi.D3DXMatrixMultiply(&last, &stickerPose[53], &ahead);
        MathApi.D3DXMatrixMultiply(&last, &stickerExplode[53], &last);
        return last._41;
    }());
}

}  // namespace
