// test_gl_rules.cpp: Direct3D rules the show's pictures rest on, through the OpenGL device: stage 0
// modulation, sprite size and sprites across the viewport edge, the depth range and the near
// plane, the picture's orientation in the window, and a particle face against its particle data.
#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>

#include "particles/particles.h"
#include "platform/gl/gl_internal.h"
#include "tests/gl_fixture.h"

namespace {

// Where Direct3D puts a transformed point sprite in a width x height viewport under the show's
// projection and scale factors (A = B = 0, C = 1, size 1): centre in pixels, centres on integers.
struct Sprite {
    float x, y, side;
};

Sprite projectSprite(float x, float y, float z, const D3DXMATRIX& view, float width, float height) {
    float eye[3];
    for (int c = 0; c < 3; ++c) eye[c] = x * view.m[0][c] + y * view.m[1][c] + z * view.m[2][c] + view.m[3][c];
    const float distance = std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
    return {(eye[0] * projectionMatrix._11 / eye[2] + 1) * width / 2,
            (1 - eye[1] * projectionMatrix._22 / eye[2]) * height / 2, std::clamp(height / distance, 1.0f, 256.0f)};
}

class GLRulesTest : public GLTest {
protected:
    // The show's start-up states for transformed draws and sprites, depth off; the camera at the
    // origin looking along +z.
    void showStates() {
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        device->SetTransform(D3DTS_WORLD, &identityMatrix);
        device->SetTransform(D3DTS_VIEW, &identityMatrix);
        device->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
        showPointStates();
    }

    // Draws on a black clear and reads the frame back.
    void drawAlone(D3DPRIMITIVETYPE type, UINT count, const XyzColorVertex* vertices, float clearZ = 1.0f) {
        clearBack(0xFF000000, clearZ);
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->DrawPrimitiveUP(type, count, vertices, sizeof vertices[0]), D3D_OK);
        readBack();
    }

    int whiteIn(int x0, int y0, int x1, int y1) const { return countRgb(255, 255, 255, 8, x0, y0, x1, y1); }
};

TEST_F(GLRulesTest, StageZeroModulatesTheTexelByTheVertexColour) {
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR color;
        float u, v;
    };
    const D3DCOLOR texel = 0xC0FF8040;
    IDirect3DTexture9* texture = solidTexture(4, 4, texel);
    device->SetTexture(0, texture);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    // The default alpha op takes the texture's alpha alone; MODULATE multiplies alpha too.
    const struct {
        D3DCOLOR diffuse;
        DWORD alphaOp;
    } cases[] = {{0x8040C0FF, D3DTOP_SELECTARG1}, {0x60FF2080, D3DTOP_MODULATE}};
    for (const auto& c : cases) {
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, c.alphaOp);
        const Vertex quad[4] = {{0, 0, 0, 1, c.diffuse, 0, 0}, {16, 0, 0, 1, c.diffuse, 1, 0},
                                {0, 16, 0, 1, c.diffuse, 0, 1}, {16, 16, 0, 1, c.diffuse, 1, 1}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
        readBack();
        auto times = [&](int shift) { return int(((texel >> shift & 255) * (c.diffuse >> shift & 255) + 127) / 255); };
        const int alpha = c.alphaOp == D3DTOP_MODULATE ? times(24) : int(texel >> 24);
        EXPECT_PIXEL(pixel(8, 8), times(16), times(8), times(0), alpha, 1) << "diffuse " << std::hex << c.diffuse;
    }
    device->SetTexture(0, nullptr);
    texture->Release();
}

// Off the axis the eye distance, not the depth, sets the size: here the two differ by 6 pixels.
TEST_F(GLRulesTest, PointSpriteSizeFollowsTheWholeEyeDistance) {
    showStates();
    const XyzColorVertex points[] = {{0.6f, 0.6f, 3.0f, 0xFFFFFFFF}, {-0.5f, -0.7f, 3.0f, 0xFFFFFFFF}};
    for (const XyzColorVertex& p : points) {
        const Sprite s = projectSprite(p.x, p.y, p.z, identityMatrix, backWidth, backHeight);
        ASSERT_GT(std::fabs(s.side - backHeight / p.z), 5.0f);
        drawAlone(D3DPT_POINTLIST, 1, &p);
        const int row = int(std::lround(s.y)), column = int(std::lround(s.x));
        EXPECT_NEAR(whiteIn(0, row, backWidth, row + 1), s.side, 1.0) << "at " << p.x << ", " << p.y;
        EXPECT_NEAR(whiteIn(column, 0, column + 1, backHeight), s.side, 1.0) << "at " << p.x << ", " << p.y;
    }
}

