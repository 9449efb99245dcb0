// test_gl_device.cpp: the OpenGL device's targets, clears, shared depth, textures, reference
// counts, the drawing switch, batching and refused values, checked on read-back pixels; and the
// line a refused call prints.
#include <functional>
#include <limits>

#include "platform/egl/egl_context.h"
#include "platform/gl/gl_api.h"
#include "tests/gl_fixture.h"

namespace {

using GLDeviceTest = GLTest;

TEST_F(GLDeviceTest, ClearFillsTheBackBufferWithTheArgbColour) {
    clearBack(0xFF104864);
    readBack();
    EXPECT_PIXEL(pixel(0, 0), 0x10, 0x48, 0x64, 0xFF, 0);
    EXPECT_PIXEL(pixel(639, 479), 0x10, 0x48, 0x64, 0xFF, 0);
    EXPECT_EQ(countRgb(0x10, 0x48, 0x64, 0), 640 * 480);
}

TEST_F(GLDeviceTest, ClearWithRectanglesTouchesOnlyThem) {
    clearBack(0xFF000000);
    const D3DRECT rects[2] = {{10, 20, 30, 25}, {600, 470, 700, 500}};  // the second runs off the target
    ASSERT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    readBack();
    EXPECT_EQ(countRgb(255, 0, 0, 0), 20 * 5 + 40 * 10);
    EXPECT_RGB(pixel(10, 20), 255, 0, 0, 0);
    EXPECT_RGB(pixel(29, 24), 255, 0, 0, 0);
    EXPECT_RGB(pixel(30, 24), 0, 0, 0, 0);
    EXPECT_RGB(pixel(9, 20), 0, 0, 0, 0);
}

// With a 256 x 256 target bound, a depth clear reaches only the top-left 256 x 256 of the shared
// depth buffer; the back buffer then sees both parts.
TEST_F(GLDeviceTest, DepthClearCoversOnlyTheViewportOfTheSmallTarget) {
    clearBack(0xFF000000, 0.0f);
    IDirect3DTexture9* target = renderTargetTexture();
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    drawRect(0, 0, 640, 480, 0xFFFFFFFF, 0.5f);
    readBack();
    EXPECT_EQ(countRgb(255, 255, 255, 0), 256 * 256);
    EXPECT_RGB(pixel(255, 255), 255, 255, 255, 0);
    EXPECT_RGB(pixel(256, 10), 0, 0, 0, 0);
    EXPECT_RGB(pixel(10, 256), 0, 0, 0, 0);
    // The target itself was cleared whole: its viewport is the whole texture.
    const std::vector<Rgba> texels = readTexture(target, 256, 256);
    EXPECT_PIXEL(texels[0], 0, 255, 0, 255, 0);
    EXPECT_PIXEL(texels[256 * 256 - 1], 0, 255, 0, 255, 0);
    level->Release();
    back->Release();
    target->Release();
}

// Depth written while drawing into a texture target hides later back-buffer draws behind it.
TEST_F(GLDeviceTest, TextureTargetsShareTheBackBuffersDepth) {
    clearBack(0xFF000000, 1.0f);
    IDirect3DTexture9* target = renderTargetTexture();
    IDirect3DSurface9 *level = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &level);
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    device->SetRenderTarget(0, level);
    drawRect(0, 0, 100, 100, 0xFFFFFFFF, 0.2f);  // no clear: the back buffer's depth of 1 is there
    device->SetRenderTarget(0, back);
    drawRect(0, 0, 200, 200, 0xFFFF0000, 0.5f);
    readBack();
    EXPECT_RGB(pixel(50, 50), 0, 0, 0, 0);      // behind the depth the texture pass wrote
    EXPECT_RGB(pixel(150, 150), 255, 0, 0, 0);
    EXPECT_RGB(pixel(150, 50), 255, 0, 0, 0);
    level->Release();
    back->Release();
    target->Release();
}

