// noise.cpp: the animated static, a random 0/255 pattern uploaded as stripes or lines.
#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/core.h"
#include "core/frame_state.h"
#include "overlays/overlays.h"

uint8_t noiseBase[256];
uint8_t noiseLevels[256];
IDirect3DTexture9* noiseTexture;

// A level count of 0 asks for the whole mipmap chain; only the top level is written, and with
// mipmapping off only the top level is sampled.
void createNoiseTexture() {
    noiseTexture = nullptr;
    d3dDevice->CreateTexture(256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &noiseTexture, nullptr);
}

// Rounding halves to even makes exactly 0.5 a 0; negating 1 in 8 bits gives 255.
void resetNoise() {
    for (int i = 0; i < 256; ++i) {
        const long bit = std::lrint(nextRandom());
        const uint8_t b = static_cast<uint8_t>(-bit);
        noiseBase[i] = b;
        noiseLevels[i] = b;
    }
}

void scaleNoise(float amount) {
    for (int i = 0; i < 256; ++i)
        noiseLevels[i] = static_cast<uint8_t>(std::lrint(noiseBase[i] * static_cast<double>(amount)));
}

// The 256-texel pattern repeats six times across and six times down; addressing wraps.
void drawNoise(uint32_t mode) {
    const DrawEvent event(DrawOverlays);
    // Without the texture or its memory there is no pattern to show; drawing the quad untextured
    // would flash the screen white instead.
    if (noiseTexture == nullptr) return;
    D3DLOCKED_RECT locked = {};
    if (noiseTexture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK) != D3D_OK || locked.pBits == nullptr)
        return;
    // Stripes repeat one row; lines fill each row with one level.
    auto* bits = static_cast<uint8_t*>(locked.pBits);
    uint8_t stripes[256 * 4];
    for (int x = 0; x < 256; ++x) std::memset(stripes + 4 * x, noiseLevels[x], 4);
    for (int y = 0; y < 256; ++y) {
        uint8_t* row = bits + static_cast<std::ptrdiff_t>(y) * locked.Pitch;
        if (mode != 0)
            std::memcpy(row, stripes, sizeof stripes);
        else
            std::memset(row, noiseLevels[y], sizeof stripes);
    }
    noiseTexture->UnlockRect(0);

    d3dDevice->SetTexture(0, noiseTexture);
    d3dDevice->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    const float uv[4][2] = {{0.0f, 6.0f}, {0.0f, 0.0f}, {6.0f, 6.0f}, {6.0f, 0.0f}};
    for (int k = 0; k < 4; ++k) {
        TexturedQuad[k].u = uv[k][0];
        TexturedQuad[k].v = uv[k][1];
    }
    setRenderMode(4);
    d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, TexturedQuad, sizeof(ScreenTexVertex));
}
