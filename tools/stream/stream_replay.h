// stream_replay.h: a frame stream replayed into one of this project's Direct3D 9 devices (the
// OpenGL one, or the recording one): its textures made and filled, its start state set, its
// calls made.
#pragma once

#include <string>
#include <vector>

#include "platform/d3d9.h"
#include "tools/stream/frame_stream.h"

class StreamReplay {
public:
    // Makes the stream's textures on device and writes the texels it holds. False, with one
    // line in error, where the device refuses one or the frame cannot be replayed alone.
    bool prepare(const FrameStream& stream, IDirect3DDevice9* device, std::string& error);

    // The start state, then every call of the frame; may run again (the textures stay). False,
    // with one line in error naming it, at the first call the device refuses: a replay that
    // went on would draw another picture than the stream's.
    bool replay(std::string& error);

    // Gives back the textures.
    ~StreamReplay();

private:
    HRESULT call(const StreamCall& call);

    const FrameStream* stream = nullptr;
    IDirect3DDevice9* device = nullptr;
    std::vector<IDirect3DTexture9*> textures;
};
