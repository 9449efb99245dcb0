// test_particle_faces.cpp: the sprite texture and the rendering of the six systems into the face textures, through the recording device.
#include <cstring>

#include "particles/particles.h"
#include "tests/recording_fixture.h"

namespace {

class ParticleFacesTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        std::memset(particleSystems, 0, sizeof particleSystems);
        spriteTexture = nullptr;
        for (IDirect3DTexture9*& face : faceTextures) face = nullptr;
    }

    void TearDown() override {
        spriteTexture = nullptr;
        for (IDirect3DTexture9*& face : faceTextures) face = nullptr;
        RecordingTest::TearDown();
    }

    void createFaces() {
        for (IDirect3DTexture9*& face : faceTextures)
            device->CreateTexture(256, 256, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &face, nullptr);
    }

    int surfaceId(IDirect3DTexture9* texture) const {
        return static_cast<RecordingTexture*>(texture)->surfaces[0]->id;
    }

    const uint8_t* texel(int row, int column) const {
        const auto* sprite = static_cast<RecordingTexture*>(spriteTexture);
        return sprite->levelBits[0].data() + row * 64 * 4 + column * 4;
    }
};

TEST_F(ParticleFacesTest, InitResetsTheRootsAndFillsTheSpriteDisc) {
    initParticleSystems();
    for (int k = 0; k < 6; ++k) EXPECT_EQ(particleSystems[k][0].state, particleNew) << k;
    ASSERT_NE(spriteTexture, nullptr);
    const auto creates = callsOf(CallKind::CreateTexture);
    ASSERT_EQ(creates.size(), 1u);
    const uint32_t expectedArgs[6] = {64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED};
    for (int a = 0; a < 6; ++a) EXPECT_EQ(creates[0]->args[a], expectedArgs[a]) << "argument " << a;
    const auto locks = callsOf(CallKind::LockRect);
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(locks[0]->args[0], 0u);
    EXPECT_EQ(locks[0]->args[1], D3DLOCK_NOSYSLOCK);
    EXPECT_EQ(device->count(CallKind::UnlockRect), 1u);

    // (row, column, value): 255 at the centre, falling by 255/32 a texel of distance, halves to even.
    const int cases[][3] = {{32, 32, 255}, {32, 40, 191}, {35, 36, 215}, {48, 32, 128}, {32, 0, 0}, {0, 0, 0}, {63, 63, 0}};
    for (const auto& [row, column, value] : cases)
        for (int byte = 0; byte < 4; ++byte)
            EXPECT_EQ(texel(row, column)[byte], value) << row << "," << column << " byte " << byte;
}

