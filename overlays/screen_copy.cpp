// screen_copy.cpp: drawing the scene into a texture, and the zoom streaks made from that copy.
#include "core/core.h"
#include "core/frame_state.h"
#include "overlays/overlays.h"

IDirect3DSurface9* backBufferSurface;
IDirect3DSurface9* copySurface;

namespace {

void releaseHeldSurfaces() {
    if (copySurface != nullptr) copySurface->Release();
    if (backBufferSurface != nullptr) backBufferSurface->Release();
    copySurface = nullptr;
    backBufferSurface = nullptr;
}

}  // namespace

void beginScreenCopy(D3DCOLOR clearColour) {
    const DrawEvent event(DrawScreenCopy);
    // An unpaired earlier call would otherwise leave its two references held for good.
    releaseHeldSurfaces();
    d3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBufferSurface);
    if (screenCopyTexture != nullptr) screenCopyTexture->GetSurfaceLevel(0, &copySurface);
    // Without the copy surface drawing stays on the back buffer, and clearing it would wipe
    // the frame drawn so far.
    if (copySurface == nullptr) return;
    d3dDevice->SetRenderTarget(0, copySurface);
    d3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColour, 1.0f, 0);
}

void endScreenCopy() {
    if (backBufferSurface != nullptr) d3dDevice->SetRenderTarget(0, backBufferSurface);
    releaseHeldSurfaces();
}

// Copy k shows the central square s ... 1 - s of the capture (s = k step) over the whole screen
// at alpha 255 - k d. The caller sets the blending: the alpha comes from the texture factor.
void drawStreaks(float step, int32_t count) {
    const DrawEvent event(DrawStreaks);
    d3dDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    d3dDevice->SetTexture(0, screenCopyTexture);
    if (count <= 0) return;
    const uint8_t d = static_cast<uint8_t>(255 / count);  // 0 above 255 copies: all opaque
    uint8_t alpha = 255;
    float s = 0.0f;
    for (int32_t k = 0; k < count; ++k) {
        d3dDevice->SetRenderState(D3DRS_TEXTUREFACTOR, static_cast<DWORD>(alpha) << 24);
        const float t = 1.0f - s;
        TexturedQuad[0].u = s;
        TexturedQuad[0].v = t;
        TexturedQuad[1].u = s;
        TexturedQuad[1].v = s;
        TexturedQuad[2].u = t;
        TexturedQuad[2].v = t;
        TexturedQuad[3].u = t;
        TexturedQuad[3].v = s;
        d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, TexturedQuad, sizeof(ScreenTexVertex));
        s += step;
        alpha = static_cast<uint8_t>(alpha - d);
    }
}
