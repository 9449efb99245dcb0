// frame_stream.cpp: the stream file written and read (little-endian 32-bit words), and the
// checks a replayer relies on.
#include "tools/stream/frame_stream.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace {

constexpr char magic[4] = {'D', '3', 'D', 'S'};
constexpr uint32_t renderTargetUsage = 0x1;
constexpr uint32_t clearTarget = 0x1;

// Words and blobs appended to a byte vector.
struct Writer {
    std::vector<uint8_t> bytes;
    void word(uint32_t w) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    }
    void blob(const std::vector<uint8_t>& data) {
        word(static_cast<uint32_t>(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
};

// The same read back; any read past the end leaves ok false.
struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t at = 0;
    bool ok = true;
    uint32_t word() {
        if (bytes.size() - at < 4) return ok = false, 0;
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w |= uint32_t(bytes[at + i]) << (8 * i);
        at += 4;
        return w;
    }
    std::vector<uint8_t> blob(size_t limit) {
        const uint32_t size = word();
        if (!ok || size > limit || bytes.size() - at < size) return ok = false, std::vector<uint8_t>();
        std::vector<uint8_t> data(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
        return data;
    }
};

void writeCalls(Writer& out, const std::vector<StreamCall>& calls) {
    out.word(static_cast<uint32_t>(calls.size()));
    for (const StreamCall& call : calls) {
        out.word(static_cast<uint32_t>(call.op));
        out.word(static_cast<uint32_t>(call.args.size()));
        for (uint32_t arg : call.args) out.word(arg);
        out.word(static_cast<uint32_t>(call.rects.size() / 4));
        for (int32_t v : call.rects) out.word(static_cast<uint32_t>(v));
        out.blob(call.data);
    }
}

// Arguments each call has, by its number (0: not a call).
constexpr uint32_t argumentCounts[] = {0, 0, 0, 0, 4, 2, 3, 3, 1, 2, 1, 3, 3, 3};

bool fail(std::string& error, const std::string& line) {
    error = line;
    return false;
}

std::string where(const char* list, size_t index) { return std::string(list) + " call " + std::to_string(index); }

// What the stream has asked for so far, against its limits.
struct Spent {
    uint64_t calls = 0, vertices = 0, textureBytes = 0;
};

// A call's shape against the textures the stream holds at that point.
bool checkCall(const StreamCall& call, const std::vector<StreamTexture>& textures, const std::string& at, Spent& spent,
               std::string& error) {
    const std::vector<uint32_t>& a = call.args;
    auto texture = [&](uint32_t id) { return id >= 1 && id <= textures.size() ? &textures[id - 1] : nullptr; };
    const bool rectsAllowed = call.op == StreamOp::Clear || call.op == StreamOp::LockRect;
    if (!call.rects.empty() && !rectsAllowed) return fail(error, at + " has rectangles it does not take");
    switch (call.op) {
        case StreamOp::SetTransform:
            if (call.data.size() != 64) return fail(error, at + ": a matrix is 16 floats");
            return true;
        case StreamOp::SetSamplerState:
            if (a[0] >= streamSamplers) return fail(error, at + " names sampler " + std::to_string(a[0]));
            break;
        case StreamOp::SetTextureStageState:
            if (a[0] >= streamStages) return fail(error, at + " names stage " + std::to_string(a[0]));
            break;
        case StreamOp::SetTexture:
            if (a[0] >= streamStages) return fail(error, at + " names stage " + std::to_string(a[0]));
            if (a[1] != 0 && texture(a[1]) == nullptr) return fail(error, at + " names texture " + std::to_string(a[1]) + ", which the stream does not hold");
            break;
        case StreamOp::SetRenderTarget: {
            const StreamTexture* target = texture(a[1]);
            if (a[0] != 0) return fail(error, at + " sets render target " + std::to_string(a[0]) + "; streams hold target 0 only");
            if (a[1] != 0 && (target == nullptr || a[2] >= target->levels || !(target->usage & renderTargetUsage)))
                return fail(error, at + " names a render target the stream does not hold");
            break;
        }
        case StreamOp::DrawPrimitiveUP: {
            const uint64_t count = streamVertexCount(a[0], a[1]);
            if (count == 0 || a[2] == 0 || a[2] > 1024 || call.data.size() != count * a[2])
                return fail(error, at + ": the vertices do not match the primitive type, count and stride");
            spent.vertices += count;
            if (spent.vertices > streamMaxVertices)
                return fail(error, at + ": the frame's draws read more than " + std::to_string(streamMaxVertices) + " vertices");
            return true;
        }
        case StreamOp::LockRect: {
            const StreamTexture* locked = texture(a[0]);
            if (locked == nullptr || a[1] >= locked->levels || (locked->usage & renderTargetUsage))
                return fail(error, at + " locks a texture level the stream does not hold, or a render target");
            const int64_t w = streamLevelSize(locked->width, a[1]), h = streamLevelSize(locked->height, a[1]);
            int64_t left = 0, top = 0, right = w, bottom = h;
            if (call.rects.size() == 4) left = call.rects[0], top = call.rects[1], right = call.rects[2], bottom = call.rects[3];
            if (call.rects.size() > 4 || left < 0 || top < 0 || right > w || bottom > h || left >= right || top >= bottom)
                return fail(error, at + ": the rectangle lies outside the level");
            if (call.data.size() != uint64_t(right - left) * uint64_t(bottom - top) * 4)
                return fail(error, at + ": the texels do not fill the rectangle");
            return true;
        }
        default: break;
    }
    if (!call.data.empty() && call.op != StreamOp::SetRenderState && call.op != StreamOp::SetSamplerState &&
        call.op != StreamOp::SetTextureStageState)
        return fail(error, at + " has data it does not take");
    return true;
}

bool readCalls(Reader& in, std::vector<StreamCall>& calls, const std::vector<StreamTexture>& textures, const char* list,
               Spent& spent, std::string& error) {
    const uint32_t count = in.word();
    // Each call takes at least 16 bytes, which bounds what a short file can ask for.
    if (!in.ok || count > (in.bytes.size() - in.at) / 16) return fail(error, std::string("the ") + list + " list is cut short");
    spent.calls += count;
    if (spent.calls > streamMaxCalls)
        return fail(error, std::string("the ") + list + " list takes the stream past " + std::to_string(streamMaxCalls) + " calls");
    calls.clear();
    for (uint32_t i = 0; i < count; ++i) {
        StreamCall call;
        const uint32_t op = in.word();
        const uint32_t argc = in.word();
        const std::string at = where(list, i);
        if (!in.ok) return fail(error, at + " is cut short");
        if (op == 0 || op >= std::size(argumentCounts)) return fail(error, at + " is of unknown kind " + std::to_string(op));
        if (argc != argumentCounts[op]) return fail(error, at + " has " + std::to_string(argc) + " arguments, not " + std::to_string(argumentCounts[op]));
        call.op = static_cast<StreamOp>(op);
        for (uint32_t k = 0; k < argc; ++k) call.args.push_back(in.word());
        const uint32_t rects = in.word();
        if (!in.ok || rects > (in.bytes.size() - in.at) / 16) return fail(error, at + " is cut short");
        for (uint32_t k = 0; k < rects * 4; ++k) call.rects.push_back(static_cast<int32_t>(in.word()));
        call.data = in.blob(in.bytes.size());
        if (!in.ok) return fail(error, at + " is cut short");
        if (!checkCall(call, textures, at, spent, error)) return false;
        calls.push_back(std::move(call));
    }
    return true;
}

}  // namespace

uint64_t streamVertexCount(uint32_t type, uint32_t primitives) {
    if (primitives > streamMaxPrimitives) return 0;
    const uint64_t n = primitives;
    switch (type) {
        case 1: return n;      // point list
        case 2: return n * 2;  // line list
        case 3: return n + 1;  // line strip
        case 4: return n * 3;  // triangle list
        case 5:                // triangle strip
        case 6: return n + 2;  // triangle fan
    }
    return 0;
}

uint32_t streamFullChain(uint32_t width, uint32_t height) {
    uint32_t levels = 1;
    for (uint32_t size = width > height ? width : height; size > 1; size /= 2) ++levels;
    return levels;
}

uint32_t streamLevelSize(uint32_t size, uint32_t level) {
    for (uint32_t i = 0; i < level && size > 1; ++i) size /= 2;
    return size;
}

std::vector<uint8_t> encodeFrameStream(const FrameStream& stream) {
    Writer out;
    out.bytes.insert(out.bytes.end(), magic, magic + 4);
    out.word(frameStreamVersion);
    out.word(stream.loading ? 1 : 0);
    out.word(stream.time);
    out.word(stream.backBufferWidth);
    out.word(stream.backBufferHeight);
    out.word(stream.backBufferFormat);
    out.word(stream.depthFormat);
    out.word(static_cast<uint32_t>(stream.textures.size()));
    for (const StreamTexture& texture : stream.textures) {
        for (uint32_t w : {texture.width, texture.height, texture.levels, texture.usage, texture.format, texture.pool})
            out.word(w);
        for (const std::vector<uint8_t>& level : texture.texels) out.blob(level);
    }
    writeCalls(out, stream.defaults);
    writeCalls(out, stream.start);
    writeCalls(out, stream.calls);
    return out.bytes;
}

bool decodeFrameStream(const std::vector<uint8_t>& bytes, FrameStream& stream, std::string& error) {
    stream = FrameStream{};
    if (bytes.size() < 8 || std::memcmp(bytes.data(), magic, 4) != 0) return fail(error, "not a frame stream (no D3DS at its start)");
    Reader in{bytes, 4};
    const uint32_t version = in.word();
    if (version != frameStreamVersion)
        return fail(error, "a frame stream of version " + std::to_string(version) + "; this reads version " +
                               std::to_string(frameStreamVersion));
    const uint32_t loading = in.word();
    if (loading > 1) return fail(error, "the header's frame kind is " + std::to_string(loading) + ", not 0 or 1");
    stream.loading = loading == 1;
    stream.time = in.word();
    stream.backBufferWidth = in.word();
    stream.backBufferHeight = in.word();
    stream.backBufferFormat = in.word();
    stream.depthFormat = in.word();
    const uint32_t textures = in.word();
    Spent spent;
    if (!in.ok || textures > 4096) return fail(error, "the header is cut short or names too many textures");
    if (stream.backBufferWidth == 0 || stream.backBufferHeight == 0 || stream.backBufferWidth > 8192 ||
        stream.backBufferHeight > 8192)
        return fail(error, "a back buffer of that size cannot be made");
    for (uint32_t t = 0; t < textures; ++t) {
        StreamTexture texture;
        for (uint32_t* field : {&texture.width, &texture.height, &texture.levels, &texture.usage, &texture.format, &texture.pool})
            *field = in.word();
        const std::string at = "texture " + std::to_string(t + 1);
        if (!in.ok) return fail(error, at + " is cut short");
        if (texture.width == 0 || texture.height == 0 || texture.width > 8192 || texture.height > 8192 ||
            texture.levels == 0 || texture.levels > streamFullChain(texture.width, texture.height))
            return fail(error, at + ": a texture of that size or level count cannot be made");
        texture.texels.resize(texture.levels);
        for (uint32_t level = 0; level < texture.levels; ++level) {
            const uint64_t size = uint64_t(streamLevelSize(texture.width, level)) * streamLevelSize(texture.height, level) * 4;
            spent.textureBytes += size;
            if (spent.textureBytes > streamMaxTextureBytes)
                return fail(error, at + " takes the textures past " + std::to_string(streamMaxTextureBytes >> 20) + " MiB");
            texture.texels[level] = in.blob(size);
            if (!in.ok) return fail(error, at + " level " + std::to_string(level) + " is cut short or too large");
            if (!texture.texels[level].empty() && texture.texels[level].size() != size)
                return fail(error, at + " level " + std::to_string(level) + " holds part of its texels");
            if (!texture.texels[level].empty() && (texture.usage & renderTargetUsage))
                return fail(error, at + " is a render target with texels");
        }
        stream.textures.push_back(std::move(texture));
    }
    if (!readCalls(in, stream.defaults, stream.textures, "defaults", spent, error) ||
        !readCalls(in, stream.start, stream.textures, "start", spent, error) ||
        !readCalls(in, stream.calls, stream.textures, "frame", spent, error))
        return false;
    if (in.at != bytes.size()) return fail(error, std::to_string(bytes.size() - in.at) + " bytes after the frame's calls");
    return true;
}

bool readFrameStreamFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::error_code code;
    const std::filesystem::file_status status = std::filesystem::status(path, code);
    if (code) return fail(error, "cannot read it: " + code.message());
    if (!std::filesystem::is_regular_file(status)) return fail(error, "not a file (a frame stream is a regular file)");
    const uintmax_t size = std::filesystem::file_size(path, code);
    if (code) return fail(error, "cannot read it: " + code.message());
    if (size > streamMaxFileBytes)
        return fail(error, "longer than a frame stream can be (" + std::to_string(size) + " bytes; at most " +
                               std::to_string(streamMaxFileBytes) + ")");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(error, std::string("cannot read it: ") + std::strerror(errno));
    bytes.assign(size, 0);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
    if (in.bad()) return fail(error, std::string("cannot read it: ") + std::strerror(errno));
    // A file that changed size under us is not the stream its size said.
    if (uint64_t(in.gcount()) != size || in.peek() != std::ifstream::traits_type::eof())
        return fail(error, "cannot read it whole: it changed while being read");
    return true;
}

