// capture_route.cpp: the choice of writer and parts for a set of options.
#include "tools/capture/capture_route.h"

#include <algorithm>

#include "tools/capture/capture_run.h"

CaptureRoute captureRouteFor(const CaptureOptions& options, uint32_t jobs) {
    switch (options.mode) {
        case CaptureMode::Frame: return {CaptureWriter::Frame, 1};
        case CaptureMode::Faces: return {CaptureWriter::Faces, 1};
        case CaptureMode::Frames:
            // A list is a few frames far apart: every part would run the show up to the last.
            if (!options.frameList.empty()) return {CaptureWriter::Frames, 1};
            if (options.part) return {CaptureWriter::FramesPart, 1};
            return {CaptureWriter::Frames, jobs};
        case CaptureMode::Video: {
            if (options.part) return {CaptureWriter::VideoPart, 1};
            // No more parts than show frames, and never none: each part divides the frames.
            const uint64_t frames = std::max<uint64_t>(1, videoShowFrames(options));
            return {CaptureWriter::Video, static_cast<uint32_t>(std::clamp<uint64_t>(jobs, 1, frames))};
        }
        case CaptureMode::Sheet: return {CaptureWriter::Sheet, 1};
        case CaptureMode::Wav: return {CaptureWriter::Wav, 1};
        case CaptureMode::Trace: return {CaptureWriter::Trace, 1};
        case CaptureMode::Bench: return {CaptureWriter::Bench, 1};
        case CaptureMode::Stream: return {CaptureWriter::Stream, 1};
        case CaptureMode::Replay: return {CaptureWriter::Replay, 1};
        case CaptureMode::Help: break;
    }
    return {CaptureWriter::None, 1};
}
