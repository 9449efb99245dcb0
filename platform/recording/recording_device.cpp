// recording_device.cpp: the logging device, its textures and surfaces, and the trace printer.
#include "platform/recording/recording_device.h"

#include <cstdio>
#include <cstring>

#include "platform/d3d9_defaults.h"
#include "platform/d3d9_names.h"

namespace {

D3DMATRIX identity() {
    D3DMATRIX m = {};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

UINT fullChainLevels(UINT width, UINT height) {
    UINT levels = 1;
    while (width > 1 || height > 1) {
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        ++levels;
    }
    return levels;
}

UINT vertexStride(DWORD fvf) {
    UINT size = (fvf & D3DFVF_XYZRHW) ? 16 : (fvf & D3DFVF_XYZ) ? 12 : 0;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_TEX1) size += 8;
    return size;
}

}  // namespace

// ---- surfaces and textures ----

ULONG RecordingSurface::Release() {
    device->record(CallKind::ReleaseSurface, {}, id);
    if (*references > 0) --*references;
    return static_cast<ULONG>(*references);
}

HRESULT RecordingTexture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    device->record(CallKind::GetSurfaceLevel, {level}, id);
    if (surface == nullptr || level >= levels) return D3DERR_INVALIDCALL;
    ++references;
    *surface = surfaces[level].get();
    return D3D_OK;
}

HRESULT RecordingTexture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    RecordedCall& call = device->record(CallKind::LockRect, {level, flags}, id);
    if (rect != nullptr) call.rects = {rect->left, rect->top, rect->right, rect->bottom};
    if (locked == nullptr || level >= levels) return D3DERR_INVALIDCALL;
    if (!(flags & D3DLOCK_READONLY)) levelWritten[level] = true;
    const UINT w = surfaces[level]->width;
    locked->Pitch = static_cast<INT>(w * 4);
    uint8_t* bits = levelBits[level].data();
    if (rect != nullptr) bits += rect->top * locked->Pitch + rect->left * 4;
    locked->pBits = bits;
    return D3D_OK;
}

HRESULT RecordingTexture::UnlockRect(UINT level) {
    RecordedCall& call = device->record(CallKind::UnlockRect, {level}, id);
    if (level >= levels) return D3DERR_INVALIDCALL;
    if (device->keepVertices) call.texels = levelBits[level];
    return D3D_OK;
}

ULONG RecordingTexture::Release() {
    device->record(CallKind::ReleaseTexture, {}, id);
    if (references > 0) --references;
    return static_cast<ULONG>(references);
}

// ---- device ----

RecordingDevice::RecordingDevice() {
    d3dDefaultRenderStates(renderStates);
    d3dDefaultStageStates(stageStates);
    d3dDefaultSamplerStates(samplerStates);
    world = view = projection = identity();
    backBuffer.id = nextId++;
    backBuffer.references = &backBufferRefs;
    backBuffer.device = this;
    backBuffer.width = 640;
    backBuffer.height = 480;
    currentTarget = &backBuffer;
}

RecordedCall& RecordingDevice::record(CallKind kind, std::initializer_list<uint32_t> args, int object) {
    RecordedCall call = {};
    call.kind = kind;
    size_t i = 0;
    for (uint32_t arg : args)
        if (i < 6) call.args[i++] = arg;
    call.object = object;
    calls.push_back(std::move(call));
    return calls.back();
}

HRESULT RecordingDevice::BeginScene() {
    record(CallKind::BeginScene, {});
    return D3D_OK;
}

HRESULT RecordingDevice::EndScene() {
    record(CallKind::EndScene, {});
    return D3D_OK;
}

HRESULT RecordingDevice::Present(const RECT*, const RECT*, HWND, const void*) {
    record(CallKind::Present, {});
    return D3D_OK;
}

HRESULT RecordingDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                               DWORD stencil) {
    RecordedCall& call = record(CallKind::Clear, {count, flags, color, d3dFloatBits(z), stencil});
    for (DWORD i = 0; rects != nullptr && i < count; ++i)
        call.rects.insert(call.rects.end(), {rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
    return D3D_OK;
}

HRESULT RecordingDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    record(CallKind::SetRenderState, {state, value});
    if (state >= 256) return D3DERR_INVALIDCALL;
    renderStates[state] = value;
    return D3D_OK;
}

HRESULT RecordingDevice::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    record(CallKind::SetSamplerState, {sampler, type, value});
    if (sampler != 0 || type >= 16) return D3DERR_INVALIDCALL;
    samplerStates[type] = value;
    return D3D_OK;
}

HRESULT RecordingDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    record(CallKind::SetTextureStageState, {stage, type, value});
    if (stage != 0 || type >= 32) return D3DERR_INVALIDCALL;
    stageStates[type] = value;
    return D3D_OK;
}