std::string streamSamplesUndrawnTarget(const FrameStream& stream) {
    std::vector<bool> drawn(stream.textures.size() + 1, false);
    std::vector<uint32_t> bound(streamStages, 0);
    uint32_t target = 0;
    auto track = [&](const StreamCall& call) {
        if (call.op == StreamOp::SetTexture && call.args[0] < bound.size()) bound[call.args[0]] = call.args[1];
        if (call.op == StreamOp::SetRenderTarget && call.args[0] == 0) target = call.args[1];
    };
    for (const StreamCall& call : stream.start) track(call);
    for (size_t i = 0; i < stream.calls.size(); ++i) {
        const StreamCall& call = stream.calls[i];
        track(call);
        // A clear of the whole target, or a draw into it, makes what it holds this frame's.
        if ((call.op == StreamOp::Clear && (call.args[0] & clearTarget) && call.rects.empty()) ||
            call.op == StreamOp::DrawPrimitiveUP)
            drawn[target] = true;
        if (call.op != StreamOp::DrawPrimitiveUP) continue;
        for (size_t stage = 0; stage < bound.size(); ++stage) {
            const uint32_t id = bound[stage];
            if (id != 0 && id != target && (stream.textures[id - 1].usage & renderTargetUsage) && !drawn[id])
                return "frame call " + std::to_string(i) + " draws with render target texture " + std::to_string(id) +
                       " on stage " + std::to_string(stage) + " before the frame drew into it";
        }
    }
    return "";
}