TEST_F(ParticleFacesTest, EachFaceIsDrawnInTheOrderGiven) {
    createFaces();
    initParticleSystems();
    device->clearLog();
    renderFaceTextures(2.0f, 0xFF000000u);

    const CallKind order[] = {CallKind::GetBackBuffer, CallKind::GetSurfaceLevel, CallKind::SetRenderTarget,
                              CallKind::Clear,         CallKind::SetTransform,    CallKind::SetTransform,
                              CallKind::SetTexture,    CallKind::SetFVF,          CallKind::DrawPrimitiveUP,
                              CallKind::SetRenderTarget, CallKind::ReleaseSurface, CallKind::ReleaseSurface};
    constexpr size_t perFace = sizeof order / sizeof order[0];
    ASSERT_EQ(device->calls.size(), 6 * perFace) << device->text();
    const int spriteId = static_cast<RecordingTexture*>(spriteTexture)->id;
    const int32_t firstCounts[6] = {1, 1, 1051, 1, 1, 251};
    for (int k = 0; k < 6; ++k) {
        const RecordedCall* c = &device->calls[k * perFace];
        for (size_t j = 0; j < perFace; ++j) EXPECT_EQ(c[j].kind, order[j]) << "face " << k << " call " << j;
        EXPECT_EQ(c[1].object, static_cast<RecordingTexture*>(faceTextures[k])->id);
        EXPECT_EQ(c[1].args[0], 0u) << "level 0";
        EXPECT_EQ(c[2].object, surfaceId(faceTextures[k]));
        EXPECT_EQ(c[3].args[0], 0u);
        EXPECT_EQ(c[3].args[1], D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        EXPECT_EQ(c[3].args[2], 0xFF000000u);
        EXPECT_EQ(d3dBitsFloat(c[3].args[3]), 1.0f);
        EXPECT_EQ(c[3].args[4], 0u);
        EXPECT_EQ(c[4].args[0], D3DTS_VIEW);
        EXPECT_EQ(std::memcmp(&c[4].matrix, &particleViewMatrix, sizeof(D3DMATRIX)), 0);
        EXPECT_EQ(c[5].args[0], D3DTS_WORLD);
        EXPECT_EQ(std::memcmp(&c[5].matrix, &identityMatrix, sizeof(D3DMATRIX)), 0);
        EXPECT_EQ(c[6].object, spriteId);
        EXPECT_EQ(c[7].args[0], D3DFVF_XYZ | D3DFVF_DIFFUSE);
        EXPECT_EQ(c[8].args[0], D3DPT_POINTLIST);
        EXPECT_EQ(c[8].args[1], static_cast<uint32_t>(firstCounts[k])) << "face " << k;
        EXPECT_EQ(c[8].args[2], 16u);
        EXPECT_EQ(c[9].object, device->calls[k * perFace].object) << "back to the back buffer";
        EXPECT_EQ(c[10].object, surfaceId(faceTextures[k])) << "the face level is released first";
    }
    // The last draw's copy is what the shared vertex array holds: system 5's points in slot order.
    const RecordedCall& last = device->calls[5 * perFace + 8];
    ASSERT_EQ(last.vertices.size(), 251u * 16);
    EXPECT_EQ(std::memcmp(last.vertices.data(), particleVertices, last.vertices.size()), 0);
    EXPECT_EQ(device->backBufferReferences(), 1) << "every reference taken is given back";
    for (IDirect3DTexture9* face : faceTextures) EXPECT_EQ(static_cast<RecordingTexture*>(face)->references, 1);
    EXPECT_EQ(static_cast<RecordingSurface*>(device->renderTarget())->id, device->calls[0].object)
        << "the back buffer is the target afterwards";
}

TEST_F(ParticleFacesTest, AFailingSystemDrawsNothingAndTheOthersCarryOn) {
    createFaces();
    initParticleSystems();
    particleSystems[3][0].program = 77;  // beyond the container's programs
    device->clearLog();
    renderFaceTextures(2.0f, 0xFF000000u);
    const auto draws = callsOf(CallKind::DrawPrimitiveUP);
    ASSERT_EQ(draws.size(), 5u);
    EXPECT_EQ(draws[3]->args[1], 1u) << "system 4 follows";
    EXPECT_EQ(device->count(CallKind::Clear), 6u) << "the failing face is still cleared";
    EXPECT_EQ(device->count(CallKind::SetRenderTarget), 12u);
}

TEST_F(ParticleFacesTest, MissingFaceTexturesAdvanceTheSystemsWithoutDrawing) {
    initParticleSystems();
    device->clearLog();
    renderFaceTextures(2.0f, 0xFF000000u);
    EXPECT_EQ(device->count(CallKind::DrawPrimitiveUP), 0u);
    EXPECT_EQ(device->count(CallKind::SetRenderTarget), 0u);
    EXPECT_EQ(device->backBufferReferences(), 1);
    EXPECT_EQ(particleSystems[5][250].state, particleLive) << "system 5 made its first burst";

    d3dDevice = nullptr;
    renderFaceTextures(3.0f, 0xFF000000u);
    EXPECT_EQ(particleSystems[0][0].r[particleTime], 3.0f) << "no device: the systems still advance";
}

}  // namespace
