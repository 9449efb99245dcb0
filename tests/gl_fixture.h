// gl_fixture.h: a test fixture that draws through the OpenGL device on a headless EGL context,
// with a fresh device and the show's core state reset for every test, and pixel read-back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/frame_state.h"
#include "platform/egl/egl_context.h"
#include "platform/gl/gl_device.h"
#include "tests/require.h"

// One read-back pixel, bytes as Direct3D's colour names them.
struct Rgba {
    uint8_t r, g, b, a;
};

inline std::ostream& operator<<(std::ostream& out, const Rgba& p) {
    return out << "(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ", " << int(p.a) << ")";
}

// True when every channel is within tolerance; alpha is compared only when checkAlpha.
inline bool nearColor(Rgba p, int r, int g, int b, int a, int tolerance = 2, bool checkAlpha = true) {
    auto near = [tolerance](int x, int y) { return std::abs(x - y) <= tolerance; };
    return near(p.r, r) && near(p.g, g) && near(p.b, b) && (!checkAlpha || near(p.a, a));
}

// EXPECT on one pixel with a readable message.
#define EXPECT_PIXEL(pixel, r, g, b, a, tol) \
    EXPECT_TRUE(nearColor((pixel), (r), (g), (b), (a), (tol))) \
        << "pixel " << (pixel) << " expected (" << (r) << ", " << (g) << ", " << (b) << ", " << (a) << ")"
#define EXPECT_RGB(pixel, r, g, b, tol) \
    EXPECT_TRUE(nearColor((pixel), (r), (g), (b), 0, (tol), false)) \
        << "pixel " << (pixel) << " expected rgb (" << (r) << ", " << (g) << ", " << (b) << ")"

// Vertex records of the four formats the show draws.
struct RhwColorVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};
struct RhwTexVertex {
    float x, y, z, rhw, u, v;
};
struct XyzColorVertex {
    float x, y, z;
    D3DCOLOR color;
};
struct XyzTexVertex {
    float x, y, z, u, v;
};

class GLTest : public ::testing::Test {
protected:
    static constexpr int backWidth = 640;
    static constexpr int backHeight = 480;

    void SetUp() override {
        // One context per process (made again only if a test replaced it); a fresh device
        // per test keeps tests apart.
        std::string error;
        bool noContext = false;
        device = startHeadlessDevice(error, &noContext);
        if (noContext) SKIP_OR_FAIL(error);
        ASSERT_NE(device, nullptr) << error;
        d3dDevice = device;
        loadMathApi();
        RenderMode = 0;
        fogEnabled = 0;
        randomSeed = 0;
    }

    void TearDown() override {
        d3dDevice = nullptr;
        if (device) device->Release();
        device = nullptr;
    }

    // The whole back buffer, row 0 at the top; then pixel() reads from it.
    // With QUORBEL_TEST_IMAGES set to a folder, the frame is kept there as a PPM to look at.
    void keepImage(const char* name) const {
        const char* folder = std::getenv("QUORBEL_TEST_IMAGES");
        if (folder == nullptr) return;
        const std::string path = std::string(folder) + "/" + name + ".ppm";
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) return;
        std::fprintf(file, "P6\n640 480\n255\n");
        for (size_t i = 0; i < backPixels.size(); i += 4) std::fwrite(&backPixels[i], 1, 3, file);
        std::fclose(file);
    }

    void readBack() {
        backPixels.assign(size_t(backWidth) * backHeight * 4, 0);
        device->readBackBuffer(backPixels.data());
    }

    Rgba pixel(int x, int y) const {
        const uint8_t* p = &backPixels[(size_t(y) * backWidth + size_t(x)) * 4];
        return {p[0], p[1], p[2], p[3]};
    }

    // Level 0 of a texture of the given size, row 0 at the top.
    std::vector<Rgba> readTexture(IDirect3DTexture9* texture, int width, int height) {
        std::vector<uint8_t> bytes(size_t(width) * height * 4, 0);
        device->readTexture(texture, bytes.data());
        std::vector<Rgba> out(size_t(width) * height);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = {bytes[i * 4], bytes[i * 4 + 1], bytes[i * 4 + 2], bytes[i * 4 + 3]};
        return out;
    }

    // Pixels of the last readBack() whose colour is near (r, g, b), counted inside a rectangle.
    int countRgb(int r, int g, int b, int tolerance = 8, int x0 = 0, int y0 = 0, int x1 = backWidth,
                 int y1 = backHeight) const {
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (nearColor(pixel(x, y), r, g, b, 0, tolerance, false)) ++count;
        return count;
    }

    // A pretransformed rectangle in render-target pixels, wound to survive the default culling.
    void drawRect(float x0, float y0, float x1, float y1, D3DCOLOR color, float z = 0.0f) {
        const RhwColorVertex quad[4] = {{x0, y0, z, 1.0f, color}, {x1, y0, z, 1.0f, color},
                                        {x0, y1, z, 1.0f, color}, {x1, y1, z, 1.0f, color}};
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
    }

    void drawTexturedRect(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1,
                          float z = 0.0f) {
        const RhwTexVertex quad[4] = {{x0, y0, z, 1.0f, u0, v0}, {x1, y0, z, 1.0f, u1, v0},
                                      {x0, y1, z, 1.0f, u0, v1}, {x1, y1, z, 1.0f, u1, v1}};
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
    }

    // A managed A8R8G8B8 texture of one colour (0xAARRGGBB), filled through LockRect.
    IDirect3DTexture9* solidTexture(int width, int height, D3DCOLOR color) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                        nullptr),
                  D3D_OK);
        if (!texture) return nullptr;
        D3DLOCKED_RECT locked;
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK), D3D_OK);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &color, 4);
        texture->UnlockRect(0);
        return texture;
    }

    IDirect3DTexture9* renderTargetTexture(int size = 256) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                        &texture, nullptr),
                  D3D_OK);
        return texture;
    }

    // The point-sprite states the show sets once at start-up: a sprite's side is the viewport
    // height over its distance.
    void showPointStates() {
        device->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
        device->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
        device->SetRenderState(D3DRS_POINTSIZE, d3dFloatBits(1.0f));
        device->SetRenderState(D3DRS_POINTSIZE_MIN, d3dFloatBits(1.0f));
        device->SetRenderState(D3DRS_POINTSCALE_A, d3dFloatBits(0.0f));
        device->SetRenderState(D3DRS_POINTSCALE_B, d3dFloatBits(0.0f));
        device->SetRenderState(D3DRS_POINTSCALE_C, d3dFloatBits(1.0f));
    }

    void clearBack(D3DCOLOR color, float z = 1.0f) {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, z, 0), D3D_OK);
    }

    GLDevice* device = nullptr;
    std::vector<uint8_t> backPixels;
};
