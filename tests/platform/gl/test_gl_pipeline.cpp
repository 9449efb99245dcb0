// test_gl_pipeline.cpp: the fixed-function rules the OpenGL device reproduces (culling,
// blending, texture stage 0, lighting, vertex fog, point sprites, pixel coverage) on read-back
// pixels, and shader sources that also build as GLSL ES 3.00.
#include <epoxy/gl.h>

#include "platform/gl/gl_shaders.h"
#include "tests/gl_fixture.h"

namespace {

class GLPipelineTest : public GLTest {
protected:
    // The camera at the origin looking along +z with the show's projection: a vertex at
    // (0, 0, d) is at the screen centre, d units away.
    void lookAlongZ() {
        device->SetTransform(D3DTS_WORLD, &identityMatrix);
        device->SetTransform(D3DTS_VIEW, &identityMatrix);
        device->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
    }

    // A square facing the camera at distance d, covering the screen centre.
    void drawSquareAt(float d, D3DCOLOR color) {
        const float s = 0.05f * d;
        const XyzColorVertex quad[4] = {{-s, s, d, color}, {s, s, d, color}, {-s, -s, d, color}, {s, -s, d, color}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]), D3D_OK);
    }

    void drawPointAt(float d, D3DCOLOR color) {
        const XyzColorVertex point = {0.0f, 0.0f, d, color};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof point), D3D_OK);
    }

    // Lit pixels of the last read-back in one row, and the first of them.
    int litInRow(int y, int* first = nullptr) const {
        int count = 0;
        for (int x = 0; x < backWidth; ++x)
            if (pixel(x, y).r > 128) {
                if (count == 0 && first) *first = x;
                ++count;
            }
        return count;
    }
};

// ---- culling ----

TEST_F(GLPipelineTest, DefaultCullingRemovesCounterClockwiseTriangles) {
    clearBack(0xFF000000);
    const RhwColorVertex clockwise[3] = {{0, 0, 0, 1, 0xFFFFFFFF}, {100, 0, 0, 1, 0xFFFFFFFF}, {0, 100, 0, 1, 0xFFFFFFFF}};
    const RhwColorVertex counter[3] = {{200, 0, 0, 1, 0xFFFFFFFF}, {200, 100, 0, 1, 0xFFFFFFFF}, {300, 0, 0, 1, 0xFFFFFFFF}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof clockwise[0]);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof counter[0]);
    readBack();
    EXPECT_RGB(pixel(10, 10), 255, 255, 255, 0);
    EXPECT_RGB(pixel(210, 10), 0, 0, 0, 0);

    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    clearBack(0xFF000000);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof clockwise[0]);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof counter[0]);
    readBack();
    EXPECT_RGB(pixel(10, 10), 0, 0, 0, 0);
    EXPECT_RGB(pixel(210, 10), 255, 255, 255, 0);

    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof clockwise[0]);
    readBack();
    EXPECT_RGB(pixel(10, 10), 255, 255, 255, 0);
}

// Transformed triangles are judged as they land on the screen (y down), fans keep their winding.
TEST_F(GLPipelineTest, CullingJudgesTransformedFansOnScreen) {
    lookAlongZ();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    clearBack(0xFF000000);
    // Seen on screen: centre, right, below: clockwise.
    const XyzColorVertex fan[4] = {{0, 0, 10, 0xFFFFFFFF}, {1, 0, 10, 0xFFFFFFFF}, {0, -1, 10, 0xFFFFFFFF},
                                   {-1, 0, 10, 0xFFFFFFFF}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, fan, sizeof fan[0]);
    const XyzColorVertex mirrored[3] = {{0, 0, 10, 0xFFFFFFFF}, {1, 0, 10, 0xFFFFFFFF}, {0, 1, 10, 0xFFFFFFFF}};
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, mirrored, sizeof mirrored[0]);
    readBack();
    EXPECT_RGB(pixel(330, 250), 255, 255, 255, 0);  // first fan triangle
    EXPECT_RGB(pixel(310, 250), 255, 255, 255, 0);  // second fan triangle
    EXPECT_RGB(pixel(330, 230), 0, 0, 0, 0);        // above the centre: counter-clockwise, culled
}

// ---- blending and texture stage 0 ----