// A texture target's depth is the shared buffer's top-left part however the pass uses it: a
// whole clear then a draw, a clear of one rectangle (after the first case left other depths in
// the target's size), or no depth at all. Afterwards a red square at depth 0.5 over the back
// buffer's top-left 300 x 300 (cleared to depth 1) shows only where the pass left nothing nearer.
TEST_F(GLDeviceTest, TextureTargetPassesLeaveTheSharedDepthAsDirect3DDoes) {
    struct Case {
        const char* pass;
        bool clearWhole, clearRect, drawNear, depthTest;
        bool redAt[4];  // at (20, 20), (50, 50), (150, 150), (280, 280)
    };
    const Case cases[] = {
        {"cleared, then drawn near", true, false, true, true, {false, false, true, true}},
        {"40 x 40 cleared to 0", false, true, false, true, {false, true, true, true}},
        {"drawn without depth", false, false, true, false, {true, true, true, true}},
    };
    const int at[4] = {20, 50, 150, 280};
    for (const Case& c : cases) {
        clearBack(0xFF000000, 1.0f);
        IDirect3DTexture9* target = renderTargetTexture();
        IDirect3DSurface9 *level = nullptr, *back = nullptr;
        target->GetSurfaceLevel(0, &level);
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        device->SetRenderTarget(0, level);
        if (c.clearWhole) device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        const D3DRECT rect = {0, 0, 40, 40};
        if (c.clearRect) device->Clear(1, &rect, D3DCLEAR_ZBUFFER, 0, 0.0f, 0);
        device->SetRenderState(D3DRS_ZENABLE, c.depthTest ? D3DZB_TRUE : D3DZB_FALSE);
        if (c.drawNear) drawRect(0, 0, 100, 100, 0xFFFFFFFF, 0.2f);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderTarget(0, back);
        drawRect(0, 0, 300, 300, 0xFFFF0000, 0.5f);
        readBack();
        for (int i = 0; i < 4; ++i) EXPECT_EQ(pixel(at[i], at[i]).r == 255, c.redAt[i]) << c.pass << " at " << at[i];
        level->Release();
        back->Release();
        target->Release();
    }
}

// A mark drawn at the top-left of a texture target is at the top-left of the screen when the
// texture is drawn with v = 0 on top.
TEST_F(GLDeviceTest, RenderToTextureKeepsDirect3DsRowOrder) {
    IDirect3DTexture9* target = renderTargetTexture();
    IDirect3DSurface9 *level = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &level);
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    device->SetRenderTarget(0, level);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    drawRect(0, 0, 32, 16, 0xFFFF0000);
    const std::vector<Rgba> texels = readTexture(target, 256, 256);
    EXPECT_PIXEL(texels[0], 255, 0, 0, 255, 0);
    EXPECT_PIXEL(texels[15 * 256 + 31], 255, 0, 0, 255, 0);
    EXPECT_PIXEL(texels[16 * 256], 0, 0, 0, 255, 0);
    EXPECT_PIXEL(texels[32], 0, 0, 0, 255, 0);

    device->SetRenderTarget(0, back);
    clearBack(0xFF0000FF);
    device->SetTexture(0, target);
    drawTexturedRect(0, 0, 512, 512, 0, 0, 1, 1);  // two screen pixels a texel
    readBack();
    EXPECT_RGB(pixel(2, 2), 255, 0, 0, 0);
    EXPECT_RGB(pixel(60, 28), 255, 0, 0, 0);
    EXPECT_RGB(pixel(2, 40), 0, 0, 0, 0);
    EXPECT_RGB(pixel(500, 470), 0, 0, 0, 0);
    device->SetTexture(0, nullptr);
    level->Release();
    back->Release();
    target->Release();
}

// Targets of one size share an array texture, 8 layers each: ten of them take two arrays, a
// released one's layer goes to the next, and draws that sample different ones are one GL draw,
// each showing its own target. X8R8G8B8 targets hold no alpha: cleared with alpha 0, they read 255.
TEST_F(GLDeviceTest, RenderTargetsOfOneSizeAreSampledInOneDraw) {
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    std::vector<IDirect3DTexture9*> targets;
    const auto colour = [](int i) { return D3DCOLOR(uint32_t(20 * i + 10) << 16 | uint32_t(200 - 15 * i)); };
    const auto fill = [&](int i) {
        IDirect3DSurface9* level = nullptr;
        targets[size_t(i)]->GetSurfaceLevel(0, &level);
        device->SetRenderTarget(0, level);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, colour(i), 1.0f, 0);
        level->Release();
    };
    for (int i = 0; i < 10; ++i) {
        targets.push_back(renderTargetTexture(64));
        fill(i);
    }
    targets[0]->Release();  // its layer is free again
    targets[0] = renderTargetTexture(64);
    fill(0);
    EXPECT_PIXEL(readTexture(targets[0], 64, 64)[0], 10, 0, 200, 255, 0);
    device->SetRenderTarget(0, back);
    clearBack(0xFF000000);
    const uint64_t drawsBefore = device->stats().glDrawCalls;
    for (int i = 0; i < 10; ++i) {
        device->SetTexture(0, targets[size_t(i)]);
        drawTexturedRect(float(40 * i), 0, float(40 * i + 32), 32, 0, 0, 1, 1);
    }
    readBack();
    EXPECT_EQ(device->stats().glDrawCalls - drawsBefore, 2u) << "one draw for each array";
    for (int i = 0; i < 10; ++i) {
        const D3DCOLOR c = colour(i);
        EXPECT_RGB(pixel(40 * i + 16, 16), int(c >> 16 & 255), 0, int(c & 255), 0) << "target " << i;
    }
    device->SetTexture(0, nullptr);
    for (IDirect3DTexture9* target : targets) target->Release();
    back->Release();
}

