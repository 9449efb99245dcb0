// test_recording_device.cpp: the recording device's state tracking, references, lockable
// memory and trace text, which every device-call test relies on.
#include "tests/recording_fixture.h"

#include <cstring>

namespace {

using RecordingDeviceTest = RecordingTest;

TEST_F(RecordingDeviceTest, StartsInDirect3DDefaults) {
    EXPECT_EQ(device->renderState(D3DRS_ZENABLE), DWORD(D3DZB_TRUE));
    EXPECT_EQ(device->renderState(D3DRS_CULLMODE), DWORD(D3DCULL_CCW));
    EXPECT_EQ(device->renderState(D3DRS_LIGHTING), DWORD(TRUE));
    EXPECT_EQ(device->renderState(D3DRS_SRCBLEND), DWORD(D3DBLEND_ONE));
    EXPECT_EQ(device->renderState(D3DRS_DESTBLEND), DWORD(D3DBLEND_ZERO));
    EXPECT_EQ(device->renderState(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    EXPECT_EQ(device->renderState(D3DRS_FOGEND), d3dFloatBits(1.0f));
    EXPECT_EQ(device->textureStageState(D3DTSS_ALPHAARG1), D3DTA_TEXTURE);
    EXPECT_EQ(device->samplerState(D3DSAMP_MINFILTER), DWORD(D3DTEXF_POINT));
}

TEST_F(RecordingDeviceTest, TextureMemoryReferencesAndTargets) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3D_OK);
    RecordingTexture* recorded = device->textureById(static_cast<RecordingTexture*>(texture)->id);
    ASSERT_EQ(recorded, texture);
    EXPECT_EQ(recorded->levels, 9u) << "levels 0 asks for the whole chain";
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 1024);
    static_cast<uint8_t*>(locked.pBits)[255 * locked.Pitch + 1023] = 0xAB;  // last byte is writable
    texture->UnlockRect(0);
    EXPECT_EQ(recorded->levelBits[0].back(), 0xAB);

    IDirect3DSurface9* back = nullptr;
    IDirect3DSurface9* level = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    texture->GetSurfaceLevel(0, &level);
    EXPECT_EQ(device->backBufferReferences(), 2);
    EXPECT_EQ(recorded->references, 2);
    device->SetRenderTarget(0, level);
    EXPECT_EQ(device->renderTarget(), level);
    device->SetRenderTarget(0, back);
    EXPECT_EQ(device->renderTarget(), back);
    level->Release();
    back->Release();
    EXPECT_EQ(device->backBufferReferences(), 1);
    EXPECT_EQ(recorded->references, 1);
}

TEST_F(RecordingDeviceTest, DrawsKeepTheirVertices) {
    const float points[2][4] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_LINELIST, 1, points, 16);
    const auto draws = callsOf(CallKind::DrawPrimitiveUP);
    ASSERT_EQ(draws.size(), 1u);
    ASSERT_EQ(draws[0]->vertices.size(), 32u);
    EXPECT_EQ(std::memcmp(draws[0]->vertices.data(), points, 32), 0);
    EXPECT_NE(device->DrawPrimitiveUP(D3DPT_LINELIST, 1, points, 8), D3D_OK) << "stride below the format";
}

TEST_F(RecordingDeviceTest, TraceNamesStatesAndValues) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_FOGEND, d3dFloatBits(500.0f));
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF000000u);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF104864u, 1.0f, 0);
    device->SetTexture(0, nullptr);
    EXPECT_EQ(device->text(),
              "SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE)\n"
              "SetRenderState(D3DRS_FOGEND, 500f)\n"
              "SetRenderState(D3DRS_FOGCOLOR, 0xFF000000)\n"
              "SetRenderState(D3DRS_LIGHTING, FALSE)\n"
              "SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE)\n"
              "SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1)\n"
              "Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF104864, 1, 0)\n"
              "SetTexture(0, NULL)\n");
}

}  // namespace