TEST_F(GLPipelineTest, AdditiveBlendingAddsAndSaturates) {
    clearBack(0xFF643200);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);  // source keeps its default, ONE
    drawRect(0, 0, 100, 100, 0xFF323232);
    drawRect(100, 0, 200, 100, 0xFFC8C8C8);
    readBack();
    EXPECT_RGB(pixel(50, 50), 150, 100, 50, 1);
    EXPECT_RGB(pixel(150, 50), 255, 250, 200, 1);
    EXPECT_RGB(pixel(250, 50), 100, 50, 0, 0);
}

// The streak passes: source alpha from the texture factor, neither the texture's nor the vertex's.
TEST_F(GLPipelineTest, AlphaBlendingTakesAlphaFromTheTextureFactor) {
    clearBack(0xFF0000FF);
    IDirect3DTexture9* texture = solidTexture(8, 8, 0x00FF0000);  // red, alpha 0
    device->SetTexture(0, texture);
    setBlendFactorAlpha();
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80u << 24);
    drawTexturedRect(0, 0, 100, 100, 0, 0, 1, 1);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x40u << 24);
    drawTexturedRect(100, 0, 200, 100, 0, 0, 1, 1);
    readBack();
    EXPECT_RGB(pixel(50, 50), 128, 0, 127, 1);
    EXPECT_RGB(pixel(150, 50), 64, 0, 191, 1);

    // Back to one/one with the alpha argument CURRENT: a white vertex adds its full colour.
    setBlendAdditive();
    drawTexturedRect(200, 0, 300, 100, 0, 0, 1, 1);
    readBack();
    EXPECT_RGB(pixel(250, 50), 255, 0, 255, 0);
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(GLPipelineTest, WithoutTextureTheVertexColourAndAlphaShow) {
    clearBack(0xFF000000);
    device->SetTexture(0, nullptr);
    drawRect(0, 0, 10, 10, 0x80C86432);
    readBack();
    EXPECT_PIXEL(pixel(5, 5), 0xC8, 0x64, 0x32, 0x80, 0);
    // The vertex alpha really is the source alpha.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    drawRect(20, 0, 30, 10, 0x40FFFFFF);
    readBack();
    EXPECT_RGB(pixel(25, 5), 64, 64, 64, 1);
}

TEST_F(GLPipelineTest, WithoutDiffuseTheColourIsOpaqueWhite) {
    clearBack(0xFF000000);
    IDirect3DTexture9* texture = solidTexture(4, 4, 0xFF804020);
    device->SetTexture(0, texture);
    drawTexturedRect(0, 0, 10, 10, 0, 0, 1, 1);
    device->SetTexture(0, nullptr);
    drawTexturedRect(20, 0, 30, 10, 0, 0, 1, 1);
    readBack();
    EXPECT_PIXEL(pixel(5, 5), 0x80, 0x40, 0x20, 0xFF, 0);
    EXPECT_PIXEL(pixel(25, 5), 255, 255, 255, 255, 0);
    texture->Release();
}

// Lighting is on by default; with no lights and the zero material only the vertex alpha is left.
TEST_F(GLPipelineTest, LightingOnTurnsColouredVerticesBlack) {
    lookAlongZ();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    clearBack(0xFF808080);
    drawSquareAt(10.0f, 0x60FFFFFF);
    readBack();
    EXPECT_PIXEL(pixel(320, 240), 0, 0, 0, 0x60, 0);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    drawSquareAt(10.0f, 0x60FFFFFF);
    readBack();
    EXPECT_PIXEL(pixel(320, 240), 255, 255, 255, 0x60, 0);
    // Pretransformed vertices are never lit.
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    drawRect(0, 0, 10, 10, 0xFF00FF00);
    readBack();
    EXPECT_RGB(pixel(5, 5), 0, 255, 0, 0);
}

// ---- vertex fog ----