// WebGL refuses a draw that samples an array texture while one of its layers is the target: a
// target drawn while its array-neighbour is sampled moves to another array, keeping what it held.
TEST_F(GLDeviceTest, ATargetDrawnWhileItsNeighbourIsSampledMovesWithItsContents) {
    IDirect3DTexture9* sampled = renderTargetTexture(64);
    IDirect3DTexture9* drawn = renderTargetTexture(64);
    IDirect3DSurface9 *sampledLevel = nullptr, *drawnLevel = nullptr, *back = nullptr;
    sampled->GetSurfaceLevel(0, &sampledLevel);
    drawn->GetSurfaceLevel(0, &drawnLevel);
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    device->SetRenderTarget(0, sampledLevel);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00C000, 1.0f, 0);
    device->SetRenderTarget(0, drawnLevel);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000C0, 1.0f, 0);
    drawRect(0, 0, 32, 64, 0xFFC00000);
    device->SetTexture(0, sampled);
    drawTexturedRect(32, 0, 48, 64, 0, 0, 1, 1);
    const std::vector<Rgba> pixels = readTexture(drawn, 64, 64);  // draws the batch
    GLint attached = 0, bound = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                          &attached);
    glGetIntegerv(GL_TEXTURE_BINDING_2D_ARRAY, &bound);
    EXPECT_NE(attached, bound) << "the draw samples the array it draws into";
    EXPECT_PIXEL(pixels[10], 0xC0, 0, 0, 255, 0) << "drawn before the move";
    EXPECT_PIXEL(pixels[40], 0, 0xC0, 0, 255, 0) << "the neighbour, sampled";
    EXPECT_PIXEL(pixels[60], 0, 0, 0xC0, 255, 0) << "cleared before the move";
    device->SetRenderTarget(0, back);
    device->SetTexture(0, drawn);
    drawTexturedRect(0, 0, 64, 64, 0, 0, 1, 1);
    readBack();
    EXPECT_RGB(pixel(40, 10), 0, 0xC0, 0, 0) << "sampled from its new place";
    device->SetTexture(0, nullptr);
    for (IDirect3DSurface9* surface : {sampledLevel, drawnLevel, back}) surface->Release();
    sampled->Release();
    drawn->Release();
}

// A lost context (a browser's WebGL) given back as a fresh one, whose names repeat the old
// ones: the show's textures keep their texels, targets come back black and drawable, the scale
// and the device's state stay.
TEST_F(GLDeviceTest, AFreshContextGetsEveryObjectBackWithTheShowsTexels) {
    ASSERT_TRUE(device->setResolution(800, 600));
    IDirect3DTexture9* texture = solidTexture(8, 8, 0xFF20C040);
    IDirect3DTexture9* target = renderTargetTexture(64);
    IDirect3DSurface9 *level = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &level);
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    device->SetRenderTarget(0, level);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    device->SetRenderTarget(0, back);
    device->SetTexture(0, texture);
    drawTexturedRect(0, 0, 64, 64, 0, 0, 1, 1);
    device->Present(nullptr, nullptr, nullptr, nullptr);

    destroyHeadlessContext();
    char error[256] = "";
    ASSERT_TRUE(createHeadlessContext(error, sizeof error)) << error;
    ASSERT_TRUE(device->restoreContext(error, sizeof error)) << error;
    int width = 0, height = 0;
    device->backBufferSize(width, height);
    EXPECT_EQ(width * 1000 + height, 800 * 1000 + 600) << "the scale stays";
    EXPECT_PIXEL(readTexture(target, 80, 80)[0], 0, 0, 0, 255, 0) << "a target comes back black";
    clearBack(0xFF000080);
    drawTexturedRect(0, 0, 64, 64, 0, 0, 1, 1);  // the texture still set
    device->SetTexture(0, target);
    drawTexturedRect(100, 0, 164, 64, 0, 0, 1, 1);
    device->SetRenderTarget(0, level);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFC00000, 1.0f, 0);
    device->SetRenderTarget(0, back);
    drawTexturedRect(200, 0, 264, 64, 0, 0, 1, 1);
    std::vector<uint8_t> rgba(size_t(800) * 600 * 4);
    device->readBackBuffer(rgba.data());
    const auto at = [&](int x, int y) {  // nominal pixels, read at 800 x 600
        const uint8_t* p = &rgba[(size_t(y * 600 / 480) * 800 + size_t(x * 800 / 640)) * 4];
        return Rgba{p[0], p[1], p[2], p[3]};
    };
    EXPECT_RGB(at(32, 32), 0x20, 0xC0, 0x40, 0) << "the show's texture keeps its texels";
    EXPECT_RGB(at(132, 32), 0, 0, 0, 0) << "the target as it came back";
    EXPECT_RGB(at(232, 32), 0xC0, 0, 0, 0) << "the target drawn again";
    EXPECT_RGB(at(400, 300), 0, 0, 0x80, 0) << "the back buffer cleared";
    device->SetTexture(0, nullptr);
    level->Release();
    back->Release();
    target->Release();
    texture->Release();
}

