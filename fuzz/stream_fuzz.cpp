// stream_fuzz.cpp: libFuzzer entry that reads its input as a frame stream file and replays what
// the reader accepts into the recording device, which reads each draw's vertices primitive by
// primitive as the OpenGL device does: a count the reader let through that the primitives
// disagree with reads past the vertices here, under AddressSanitizer.
//
// Input: the bytes of a stream file (fuzz/corpus/stream/ holds the show's own and the probe
// streams; fuzz/stream.dict the format's words). Half the mutations are libFuzzer's own on the
// bytes; the other half read the input as a stream, set one argument of one call to an edge
// value, and give the call the data the reader asks of those arguments, so that the stream
// stays whole and the mutation reaches the replay rather than the reader's size checks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/recording/recording_device.h"
#include "tools/stream/frame_stream.h"
#include "tools/stream/stream_replay.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// Edges of 32-bit arithmetic and of the format, nudged by a little either way.
uint32_t edgeValue(std::minstd_rand& random) {
    static const uint32_t edges[] = {0, 1, 2, 3, 4, 16, 255, 256, 1024, 4096, 8192, 0xFFFF, 0x10000,
                                     0xFFFFF, 0x100000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    const uint32_t edge = edges[random() % std::size(edges)];
    return edge + uint32_t(int32_t(random() % 9) - 4);
}

// The data the reader asks of a call whose arguments changed, or false where it would be more
// than the input may hold.
bool fitData(StreamCall& call, const FrameStream& stream, size_t room) {
    uint64_t bytes = call.data.size();
    const std::vector<uint32_t>& a = call.args;
    if (call.op == StreamOp::DrawPrimitiveUP) bytes = streamVertexCount(a[0], a[1]) * a[2];
    if (call.op == StreamOp::LockRect && a[0] >= 1 && a[0] <= stream.textures.size() && call.rects.empty()) {
        const StreamTexture& t = stream.textures[a[0] - 1];
        bytes = uint64_t(streamLevelSize(t.width, a[1])) * streamLevelSize(t.height, a[1]) * 4;
    }
    if (bytes > room) return false;
    call.data.resize(size_t(bytes));
    return true;
}

size_t mutateCall(uint8_t* data, size_t size, size_t maxSize, std::minstd_rand& random) {
    FrameStream stream;
    std::string error;
    if (!decodeFrameStream(std::vector<uint8_t>(data, data + size), stream, error) || stream.calls.empty()) return 0;
    StreamCall& call = stream.calls[random() % stream.calls.size()];
    if (call.args.empty()) return 0;
    call.args[random() % call.args.size()] = edgeValue(random);
    if (!fitData(call, stream, maxSize)) return 0;
    const std::vector<uint8_t> bytes = encodeFrameStream(stream);
    if (bytes.size() > maxSize) return 0;
    std::memcpy(data, bytes.data(), bytes.size());
    return bytes.size();
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
    std::minstd_rand random(seed);
    if (random() % 2 == 0)
        if (const size_t mutated = mutateCall(data, size, maxSize, random); mutated != 0) return mutated;
    return LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    FrameStream stream;
    std::string error;
    if (!decodeFrameStream(bytes, stream, error)) {
        check(!error.empty() && error.find('\n') == std::string::npos);  // one line, always
        return 0;
    }
    // What the reader accepts is exactly what was written: nothing is read loosely.
    check(encodeFrameStream(stream) == bytes);
    RecordingDevice device;
    device.keepVertices = true;
    StreamReplay replay;
    if (replay.prepare(stream, &device, error)) replay.replay(error);
    return 0;
}
