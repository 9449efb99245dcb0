// test_gl_fixed_function.cpp: fixed-function rules of the OpenGL device on read-back pixels: the
// vertex fog factor (clamp, range, EXP and EXP2), fog colour and stage operations changing from
// draw to draw, the viewport of targets that share one dimension, perspective-correct
// pretransformed texturing, when point sizes are scaled, and the programs specialised to a stage
// state drawing what the general ones draw.
#include <cmath>
#include <iterator>

#include "tests/gl_fixture.h"

namespace {

struct RhwColorTexVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};

struct XyzColorTexVertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};

class GLFixedFunctionTest : public GLTest {
protected:
    // Unlit, unculled, no depth test. The camera looks along +z through an orthographic
    // projection (100 units to the screen's half width), so a square's place on screen does not
    // depend on its depth; fog and point size read the eye-space position only.
    void cameraStates(const D3DXMATRIX& projection) {
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        device->SetTransform(D3DTS_WORLD, &identityMatrix);
        device->SetTransform(D3DTS_VIEW, &identityMatrix);
        device->SetTransform(D3DTS_PROJECTION, &projection);
    }
    void orthoCamera() {
        D3DXMATRIX ortho = identityMatrix;
        ortho._11 = ortho._22 = 0.01f;
        ortho._33 = 0.001f;
        cameraStates(ortho);
    }

    void fogStates(DWORD mode, D3DCOLOR color, float start, float end, float density = 1.0f, bool range = false) {
        device->SetRenderState(D3DRS_FOGENABLE, TRUE);
        ASSERT_EQ(device->SetRenderState(D3DRS_FOGVERTEXMODE, mode), D3D_OK);
        device->SetRenderState(D3DRS_FOGCOLOR, color);
        device->SetRenderState(D3DRS_FOGSTART, d3dFloatBits(start));
        device->SetRenderState(D3DRS_FOGEND, d3dFloatBits(end));
        device->SetRenderState(D3DRS_FOGDENSITY, d3dFloatBits(density));
        device->SetRenderState(D3DRS_RANGEFOGENABLE, range ? TRUE : FALSE);
    }