TEST_F(GLDeviceTest, SetRenderTargetResetsTheViewportToTheTarget) {
    IDirect3DTexture9* target = renderTargetTexture(128);
    IDirect3DSurface9 *level = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &level);
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    device->SetRenderTarget(0, level);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    // A pretransformed vertex is in the target's pixels: the right half of a 128-wide target.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    drawRect(64, 0, 128, 128, 0xFF00FF00);
    const std::vector<Rgba> texels = readTexture(target, 128, 128);
    EXPECT_PIXEL(texels[63], 0, 0, 0, 255, 0);
    EXPECT_PIXEL(texels[64], 0, 255, 0, 255, 0);
    EXPECT_PIXEL(texels[127 * 128 + 127], 0, 255, 0, 255, 0);
    device->SetRenderTarget(0, back);
    clearBack(0xFF000000);
    drawRect(320, 0, 640, 480, 0xFF00FF00);
    readBack();
    EXPECT_EQ(countRgb(0, 255, 0, 0), 320 * 480);
    level->Release();
    back->Release();
    target->Release();
}

TEST_F(GLDeviceTest, LockRectUsesThePitchAndDirect3DsByteOrder) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(5, 3, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK), D3D_OK);
    ASSERT_GE(locked.Pitch, 5 * 4);
    uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t texel[4] = {uint8_t(10 * x), uint8_t(100 + y), uint8_t(200), uint8_t(255)};  // B G R A
            std::memcpy(bits + y * locked.Pitch + x * 4, texel, 4);
        }
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "already locked";
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    const std::vector<Rgba> texels = readTexture(texture, 5, 3);
    EXPECT_PIXEL(texels[0], 200, 100, 0, 255, 0);
    EXPECT_PIXEL(texels[2 * 5 + 4], 200, 102, 40, 255, 0);

    // What GL samples is the same: one screen pixel per texel, point filtering.
    clearBack(0xFF000000);
    device->SetTexture(0, texture);
    drawTexturedRect(0, 0, 5, 3, 0, 0, 1, 1);
    readBack();
    EXPECT_PIXEL(pixel(0, 0), 200, 100, 0, 255, 0);
    EXPECT_PIXEL(pixel(3, 1), 200, 101, 30, 255, 0);
    EXPECT_PIXEL(pixel(4, 2), 200, 102, 40, 255, 0);
    EXPECT_RGB(pixel(5, 2), 0, 0, 0, 0);

    // A rectangle lock points at its top-left texel, rows still a pitch apart.
    const RECT rect = {2, 1, 4, 3};
    ASSERT_EQ(texture->LockRect(0, &locked, &rect, 0), D3D_OK);
    static_cast<uint8_t*>(locked.pBits)[locked.Pitch + 2] = 7;  // red of texel (2, 2)
    texture->UnlockRect(0);
    EXPECT_EQ(readTexture(texture, 5, 3)[2 * 5 + 2].r, 7);
    const RECT outside = {3, 0, 6, 1};
    EXPECT_EQ(texture->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(GLDeviceTest, TexturesCountTheirReferences) {
    IDirect3DTexture9* texture = renderTargetTexture();
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    EXPECT_EQ(texture->GetSurfaceLevel(1, &level), D3DERR_INVALIDCALL);
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    EXPECT_EQ(level->Release(), 2u);
    // The device holds the target it draws into; switching away lets it go.
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    EXPECT_EQ(level->Release(), 2u);
    EXPECT_EQ(texture->Release(), 1u);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    EXPECT_PIXEL(readTexture(texture, 256, 256)[0], 0, 255, 0, 255, 0);
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);  // the texture is gone now
    EXPECT_EQ(back->Release(), 0u);

    IDirect3DSurface9 *first = nullptr, *second = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &first);
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(second->Release(), 0u);

    IDirect3DTexture9* managed = solidTexture(4, 4, 0xFFFFFFFF);
    ASSERT_EQ(device->SetTexture(0, managed), D3D_OK);
    EXPECT_EQ(managed->Release(), 1u) << "the bound texture keeps a reference";
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
}

