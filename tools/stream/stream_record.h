// stream_record.h: a frame stream taken from the recording device: the state it holds when the
// frame starts, then the calls it logged during the frame.
#pragma once

#include "platform/recording/recording_device.h"
#include "tools/stream/frame_stream.h"

class StreamRecorder {
public:
    // The textures and the device state as they are now, before the frame's first call.
    void begin(const RecordingDevice& device);

    // The stream of the frame: what begin saw and every call the device logged since (the
    // log must start with the frame and hold its vertices and texels). False, with one line in
    // error, for a frame that creates a texture, which a stream cannot hold.
    bool finish(const RecordingDevice& device, bool loading, uint32_t time, FrameStream& stream, std::string& error) const;

private:
    FrameStream started;
    std::vector<int> textureIds;  // the recording device's id of each stream texture, in order
};
