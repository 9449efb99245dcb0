// test_text_image.cpp: a short word drawn through the OpenGL device, checked on read-back pixels.
#include "tests/gl_fixture.h"

#include <algorithm>
#include <cstdio>

#include "text/text.h"

namespace {

class TextImageTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // The fixed states of start-up that the text relies on: unlit vertex colours, the projection.
        d3dDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
        d3dDevice->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
        setRenderMode(0);
        setRenderMode(17);
        buildEdgeCube();
    }

    // Screen position of a world point under the view of drawText's camera and the projection.
    static void project(const D3DXMATRIX& viewProjection, float x, float y, float z, float& sx, float& sy) {
        const D3DXVECTOR3 p = {x, y, z};
        D3DXVECTOR3 q;
        MathApi.D3DXVec3TransformCoord(&q, &p, &viewProjection);
        sx = (q.x + 1.0f) * 320.0f;
        sy = (1.0f - q.y) * 240.0f;
    }

};

// The camera looks at the middle of the word from far enough to see all of it.
TEST_F(TextImageTest, WordIsWhiteCubesInsideItsProjectedBox) {
    const char* word = "Quorbel";
    d3dDevice->BeginScene();
    d3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF104864, 1.0f, 0);
    drawText(word, 1.0f, 28, 7, -250, 28, 7, 0);
    d3dDevice->EndScene();
    readBack();
    keepImage("text_word");

    // Where the lit pixel cubes must land.
    D3DXMATRIX view, viewProjection;
    const D3DXVECTOR3 eye = {28, 7, -250}, at = {28, 7, 0}, up = {0, 1, 0};
    MathApi.D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    MathApi.D3DXMatrixMultiply(&viewProjection, &view, &projectionMatrix);
    float left = 640, right = 0, top = 480, bottom = 0;
    for (int i = 0; word[i] != '\0'; ++i)
        for (int col = 0; col < 8; ++col)
            for (int row = 0; row < 14; ++row) {
                if (!FontGlyphs[size_t(glyphIndex(word[i])) * 112 + size_t(col) * 14 + size_t(row)]) continue;
                for (int corner = 0; corner < 8; ++corner) {
                    float sx, sy;
                    project(viewProjection, float(8 * i + col + (corner & 1)), float(row + ((corner >> 1) & 1)),
                            float(corner >> 2), sx, sy);
                    left = std::min(left, sx), right = std::max(right, sx);
                    top = std::min(top, sy), bottom = std::max(bottom, sy);
                }
            }

    int white = 0, stray = 0, x0 = 640, x1 = -1, y0 = 480, y1 = -1;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const Rgba p = pixel(x, y);
            if (nearColor(p, 255, 255, 255, 0, 8, false)) {
                ++white;
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
            } else if (!nearColor(p, 0x10, 0x48, 0x64, 0, 8, false)) {
                ++stray;
            }
        }
    EXPECT_EQ(stray, 0) << "only lines and background, no blending";
    EXPECT_GT(white, 1000) << "hundreds of cubes of twelve lines each";
    EXPECT_NEAR(x0, left, 2.0f);
    EXPECT_NEAR(x1, right, 2.0f);
    EXPECT_NEAR(y0, top, 2.0f);
    EXPECT_NEAR(y1, bottom, 2.0f);
    // The aspect of 0.75 stretches the line sideways: wider on screen than its 4 : 1 in world units.
    EXPECT_GT((right - left) / (bottom - top), 1.5f * 56.0f / 14.0f);

    // At visibility 0 the same frame keeps only the background.
    d3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF104864, 1.0f, 0);
    drawText(word, -1.0f, 28, 7, -250, 28, 7, 0);
    readBack();
    EXPECT_EQ(countRgb(255, 255, 255), 0);
}

}  // namespace
