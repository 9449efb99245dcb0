// cube_text.cpp: a line of text as one wireframe cube per lit font pixel, with random dropout.
#include "core/core.h"
#include "core/frame_state.h"
#include "text/text.h"

// The three runs of the font, picked by the order of tests the show uses (the code taken as
// signed 8 bits). Those tests would send the codes between the runs onto neighbouring glyphs
// ('[' onto 'a', '{' onto '0') and the rest outside the table; the font carries none of them,
// so they draw nothing, like the space.
int32_t glyphIndex(char ch) {
    const int32_t c = static_cast<int8_t>(ch);
    const bool carried = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '<');
    if (!carried) return -1;
    if (c >= 'a') return 26 + (c - 'a');
    if (c >= 'A') return c - 'A';
    return 52 + (c - '0');
}

// The world transform is set and the random value drawn even when the cube stays hidden, so
// every lit pixel costs exactly one draw of the generator.
void drawPixelCube(int32_t x, int32_t y, float visibility) {
    const DrawEvent event(DrawLinesAndText);
    D3DXMATRIX world;
    MathApi.D3DXMatrixTranslation(&world, static_cast<float>(x), static_cast<float>(y), 0.0f);
    d3dDevice->SetTransform(D3DTS_WORLD, &world);
    if (nextRandom() <= visibility)
        d3dDevice->DrawPrimitiveUP(D3DPT_LINELIST, 12, edgeCubeLines, sizeof(ColorVertex));
}

// Rows from the bottom up, each row left to right: the order the random draws are taken in.
void drawGlyph(int32_t position, char ch, float visibility) {
    const int32_t glyph = glyphIndex(ch);
    if (glyph < 0) return;
    const uint8_t* pixels = &FontGlyphs[static_cast<size_t>(glyph) * fontGlyphBytes];
    for (int32_t row = 0; row < fontGlyphRows; ++row)
        for (int32_t col = 0; col < fontGlyphColumns; ++col)
            if (pixels[col * fontGlyphRows + row] != 0)
                drawPixelCube(fontGlyphColumns * position + col, row, visibility);
}

void drawTextLine(const char* text, float visibility) {
    d3dDevice->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    d3dDevice->SetTexture(0, nullptr);
    if (text == nullptr) return;
    for (int32_t i = 0; text[i] != '\0'; ++i)
        drawGlyph(i, text[i], visibility);
}

void drawText(const char* text, float visibility, float eyeX, float eyeY, float eyeZ, float targetX,
              float targetY, float targetZ) {
    setRenderMode(0);
    setCamera(eyeX, eyeY, eyeZ, targetX, targetY, targetZ);
    drawTextLine(text, visibility);
}
