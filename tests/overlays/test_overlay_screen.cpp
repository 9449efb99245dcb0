// test_overlay_screen.cpp: the grey flash, the letterbox bars, the screen copy's targets and
// references, and the streak passes.
#include "tests/recording_fixture.h"

#include <climits>
#include <cstring>

#include "overlays/overlays.h"

namespace {

class ScreenOverlayTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        screenCopyTexture = nullptr;
        backBufferSurface = nullptr;
        copySurface = nullptr;
    }

    void TearDown() override {
        screenCopyTexture = nullptr;
        RecordingTest::TearDown();
    }

    template <typename Vertex>
    static std::vector<Vertex> quadOf(const RecordedCall* draw) {
        std::vector<Vertex> quad(4);
        std::memcpy(quad.data(), draw->vertices.data(), sizeof(Vertex) * 4);
        return quad;
    }

    // Rows 0 ... 479 covered by the colour quads drawn (each spans its lowest to highest y).
    std::vector<bool> coveredRows() const {
        std::vector<bool> rows(480, false);
        for (const RecordedCall* draw : callsOf(CallKind::DrawPrimitiveUP)) {
            const auto quad = quadOf<ScreenColorVertex>(draw);
            EXPECT_EQ(quad[0].y, quad[2].y);
            EXPECT_EQ(quad[1].y, quad[3].y);
            EXPECT_EQ(quad[0].x, 0.0f);
            EXPECT_EQ(quad[2].x, 640.0f);
            for (const ScreenColorVertex& v : quad) EXPECT_EQ(v.color, 0u) << "opaque black";
            const float lo = std::min(quad[0].y, quad[1].y), hi = std::max(quad[0].y, quad[1].y);
            EXPECT_GE(lo, 0.0f);
            EXPECT_LE(hi, 480.0f);
            for (int row = 0; row < 480; ++row)
                if (row + 0.5f > lo && row + 0.5f < hi) rows[row] = true;
        }
        return rows;
    }
};

TEST_F(ScreenOverlayTest, FadeIsOneGreyQuadOverTheScreen) {
    drawFade(0x80);
    EXPECT_EQ(RenderMode, 4);
    EXPECT_EQ(device->texture(), nullptr);
    EXPECT_EQ(device->fvf(), D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    const auto draws = callsOf(CallKind::DrawPrimitiveUP);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0]->args[0], DWORD(D3DPT_TRIANGLESTRIP));
    EXPECT_EQ(draws[0]->args[2], 20u);
    const auto quad = quadOf<ScreenColorVertex>(draws[0]);
    const float xy[4][2] = {{0, 480}, {0, 0}, {640, 480}, {640, 0}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(quad[k].x, xy[k][0]);
        EXPECT_EQ(quad[k].y, xy[k][1]);
        EXPECT_EQ(quad[k].color, 0x80808080u);
    }
}

TEST_F(ScreenOverlayTest, LetterboxCoversOnlyWhatItsBarsCover) {
    struct Case { int32_t height; int covered; };
    for (Case c : {Case{0, 0}, Case{64, 128}, Case{240, 480}, Case{300, 480}, Case{-10, 0},
                   Case{INT_MAX, 480}, Case{INT_MIN, 0}}) {
        device->clearLog();
        RenderMode = 4;
        drawLetterbox(c.height);
        EXPECT_EQ(RenderMode, 0) << "no blending";
        EXPECT_EQ(device->count(CallKind::DrawPrimitiveUP), 2u);
        const std::vector<bool> rows = coveredRows();
        int covered = 0;
        for (bool r : rows) covered += r;
        EXPECT_EQ(covered, c.covered) << "height " << c.height;
        if (c.height == 64) {
            EXPECT_TRUE(rows[0] && rows[63] && !rows[64] && !rows[415] && rows[416]);
        }
    }
}