const char* streamOpName(StreamOp op) {
    static const char* const names[] = {"?",
                                        "BeginScene",
                                        "EndScene",
                                        "Present",
                                        "Clear",
                                        "SetRenderState",
                                        "SetSamplerState",
                                        "SetTextureStageState",
                                        "SetTransform",
                                        "SetTexture",
                                        "SetFVF",
                                        "DrawPrimitiveUP",
                                        "SetRenderTarget",
                                        "LockRect"};
    const auto n = static_cast<uint32_t>(op);
    return n < std::size(names) ? names[n] : "?";
}

std::string streamRefusal(const char* list, size_t index, StreamOp op) {
    return std::string(list) + " call " + std::to_string(index) + " (" + streamOpName(op) + ") is refused by the device";
}

std::string streamStateName(const FrameStream& stream, const StreamCall& call) {
    for (const StreamCall& entry : stream.defaults) {
        if (entry.op != call.op || entry.args[0] != call.args[0]) continue;
        if (call.op != StreamOp::SetRenderState && entry.args[1] != call.args[1]) continue;
        const std::string name(entry.data.begin(), entry.data.end());
        if (call.op == StreamOp::SetTextureStageState) return "stage " + std::to_string(call.args[0]) + " " + name;
        if (call.op == StreamOp::SetSamplerState) return "sampler " + std::to_string(call.args[0]) + " " + name;
        return name;
    }
    return "state " + std::to_string(call.args[0]);
}
