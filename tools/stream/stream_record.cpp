// stream_record.cpp: the recording device's state and log as a frame stream: textures renumbered
// 1, 2, ... in creation order, state written where it differs from Direct3D 9's defaults.
#include "tools/stream/stream_record.h"

#include <cstring>

#include "platform/d3d9_defaults.h"
#include "platform/d3d9_names.h"

namespace {

StreamCall setState(StreamOp op, std::vector<uint32_t> args, const char* name = nullptr) {
    StreamCall call{op, std::move(args), {}, {}};
    if (name != nullptr) call.data.assign(name, name + std::strlen(name));
    return call;
}

StreamCall setTransform(uint32_t type, const D3DMATRIX& matrix) {
    StreamCall call{StreamOp::SetTransform, {type}, {}, std::vector<uint8_t>(64)};
    std::memcpy(call.data.data(), &matrix, 64);
    return call;
}

bool isIdentity(const D3DMATRIX& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m.m[r][c] != (r == c ? 1.0f : 0.0f)) return false;
    return true;
}

// Direct3D 9's defaults of stage n: stage 0's, but the stages after it disabled and each reading
// its own texture coordinates.
void defaultStageStates(uint32_t stage, DWORD (&states)[32]) {
    d3dDefaultStageStates(states);
    if (stage == 0) return;
    states[D3DTSS_COLOROP] = D3DTOP_DISABLE;
    states[D3DTSS_ALPHAOP] = D3DTOP_DISABLE;
    states[D3DTSS_TEXCOORDINDEX] = stage;
}

// Every state the names table knows, as a fresh device holds it.
std::vector<StreamCall> defaultState() {
    std::vector<StreamCall> calls;
    DWORD render[256], stage[32], sampler[16];
    d3dDefaultRenderStates(render);
    for (uint32_t s = 0; s < 256; ++s)
        if (const char* name = d3dRenderStateName(s)) calls.push_back(setState(StreamOp::SetRenderState, {s, render[s]}, name));
    for (uint32_t n = 0; n < streamStages; ++n) {
        defaultStageStates(n, stage);
        for (uint32_t t = 0; t < 32; ++t)
            if (const char* name = d3dStageStateName(t))
                calls.push_back(setState(StreamOp::SetTextureStageState, {n, t, stage[t]}, name));
    }
    d3dDefaultSamplerStates(sampler);
    for (uint32_t n = 0; n < streamSamplers; ++n)
        for (uint32_t t = 0; t < 16; ++t)
            if (const char* name = d3dSamplerStateName(t))
                calls.push_back(setState(StreamOp::SetSamplerState, {n, t, sampler[t]}, name));
    return calls;
}

// The stream's number of a device object: a texture, or the texture and level of a surface
// (0 and 0 for the back buffer).
struct Ids {
    const RecordingDevice& device;
    const std::vector<int>& textureIds;
    uint32_t texture(int id) const {
        for (size_t i = 0; i < textureIds.size(); ++i)
            if (textureIds[i] == id) return static_cast<uint32_t>(i + 1);
        return 0;
    }
    void surface(int id, uint32_t& texture, uint32_t& level) const {
        texture = level = 0;
        for (size_t i = 0; i < textureIds.size(); ++i) {
            const RecordingTexture* t = device.textureById(textureIds[i]);
            for (size_t l = 0; l < t->surfaces.size(); ++l)
                if (t->surfaces[l]->id == id) texture = static_cast<uint32_t>(i + 1), level = static_cast<uint32_t>(l);
        }
    }
};

// The texels of a locked rectangle, rows packed, from a whole level of width w.
std::vector<uint8_t> rectTexels(const std::vector<uint8_t>& level, uint32_t w, const std::vector<int32_t>& rect) {
    if (rect.empty()) return level;
    std::vector<uint8_t> texels;
    for (int32_t y = rect[1]; y < rect[3]; ++y) {
        const auto row = level.begin() + (std::ptrdiff_t(y) * w + rect[0]) * 4;
        texels.insert(texels.end(), row, row + std::ptrdiff_t(rect[2] - rect[0]) * 4);
    }
    return texels;
}

}  // namespace