TEST_F(GLPipelineTest, LinearFogFollowsCameraDepth) {
    lookAlongZ();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    setFogEnd(100.0f);
    fogOn();
    const struct {
        float distance;
        int level;  // 255 x fog factor
    } cases[] = {{1.0f, 252}, {25.0f, 191}, {50.0f, 128}, {100.0f, 0}, {300.0f, 0}};
    for (const auto& c : cases) {
        clearBack(0xFF000000);
        drawSquareAt(c.distance, 0xFFFFFFFF);
        readBack();
        EXPECT_RGB(pixel(320, 240), c.level, c.level, 255, 2) << "distance " << c.distance;
    }
    // Pretransformed quads carry no fog.
    drawRect(0, 0, 10, 10, 0xFFFFFFFF);
    readBack();
    EXPECT_RGB(pixel(5, 5), 255, 255, 255, 0);
    fogOff();
    clearBack(0xFF000000);
    drawSquareAt(300.0f, 0xFFFFFFFF);
    readBack();
    EXPECT_RGB(pixel(320, 240), 255, 255, 255, 0);
}

TEST_F(GLPipelineTest, FogWithStartEqualToEndIsAStepWithoutDivision) {
    lookAlongZ();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGSTART, d3dFloatBits(50.0f));
    device->SetRenderState(D3DRS_FOGEND, d3dFloatBits(50.0f));
    fogOn();
    clearBack(0xFF000000);
    drawSquareAt(40.0f, 0xFFFFFFFF);
    readBack();
    EXPECT_RGB(pixel(320, 240), 255, 255, 255, 0);
    drawSquareAt(60.0f, 0xFFFFFFFF);
    readBack();
    EXPECT_RGB(pixel(320, 240), 0, 0, 255, 0);
    setFogEnd(0.0f);  // start = end = 0: everything is fog
    drawSquareAt(1.0f, 0xFFFFFFFF);
    readBack();
    EXPECT_RGB(pixel(320, 240), 0, 0, 255, 0);
}

TEST_F(GLPipelineTest, FogAppliesToLinesAndPointSprites) {
    lookAlongZ();
    showPointStates();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    setFogEnd(100.0f);
    fogOn();
    clearBack(0xFF000000);
    const XyzColorVertex line[2] = {{-10, 10, 50, 0xFFFFFFFF}, {10, 10, 50, 0xFFFFFFFF}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof line[0]);
    drawPointAt(50.0f, 0xFFFFFFFF);
    readBack();
    EXPECT_RGB(pixel(320, 240), 128, 128, 255, 2);  // the sprite
    int lineRow = -1;
    for (int y = 0; y < 240 && lineRow < 0; ++y)
        if (pixel(320, y).b > 128) lineRow = y;
    ASSERT_GE(lineRow, 0) << "the line is not drawn";
    EXPECT_RGB(pixel(320, lineRow), 128, 128, 255, 2);
}

// ---- point sprites ----

TEST_F(GLPipelineTest, PointSpriteSizeIsViewportHeightOverDistance) {
    lookAlongZ();
    showPointStates();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    clearBack(0xFF000000);
    drawPointAt(10.0f, 0xFFFFFFFF);  // 480 / 10 = 48 pixels, centred on (320, 240)
    readBack();
    int first = -1;
    EXPECT_EQ(litInRow(240, &first), 48);
    EXPECT_EQ(first, 296);
    int column = 0;
    for (int y = 0; y < backHeight; ++y) column += pixel(320, y).r > 128;
    EXPECT_EQ(column, 48);

    clearBack(0xFF000000);
    drawPointAt(20.0f, 0xFFFFFFFF);
    readBack();
    EXPECT_EQ(litInRow(240), 24);

    // In a 256-high target the same point is 25.6 pixels.
    IDirect3DTexture9* target = renderTargetTexture();
    IDirect3DSurface9 *level = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &level);
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    device->SetRenderTarget(0, level);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    drawPointAt(10.0f, 0xFFFFFFFF);
    const std::vector<Rgba> texels = readTexture(target, 256, 256);
    int lit = 0;
    for (int x = 0; x < 256; ++x) lit += texels[128 * 256 + x].r > 128;
    EXPECT_NEAR(lit, 25.6, 1.0);
    device->SetRenderTarget(0, back);
    level->Release();
    back->Release();
    target->Release();
}

