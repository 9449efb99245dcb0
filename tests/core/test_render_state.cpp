// test_render_state.cpp: which device states the render-mode, fog, blend and camera helpers
// write, in which order, and which they leave alone.
#include "tests/recording_fixture.h"

#include <cstring>

namespace {

using RenderStateTest = RecordingTest;

std::vector<std::pair<DWORD, DWORD>> renderStateWrites(const RecordingDevice& device) {
    std::vector<std::pair<DWORD, DWORD>> writes;
    for (const RecordedCall& call : device.calls)
        if (call.kind == CallKind::SetRenderState) writes.emplace_back(call.args[0], call.args[1]);
    return writes;
}

using Writes = std::vector<std::pair<DWORD, DWORD>>;

TEST_F(RenderStateTest, StartUpModesWriteOnlyCulling) {
    setRenderMode(0);
    EXPECT_TRUE(device->calls.empty()) << "mode 0 is already in force";
    setRenderMode(17);
    EXPECT_EQ(renderStateWrites(*device), (Writes{{D3DRS_CULLMODE, D3DCULL_CCW}}));
    EXPECT_EQ(RenderMode, 17);
    // Bit 1 of 17 is clear, yet the device keeps its default depth test: deliberate.
    EXPECT_EQ(device->renderState(D3DRS_ZENABLE), DWORD(D3DZB_TRUE));
}

TEST_F(RenderStateTest, From17To0WritesOnlyCullNone) {
    RenderMode = 17;
    setRenderMode(0);
    EXPECT_EQ(renderStateWrites(*device), (Writes{{D3DRS_CULLMODE, D3DCULL_NONE}}));
}

TEST_F(RenderStateTest, From2To5WritesAllThreeInOrder) {
    RenderMode = 2;
    setRenderMode(5);
    EXPECT_EQ(renderStateWrites(*device),
              (Writes{{D3DRS_CULLMODE, D3DCULL_CCW}, {D3DRS_ZENABLE, 0}, {D3DRS_ALPHABLENDENABLE, 1}}));
    device->clearLog();
    setRenderMode(5);
    EXPECT_TRUE(device->calls.empty()) << "the same mode twice writes nothing";
    setRenderMode(2);
    EXPECT_EQ(renderStateWrites(*device),
              (Writes{{D3DRS_CULLMODE, D3DCULL_NONE}, {D3DRS_ZENABLE, 1}, {D3DRS_ALPHABLENDENABLE, 0}}));
}

TEST_F(RenderStateTest, DepthTestLagsUntilABitOneModeIsLeft) {
    setRenderMode(17);
    setRenderMode(5);
    EXPECT_EQ(device->renderState(D3DRS_ZENABLE), DWORD(D3DZB_TRUE)) << "still the default";
    setRenderMode(2);
    setRenderMode(0);
    EXPECT_EQ(device->renderState(D3DRS_ZENABLE), DWORD(D3DZB_FALSE));
}

TEST_F(RenderStateTest, FogWritesOnlyOnChange) {
    fogOff();
    EXPECT_TRUE(device->calls.empty()) << "fog is already off after start-up";
    fogOn();
    fogOn();
    EXPECT_EQ(renderStateWrites(*device), (Writes{{D3DRS_FOGENABLE, TRUE}}));
    EXPECT_EQ(fogEnabled, 1);
    fogOff();
    fogOff();
    EXPECT_EQ(renderStateWrites(*device), (Writes{{D3DRS_FOGENABLE, TRUE}, {D3DRS_FOGENABLE, FALSE}}));
}

TEST_F(RenderStateTest, FogEndWritesStartAndEndEveryTime) {
    setFogEnd(500.0f);
    setFogEnd(500.0f);
    const Writes once = {{D3DRS_FOGSTART, d3dFloatBits(0.0f)}, {D3DRS_FOGEND, d3dFloatBits(500.0f)}};
    Writes twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(renderStateWrites(*device), twice);
    EXPECT_EQ(d3dFloatBits(500.0f), 0x43FA0000u);
}

TEST_F(RenderStateTest, BlendHelpers) {
    setBlendFactorAlpha();
    ASSERT_EQ(device->calls.size(), 4u);
    EXPECT_EQ(device->describe(device->calls[0]), "SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA)");
    EXPECT_EQ(device->describe(device->calls[1]), "SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA)");
    EXPECT_EQ(device->describe(device->calls[2]), "SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR)");
    EXPECT_EQ(device->describe(device->calls[3]), "SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE)");
    EXPECT_EQ(RenderMode, 4);
    device->clearLog();
    setBlendAdditive();
    ASSERT_EQ(device->calls.size(), 4u);
    EXPECT_EQ(device->describe(device->calls[0]), "SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_CURRENT)");
    EXPECT_EQ(device->describe(device->calls[1]), "SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE)");
    EXPECT_EQ(device->describe(device->calls[2]), "SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE)");
    EXPECT_EQ(device->describe(device->calls[3]), "SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE)");
    EXPECT_EQ(RenderMode, 6);
}

TEST_F(RenderStateTest, CameraDistanceIsCameraOnTheZAxis) {
    setCameraDistance(20.0f);
    setCamera(0, 0, 20, 0, 0, 0);
    const auto views = callsOf(CallKind::SetTransform);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0]->args[0], DWORD(D3DTS_VIEW));
    EXPECT_EQ(std::memcmp(&views[0]->matrix, &views[1]->matrix, sizeof(D3DMATRIX)), 0);
    // Looking toward -z: the origin lies 20 ahead.
    EXPECT_FLOAT_EQ(views[0]->matrix._43, 20.0f);
    EXPECT_FLOAT_EQ(views[0]->matrix._33, -1.0f);
}

}  // namespace
