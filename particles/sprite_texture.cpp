// sprite_texture.cpp: the soft white disc every particle is drawn with.
#include <cmath>

#include "core/frame_state.h"
#include "particles/particles.h"

IDirect3DTexture9* spriteTexture;

void createSpriteTexture() {
    if (d3dDevice == nullptr) return;
    // Levels 0 asks for the full chain; only the top level is filled, since mip filtering is off.
    d3dDevice->CreateTexture(64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &spriteTexture, nullptr);
    if (spriteTexture == nullptr) return;
    D3DLOCKED_RECT locked = {};
    spriteTexture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK);
    if (locked.pBits != nullptr) {
        for (int32_t i = 0; i < 64; ++i) {
            uint8_t* row = static_cast<uint8_t*>(locked.pBits) + i * locked.Pitch;
            for (int32_t j = 0; j < 64; ++j) {
                // Brightness and alpha fall linearly from 255 at the centre texel to 0 at distance 32.
                const double d = std::sqrt(static_cast<double>((i - 32) * (i - 32) + (j - 32) * (j - 32)));
                double v = std::nearbyint((1.0 - d * 0.03125) * 255.0);
                if (v < 0) v = 0;
                const uint8_t texel = static_cast<uint8_t>(v);
                row[4 * j + 0] = texel;  // blue
                row[4 * j + 1] = texel;  // green
                row[4 * j + 2] = texel;  // red
                row[4 * j + 3] = texel;  // alpha
            }
        }
    }
    spriteTexture->UnlockRect(0);
}
