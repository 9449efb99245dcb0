// stream_fuzz.cpp: libFuzzer entry that reads its input as a frame stream file and replays what
// the reader accepts into the recording device, which reads each draw's vertices primitive by
// primitive as the OpenGL device does: a count the reader let through that the primitives
// disagree with reads past the vertices here, under AddressSanitizer.
//
// Input: the bytes of a stream file (fuzz/corpus/stream/ holds the show's own and the probe
// streams; fuzz/stream.dict the format's words).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/recording/recording_device.h"
#include "tools/stream/frame_stream.h"
#include "tools/stream/stream_replay.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

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