// Managed textures reach GL in Direct3D's byte order; sampled and read back they are still
// R, G, B in place, with X8R8G8B8's fourth byte ignored (alpha 255).
TEST_F(GLDeviceTest, ManagedTexturesSampleRedGreenBlueAndTheirFormatsAlpha) {
    for (const D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) {
        SCOPED_TRACE(format == D3DFMT_A8R8G8B8 ? "A8R8G8B8" : "X8R8G8B8");
        const int alpha = format == D3DFMT_A8R8G8B8 ? 64 : 255;
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const uint8_t texel[4] = {10, 20, uint8_t(30 + x), 64};  // B G R A
                std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, texel, 4);
            }
        texture->UnlockRect(0);
        EXPECT_PIXEL(readTexture(texture, 4, 4)[3], 33, 20, 10, alpha, 0);
        clearBack(0x00000000);
        device->SetTexture(0, texture);
        drawTexturedRect(0, 0, 4, 4, 0, 0, 1, 1);  // blending off: the texel's alpha is written
        readBack();
        EXPECT_PIXEL(pixel(0, 0), 30, 20, 10, alpha, 0);
        EXPECT_PIXEL(pixel(3, 3), 33, 20, 10, alpha, 0);
        device->SetTexture(0, nullptr);
        texture->Release();
    }
}

TEST_F(GLDeviceTest, ManagedTexturesWithAFullChainSampleLevelZeroOnly) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK), D3D_OK);
    for (int y = 0; y < 64; ++y) std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, 0x80, 64 * 4);
    texture->UnlockRect(0);
    clearBack(0xFF000000);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTexture(0, texture);
    drawTexturedRect(0, 0, 16, 16, 0, 0, 1, 1);  // minified 4 times
    readBack();
    EXPECT_PIXEL(pixel(8, 8), 0x80, 0x80, 0x80, 0x80, 1);
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(GLDeviceTest, DrawingDisabledKeepsStatesButTouchesNoPixel) {
    clearBack(0xFF000000);
    const GLDeviceStats before = device->stats();
    device->setDrawingEnabled(false);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    drawRect(0, 0, 640, 480, 0xFFFFFFFF);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    device->setDrawingEnabled(true);
    readBack();
    EXPECT_EQ(countRgb(0, 0, 0, 0), 640 * 480);
    const GLDeviceStats after = device->stats();
    EXPECT_EQ(after.d3dDrawCalls, before.d3dDrawCalls + 1);
    EXPECT_EQ(after.glDrawCalls, before.glDrawCalls);
    EXPECT_EQ(device->renderState(D3DRS_CULLMODE), DWORD(D3DCULL_NONE));
    // The state applies to the next visible draw: a counter-clockwise triangle now shows.
    const RhwColorVertex ccw[3] = {{0, 0, 0, 1, 0xFFFFFFFF}, {0, 100, 0, 1, 0xFFFFFFFF}, {100, 0, 0, 1, 0xFFFFFFFF}};
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof ccw[0]);
    readBack();
    EXPECT_RGB(pixel(10, 10), 255, 255, 255, 0);
}

// A texture written while drawing is off reaches GL when drawing comes back: the last bytes
// written, however often it was written meanwhile.
TEST_F(GLDeviceTest, TexturesWrittenWhileDrawingIsOffAreDrawnWithTheirLastBytes) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    const auto fill = [texture](uint8_t value) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 4; ++y) std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, value, 16);
        texture->UnlockRect(0);
    };
    fill(0x20);
    device->setDrawingEnabled(false);
    fill(0x40);
    fill(0x90);
    device->setDrawingEnabled(true);
    clearBack(0xFF000000);
    device->SetTexture(0, texture);
    drawTexturedRect(0, 0, 4, 4, 0, 0, 1, 1);
    readBack();
    EXPECT_RGB(pixel(1, 1), 0x90, 0x90, 0x90, 0);
    device->SetTexture(0, nullptr);
    texture->Release();
}

// The bench's split by kind of draw: each stretch of draws in one event (nested events name the
// innermost; an end returns to the outer) is one part, with the pixels it shaded.
TEST_F(GLDeviceTest, EventTimingChargesEachStretchOfDrawsToItsEvent) {
    static const wchar_t outer[] = L"outer", inner[] = L"inner";
    clearBack(0xFF000000);
    device->beginEventTiming();
    drawRect(0, 0, 10, 10, 0xFFFFFFFF);                 // no event: 100
    EXPECT_EQ(D3DPERF_BeginEvent(0, outer), 0);
    drawRect(0, 0, 20, 10, 0xFFFFFFFF);                 // outer: 200
    drawRect(0, 0, 5, 2, 0xFFFFFFFF);                   // still outer: 10 more
    EXPECT_EQ(D3DPERF_BeginEvent(0, inner), 1);
    drawRect(0, 0, 30, 10, 0xFFFFFFFF);                 // inner: 300
    EXPECT_EQ(D3DPERF_EndEvent(), 1);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);  // outer again, no pixels
    drawRect(0, 0, 40, 10, 0xFFFFFFFF);                 // outer: 400
    EXPECT_EQ(D3DPERF_EndEvent(), 0);
    EXPECT_EQ(D3DPERF_EndEvent(), -1) << "an end without a begin";
    std::vector<GLEventPart> parts;
    device->endEventTiming(parts);
    const std::vector<std::pair<LPCWSTR, uint64_t>> expected = {{nullptr, 100}, {outer, 210}, {inner, 300},
                                                                {outer, 400}};
    ASSERT_EQ(parts.size(), expected.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(parts[i].event, expected[i].first) << "part " << i;
        EXPECT_EQ(parts[i].pixels, expected[i].second) << "part " << i;
        EXPECT_GE(parts[i].ms, 0.0);
    }
    device->endEventTiming(parts);
    EXPECT_EQ(parts.size(), expected.size()) << "an end without a begin adds nothing";
}

