// render_state.cpp: remembered render mode and fog flag, blend set-ups, and the camera.
#include "core/core.h"
#include "core/frame_state.h"

uint8_t RenderMode;
uint8_t fogEnabled;

// Writes only the states whose bit changed. RenderMode starts at 0 while the device starts with
// depth testing on, so the device keeps testing depth until a mode with bit 1 set has been
// followed by one without it: that lag is deliberate and must not be "fixed".
void setRenderMode(uint8_t mode) {
    const uint8_t changed = mode ^ RenderMode;
    if (changed & 1u)
        d3dDevice->SetRenderState(D3DRS_CULLMODE, (mode & 1u) ? D3DCULL_CCW : D3DCULL_NONE);
    if (changed & 2u)
        d3dDevice->SetRenderState(D3DRS_ZENABLE, (mode & 2u) ? 1 : 0);
    if (changed & 4u)
        d3dDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, (mode & 4u) ? 1 : 0);
    RenderMode = mode;
}

void fogOn() {
    if (fogEnabled == 0)
        d3dDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
    fogEnabled = 1;
}

void fogOff() {
    if (fogEnabled != 0)
        d3dDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
    fogEnabled = 0;
}

void setFogEnd(float end) {
    d3dDevice->SetRenderState(D3DRS_FOGSTART, d3dFloatBits(0.0f));
    d3dDevice->SetRenderState(D3DRS_FOGEND, d3dFloatBits(end));
}

// Alpha from the texture factor, for the streak passes that set it pass by pass.
void setBlendFactorAlpha() {
    d3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d3dDevice->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    setRenderMode(4);
}

// Back to one/one; the alpha argument stays CURRENT, not the device default TEXTURE.
void setBlendAdditive() {
    d3dDevice->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    d3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    setRenderMode(6);
}

void setCamera(float eyeX, float eyeY, float eyeZ, float targetX, float targetY, float targetZ) {
    const D3DXVECTOR3 eye = {eyeX, eyeY, eyeZ};
    const D3DXVECTOR3 target = {targetX, targetY, targetZ};
    const D3DXVECTOR3 up = {0.0f, 1.0f, 0.0f};
    D3DXMATRIX view;
    MathApi.D3DXMatrixLookAtLH(&view, &eye, &target, &up);
    d3dDevice->SetTransform(D3DTS_VIEW, &view);
}

void setCameraDistance(float z) { setCamera(0.0f, 0.0f, z, 0.0f, 0.0f, 0.0f); }

const LPCWSTR drawKindNames[DrawKindCount] = {L"face targets", L"cube faces", L"lines and text", L"tunnel",
                                              L"overlays and noise", L"streaks", L"screen copy"};