TEST_F(GLPipelineTest, PointSpriteSizeIsClamped) {
    lookAlongZ();
    showPointStates();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    clearBack(0xFF000000);
    drawPointAt(1.0f, 0xFFFFFFFF);  // 480 pixels asked, the device's cap is 256
    readBack();
    EXPECT_EQ(litInRow(240), 256);

    device->SetRenderState(D3DRS_POINTSIZE_MAX, d3dFloatBits(64.0f));
    clearBack(0xFF000000);
    drawPointAt(2.0f, 0xFFFFFFFF);
    readBack();
    EXPECT_EQ(litInRow(240), 64);

    device->SetRenderState(D3DRS_POINTSIZE_MIN, d3dFloatBits(8.0f));
    clearBack(0xFF000000);
    drawPointAt(1000.0f, 0xFFFFFFFF);  // 0.48 pixels asked
    readBack();
    EXPECT_EQ(litInRow(240), 8);
}

// The sprite's texture runs u to the right and v downwards, whatever the culling.
TEST_F(GLPipelineTest, PointSpritesAreTexturedTopLeftFirst) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    const D3DCOLOR texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    for (int i = 0; i < 4; ++i)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + (i / 2) * locked.Pitch + (i % 2) * 4, &texels[i], 4);
    texture->UnlockRect(0);
    lookAlongZ();
    showPointStates();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetTexture(0, texture);
    for (DWORD cull : {DWORD(D3DCULL_CCW), DWORD(D3DCULL_CW)}) {
        device->SetRenderState(D3DRS_CULLMODE, cull);
        clearBack(0xFF000000);
        drawPointAt(10.0f, 0xFFFFFFFF);
        readBack();
        EXPECT_RGB(pixel(300, 220), 255, 0, 0, 0) << "cull " << cull;
        EXPECT_RGB(pixel(340, 220), 0, 255, 0, 0) << "cull " << cull;
        EXPECT_RGB(pixel(300, 260), 0, 0, 255, 0) << "cull " << cull;
        EXPECT_RGB(pixel(340, 260), 255, 255, 255, 0) << "cull " << cull;
    }
    device->SetTexture(0, nullptr);
    texture->Release();
}

// ---- coverage of pretransformed quads ----

TEST_F(GLPipelineTest, PretransformedQuadsCoverExactlyTheirPixels) {
    clearBack(0xFF000000);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    drawRect(0, 0, 640, 480, 0xFFFFFFFF);
    readBack();
    EXPECT_EQ(countRgb(255, 255, 255, 0), 640 * 480);

    // Two quads sharing an edge, added: no pixel twice, none missed (top-left rule).
    clearBack(0xFF000000);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    drawRect(100, 100, 104, 104, 0xFF323232);
    drawRect(104, 100, 108, 104, 0xFF323232);
    drawRect(100, 104, 108, 108, 0xFF323232);
    readBack();
    EXPECT_EQ(countRgb(50, 50, 50, 0), 64);
    EXPECT_EQ(countRgb(100, 100, 100, 8), 0);
    EXPECT_RGB(pixel(100, 100), 50, 50, 50, 0);
    EXPECT_RGB(pixel(107, 107), 50, 50, 50, 0);
    EXPECT_RGB(pixel(108, 107), 0, 0, 0, 0);
    EXPECT_RGB(pixel(99, 100), 0, 0, 0, 0);
}

// A full-screen quad of a texture as large as the screen samples texel (i, j) at pixel (i, j)
// with point filtering.
TEST_F(GLPipelineTest, FullScreenTexturedQuadMapsTexelsToPixels) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const uint8_t texel[4] = {0, uint8_t(y * 4), uint8_t(x * 4), 255};
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, texel, 4);
        }
    texture->UnlockRect(0);
    clearBack(0xFF000000);
    device->SetTexture(0, texture);
    drawTexturedRect(0, 0, 64, 64, 0, 0, 1, 1);
    readBack();
    int wrong = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            wrong += !nearColor(pixel(x, y), x * 4, y * 4, 0, 255, 0);
    EXPECT_EQ(wrong, 0);

    // Linear filtering samples at the texel corner: each pixel averages texels i - 1 and i, and
    // column 0 wraps around to the last column.
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    drawTexturedRect(0, 0, 64, 64, 0, 0, 1, 1);
    readBack();
    EXPECT_NEAR(pixel(10, 30).r, 38, 1);
    EXPECT_NEAR(pixel(10, 30).g, 118, 1);
    EXPECT_NEAR(pixel(0, 30).r, 126, 2);

    // Columns of 0 and 255: each pixel is their mean, sampled at Direct3D's pixel centre, not
    // 1/128 pixel off it where GL's centre lies (126 and 129).
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, x % 2 ? 255 : 0, 4);
    texture->UnlockRect(0);
    drawTexturedRect(0, 0, 64, 64, 0, 0, 1, 1);
    readBack();
    for (int x = 1; x < 64; ++x) EXPECT_NEAR(pixel(x, 30).g, 127.5, 1) << "column " << x;
    device->SetTexture(0, nullptr);
    texture->Release();
}