// Direct3D's depth runs 0 at zn to 1 at zf: against a depth cleared to 0.5, a square at depth 0.2
// shows and one at 0.8 does not; nothing nearer than zn is drawn, nor a sprite behind the eye.
TEST_F(GLRulesTest, DepthRunsFromTheNearPlaneAndNothingNearerIsDrawn) {
    showStates();
    const struct {
        D3DPRIMITIVETYPE type;
        float distance;
        bool depthTest, drawn;
    } cases[] = {{D3DPT_TRIANGLESTRIP, 0.075f, false, false}, {D3DPT_TRIANGLESTRIP, 0.125f, true, true},
                 {D3DPT_TRIANGLESTRIP, 0.5f, true, false},    {D3DPT_TRIANGLESTRIP, 0.5f, false, true},
                 {D3DPT_POINTLIST, 5.0f, false, true},        {D3DPT_POINTLIST, 0.075f, false, false},
                 {D3DPT_POINTLIST, -5.0f, false, false}};
    for (const auto& c : cases) {
        device->SetRenderState(D3DRS_ZENABLE, c.depthTest ? D3DZB_TRUE : D3DZB_FALSE);
        const float d = c.distance, s = 0.05f * d;  // a square around the centre, or the point at its middle
        const XyzColorVertex quad[4] = {{-s, s, d, 0xFFFFFFFF}, {s, s, d, 0xFFFFFFFF}, {-s, -s, d, 0xFFFFFFFF},
                                        {s, -s, d, 0xFFFFFFFF}};
        const XyzColorVertex point = {0.0f, 0.0f, d, 0xFFFFFFFF};
        drawAlone(c.type, c.type == D3DPT_POINTLIST ? 1 : 2, c.type == D3DPT_POINTLIST ? &point : quad, 0.5f);
        EXPECT_EQ(whiteIn(318, 238, 322, 242) > 0, c.drawn)
            << (c.type == D3DPT_POINTLIST ? "sprite" : "square") << " at " << d << ", depth test " << c.depthTest;
    }
}

// A sprite whose centre lies a few pixels outside the viewport still shows the part inside it.
TEST_F(GLRulesTest, PointSpritesAcrossTheViewportEdgeShowTheirInsidePart) {
    showStates();
    const float centres[][2] = {{-6, 240}, {320, -6}, {646, 240}, {320, 486}, {-4, 484}};
    for (const auto& c : centres) {
        const float z = 10.0f, x = (c[0] / 320 - 1) * z / projectionMatrix._11;
        const float y = (1 - c[1] / 240) * z / projectionMatrix._22;
        const Sprite s = projectSprite(x, y, z, identityMatrix, backWidth, backHeight);
        auto inside = [&s](float at, float end) {
            return std::min(at + s.side / 2, end) - std::max(at - s.side / 2, 0.0f);
        };
        const float w = inside(s.x, backWidth), h = inside(s.y, backHeight);
        const XyzColorVertex point = {x, y, z, 0xFFFFFFFF};
        drawAlone(D3DPT_POINTLIST, 1, &point);
        EXPECT_NEAR(whiteIn(0, 0, backWidth, backHeight), w * h, w + h + 1) << "centre " << c[0] << ", " << c[1];
    }
}