TEST_F(ScreenOverlayTest, CopyRedirectsAndGivesEveryReferenceBack) {
    d3dDevice->CreateTexture(256, 256, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                             &screenCopyTexture, nullptr);
    auto* copy = static_cast<RecordingTexture*>(screenCopyTexture);
    IDirect3DSurface9* backBuffer = device->renderTarget();
    beginScreenCopy(0xFF000000);
    EXPECT_EQ(device->renderTarget(), copy->surfaces[0].get());
    const auto clears = callsOf(CallKind::Clear);
    ASSERT_EQ(clears.size(), 1u);
    EXPECT_EQ(clears[0]->args[1], D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    EXPECT_EQ(clears[0]->args[2], 0xFF000000u);
    EXPECT_EQ(d3dBitsFloat(clears[0]->args[3]), 1.0f);
    endScreenCopy();
    EXPECT_EQ(device->renderTarget(), backBuffer);
    EXPECT_EQ(device->backBufferReferences(), 1);
    EXPECT_EQ(copy->references, 1);
    EXPECT_EQ(backBufferSurface, nullptr);
    EXPECT_EQ(copySurface, nullptr);

    beginScreenCopy(0xFF000000);
    beginScreenCopy(0xFF000000);  // unpaired: the first pair of references must not leak
    endScreenCopy();
    endScreenCopy();
    EXPECT_EQ(device->backBufferReferences(), 1);
    EXPECT_EQ(copy->references, 1);
}

TEST_F(ScreenOverlayTest, CopyWithoutItsTextureLeavesTheFrameAlone) {
    beginScreenCopy(0xFF000000);
    endScreenCopy();
    EXPECT_EQ(device->count(CallKind::Clear), 0u) << "would wipe the back buffer";
    EXPECT_EQ(device->backBufferReferences(), 1);
}

TEST_F(ScreenOverlayTest, StreaksFadeAndZoomStepByStep) {
    drawStreaks(0.01f, 50);
    const auto factors = callsOf(CallKind::SetRenderState);
    const auto draws = callsOf(CallKind::DrawPrimitiveUP);
    ASSERT_EQ(draws.size(), 50u);
    ASSERT_EQ(factors.size(), 50u);
    float s = 0.0f;
    for (int k = 0; k < 50; ++k) {
        EXPECT_EQ(factors[k]->args[0], DWORD(D3DRS_TEXTUREFACTOR));
        EXPECT_EQ(factors[k]->args[1], DWORD(255 - 5 * k) << 24) << "copy " << k;
        const auto quad = quadOf<ScreenTexVertex>(draws[k]);
        const float uv[4][2] = {{s, 1 - s}, {s, s}, {1 - s, 1 - s}, {1 - s, s}};
        for (int v = 0; v < 4; ++v) {
            EXPECT_EQ(quad[v].u, uv[v][0]) << "copy " << k;
            EXPECT_EQ(quad[v].v, uv[v][1]) << "copy " << k;
        }
        s += 0.01f;
    }
    EXPECT_EQ(factors[49]->args[1], 10u << 24);
    EXPECT_NEAR(quadOf<ScreenTexVertex>(draws[49])[0].u, 0.49f, 1e-5f) << "the central 2 %";
    EXPECT_EQ(device->fvf(), D3DFVF_XYZRHW | D3DFVF_TEX1);
}

TEST_F(ScreenOverlayTest, StreakCountsOutsideOneTo255) {
    for (int32_t count : {0, -3, INT_MIN}) {
        device->clearLog();
        drawStreaks(0.01f, count);
        EXPECT_EQ(device->count(CallKind::DrawPrimitiveUP), 0u) << count;
        EXPECT_EQ(device->count(CallKind::SetFVF), 1u) << "format and texture are still set";
        EXPECT_EQ(device->count(CallKind::SetTexture), 1u);
    }
    device->clearLog();
    drawStreaks(0.001f, 300);
    EXPECT_EQ(device->count(CallKind::DrawPrimitiveUP), 300u);
    for (const RecordedCall* call : callsOf(CallKind::SetRenderState)) EXPECT_EQ(call->args[1], 255u << 24);
}

}  // namespace