    // A 6-unit square facing the camera around eye position (x, y, z), under orthoCamera; the
    // pixel at its centre.
    Rgba squareCentre(float x, float y, float z, D3DCOLOR color) {
        const XyzColorVertex quad[4] = {
            {x - 3, y + 3, z, color}, {x + 3, y + 3, z, color}, {x - 3, y - 3, z, color}, {x + 3, y - 3, z, color}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
        readBack();
        return pixel(int(std::lround((x / 100 + 1) * 320)), int(std::lround((1 - y / 100) * 240)));
    }
};

// Grey 128 on a black fog: the pixel is 128 x the factor, so a factor above 1 would show brighter.
// Range fog takes the whole eye distance (96.05 for the off-axis square), not |z| = 60.
TEST_F(GLFixedFunctionTest, VertexFogFactorFollowsModeDistanceAndIsClamped) {
    orthoCamera();
    const struct {
        const char* what;
        DWORD mode;
        float start, end, density;
        bool range;
        float x, y, z, factor;
    } cases[] = {
        {"nearer than the start", D3DFOG_LINEAR, 50, 100, 1, false, 0, 0, 10, 1.0f},
        {"just nearer than the start", D3DFOG_LINEAR, 50, 100, 1, false, 0, 0, 40, 1.0f},
        {"halfway", D3DFOG_LINEAR, 50, 100, 1, false, 0, 0, 75, 0.5f},
        {"off axis, depth", D3DFOG_LINEAR, 0, 200, 1, false, 60, 45, 60, 0.7f},
        {"off axis, range", D3DFOG_LINEAR, 0, 200, 1, true, 60, 45, 60, (200 - 96.05f) / 200},
        {"exp", D3DFOG_EXP, 0, 1, 0.02f, false, 0, 0, 25, std::exp(-0.5f)},
        {"exp far", D3DFOG_EXP, 0, 1, 0.01f, false, 0, 0, 150, std::exp(-1.5f)},
        {"exp2", D3DFOG_EXP2, 0, 1, 0.02f, false, 0, 0, 25, std::exp(-0.25f)},
        {"exp2 far", D3DFOG_EXP2, 0, 1, 0.03f, false, 0, 0, 40, std::exp(-1.44f)},
        {"exp, range", D3DFOG_EXP, 0, 1, 0.01f, true, 60, 45, 60, std::exp(-0.9605f)},
    };
    for (const auto& c : cases) {
        fogStates(c.mode, 0x00000000, c.start, c.end, c.density, c.range);
        clearBack(0xFF000000);
        const int level = int(std::lround(128 * c.factor));
        EXPECT_RGB(squareCentre(c.x, c.y, c.z, 0xFF808080), level, level, level, 2) << c.what;
    }
}

// Fully fogged squares show the fog colour exactly, each draw its own, in one frame.
TEST_F(GLFixedFunctionTest, FullyFoggedDrawsShowTheirOwnFogColour) {
    orthoCamera();
    fogStates(D3DFOG_LINEAR, 0, 0, 1);
    clearBack(0xFF000000);
    const D3DCOLOR colors[] = {0x00FF8040, 0x004080FF, 0x00C0FF20};
    for (int i = 0; i < 3; ++i) {
        device->SetRenderState(D3DRS_FOGCOLOR, colors[i]);
        const Rgba p = squareCentre(-50.0f + 50.0f * float(i), 0, 10, 0xFFFFFFFF);
        EXPECT_RGB(p, int(colors[i] >> 16 & 255), int(colors[i] >> 8 & 255), int(colors[i] & 255), 1) << i;
    }
}

// Three textured draws in one frame, each with its own colour operation.
TEST_F(GLFixedFunctionTest, ConsecutiveDrawsUseTheirOwnStageOperation) {
    IDirect3DTexture9* texture = solidTexture(4, 4, 0xFFFF8040);
    device->SetTexture(0, texture);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    clearBack(0xFF000000);
    const D3DCOLOR diffuse = 0xFF4080FF;
    const struct {
        DWORD op;
        int r, g, b;
    } cases[] = {{D3DTOP_SELECTARG1, 255, 128, 64}, {D3DTOP_MODULATE, 64, 64, 64}, {D3DTOP_SELECTARG2, 64, 128, 255}};
    for (int i = 0; i < 3; ++i) {
        device->SetTextureStageState(0, D3DTSS_COLOROP, cases[i].op);
        const float x = 20.0f * float(i);
        const RhwColorTexVertex quad[4] = {{x, 0, 0, 1, diffuse, 0, 0}, {x + 16, 0, 0, 1, diffuse, 1, 0},
                                           {x, 16, 0, 1, diffuse, 0, 1}, {x + 16, 16, 0, 1, diffuse, 1, 1}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
    }
    readBack();
    for (int i = 0; i < 3; ++i)
        EXPECT_RGB(pixel(20 * i + 8, 8), cases[i].r, cases[i].g, cases[i].b, 1) << "op " << cases[i].op;
    device->SetTexture(0, nullptr);
    texture->Release();
}

// Each target gets a viewport of its own size even when it shares the width or the height with
// the back buffer: a quad over the top-left quarter of the viewport covers exactly that quarter.
TEST_F(GLFixedFunctionTest, TargetsSharingOneDimensionWithTheBackBufferGetTheirOwnViewport) {
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    auto backQuarter = [&] {
        device->SetRenderTarget(0, back);
        clearBack(0xFF000000);
        drawRect(0, 0, 320, 240, 0xFF00FF00);
        readBack();
        EXPECT_EQ(countRgb(0, 255, 0, 0, 0, 0, 320, 240), 320 * 240);
        EXPECT_EQ(countRgb(0, 255, 0, 0), 320 * 240);
    };
    const int sizes[][2] = {{256, 480}, {640, 256}};
    for (const auto& [width, height] : sizes) {
        backQuarter();
        IDirect3DTexture9* target = nullptr;
        ASSERT_EQ(device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                        &target, nullptr),
                  D3D_OK);
        IDirect3DSurface9* level = nullptr;
        target->GetSurfaceLevel(0, &level);
        device->SetRenderTarget(0, level);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        drawRect(0, 0, float(width / 2), float(height / 2), 0xFF00FF00);
        const std::vector<Rgba> texels = readTexture(target, width, height);
        int green = 0, outside = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const bool lit = nearColor(texels[size_t(y) * width + x], 0, 255, 0, 0, 0, false);
                green += lit;
                outside += lit && (x >= width / 2 || y >= height / 2);
            }
        EXPECT_EQ(green, width / 2 * (height / 2)) << width << " x " << height;
        EXPECT_EQ(outside, 0) << width << " x " << height;
        backQuarter();
        level->Release();
        target->Release();
    }
    back->Release();
}