// The benchmark's two measures: the pixels a frame shades, and the frame with no pixel work.
TEST_F(GLDeviceTest, PixelCountAndRasterizerDiscardForBenchmarks) {
    clearBack(0xFF000000);
    device->beginPixelCount();
    drawRect(10, 10, 110, 60, 0xFFFFFFFF);              // 100 x 50
    IDirect3DTexture9* target = renderTargetTexture(64);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    device->SetRenderTarget(0, surface);
    drawRect(0, 0, 32, 64, 0xFFFFFFFF);                 // 32 x 64 in the texture
    device->SetRenderTarget(0, back);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->endPixelCount(), uint64_t(100 * 50 + 32 * 64));
    EXPECT_EQ(device->endPixelCount(), 0u) << "an end without a begin counts nothing";

    device->setRasterizerDiscard(true);
    device->beginPixelCount();
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    const GLDeviceStats before = device->stats();
    drawRect(0, 0, 640, 480, 0xFFFFFFFF);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->endPixelCount(), 0u);
    EXPECT_EQ(device->stats().glDrawCalls, before.glDrawCalls + 1) << "the draw still reaches GL";
    device->setRasterizerDiscard(false);
    readBack();
    EXPECT_EQ(countRgb(0, 0, 0, 0), 640 * 480) << "neither the clear nor the draw touched a pixel";
    drawRect(0, 0, 10, 10, 0xFFFFFFFF);
    readBack();
    EXPECT_RGB(pixel(5, 5), 255, 255, 255, 0);
    surface->Release();
    back->Release();
    target->Release();
}

// A primitive with a position that is not a number is dropped whole and counted; the rest
// of the draw, and positions that are merely huge, are drawn.
TEST_F(GLDeviceTest, PrimitivesWithNonFinitePositionsAreDropped) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    clearBack(0xFF000000);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    // A strip of four triangles over x 0..200; the vertex at index 4 poisons triangles 2 and 3.
    RhwColorVertex strip[6];
    for (int i = 0; i < 6; ++i) strip[i] = {float(i / 2) * 100.0f, (i & 1) ? 100.0f : 0.0f, 0, 1, 0xFFFFFFFF};
    strip[4].x = nan;
    const GLDeviceStats before = device->stats();
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 4, strip, sizeof strip[0]), D3D_OK);
    const RhwColorVertex far[3] = {{300, 0, 0, 1, 0xFFFFFFFF}, {1e30f, 0, 0, 1, 0xFFFFFFFF}, {300, 100, 0, 1, 0xFFFFFFFF}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, far, sizeof far[0]), D3D_OK);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    const XyzColorVertex points[2] = {{inf, 0, 10, 0xFFFFFFFF}, {0, 0, 10, 0xFFFFFFFF}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 2, points, sizeof points[0]), D3D_OK);
    readBack();
    const GLDeviceStats after = device->stats();
    EXPECT_EQ(after.droppedPrimitives - before.droppedPrimitives, 3u);
    EXPECT_EQ(after.flushedVertices - before.flushedVertices, 2u * 3 + 3 + 4);  // a sprite is four corners
    EXPECT_RGB(pixel(50, 50), 255, 255, 255, 0);
    EXPECT_RGB(pixel(150, 50), 0, 0, 0, 0) << "the poisoned triangles drew nothing";
    EXPECT_RGB(pixel(350, 20), 255, 255, 255, 0) << "a huge but finite vertex still draws";
}

