// test_overlay_image.cpp: the flash and the zoom streaks drawn through the OpenGL device.
#include "tests/gl_fixture.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "overlays/overlays.h"

namespace {

class OverlayImageTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // The start-up states the overlays rely on: one/one blending, linear filtering.
        d3dDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
        d3dDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        d3dDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d3dDevice->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        d3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        setRenderMode(0);
        setRenderMode(17);
        screenCopyTexture = nullptr;
        d3dDevice->CreateTexture(256, 256, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                 &screenCopyTexture, nullptr);
        ASSERT_NE(screenCopyTexture, nullptr);
        d3dDevice->BeginScene();
    }

    void TearDown() override {
        if (device != nullptr) d3dDevice->EndScene();
        if (screenCopyTexture != nullptr) screenCopyTexture->Release();
        screenCopyTexture = nullptr;
        GLTest::TearDown();
    }

};

TEST_F(OverlayImageTest, FadeZeroLeavesTheFrameAndALevelAddsIt) {
    d3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF104864, 1.0f, 0);
    drawLetterbox(64);
    readBack();
    const std::vector<uint8_t> before = backPixels;
    EXPECT_RGB(pixel(320, 10), 0, 0, 0, 0);
    EXPECT_RGB(pixel(320, 240), 0x10, 0x48, 0x64, 1);
    drawFade(0);
    readBack();
    EXPECT_TRUE(backPixels == before) << "a level-0 flash under one/one must change nothing";
    drawFade(64);
    readBack();
    keepImage("overlay_fade64");
    EXPECT_RGB(pixel(320, 10), 64, 64, 64, 1);
    EXPECT_RGB(pixel(320, 240), 0x10 + 64, 0x48 + 64, 0x64 + 64, 1);
}

TEST_F(OverlayImageTest, StreaksSpreadACapturedSquareOutwardWithFallingOpacity) {
    // Capture: a white 32 x 32 square in the middle of black.
    beginScreenCopy(0xFF000000);
    const ScreenColorVertex square[4] = {{112, 144, 0, 1, 0xFFFFFFFF}, {112, 112, 0, 1, 0xFFFFFFFF},
                                         {144, 144, 0, 1, 0xFFFFFFFF}, {144, 112, 0, 1, 0xFFFFFFFF}};
    setRenderMode(0);
    d3dDevice->SetTexture(0, nullptr);
    d3dDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, square, sizeof(ScreenColorVertex));
    endScreenCopy();

    d3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    setBlendFactorAlpha();
    drawStreaks(0.01f, 50);
    setBlendAdditive();
    readBack();
    keepImage("overlay_streaks");

    // The first copy, opaque and unmagnified, shows the square at screen 280 ... 360 across.
    EXPECT_RGB(pixel(320, 240), 255, 255, 255, 2);
    EXPECT_RGB(pixel(350, 240), 255, 255, 255, 2);
    // Farther out only the more magnified, fainter copies reach: the brightness falls outward.
    int previous = 255;
    std::set<int> levels;
    for (int x = 365; x < 640; ++x) {
        const int v = pixel(x, 240).r;
        EXPECT_LE(v, previous + 2) << "at x = " << x;
        previous = std::min(previous, v);
        levels.insert(v);
    }
    EXPECT_GT(levels.size(), 30u) << "many copies, many steps";
    EXPECT_LT(pixel(560, 240).r, pixel(460, 240).r - 40);
    // Only the six copies that show nothing but the inside of the square reach the corner:
    // alphas 35 down to 10 lerped over black, 1 - (220 225 230 235 240 245) / 255^6 of white.
    EXPECT_NEAR(pixel(639, 240).r, 109, 10);
    EXPECT_NEAR(pixel(0, 0).r, 109, 10);
    const Rgba grey = pixel(480, 120);
    EXPECT_TRUE(grey.r == grey.g && grey.g == grey.b) << "white copies give grey, got " << grey;
}

}  // namespace