// rhw 1 on the left edge, 0.25 on the right: u = 0.5, where a two-texel black|white texture
// turns white, falls at 80% of the width (400 of 500 pixels), not halfway as without perspective.
TEST_F(GLFixedFunctionTest, PretransformedTexturingIsPerspectiveCorrect) {
    IDirect3DTexture9* texture = solidTexture(2, 1, 0xFFFFFFFF);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK), D3D_OK);
    const D3DCOLOR black = 0xFF000000;
    std::memcpy(locked.pBits, &black, 4);
    texture->UnlockRect(0);
    device->SetTexture(0, texture);
    clearBack(0xFF0000FF);
    const RhwTexVertex quad[4] = {{0, 0, 0, 1, 0, 0}, {500, 0, 0, 0.25f, 1, 0}, {0, 20, 0, 1, 0, 1},
                                  {500, 20, 0, 0.25f, 1, 1}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
    readBack();
    EXPECT_NEAR(countRgb(0, 0, 0, 8, 0, 10, 640, 11), 400, 2);
    EXPECT_NEAR(countRgb(255, 255, 255, 8, 0, 10, 640, 11), 100, 2);
    device->SetTexture(0, nullptr);
    texture->Release();
}

// POINTSIZE is in pixels unless POINTSCALEENABLE is on for a transformed point; pretransformed
// points are never scaled. (Scaled: 480 x 8 / 100 = 38.4 pixels.)
TEST_F(GLFixedFunctionTest, PointSizeIsScaledOnlyForTransformedPointsWithScalingOn) {
    cameraStates(projectionMatrix);
    device->SetRenderState(D3DRS_POINTSCALE_A, d3dFloatBits(0.0f));
    device->SetRenderState(D3DRS_POINTSCALE_C, d3dFloatBits(1.0f));
    const struct {
        bool pretransformed, scale;
        float size, distance, side;
    } cases[] = {{false, false, 8, 10, 8},   {false, false, 8, 100, 8}, {true, true, 12, 0, 12},
                 {true, false, 12, 0, 12}, {false, true, 8, 100, 38.4f}};
    for (const auto& c : cases) {
        device->SetRenderState(D3DRS_POINTSCALEENABLE, c.scale ? TRUE : FALSE);
        device->SetRenderState(D3DRS_POINTSIZE, d3dFloatBits(c.size));
        clearBack(0xFF000000);
        const RhwColorVertex screen = {320, 240, 0, 1, 0xFFFFFFFF};
        const XyzColorVertex eye = {0, 0, c.distance, 0xFFFFFFFF};
        device->SetFVF(c.pretransformed ? D3DFVF_XYZRHW | D3DFVF_DIFFUSE : D3DFVF_XYZ | D3DFVF_DIFFUSE);
        const void* vertex = c.pretransformed ? static_cast<const void*>(&screen) : &eye;
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, vertex, c.pretransformed ? sizeof screen : sizeof eye),
                  D3D_OK);
        readBack();
        const char* what = c.pretransformed ? "pretransformed" : "transformed";
        EXPECT_NEAR(countRgb(255, 255, 255, 8, 0, 240, 640, 241), c.side, 1.0) << what << ", scale " << c.scale;
        EXPECT_NEAR(countRgb(255, 255, 255, 8, 320, 0, 321, 480), c.side, 1.0) << what << ", scale " << c.scale;
    }
}

