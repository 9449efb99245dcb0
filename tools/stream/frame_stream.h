// frame_stream.h: one frame of the show's device calls as a file (docs/stream.md): every
// texture with the texels written into it, the device state at the frame's start and the
// frame's calls with their data. Plain C++ without any Direct3D header, so that the replayer
// for Windows (tools/replay-d3d9/) reads the same files with the same code.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

constexpr uint32_t frameStreamVersion = 1;
constexpr uint32_t streamStages = 8;     // texture stages, as Direct3D 9 has them
constexpr uint32_t streamSamplers = 16;  // pixel samplers

// The calls a stream holds, numbered as in the file. The arguments of each are in StreamCall.
enum class StreamOp : uint32_t {
    BeginScene = 1,
    EndScene = 2,
    Present = 3,
    Clear = 4,                 // flags, colour, z (float bits), stencil; rects: the rectangles
    SetRenderState = 5,        // state, value
    SetSamplerState = 6,       // sampler, type, value
    SetTextureStageState = 7,  // stage, type, value
    SetTransform = 8,          // type; data: the 16 floats of the matrix, row by row
    SetTexture = 9,            // stage, texture (0: none)
    SetFVF = 10,               // fvf
    DrawPrimitiveUP = 11,      // type, primitive count, stride; data: the vertices read
    SetRenderTarget = 12,      // index, texture (0: the back buffer), level
    LockRect = 13,             // texture, level, flags; rects: the rectangle locked (none: the
                               // whole level); data: what was written there, rows packed
};

struct StreamCall {
    StreamOp op;
    std::vector<uint32_t> args;
    std::vector<int32_t> rects;  // left, top, right, bottom per rectangle
    std::vector<uint8_t> data;
};

struct StreamTexture {
    uint32_t width, height, levels, usage, format, pool;
    std::vector<std::vector<uint8_t>> texels;  // per level: 4 bytes a texel, or empty when never written
};

struct FrameStream {
    bool loading = false;  // a loading-screen frame (time is its index) or a show frame (ms)
    uint32_t time = 0;
    uint32_t backBufferWidth = 640, backBufferHeight = 480, backBufferFormat = 21, depthFormat = 75;
    std::vector<StreamTexture> textures;  // texture n of the calls is textures[n - 1], in creation order
                                          // (the show makes its textures at start-up, never in a frame)
    // The state a fresh device is assumed to start in, every state of every stage and sampler
    // the recorder knows: checked against the device, never applied. Each call's data is the
    // state's name, for messages.
    std::vector<StreamCall> defaults;
    std::vector<StreamCall> start;  // what differs from the defaults at the frame's start: applied
    std::vector<StreamCall> calls;  // the frame
};

// What one stream may ask of a replayer, checked before anything is made: a stream is passed
// around as a file, and a few bytes could otherwise name gigabytes of textures or billions of
// vertices. The show's largest streams use about a thirtieth of each (docs/stream.md).
constexpr uint64_t streamMaxFileBytes = 64ull << 20;
constexpr uint64_t streamMaxTextureBytes = 64ull << 20;  // every level of every texture, 4 bytes a texel
constexpr uint64_t streamMaxCalls = 1u << 18;            // of the three lists together
constexpr uint64_t streamMaxVertices = 1u << 22;         // read by the frame's draws together
constexpr uint32_t streamMaxPrimitives = 0xFFFFF;        // in one draw, as Direct3D 9 devices allow

// Vertices DrawPrimitiveUP reads for a primitive type and count (0 for an unknown type, or for
// more primitives than a draw may hold).
uint64_t streamVertexCount(uint32_t type, uint32_t primitives);

// The levels a full chain of that size has: down to 1 x 1.
uint32_t streamFullChain(uint32_t width, uint32_t height);

// A level's size: the texture's halved per level, never below 1.
uint32_t streamLevelSize(uint32_t size, uint32_t level);

std::vector<uint8_t> encodeFrameStream(const FrameStream& stream);

// A stream file's bytes. False, with one line in error, for what is not a regular file (a
// folder, a device, a pipe), a file longer than a stream can be, or one that cannot be read.
bool readFrameStreamFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes, std::string& error);

// False, with one line in error, for anything that is not a whole, consistent stream of a
// version this code reads: every texture, level and rectangle a call names exists and every
// call's data has the size its arguments give, so a replayer can trust what it gets.
bool decodeFrameStream(const std::vector<uint8_t>& bytes, FrameStream& stream, std::string& error);

// Empty, or why the frame cannot be replayed alone: a draw samples a render target before
// the frame drew into it, so its texels would come from frames the stream does not hold.
std::string streamSamplesUndrawnTarget(const FrameStream& stream);

// "DrawPrimitiveUP": the call's method, for messages.
const char* streamOpName(StreamOp op);

// "frame call 3 (LockRect) is refused by the device": a replay's line for a refused call.
std::string streamRefusal(const char* list, size_t index, StreamOp op);

// "D3DRS_POINTSIZE_MAX", "stage 1 D3DTSS_COLOROP": the state a defaults entry sets, for messages.
std::string streamStateName(const FrameStream& stream, const StreamCall& call);
