// gl_fixture.h: a test fixture that draws through the OpenGL device on a headless EGL context,
// with a fresh device and the show's core state reset for every test, and pixel read-back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "core/core.h"
#include "platform/egl/egl_context.h"
#include "platform/gl/gl_device.h"

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

class GLTest : public ::testing::Test {
protected:
    static constexpr int backWidth = 640;
    static constexpr int backHeight = 480;

    void SetUp() override {
        // The context is made once per process; a fresh device per test keeps tests apart.
        static bool tried = false;
        static bool ready = false;
        static char reason[256] = "";
        if (!tried) {
            tried = true;
            ready = createHeadlessContext(reason, sizeof reason);
        }
        if (!ready) GTEST_SKIP() << "no headless OpenGL 3.3 context: " << reason;
        char error[256] = "";
        device = createGLDevice(error, sizeof error);
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

    GLDevice* device = nullptr;
    std::vector<uint8_t> backPixels;
};