// Texels that differ in every channel from their neighbours, so that sampling and every
// operation meet many values.
IDirect3DTexture9* patternTexture(GLDevice* device) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK), D3D_OK);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const uint32_t n = uint32_t(x * 37 + y * 101);
            const D3DCOLOR texel = (n * 0x9E3779B1u) ^ (n << 7);
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &texel, 4);
        }
    texture->UnlockRect(0);
    return texture;
}

// Each stage state, with each kind of texture (the show's own, a render target's layer, none)
// and fog on and off, drawn by its specialised program and by the general one: a quad in
// perspective, so that colour, texture coordinates and fog all vary across it.
TEST_F(GLFixedFunctionTest, SpecialisedProgramsDrawWhatTheGeneralOnesDraw) {
    const struct {
        DWORD colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
    } stages[] = {
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE},
        {D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE},
        {D3DTOP_MODULATE4X, D3DTA_TFACTOR, D3DTA_TEXTURE, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE},
        {D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_ADD, D3DTA_TFACTOR, D3DTA_DIFFUSE},
        {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE},
        {D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTOP_MODULATE, D3DTA_TFACTOR, D3DTA_TEXTURE},
        {D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE},
    };
    IDirect3DTexture9* managed = patternTexture(device);
    IDirect3DTexture9* target = renderTargetTexture(64);
    IDirect3DSurface9 *level = nullptr, *back = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    device->SetRenderTarget(0, level);
    const RhwColorVertex gradient[4] = {{0, 0, 0, 1, 0xFF10E080}, {64, 0, 0, 1, 0xFFF02040},
                                        {0, 64, 0, 1, 0xFF8040F0}, {64, 64, 0, 1, 0xFF30C010}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, gradient, sizeof gradient[0]);
    device->SetRenderTarget(0, back);

    D3DXMATRIX projection;
    MathApi.D3DXMatrixPerspectiveFovLH(&projection, 0.8f, 4.0f / 3.0f, 1.0f, 200.0f);
    cameraStates(projection);
    fogStates(D3DFOG_LINEAR, 0xFF3060A0, 10.0f, 100.0f);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80C04020);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    const XyzColorTexVertex quad[4] = {{-30, 25, 20, 0xFF2080E0, 0, 0}, {40, 30, 90, 0x80E04010, 3, 0},
                                       {-30, -25, 20, 0x40FFFFFF, 0, 2}, {40, -30, 90, 0xC0103070, 3, 2}};
    const uint64_t built = device->stats().specialisedPrograms;
    int cases = 0;
    for (IDirect3DTexture9* texture : {managed, target, static_cast<IDirect3DTexture9*>(nullptr)})
        for (const bool fog : {false, true})
            for (const auto& stage : stages) {
                device->SetTexture(0, texture);
                device->SetRenderState(D3DRS_FOGENABLE, fog);
                device->SetTextureStageState(0, D3DTSS_COLOROP, stage.colorOp);
                device->SetTextureStageState(0, D3DTSS_COLORARG1, stage.colorArg1);
                device->SetTextureStageState(0, D3DTSS_COLORARG2, stage.colorArg2);
                device->SetTextureStageState(0, D3DTSS_ALPHAOP, stage.alphaOp);
                device->SetTextureStageState(0, D3DTSS_ALPHAARG1, stage.alphaArg1);
                device->SetTextureStageState(0, D3DTSS_ALPHAARG2, stage.alphaArg2);
                device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
                std::vector<uint8_t> pictures[2];
                for (const bool specialised : {false, true}) {
                    device->setSpecialisedPrograms(specialised);
                    clearBack(0xFF000000);
                    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
                    readBack();
                    pictures[specialised] = backPixels;
                }
                EXPECT_TRUE(pictures[0] == pictures[1]) << "case " << cases << ": texture " << (texture == managed)
                                                        << (texture == target) << ", fog " << fog;
                ++cases;
            }
    // Every textured state but the disabled stage is a program of its own.
    EXPECT_GE(device->stats().specialisedPrograms, built + 2 * 2 * (std::size(stages) - 1));
    device->SetTexture(0, nullptr);
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    level->Release();
    back->Release();
    target->Release();
    managed->Release();
}

}  // namespace
