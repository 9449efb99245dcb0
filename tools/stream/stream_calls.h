// stream_calls.h: the calls of a frame stream that set state, targets or draw, made on a
// Direct3D 9 device: ours (platform/d3d9.h) or a real one (the Windows headers,
// tools/replay-d3d9/), which spell every type and method the same. Present and locks touch each
// replayer's own objects; it makes those itself.
#pragma once

#include <cstring>
#include <vector>

#include "tools/stream/frame_stream.h"

// The device holds its own reference to its target, as the show relies on.
template <typename Device, typename Texture>
HRESULT setStreamTarget(Device* device, const std::vector<Texture*>& textures, const std::vector<uint32_t>& a) {
    IDirect3DSurface9* surface = nullptr;
    const HRESULT got = a[1] == 0 ? device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface)
                                  : textures[a[1] - 1]->GetSurfaceLevel(a[2], &surface);
    if (got != D3D_OK || surface == nullptr) return got != D3D_OK ? got : D3DERR_INVALIDCALL;
    const HRESULT set = device->SetRenderTarget(a[0], surface);
    surface->Release();
    return set;
}

// False for a call this does not make; result is the device's answer to one it made.
template <typename Device, typename Texture>
bool makeStreamStateCall(Device* device, const std::vector<Texture*>& textures, const StreamCall& c, HRESULT& result) {
    const std::vector<uint32_t>& a = c.args;
    switch (c.op) {
        case StreamOp::BeginScene: result = device->BeginScene(); return true;
        case StreamOp::EndScene: result = device->EndScene(); return true;
        case StreamOp::Clear: {
            std::vector<D3DRECT> rects;
            for (size_t i = 0; i + 3 < c.rects.size(); i += 4)
                rects.push_back(D3DRECT{c.rects[i], c.rects[i + 1], c.rects[i + 2], c.rects[i + 3]});
            float z;
            std::memcpy(&z, &a[2], sizeof z);
            result = device->Clear(DWORD(rects.size()), rects.empty() ? nullptr : rects.data(), a[0], a[1], z, a[3]);
            return true;
        }
        case StreamOp::SetRenderState: result = device->SetRenderState(D3DRENDERSTATETYPE(a[0]), a[1]); return true;
        case StreamOp::SetSamplerState:
            result = device->SetSamplerState(a[0], D3DSAMPLERSTATETYPE(a[1]), a[2]);
            return true;
        case StreamOp::SetTextureStageState:
            result = device->SetTextureStageState(a[0], D3DTEXTURESTAGESTATETYPE(a[1]), a[2]);
            return true;
        case StreamOp::SetTransform: {
            D3DMATRIX matrix;
            std::memcpy(&matrix, c.data.data(), sizeof matrix);
            result = device->SetTransform(D3DTRANSFORMSTATETYPE(a[0]), &matrix);
            return true;
        }
        case StreamOp::SetTexture:
            result = device->SetTexture(a[0], a[1] == 0 ? nullptr : textures[a[1] - 1]);
            return true;
        case StreamOp::SetFVF: result = device->SetFVF(a[0]); return true;
        case StreamOp::SetRenderTarget: result = setStreamTarget(device, textures, a); return true;
        case StreamOp::DrawPrimitiveUP:
            result = device->DrawPrimitiveUP(D3DPRIMITIVETYPE(a[0]), a[1], c.data.data(), a[2]);
            return true;
        default: return false;
    }
}
