// player_device.cpp: the kept device state, and drawing switched off in front of the device.
#include "app/player_device.h"

#include <cstring>
#include <initializer_list>

#include "platform/d3d9_defaults.h"

namespace {

D3DMATRIX identity() {
    D3DMATRIX m = {};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// Not a switch: Windows' header makes D3DTS_WORLD a value outside its enum's own.
D3DMATRIX* transformOf(KeptDeviceState& state, D3DTRANSFORMSTATETYPE type) {
    if (type == D3DTS_VIEW) return &state.view;
    if (type == D3DTS_PROJECTION) return &state.projection;
    if (type == D3DTS_WORLD) return &state.world;
    return nullptr;
}

bool same(const D3DMATRIX& a, const D3DMATRIX& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

PlayerDevice::PlayerDevice(IDirect3DDevice9* inner) : innerDevice(inner) {
    d3dDefaultRenderStates(keptState.renderStates);
    d3dDefaultStageStates(keptState.stageStates);
    d3dDefaultSamplerStates(keptState.samplerStates);
    keptState.view = keptState.projection = keptState.world = identity();
    keptState.texture = nullptr;
    keptState.fvf = 0;
    innerState = keptState;
}

void PlayerDevice::setDrawing(bool on) {
    drawingOn = on;
    if (on) syncInner();
}

void PlayerDevice::restoreKept(const KeptDeviceState& state) {
    keptState = state;
    if (drawingOn) syncInner();
}

// Only what differs, in a fixed order: the inner device's own cache would drop the rest anyway.
void PlayerDevice::syncInner() {
    for (DWORD i = 0; i < 256; ++i)
        if (innerState.renderStates[i] != keptState.renderStates[i])
            innerDevice->SetRenderState(D3DRENDERSTATETYPE(i), keptState.renderStates[i]);
    for (DWORD i = 0; i < 32; ++i)
        if (innerState.stageStates[i] != keptState.stageStates[i])
            innerDevice->SetTextureStageState(0, D3DTEXTURESTAGESTATETYPE(i), keptState.stageStates[i]);
    for (DWORD i = 0; i < 16; ++i)
        if (innerState.samplerStates[i] != keptState.samplerStates[i])
            innerDevice->SetSamplerState(0, D3DSAMPLERSTATETYPE(i), keptState.samplerStates[i]);
    for (D3DTRANSFORMSTATETYPE type : {D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_WORLD})
        if (!same(*transformOf(innerState, type), *transformOf(keptState, type)))
            innerDevice->SetTransform(type, transformOf(keptState, type));
    if (innerState.texture != keptState.texture) innerDevice->SetTexture(0, keptState.texture);
    if (innerState.fvf != keptState.fvf) innerDevice->SetFVF(keptState.fvf);
    innerState = keptState;
}

HRESULT PlayerDevice::BeginScene() { return drawingOn ? innerDevice->BeginScene() : D3D_OK; }
HRESULT PlayerDevice::EndScene() { return drawingOn ? innerDevice->EndScene() : D3D_OK; }

HRESULT PlayerDevice::Present(const RECT* source, const RECT* dest, HWND window, const void* dirty) {
    return drawingOn ? innerDevice->Present(source, dest, window, d3dDirtyRegion(dirty)) : D3D_OK;
}

HRESULT PlayerDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    return drawingOn ? innerDevice->Clear(count, rects, flags, color, z, stencil) : D3D_OK;
}

// Each call goes on unchanged while drawing, redundant or not, so that a trace through this
// device is the show's own.
HRESULT PlayerDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state < 256) keptState.renderStates[state] = value;
    if (!drawingOn) return D3D_OK;
    if (state < 256) innerState.renderStates[state] = value;
    return innerDevice->SetRenderState(state, value);
}

HRESULT PlayerDevice::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    const bool keptHere = sampler == 0 && type < 16;
    if (keptHere) keptState.samplerStates[type] = value;
    if (!drawingOn) return D3D_OK;
    if (keptHere) innerState.samplerStates[type] = value;
    return innerDevice->SetSamplerState(sampler, type, value);
}

HRESULT PlayerDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    const bool keptHere = stage == 0 && type < 32;
    if (keptHere) keptState.stageStates[type] = value;
    if (!drawingOn) return D3D_OK;
    if (keptHere) innerState.stageStates[type] = value;
    return innerDevice->SetTextureStageState(stage, type, value);
}

HRESULT PlayerDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    D3DMATRIX* kept = transformOf(keptState, state);
    if (kept != nullptr && matrix != nullptr) *kept = *matrix;
    if (!drawingOn) return D3D_OK;
    if (kept != nullptr && matrix != nullptr) *transformOf(innerState, state) = *matrix;
    return innerDevice->SetTransform(state, matrix);
}

HRESULT PlayerDevice::SetTexture(DWORD stage, IDirect3DTexture9* texture) {
    if (stage == 0) keptState.texture = texture;
    if (!drawingOn) return D3D_OK;
    if (stage == 0) innerState.texture = texture;
    return innerDevice->SetTexture(stage, texture);
}

HRESULT PlayerDevice::SetFVF(DWORD fvf) {
    keptState.fvf = fvf;
    if (!drawingOn) return D3D_OK;
    innerState.fvf = fvf;
    return innerDevice->SetFVF(fvf);
}

HRESULT PlayerDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) {
    return drawingOn ? innerDevice->DrawPrimitiveUP(type, primitiveCount, vertices, stride) : D3D_OK;
}

HRESULT PlayerDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    return innerDevice->CreateTexture(width, height, levels, usage, format, pool, texture, sharedHandle);
}

HRESULT PlayerDevice::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                    IDirect3DSurface9** surface) {
    return innerDevice->GetBackBuffer(swapChain, backBuffer, type, surface);
}

// Every frame leaves the back buffer current, so a target set while drawing is off need not
// be carried over: by the next frame it is the back buffer again.
HRESULT PlayerDevice::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    return drawingOn ? innerDevice->SetRenderTarget(index, surface) : D3D_OK;
}

ULONG PlayerDevice::Release() { return innerDevice->Release(); }