// Lines on integer coordinates land on those rows and columns, as Direct3D steps them.
TEST_F(GLPipelineTest, PretransformedLinesLandOnTheirPixelRow) {
    clearBack(0xFF000000);
    const RhwColorVertex lines[4] = {{10, 20, 0, 1, 0xFFFFFFFF}, {50, 20, 0, 1, 0xFFFFFFFF},
                                     {100, 30, 0, 1, 0xFFFFFFFF}, {100, 70, 0, 1, 0xFFFFFFFF}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_LINELIST, 2, lines, sizeof lines[0]), D3D_OK);
    readBack();
    EXPECT_GE(countRgb(255, 255, 255, 8, 10, 20, 50, 21), 39);
    EXPECT_EQ(countRgb(255, 255, 255, 8, 0, 19, 640, 20), 0);
    EXPECT_EQ(countRgb(255, 255, 255, 8, 0, 21, 99, 22), 0);
    EXPECT_GE(countRgb(255, 255, 255, 8, 100, 30, 101, 70), 39);
    EXPECT_EQ(countRgb(255, 255, 255, 8, 99, 30, 100, 70), 0);
    EXPECT_EQ(countRgb(255, 255, 255, 8, 101, 30, 102, 70), 0);
}

// ---- shader sources ----

// Compiles and links a program's two sources on the current context; an empty string when they
// build, else what failed and its log.
std::string buildFailure(const std::string& vertexSource, const std::string& fragmentSource) {
    GLuint program = glCreateProgram();
    std::string failure;
    for (bool fragment : {false, true}) {
        const std::string& source = fragment ? fragmentSource : vertexSource;
        if (source.rfind("#version 300 es\n", 0) != 0) failure += "no ES prologue; ";
        GLuint shader = glCreateShader(fragment ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER);
        const char* text = source.c_str();
        glShaderSource(shader, 1, &text, nullptr);
        glCompileShader(shader);
        GLint ok = GL_FALSE;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        char log[512] = "";
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        if (!ok) failure += std::string(fragment ? "fragment: " : "vertex: ") + log;
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) failure += "does not link";
    glDeleteProgram(program);
    return failure;
}

// The general programs, and specialised ones for each texture kind with the texture, the factor
// and the diffuse colour read, swapped or not, fogged or not, and with the stage off.
TEST(GLShaderSourceTest, ProgramsAlsoBuildAsGlslEs300) {
    char reason[256] = "";
    if (!createHeadlessEsContext(reason, sizeof reason)) SKIP_OR_FAIL("no OpenGL ES 3.0 context: " << reason);
    for (int kind = 0; kind < ProgramCount; ++kind) {
        const auto k = static_cast<ShaderProgramKind>(kind);
        EXPECT_EQ(buildFailure(deviceShaderSource(k, false, true), deviceShaderSource(k, true, true)), "")
            << "general program " << kind;
    }
    const std::string vertex = deviceShaderSource(ProgramUntextured, false, true);
    const ProgramState states[] = {
        // kind, stage on, colour op and arguments, alpha op and arguments, swap, fog
        {ProgramUntextured, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {ProgramUntextured, 1, 3, 0, 2, 1, 2, 0, 0, 1},
        {ProgramTextured, 1, 3, 1, 0, 1, 1, 0, 1, 0},
        {ProgramTextured, 1, 4, 2, 1, 6, 0, 2, 0, 1},
        {ProgramTargets, 1, 5, 1, 2, 2, 0, 1, 0, 1},
        {ProgramTargets, 1, 6, 0, 1, 0, 1, 0, 0, 0},
    };
    for (const ProgramState& state : states)
        EXPECT_EQ(buildFailure(vertex, specialisedFragmentSource(state, true)), "")
            << specialisedFragmentSource(state, true);
    destroyHeadlessContext();
    EXPECT_TRUE(createHeadlessContext(reason, sizeof reason)) << reason;
}

}  // namespace