HRESULT RecordingDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    RecordedCall& call = record(CallKind::SetTransform, {state});
    if (matrix == nullptr) return D3DERR_INVALIDCALL;
    call.matrix = *matrix;
    switch (state) {
        case D3DTS_WORLD:      world = *matrix; break;
        case D3DTS_VIEW:       view = *matrix; break;
        case D3DTS_PROJECTION: projection = *matrix; break;
        default:               return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

const D3DMATRIX& RecordingDevice::transform(D3DTRANSFORMSTATETYPE state) const {
    return state == D3DTS_WORLD ? world : state == D3DTS_VIEW ? view : projection;
}

HRESULT RecordingDevice::SetTexture(DWORD stage, IDirect3DTexture9* texture) {
    const auto* recorded = static_cast<RecordingTexture*>(texture);
    record(CallKind::SetTexture, {stage}, recorded != nullptr ? recorded->id : 0);
    if (stage != 0) return D3DERR_INVALIDCALL;
    currentTexture = texture;
    return D3D_OK;
}

HRESULT RecordingDevice::SetFVF(DWORD fvf) {
    record(CallKind::SetFVF, {fvf});
    currentFvf = fvf;
    return D3D_OK;
}

HRESULT RecordingDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount,
                                         const void* vertices, UINT stride) {
    RecordedCall& call = record(CallKind::DrawPrimitiveUP, {type, primitiveCount, stride});
    const UINT count = d3dVertexCount(type, primitiveCount);
    if (vertices == nullptr || count == 0 || stride < vertexStride(currentFvf)) return D3DERR_INVALIDCALL;
    if (keepVertices) {
        // Kept vertex by vertex as the primitives name them, as a drawing device reads them:
        // a count that disagreed with its primitives would show here rather than pass.
        const auto* bytes = static_cast<const uint8_t*>(vertices);
        call.vertices.assign(size_t(count) * stride, 0);
        auto keep = [&](UINT i) { std::memcpy(call.vertices.data() + size_t(i) * stride, bytes + size_t(i) * stride, stride); };
        d3dForEachPrimitive(
            type, primitiveCount, keep, [&](UINT a, UINT b) { keep(a), keep(b); },
            [&](UINT a, UINT b, UINT c) { keep(a), keep(b), keep(c); });
    }
    return D3D_OK;
}