// Present scales the back buffer into the window with Direct3D's top row at the top (GL's highest
// row) and black bars around the 4:3 picture; what the swap hook fills in over it (the progress
// bar) goes through the state cache, which still agrees with GL. A framebuffer of ours stands in
// for the window.
TEST_F(GLRulesTest, PresentShowsTheTopRowAtTheTopBetweenBlackBars) {
    clearBack(0xFF00FF00);
    drawRect(0, 0, 640, 8, 0xFFFF0000);
    drawRect(0, 472, 640, 480, 0xFF0000FF);
    const int windows[][2] = {{800, 500}, {700, 600}};  // bars left and right, then above and below
    for (const auto& [width, height] : windows) {
        GLint previous = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
        GLuint framebuffer = 0, colour = 0;
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
        const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);  // white, so black bars must be Present's
        glClear(GL_COLOR_BUFFER_BIT);
        if (scissor) glEnable(GL_SCISSOR_TEST);
        glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));  // where the device believes it is

        const auto fillBar = [](void* user) {
            const GLWindowFill bar[] = {{0, 0, 40, 4, 0.5f}, {10, 0, 2, 4, 1.0f}};
            static_cast<GLDevice*>(user)->fillWindow(bar, 2);
        };
        device->setPresentTarget({width, height, framebuffer, fillBar, device});
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(static_cast<GLDeviceImpl*>(device)->cacheMismatch(), "") << "after the fill, " << width;
        std::vector<uint8_t> shown(size_t(width) * size_t(height) * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, shown.data());
        device->setPresentTarget(GLPresentTarget{});
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &colour);

        auto at = [&, w = width](int x, int y) {  // GL rows: 0 at the bottom
            const uint8_t* p = &shown[(size_t(y) * size_t(w) + size_t(x)) * 4];
            return Rgba{p[0], p[1], p[2], p[3]};
        };
        const GLPresentRect fit = presentRectangle(width, height);
        const int middle = fit.x + fit.width / 2;
        EXPECT_RGB(at(middle, fit.y + fit.height - 1), 255, 0, 0, 8) << "top of the picture, " << width;
        EXPECT_RGB(at(middle, fit.y + fit.height / 2), 0, 255, 0, 8) << width;
        EXPECT_RGB(at(middle, fit.y), 0, 0, 255, 8) << "bottom of the picture, " << width;
        int bars = 0, notBlack = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if ((x < fit.x || x >= fit.x + fit.width || y < fit.y || y >= fit.y + fit.height) && !(x < 40 && y < 4)) {
                    ++bars;
                    notBlack += !nearColor(at(x, y), 0, 0, 0, 0, 0, false);
                }
        EXPECT_RGB(at(5, 0), 128, 128, 128, 1) << "the fill, " << width;
        EXPECT_RGB(at(11, 3), 255, 255, 255, 0) << "the later fill over it, " << width;
        EXPECT_GT(bars, 0);
        EXPECT_EQ(notBlack, 0) << "bars of " << width << " x " << height;
    }
}

