// recording_device.h: a Direct3D 9 device that draws nothing and logs every call, for tests
// and for the capture tool's trace. Textures get real lockable memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9.h"

enum class CallKind : uint8_t {
    BeginScene,
    EndScene,
    Present,
    Clear,
    SetRenderState,
    SetSamplerState,
    SetTextureStageState,
    SetTransform,
    SetTexture,
    SetFVF,
    DrawPrimitiveUP,
    CreateTexture,
    GetBackBuffer,
    SetRenderTarget,
    GetSurfaceLevel,
    LockRect,
    UnlockRect,
    ReleaseTexture,
    ReleaseSurface,
    ReleaseDevice,
};

// One call. args hold the call's scalar arguments in order; object is the id of the texture
// or surface it names (0 for none); a draw keeps a copy of the vertices it read.
struct RecordedCall {
    CallKind kind;
    uint32_t args[6];
    int object;
    D3DMATRIX matrix;
    std::vector<uint8_t> vertices;
    std::vector<uint8_t> texels;  // what an UnlockRect handed over, kept with the vertices
    std::vector<int32_t> rects;   // Clear's rectangles, LockRect's rectangle: left, top, right, bottom each
};

class RecordingDevice;

class RecordingSurface final : public IDirect3DSurface9 {
public:
    ULONG Release() override;

    int id;
    int* references;  // the container's count: a surface shares its texture's
    RecordingDevice* device;
    UINT width, height;
};

class RecordingTexture final : public IDirect3DTexture9 {
public:
    D3D9_TEXTURE_METHODS(D3D9_DECLARE_OVERRIDE)

    int id;
    int references = 1;
    RecordingDevice* device;
    UINT width, height, levels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
    std::vector<std::vector<uint8_t>> levelBits;  // 4 bytes a texel, pitch = width * 4
    std::vector<bool> levelWritten;               // locked for writing at least once
    std::vector<std::unique_ptr<RecordingSurface>> surfaces;
};

class RecordingDevice final : public IDirect3DDevice9 {
public:
    RecordingDevice();

    D3D9_DEVICE_METHODS(D3D9_DECLARE_OVERRIDE)

    // ---- for tests and traces ----
    void clearLog() { calls.clear(); }
    size_t count(CallKind kind) const;
    std::string text() const;  // the whole log, one call per line
    std::string describe(const RecordedCall& call) const;

    // The state the calls so far leave, starting from Direct3D 9's defaults.
    DWORD renderState(D3DRENDERSTATETYPE state) const { return renderStates[state]; }
    DWORD textureStageState(D3DTEXTURESTAGESTATETYPE type) const { return stageStates[type]; }
    DWORD samplerState(D3DSAMPLERSTATETYPE type) const { return samplerStates[type]; }
    const D3DMATRIX& transform(D3DTRANSFORMSTATETYPE state) const;
    DWORD fvf() const { return currentFvf; }
    IDirect3DTexture9* texture() const { return currentTexture; }
    IDirect3DSurface9* renderTarget() const { return currentTarget; }
    RecordingTexture* textureById(int id) const;
    int backBufferReferences() const { return backBufferRefs; }
    int backBufferId() const { return backBuffer.id; }
    const std::vector<std::unique_ptr<RecordingTexture>>& allTextures() const { return textures; }  // in creation order

    std::vector<RecordedCall> calls;
    bool keepVertices = true;  // copy the vertices of every draw and the texels of every unlock

private:
    friend class RecordingSurface;
    friend class RecordingTexture;
    RecordedCall& record(CallKind kind, std::initializer_list<uint32_t> args, int object = 0);
    std::string objectName(int id) const;

    DWORD renderStates[256];
    DWORD stageStates[32];
    DWORD samplerStates[16];
    D3DMATRIX world, view, projection;
    DWORD currentFvf = 0;
    IDirect3DTexture9* currentTexture = nullptr;
    IDirect3DSurface9* currentTarget;
    int nextId = 1;
    int backBufferRefs = 1;  // the swap chain's own reference
    RecordingSurface backBuffer;
    std::vector<std::unique_ptr<RecordingTexture>> textures;
};