HRESULT RecordingDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                       D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                       HANDLE*) {
    RecordedCall& call = record(CallKind::CreateTexture, {width, height, levels, usage, format, pool});
    if (texture == nullptr || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    auto created = std::make_unique<RecordingTexture>();
    created->id = nextId++;
    created->device = this;
    created->width = width;
    created->height = height;
    created->levels = levels == 0 ? fullChainLevels(width, height) : levels;
    created->usage = usage;
    created->format = format;
    created->pool = pool;
    UINT w = width, h = height;
    for (UINT level = 0; level < created->levels; ++level) {
        created->levelBits.emplace_back(size_t(w) * h * 4, uint8_t(0));
        created->levelWritten.push_back(false);
        auto surface = std::make_unique<RecordingSurface>();
        surface->id = nextId++;
        surface->references = &created->references;
        surface->device = this;
        surface->width = w;
        surface->height = h;
        created->surfaces.push_back(std::move(surface));
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    call.object = created->id;
    *texture = created.get();
    textures.push_back(std::move(created));
    return D3D_OK;
}

HRESULT RecordingDevice::GetBackBuffer(UINT swapChain, UINT backBufferIndex, D3DBACKBUFFER_TYPE type,
                                       IDirect3DSurface9** surface) {
    record(CallKind::GetBackBuffer, {swapChain, backBufferIndex, type}, backBuffer.id);
    if (surface == nullptr || swapChain != 0 || backBufferIndex != 0) return D3DERR_INVALIDCALL;
    ++backBufferRefs;
    *surface = &backBuffer;
    return D3D_OK;
}

HRESULT RecordingDevice::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    const auto* recorded = static_cast<RecordingSurface*>(surface);
    record(CallKind::SetRenderTarget, {index}, recorded != nullptr ? recorded->id : 0);
    if (index != 0 || surface == nullptr) return D3DERR_INVALIDCALL;
    currentTarget = surface;
    return D3D_OK;
}

ULONG RecordingDevice::Release() {
    record(CallKind::ReleaseDevice, {});
    return 1;
}

// ---- queries and the trace ----

size_t RecordingDevice::count(CallKind kind) const {
    size_t n = 0;
    for (const RecordedCall& call : calls)
        if (call.kind == kind) ++n;
    return n;
}

RecordingTexture* RecordingDevice::textureById(int id) const {
    for (const auto& texture : textures)
        if (texture->id == id) return texture.get();
    return nullptr;
}

std::string RecordingDevice::objectName(int id) const {
    if (id == 0) return "NULL";
    if (id == backBuffer.id) return "backbuffer";
    for (const auto& texture : textures) {
        if (texture->id == id) return "texture#" + std::to_string(id);
        for (size_t level = 0; level < texture->surfaces.size(); ++level)
            if (texture->surfaces[level]->id == id)
                return "texture#" + std::to_string(texture->id) + ".level" + std::to_string(level);
    }
    return "object#" + std::to_string(id);
}

std::string RecordingDevice::describe(const RecordedCall& call) const {
    const uint32_t* a = call.args;
    char text[512];
    switch (call.kind) {
        case CallKind::BeginScene: return "BeginScene()";
        case CallKind::EndScene:   return "EndScene()";
        case CallKind::Present:    return "Present(NULL, NULL, NULL, NULL)";
        case CallKind::Clear:
            std::snprintf(text, sizeof text, "Clear(%u, NULL, %s, 0x%08X, %g, %u)", a[0],
                          d3dClearFlagsText(a[1]).c_str(), a[2],
                          static_cast<double>(d3dBitsFloat(a[3])), a[4]);
            return text;
        case CallKind::SetRenderState:
            return "SetRenderState(" + d3dNumberOr(d3dRenderStateName(a[0]), a[0]) + ", " +
                   d3dRenderStateValue(a[0], a[1]) + ")";
        case CallKind::SetSamplerState:
            return "SetSamplerState(" + std::to_string(a[0]) + ", " +
                   d3dNumberOr(d3dSamplerStateName(a[1]), a[1]) + ", " +
                   d3dSamplerStateValue(a[1], a[2]) + ")";
        case CallKind::SetTextureStageState:
            return "SetTextureStageState(" + std::to_string(a[0]) + ", " +
                   d3dNumberOr(d3dStageStateName(a[1]), a[1]) + ", " + d3dStageStateValue(a[1], a[2]) +
                   ")";
        case CallKind::SetTransform: {
            const float* m = &call.matrix._11;
            std::snprintf(text, sizeof text,
                          "SetTransform(%s, [%g %g %g %g | %g %g %g %g | %g %g %g %g | %g %g %g %g])",
                          d3dNumberOr(d3dTransformName(a[0]), a[0]).c_str(), double(m[0]), double(m[1]),
                          double(m[2]), double(m[3]), double(m[4]), double(m[5]), double(m[6]),
                          double(m[7]), double(m[8]), double(m[9]), double(m[10]), double(m[11]),
                          double(m[12]), double(m[13]), double(m[14]), double(m[15]));
            return text;
        }
        case CallKind::SetTexture:
            return "SetTexture(" + std::to_string(a[0]) + ", " + objectName(call.object) + ")";
        case CallKind::SetFVF: return "SetFVF(" + d3dFvfText(a[0]) + ")";
        case CallKind::DrawPrimitiveUP:
            return "DrawPrimitiveUP(" + d3dNumberOr(d3dPrimitiveName(a[0]), a[0]) + ", " +
                   std::to_string(a[1]) + ", stride " + std::to_string(a[2]) + ")";
        case CallKind::CreateTexture:
            std::snprintf(text, sizeof text, "CreateTexture(%u, %u, %u, %s, %s, %s) -> %s", a[0], a[1],
                          a[2], a[3] & D3DUSAGE_RENDERTARGET ? "D3DUSAGE_RENDERTARGET" : "0",
                          d3dNumberOr(d3dFormatName(a[4]), a[4]).c_str(),
                          d3dNumberOr(d3dPoolName(a[5]), a[5]).c_str(), objectName(call.object).c_str());
            return text;
        case CallKind::GetBackBuffer:
            return "GetBackBuffer(" + std::to_string(a[0]) + ", " + std::to_string(a[1]) +
                   ", D3DBACKBUFFER_TYPE_MONO) -> " + objectName(call.object);
        case CallKind::SetRenderTarget:
            return "SetRenderTarget(" + std::to_string(a[0]) + ", " + objectName(call.object) + ")";
        case CallKind::GetSurfaceLevel:
            return objectName(call.object) + "->GetSurfaceLevel(" + std::to_string(a[0]) + ")";
        case CallKind::LockRect:
            return objectName(call.object) + "->LockRect(" + std::to_string(a[0]) + ")";
        case CallKind::UnlockRect:
            return objectName(call.object) + "->UnlockRect(" + std::to_string(a[0]) + ")";
        case CallKind::ReleaseTexture:
        case CallKind::ReleaseSurface: return objectName(call.object) + "->Release()";
        case CallKind::ReleaseDevice:  return "Release()";
    }
    return "?";
}

std::string RecordingDevice::text() const {
    std::string log;
    for (const RecordedCall& call : calls) {
        log += describe(call);
        log += '\n';
    }
    return log;
}