void StreamRecorder::begin(const RecordingDevice& device) {
    started = FrameStream{};
    textureIds.clear();
    for (const auto& texture : device.allTextures()) {
        StreamTexture copy{texture->width, texture->height, texture->levels, texture->usage, texture->format, texture->pool, {}};
        for (UINT level = 0; level < texture->levels; ++level)
            copy.texels.push_back(texture->levelWritten[level] ? texture->levelBits[level] : std::vector<uint8_t>());
        started.textures.push_back(std::move(copy));
        textureIds.push_back(texture->id);
    }
    started.defaults = defaultState();
    DWORD render[256], stage[32], sampler[16];
    d3dDefaultRenderStates(render);
    d3dDefaultStageStates(stage);
    d3dDefaultSamplerStates(sampler);
    std::vector<StreamCall>& start = started.start;
    for (uint32_t s = 0; s < 256; ++s)
        if (device.renderState(D3DRENDERSTATETYPE(s)) != render[s])
            start.push_back(setState(StreamOp::SetRenderState, {s, device.renderState(D3DRENDERSTATETYPE(s))}));
    for (uint32_t t = 0; t < 32; ++t)
        if (device.textureStageState(D3DTEXTURESTAGESTATETYPE(t)) != stage[t])
            start.push_back(setState(StreamOp::SetTextureStageState, {0, t, device.textureStageState(D3DTEXTURESTAGESTATETYPE(t))}));
    for (uint32_t t = 0; t < 16; ++t)
        if (device.samplerState(D3DSAMPLERSTATETYPE(t)) != sampler[t])
            start.push_back(setState(StreamOp::SetSamplerState, {0, t, device.samplerState(D3DSAMPLERSTATETYPE(t))}));
    for (D3DTRANSFORMSTATETYPE type : {D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_WORLD})
        if (!isIdentity(device.transform(type))) start.push_back(setTransform(type, device.transform(type)));
    if (device.fvf() != 0) start.push_back(setState(StreamOp::SetFVF, {device.fvf()}));
    const Ids ids{device, textureIds};
    if (device.texture() != nullptr)
        start.push_back(setState(StreamOp::SetTexture, {0, ids.texture(static_cast<RecordingTexture*>(device.texture())->id)}));
    const int target = static_cast<const RecordingSurface*>(device.renderTarget())->id;
    if (target != device.backBufferId()) {
        uint32_t texture = 0, level = 0;
        ids.surface(target, texture, level);
        start.push_back(setState(StreamOp::SetRenderTarget, {0, texture, level}));
    }
}

bool StreamRecorder::finish(const RecordingDevice& device, bool loading, uint32_t time, FrameStream& stream,
                            std::string& error) const {
    stream = started;
    stream.loading = loading;
    stream.time = time;
    const Ids ids{device, textureIds};
    const std::vector<RecordedCall>& calls = device.calls;
    for (size_t i = 0; i < calls.size(); ++i) {
        const RecordedCall& call = calls[i];
        const uint32_t* a = call.args;
        switch (call.kind) {
            case CallKind::BeginScene: stream.calls.push_back({StreamOp::BeginScene, {}, {}, {}}); break;
            case CallKind::EndScene: stream.calls.push_back({StreamOp::EndScene, {}, {}, {}}); break;
            case CallKind::Present: stream.calls.push_back({StreamOp::Present, {}, {}, {}}); break;
            case CallKind::Clear: stream.calls.push_back({StreamOp::Clear, {a[1], a[2], a[3], a[4]}, call.rects, {}}); break;
            case CallKind::SetRenderState: stream.calls.push_back(setState(StreamOp::SetRenderState, {a[0], a[1]})); break;
            case CallKind::SetSamplerState: stream.calls.push_back(setState(StreamOp::SetSamplerState, {a[0], a[1], a[2]})); break;
            case CallKind::SetTextureStageState:
                stream.calls.push_back(setState(StreamOp::SetTextureStageState, {a[0], a[1], a[2]}));
                break;
            case CallKind::SetTransform: stream.calls.push_back(setTransform(a[0], call.matrix)); break;
            case CallKind::SetTexture: stream.calls.push_back(setState(StreamOp::SetTexture, {a[0], ids.texture(call.object)})); break;
            case CallKind::SetFVF: stream.calls.push_back(setState(StreamOp::SetFVF, {a[0]})); break;
            case CallKind::DrawPrimitiveUP: stream.calls.push_back({StreamOp::DrawPrimitiveUP, {a[0], a[1], a[2]}, {}, call.vertices}); break;
            case CallKind::SetRenderTarget: {
                uint32_t texture = 0, level = 0;
                ids.surface(call.object, texture, level);
                stream.calls.push_back(setState(StreamOp::SetRenderTarget, {a[0], texture, level}));
                break;
            }
            case CallKind::CreateTexture:
                error = "the frame creates a texture (call " + std::to_string(i) + "), which a stream cannot hold";
                return false;
            case CallKind::UnlockRect: {
                // What the lock before it opened, with the texels the unlock handed over.
                for (size_t j = i; j-- > 0;) {
                    const RecordedCall& lock = calls[j];
                    if (lock.kind != CallKind::LockRect || lock.object != call.object || lock.args[0] != a[0]) continue;
                    if (lock.args[1] & D3DLOCK_READONLY) break;
                    const uint32_t width = device.textureById(call.object)->surfaces[a[0]]->width;
                    stream.calls.push_back({StreamOp::LockRect, {ids.texture(call.object), a[0], lock.args[1]}, lock.rects,
                                            rectTexels(call.texels, width, lock.rects)});
                    break;
                }
                break;
            }
            // Getting and releasing objects changes nothing a picture shows.
            case CallKind::GetBackBuffer:
            case CallKind::GetSurfaceLevel:
            case CallKind::LockRect:
            case CallKind::ReleaseTexture:
            case CallKind::ReleaseSurface:
            case CallKind::ReleaseDevice: break;
        }
    }
    return true;
}