// The burst system's face drawn as the cube scenes draw it, on its first pass (250 particles on one
// spot) and a second later (spread out). A pixel is the sum, clamped at 255, of each covering
// sprite's disc texel (filtered as the sampler does) x its colour; the clear's black where none
// covers it. Filter weights have 8 bits: the tolerance grows with the colour summed at a pixel,
// so under the 250 sprites of the first pass only their saturation counts.
TEST_F(GLRulesTest, BurstFaceAddsDiscTimesColourOfEveryParticle) {
    constexpr int burst = 5, size = 256;
    std::memset(particleSystems, 0, sizeof particleSystems);
    showStates();
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    setRenderMode(2);
    setRenderMode(4);  // as the scenes leave it from their second frame: blending on, depth off
    initParticleSystems();
    ASSERT_NE(spriteTexture, nullptr);
    const std::vector<Rgba> disc = readTexture(spriteTexture, 64, 64);
    for (IDirect3DTexture9*& face : faceTextures) face = nullptr;
    faceTextures[burst] = renderTargetTexture(size);
    auto discAt = [&](float u, float v) {  // bilinear, wrapping
        const float s = u * 64 - 0.5f, t = v * 64 - 0.5f, i = std::floor(s), j = std::floor(t);
        auto at = [&](float x, float y) { return float(disc[size_t((int(y) & 63) * 64 + (int(x) & 63))].r) / 255; };
        return (1 - (t - j)) * ((1 - (s - i)) * at(i, j) + (s - i) * at(i + 1, j)) +
               (t - j) * ((1 - (s - i)) * at(i, j + 1) + (s - i) * at(i + 1, j + 1));
    };
    struct Expected {
        float sum[3], colour[3];  // disc x colour, and colour alone for the tolerance
        int sprites;
    };
    int lone = 0, added = 0, saturated = 0, black = 0;  // what the two faces exercise
    for (const float t : {2.0f, 3.0f}) {
        renderFaceTextures(t, 0xFF000000u);
        int count = 0;
        for (const Particle& p : particleSystems[burst]) count += p.state == particleLive;
        ASSERT_EQ(count, 251) << "the root and its 250 particles";
        std::vector<Expected> expected(size_t(size) * size, Expected{});
        for (int k = 0; k < count; ++k) {
            const ColorVertex& v = particleVertices[k];
            const Sprite s = projectSprite(v.x, v.y, v.z, particleViewMatrix, size, size);
            // A pixel centre within 1/64 pixel of an edge may go either way (the top-left rule
            // against the device's shift): there the sprite only widens the tolerance.
            const float x0 = s.x - s.side / 2, y0 = s.y - s.side / 2, e = 1.0f / 64;
            auto sure = [&](int p, float from) { return p - e >= from && p + e < from + s.side; };
            const int left = std::max(0, int(std::ceil(x0 - e))), right = std::min(size, int(x0 + s.side + e) + 1);
            for (int y = std::max(0, int(std::ceil(y0 - e))); y < std::min(size, int(y0 + s.side + e) + 1); ++y)
                for (int x = left; x < right; ++x) {
                    Expected& into = expected[size_t(y) * size + size_t(x)];
                    const bool inside = sure(x, x0) && sure(y, y0);
                    const float d = inside ? discAt((x - x0) / s.side, (y - y0) / s.side) : 0.0f;
                    into.sprites += inside && (v.color & 0xFFFFFF) != 0;
                    for (int c = 0; c < 3; ++c) {
                        into.sum[c] += d * float(v.color >> (16 - 8 * c) & 255);
                        into.colour[c] += float(v.color >> (16 - 8 * c) & 255);
                    }
                }
        }
        const std::vector<Rgba> face = readTexture(faceTextures[burst], size, size);
        int wrong = 0;
        for (size_t at = 0; at < face.size(); ++at) {
            const Expected& x = expected[at];
            const int got[3] = {face[at].r, face[at].g, face[at].b};
            for (int c = 0; c < 3; ++c) {
                const float tolerance = x.colour[c] > 0 ? 3 + x.colour[c] * 3 / 255 : 0;
                const long low = std::lround(std::clamp(x.sum[c] - tolerance, 0.0f, 255.0f));
                const long high = std::lround(std::min(x.sum[c] + tolerance, 255.0f));
                if ((got[c] < low || got[c] > high) && ++wrong <= 5)
                    ADD_FAILURE() << "t " << t << ", pixel " << at % size << ", " << at / size << " channel " << c << ": "
                                  << got[c] << ", not " << low << " to " << high << ", " << x.sprites << " sprites";
            }
            lone += x.sprites == 1 && x.sum[0] > 64;
            added += x.sprites > 1 && x.sum[0] + x.colour[0] * 3 / 255 < 250;
            saturated += x.sum[0] - x.colour[0] * 3 / 255 > 260;
            black += x.colour[0] == 0;
        }
        EXPECT_EQ(wrong, 0) << "t " << t;
    }
    EXPECT_TRUE(lone > 100 && added > 100 && saturated > 100 && black > 1000)
        << "pixels under one sprite " << lone << ", several " << added << ", saturated " << saturated << ", none " << black;
    spriteTexture->Release();
    faceTextures[burst]->Release();
    spriteTexture = faceTextures[burst] = nullptr;
}

}  // namespace

namespace {

// The back buffer at whatever size the device draws, and the pixels near a colour in a
// rectangle of it.
struct ScaledFrame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    int count(uint32_t rgb, int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
                n += std::abs(p[0] - int(rgb >> 16 & 255)) <= 8 && std::abs(p[1] - int(rgb >> 8 & 255)) <= 8 &&
                     std::abs(p[2] - int(rgb & 255)) <= 8;
            }
        return n;
    }
};

ScaledFrame readScaled(GLDevice* device) {
    ScaledFrame frame;
    device->backBufferSize(frame.width, frame.height);
    frame.rgba.resize(size_t(frame.width) * frame.height * 4);
    device->readBackBuffer(frame.rgba.data());
    return frame;
}

}  // namespace

