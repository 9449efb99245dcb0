// stream_replay.cpp: each call of a stream made on the device as the show made it.
#include "tools/stream/stream_replay.h"

#include <cstring>
#include <utility>

#include "tools/stream/stream_calls.h"

namespace {

// Texels into a locked level: rows of the rectangle, at the level's pitch.
bool writeTexels(IDirect3DTexture9* texture, uint32_t level, const int32_t* rect, DWORD flags,
                 const std::vector<uint8_t>& texels, uint32_t rowBytes) {
    D3DLOCKED_RECT locked = {};
    RECT r = {};
    if (rect != nullptr) r = RECT{rect[0], rect[1], rect[2], rect[3]};
    if (texture->LockRect(level, &locked, rect != nullptr ? &r : nullptr, flags) != D3D_OK) return false;
    for (size_t row = 0; row * rowBytes < texels.size(); ++row)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + row * size_t(locked.Pitch), &texels[row * rowBytes], rowBytes);
    return texture->UnlockRect(level) == D3D_OK;
}

}  // namespace

bool StreamReplay::prepare(const FrameStream& frame, IDirect3DDevice9* target, std::string& error) {
    stream = &frame;
    device = target;
    error = streamSamplesUndrawnTarget(frame);
    if (!error.empty()) return false;
    for (size_t i = 0; i < frame.textures.size(); ++i) {
        const StreamTexture& t = frame.textures[i];
        IDirect3DTexture9* texture = nullptr;
        if (device->CreateTexture(t.width, t.height, t.levels, t.usage, D3DFORMAT(t.format), D3DPOOL(t.pool), &texture,
                                  nullptr) != D3D_OK) {
            error = "the device refuses texture " + std::to_string(i + 1);
            return false;
        }
        textures.push_back(texture);
        for (uint32_t level = 0; level < t.levels; ++level)
            if (!t.texels[level].empty() &&
                !writeTexels(texture, level, nullptr, 0, t.texels[level], streamLevelSize(t.width, level) * 4)) {
                error = "the device refuses the texels of texture " + std::to_string(i + 1);
                return false;
            }
    }
    return true;
}

bool StreamReplay::replay(std::string& error) {
    const std::pair<const char*, const std::vector<StreamCall>*> lists[] = {{"start", &stream->start}, {"frame", &stream->calls}};
    for (const auto& [name, calls] : lists)
        for (size_t i = 0; i < calls->size(); ++i)
            if (call((*calls)[i]) != D3D_OK) {
                error = streamRefusal(name, i, (*calls)[i].op);
                return false;
            }
    return true;
}

HRESULT StreamReplay::call(const StreamCall& c) {
    HRESULT result = D3D_OK;
    if (makeStreamStateCall(device, textures, c, result)) return result;
    const std::vector<uint32_t>& a = c.args;
    switch (c.op) {
        case StreamOp::Present: return device->Present(nullptr, nullptr, nullptr, nullptr);
        case StreamOp::LockRect: {
            const uint32_t width = c.rects.empty() ? streamLevelSize(stream->textures[a[0] - 1].width, a[1]) : uint32_t(c.rects[2] - c.rects[0]);
            const bool written = writeTexels(textures[a[0] - 1], a[1], c.rects.empty() ? nullptr : c.rects.data(), a[2], c.data, width * 4);
            return written ? D3D_OK : D3DERR_INVALIDCALL;
        }
        default: return D3D_OK;
    }
}

StreamReplay::~StreamReplay() {
    for (IDirect3DTexture9* t : textures) t->Release();
}