// Text draws a dozen lines at a time, each with its own world matrix: they share GL draws of
// some hundreds of vertices (short enough to keep the software renderer's clipping cheap).
TEST_F(GLDeviceTest, TinyLineDrawsShareGLDraws) {
    clearBack(0xFF000000);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 eye = {0, 0, -100}, at = {0, 0, 0}, up = {0, 1, 0};
    MathApi.D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    MathApi.D3DXMatrixPerspectiveFovLH(&projection, projectionFovY, projectionAspect, 0.1f, 4000.0f);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    XyzColorVertex lines[24];
    for (int i = 0; i < 24; ++i) lines[i] = {float(i % 2), float(i / 2) * 0.1f, 0.0f, 0xFFFFFFFF};
    const GLDeviceStats before = device->stats();
    for (int i = 0; i < 1000; ++i) {
        D3DXMATRIX world;
        MathApi.D3DXMatrixTranslation(&world, float(i % 40) * 2.0f - 40.0f, float(i / 40) * 1.5f - 18.0f, 0.0f);
        device->SetTransform(D3DTS_WORLD, &world);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_LINELIST, 12, lines, sizeof lines[0]), D3D_OK);
    }
    readBack();
    const GLDeviceStats after = device->stats();
    EXPECT_EQ(after.d3dDrawCalls - before.d3dDrawCalls, 1000u);
    EXPECT_LE(after.glDrawCalls - before.glDrawCalls, 24000u / 480u);
    EXPECT_EQ(after.flushedVertices - before.flushedVertices, 24000u);
    EXPECT_GT(countRgb(255, 255, 255, 8), 5000);

    // A state that matters between two draws splits them.
    const GLDeviceStats split = device->stats();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->DrawPrimitiveUP(D3DPT_LINELIST, 12, lines, sizeof lines[0]);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->DrawPrimitiveUP(D3DPT_LINELIST, 12, lines, sizeof lines[0]);
    readBack();
    EXPECT_EQ(device->stats().glDrawCalls - split.glDrawCalls, 2u);
}

TEST_F(GLDeviceTest, ValuesTheDeviceCannotReproduceAreRefused) {
    const float noFormat[12] = {};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, noFormat, 16), D3DERR_INVALIDCALL) << "no vertex format yet";
    EXPECT_EQ(device->SetRenderState(D3DRS_SRCBLEND, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->renderState(D3DRS_SRCBLEND), DWORD(D3DBLEND_ONE));
    EXPECT_EQ(device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_ALPHAARG1, 0x4), D3DERR_INVALIDCALL);  // specular
    EXPECT_EQ(device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_XYZRHW), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetFVF(D3DFVF_XYZ | 0x10), D3DERR_INVALIDCALL);  // normals
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(16), &identityMatrix), D3DERR_INVALIDCALL);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(1024, 1024, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                    &texture, nullptr),
              D3DERR_INVALIDCALL) << "larger than the shared depth buffer";
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_D24S8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_INVALIDCALL);
    IDirect3DTexture9* target = renderTargetTexture(16);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(target->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "default-pool targets";
    target->Release();
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    const RhwColorVertex v[3] = {};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 12), D3DERR_INVALIDCALL) << "stride too small";
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, sizeof v[0]), D3DERR_INVALIDCALL);
    // More primitives than a draw may hold is refused before a vertex is read: counted in 32
    // bits, 0x55555556 triangles would ask for two vertices.
    for (UINT count : {d3dMaxPrimitiveCount + 1, 0x55555556u, 0xFFFFFFFFu})
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, count, v, sizeof v[0]), D3DERR_INVALIDCALL) << count;
}

// The primitive types the show never draws but a frame stream may hold: each primitive from
// its own vertices.
TEST_F(GLDeviceTest, StripsAndFansDrawEachPrimitiveFromItsOwnVertices) {
    clearBack(0xFF000000);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    const RhwColorVertex corner[3] = {{10, 10, 0, 1, 0xFFFFFFFF}, {100, 10, 0, 1, 0xFFFFFFFF}, {100, 100, 0, 1, 0xFFFFFFFF}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_LINESTRIP, 2, corner, sizeof corner[0]), D3D_OK);
    const RhwColorVertex square[4] = {
        {200, 10, 0, 1, 0xFFFFFFFF}, {300, 10, 0, 1, 0xFFFFFFFF}, {300, 100, 0, 1, 0xFFFFFFFF}, {200, 100, 0, 1, 0xFFFFFFFF}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, square, sizeof square[0]), D3D_OK);
    readBack();
    EXPECT_GT(countRgb(255, 255, 255, 8, 40, 8, 60, 13), 15) << "the strip's first line";
    EXPECT_GT(countRgb(255, 255, 255, 8, 97, 40, 103, 60), 15) << "the strip's second line";
    EXPECT_EQ(countRgb(255, 255, 255, 8, 20, 20, 90, 90), 0) << "no line across the corner";
    EXPECT_EQ(countRgb(255, 255, 255, 8, 200, 10, 300, 100), 100 * 90) << "the fan's two triangles fill the square";
}