// At 1280 x 960 every size the show gives in pixels is in the back buffer's nominal 640 x 480
// and comes out twice as large: clear rectangles, pretransformed quads, sprite sides, line
// widths and render targets.
TEST_F(GLRulesTest, AtTwiceTheSizeEveryNominalPixelSizeDoubles) {
    ASSERT_TRUE(device->setResolution(1280, 960));
    showStates();
    device->SetRenderState(D3DRS_POINTSCALEENABLE, FALSE);
    device->SetRenderState(D3DRS_POINTSIZE, d3dFloatBits(8.0f));
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    const D3DRECT rect = {10, 20, 30, 40};
    device->Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    drawRect(100, 100, 110, 110, 0xFF00FF00);
    const RhwColorVertex point = {320, 240, 0, 1, 0xFF0000FF};
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof point);
    const RhwColorVertex line[2] = {{300, 400, 0, 1, 0xFFFFFFFF}, {400, 400, 0, 1, 0xFFFFFFFF}};
    device->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof line[0]);
    const ScaledFrame frame = readScaled(device);
    ASSERT_EQ(frame.width, 1280);
    ASSERT_EQ(frame.height, 960);
    EXPECT_EQ(frame.count(0xFF0000, 0, 0, 1280, 960), 40 * 40) << "the clear rectangle";
    EXPECT_EQ(frame.count(0xFF0000, 20, 40, 60, 80), 40 * 40) << "at twice its place";
    EXPECT_EQ(frame.count(0x00FF00, 200, 200, 220, 220), 20 * 20) << "the quad";
    EXPECT_EQ(frame.count(0x0000FF, 0, 0, 1280, 960), 16 * 16) << "the sprite";
    EXPECT_EQ(frame.count(0xFFFFFF, 700, 0, 701, 960), 2) << "a line two pixels wide";
    EXPECT_NEAR(frame.count(0xFFFFFF, 0, 0, 1280, 960), 2 * 200, 4) << "and as long as it was";

    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(256, 256, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target,
                                    nullptr), D3D_OK);
    int width = 0, height = 0;
    device->textureSize(target, width, height);
    EXPECT_EQ(width, 512);
    EXPECT_EQ(height, 512);
    EXPECT_FALSE(device->setResolution(1 << 20, 960)) << "larger than GL can hold";
    device->backBufferSize(width, height);
    EXPECT_EQ(width, 1280) << "and nothing changed";
    ASSERT_TRUE(device->setResolution(640, 480));
    device->textureSize(target, width, height);
    EXPECT_EQ(width, 256) << "targets follow a later size too";
    target->Release();
}

// Above 640 x 480 lines are quads one nominal pixel wide: one that runs behind the camera is cut
// at the near plane first, and under perspective it covers, at twice the size, the pixels the
// one-pixel GL line covers at 640 x 480, twice as wide.
TEST_F(GLRulesTest, ALineThroughTheNearPlaneIsTheSameLineAtTwiceTheSize) {
    showStates();
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    const XyzColorVertex line[2] = {{5, -3, 40, 0xFFFFFFFF}, {1, 1, -20, 0xFFFFFFFF}};
    auto draw = [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof line[0]), D3D_OK);
        return readScaled(device);
    };
    const ScaledFrame small = draw();
    ASSERT_TRUE(device->setResolution(1280, 960));
    const ScaledFrame large = draw();
    const int lit = small.count(0xFFFFFF, 0, 0, 640, 480);
    ASSERT_GT(lit, 100) << "the visible part crosses much of the screen";
    int matched = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (small.count(0xFFFFFF, x, y, x + 1, y + 1) == 1)
                matched += large.count(0xFFFFFF, std::max(2 * x - 2, 0), std::max(2 * y - 2, 0), std::min(2 * x + 4, 1280),
                                       std::min(2 * y + 4, 960)) > 0;
    EXPECT_GE(matched, lit * 95 / 100) << "the same pixels, at twice their place";
    EXPECT_NEAR(large.count(0xFFFFFF, 0, 0, 1280, 960), 4 * lit, lit * 0.6) << "twice as long and twice as wide";
}
