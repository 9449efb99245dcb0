// screen_quads.cpp: the two full-screen quad templates, the grey flash and the letterbox bars.
#include <algorithm>

#include "core/core.h"
#include "core/frame_state.h"
#include "overlays/overlays.h"

ScreenColorVertex ColorQuad[4] = {
    {  0.0f, 0.0f, 0.0f, 1.0f, 0},  // bottom left
    {  0.0f, 0.0f, 0.0f, 1.0f, 0},  // top left
    {640.0f, 0.0f, 0.0f, 1.0f, 0},  // bottom right
    {640.0f, 0.0f, 0.0f, 1.0f, 0},  // top right
};
static_assert(sizeof ColorQuad == 4 * 20);

ScreenTexVertex TexturedQuad[4] = {
    {  0.0f, 480.0f, 0.0f, 1.0f, 0.0f, 6.0f},  // bottom left
    {  0.0f,   0.0f, 0.0f, 1.0f, 0.0f, 0.0f},  // top left
    {640.0f, 480.0f, 0.0f, 1.0f, 6.0f, 6.0f},  // bottom right
    {640.0f,   0.0f, 0.0f, 1.0f, 6.0f, 0.0f},  // top right
};
static_assert(sizeof TexturedQuad == 4 * 24);

void setScreenQuad(float top, float bottom, D3DCOLOR colour) {
    ColorQuad[0].y = bottom;
    ColorQuad[1].y = top;
    ColorQuad[2].y = bottom;
    ColorQuad[3].y = top;
    for (ScreenColorVertex& vertex : ColorQuad) vertex.color = colour;
}

// Blended with whatever factors are in force: one/one everywhere it is used, so it adds grey.
void drawFade(uint8_t level) {
    const DrawEvent event(DrawOverlays);
    setRenderMode(4);
    setScreenQuad(0.0f, 480.0f, level * 0x01010101u);
    d3dDevice->SetTexture(0, nullptr);
    d3dDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, ColorQuad, sizeof(ScreenColorVertex));
}

// Heights outside 0 ... 480 cover nothing more than the nearest one inside (below 0 the bars
// lie off screen, above 480 each covers the screen): clamping keeps 480 - height from
// overflowing and the corners at sane coordinates.
void drawLetterbox(int32_t height) {
    const DrawEvent event(DrawOverlays);
    const float h = static_cast<float>(std::clamp<int32_t>(height, 0, 480));
    setRenderMode(0);
    d3dDevice->SetTexture(0, nullptr);
    d3dDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    setScreenQuad(0.0f, h, 0);
    d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, ColorQuad, sizeof(ScreenColorVertex));
    setScreenQuad(480.0f - h, 480.0f, 0);
    d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, ColorQuad, sizeof(ScreenColorVertex));
}
