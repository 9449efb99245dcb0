// face_textures.cpp: start-up of the six systems and their rendering into the cube's face textures.
#include "core/core.h"
#include "core/frame_state.h"
#include "particles/particles.h"

void initParticleSystems() {
    for (int32_t k = 0; k < particleSystemCount; ++k) resetParticleSystem(particlePrograms[k], particleSystems[k]);
    createSpriteTexture();
}

void renderFaceTextures(float t, D3DCOLOR clearColour) {
    const DrawEvent event(DrawFaceTargets);
    for (int32_t k = 0; k < particleSystemCount; ++k) {
        IDirect3DSurface9* backBuffer = nullptr;
        IDirect3DSurface9* face = nullptr;
        if (d3dDevice != nullptr) {
            d3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
            if (faceTextures[k] != nullptr) faceTextures[k]->GetSurfaceLevel(0, &face);
        }
        // Without a target the system still advances, so the faces stay in step with the clock.
        if (backBuffer == nullptr || face == nullptr) {
            emitParticleVertices(particlePrograms[k], particleSystems[k], particleVertices, t);
            if (face != nullptr) face->Release();
            if (backBuffer != nullptr) backBuffer->Release();
            continue;
        }
        d3dDevice->SetRenderTarget(0, face);  // the viewport follows the 256 x 256 target
        d3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColour, 1.0f, 0);
        d3dDevice->SetTransform(D3DTS_VIEW, &particleViewMatrix);
        d3dDevice->SetTransform(D3DTS_WORLD, &identityMatrix);
        d3dDevice->SetTexture(0, spriteTexture);
        d3dDevice->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        const int32_t count = emitParticleVertices(particlePrograms[k], particleSystems[k], particleVertices, t);
        // A program error (-1) or an empty system draws nothing this frame.
        if (count > 0)
            d3dDevice->DrawPrimitiveUP(D3DPT_POINTLIST, static_cast<UINT>(count), particleVertices,
                                       sizeof(ColorVertex));
        d3dDevice->SetRenderTarget(0, backBuffer);
        face->Release();
        backBuffer->Release();
    }
}