// Each refused call names its state and value; the same (kind, state) again, with any value,
// prints nothing, while another state of the same kind gets its own line.
TEST_F(GLDeviceTest, RefusedCallsSayWhichCallOncePerState) {
    const std::string tail = "; the call is refused\n";
    IDirect3DTexture9* texture = nullptr;
    const struct {
        std::function<void()> call;
        const char* line;  // nullptr: a (kind, state) already reported
    } rows[] = {
        {[&] { device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR); },
         "SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR)"},
        {[&] { device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_EXP); }, nullptr},
        {[&] { device->SetRenderState(D3DRS_SRCBLEND, 0); }, "SetRenderState(D3DRS_SRCBLEND, 0)"},
        {[&] { device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE); }, "SetRenderState(D3DRS_ALPHATESTENABLE, TRUE)"},
        {[&] { device->SetTextureStageState(0, D3DTSS_ALPHAARG1, 0x4); }, "SetTextureStageState(0, D3DTSS_ALPHAARG1, 4)"},
        {[&] { device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE); },
         "SetTextureStageState(1, D3DTSS_COLOROP, ...) (stage 0 only)"},
        {[&] { device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR); },
         "SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR)"},
        {[&] { device->SetSamplerState(2, D3DSAMP_MINFILTER, D3DTEXF_POINT); },
         "SetSamplerState(2, D3DSAMP_MINFILTER, ...) (sampler 0 only)"},
        {[&] { device->SetTexture(1, nullptr); }, "SetTexture(1, ...) (stage 0 only)"},
        {[&] { device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(16), &identityMatrix); },
         "SetTransform(16, ...) (world, view and projection only)"},
        {[&] { device->SetFVF(D3DFVF_XYZ | 0x10); }, "SetFVF(D3DFVF_XYZ | 0x00000010)"},
        {[&] { device->SetFVF(D3DFVF_XYZ | D3DFVF_XYZRHW); }, "SetFVF(D3DFVF_XYZ | D3DFVF_XYZRHW)"},
        {[&] { device->CreateTexture(16, 16, 1, 0, D3DFMT_D24S8, D3DPOOL_MANAGED, &texture, nullptr); },
         "CreateTexture with format D3DFMT_D24S8 (D3DFMT_A8R8G8B8 and D3DFMT_X8R8G8B8 only)"},
        {[&] { device->CreateTexture(16, 16, 1, 0x200, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr); },
         "CreateTexture with usage 512 (0 and D3DUSAGE_RENDERTARGET only)"},
    };
    std::string expected;
    testing::internal::CaptureStderr();
    for (const auto& row : rows) {
        row.call();
        row.call();
        if (row.line) expected += std::string("quorbel: the OpenGL device cannot reproduce ") + row.line + tail;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
    EXPECT_EQ(texture, nullptr);
}

TEST_F(GLDeviceTest, ScenesPairAndPresentEndsTheFrameHeadless) {
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    clearBack(0xFF204060);
    drawRect(0, 0, 10, 10, 0xFFFFFFFF);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    readBack();
    EXPECT_RGB(pixel(5, 5), 255, 255, 255, 0);
    EXPECT_RGB(pixel(50, 50), 0x20, 0x40, 0x60, 0);
}

// A broken environment gets one line of text, not a crash.
TEST(GLDeviceCreationTest, RefusesWithoutAContextAndWithoutDesktopGL33) {
    char error[256] = "";
    if (!createHeadlessContext(error, sizeof error)) SKIP_OR_FAIL("no headless OpenGL context: " << error);
    destroyHeadlessContext();
    EXPECT_EQ(createGLDevice(error, sizeof error), nullptr);
    EXPECT_STREQ(error, "no OpenGL context is current");
    if (createHeadlessEsContext(error, sizeof error)) {
        EXPECT_EQ(createGLDevice(error, sizeof error), nullptr);
        EXPECT_NE(std::string(error).find("OpenGL 3.3 core is needed"), std::string::npos) << error;
        destroyHeadlessContext();
    }
    EXPECT_TRUE(createHeadlessContext(error, sizeof error)) << error;
}

TEST(GLPresentRectTest, BackBufferFitsTheDrawableWithFourToThreeKept) {
    auto same = [](GLPresentRect r, int x, int y, int w, int h) {
        return r.x == x && r.y == y && r.width == w && r.height == h;
    };
    EXPECT_TRUE(same(presentRectangle(640, 480), 0, 0, 640, 480));
    EXPECT_TRUE(same(presentRectangle(1920, 1080), 240, 0, 1440, 1080));  // bars left and right
    EXPECT_TRUE(same(presentRectangle(800, 800), 0, 100, 800, 600));      // bars top and bottom
    EXPECT_TRUE(same(presentRectangle(1, 1), 0, 0, 1, 0));
    EXPECT_TRUE(same(presentRectangle(0, 480), 0, 0, 0, 0));
}

}  // namespace
