// capture_job.cpp: failing cleanly, the final check, and drawing and reading back frames.
#include "tools/capture/capture_job.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/frame_state.h"
#include "platform/command_line.h"
#include "platform/egl/egl_context.h"
#include "platform/memory_budget.h"
#include "platform/recording/recording_device.h"
#include "tools/capture/output_check.h"

namespace {

PictureLayout layoutOf(const CaptureOptions& options) {
    return pictureLayoutFor(options.width, options.height, options.supersample);
}

}  // namespace

void fail(const std::string& line) {
    std::fprintf(stderr, "quorbel-capture: %s\n", line.c_str());
    stopChildren();
    removeTemporaryFiles();
    std::exit(1);
}

void failUnlessWritten(const CaptureOptions& options, CaptureWriter writer, bool withSound) {
    const std::string missing = missingOutput(options, writer, withSound);
    if (!missing.empty()) fail("not written as asked: " + missing);
}

std::string writeBytes(const std::string& path, const void* data, size_t bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return std::strerror(errno);
    // A full disk may show only when the buffer is flushed, at the close.
    const bool complete = std::fwrite(data, 1, bytes, file) == bytes;
    const int writeError = complete ? 0 : errno;
    const bool closed = std::fclose(file) == 0;
    if (complete && closed) return "";
    return std::strerror(complete ? errno : writeError);
}

void writeOutput(const std::string& path, const void* data, size_t bytes) {
    const std::string temporary = path + ".partial";
    addTemporaryFile(temporary);
    if (const std::string why = writeBytes(temporary, data, bytes); !why.empty())
        fail("cannot write " + path + ": " + why);
    renameOutput(temporary, path);
}

void renameOutput(const std::string& temporary, const std::string& path) {
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        fail("cannot write " + path + ": " + std::strerror(errno));
    forgetTemporaryFile(temporary);
}

namespace {

void refusePictures(const std::string& why) {
    if (why.empty()) return;
    removeTemporaryFiles();
    refuseCommandLine("quorbel-capture", why);
}

}  // namespace

void refusePicturesBeyondMemory(const CaptureOptions& options, uint32_t processes) {
    if (!options.part) refusePictures(pictureSizeRefusal(options, processes, memoryAvailableBytes(), 0));
}

void refusePicturesBeyondRenderer(const CaptureOptions& options, int largestDrawn) {
    refusePictures(pictureSizeRefusal(options, 1, 0, largestDrawn));
}

GLDevice* openGLDevice(const CaptureOptions& options) {
    std::string error;
    GLDevice* device = startHeadlessDevice(error);
    if (device == nullptr) fail(error);
    refusePicturesBeyondRenderer(options, device->largestResolution());
    const PictureLayout layout = layoutOf(options);
    if (!device->setResolution(layout.drawnWidth(), layout.drawnHeight()))
        fail("the renderer cannot draw pictures of " + std::to_string(layout.drawnWidth()) + " x " +
             std::to_string(layout.drawnHeight()) + " pixels; ask for a smaller --size or --supersample");
    return device;
}

void switchRecording(bool on, void* user) {
    RecordingDevice* device = static_cast<RecordingDevice*>(user);
    device->clearLog();
    device->keepVertices = on;
}

FrameJob makeFrameJob(const CaptureOptions& options) {
    FrameJob job;
    job.device = openGLDevice(options);
    job.options = &options;
    job.layout = layoutOf(options);
    job.drawn.resize(size_t(job.layout.drawnWidth()) * size_t(job.layout.drawnHeight()) * 4);
    d3dDevice = job.device;
    return job;
}

void switchGLDrawing(bool on, void* user) { static_cast<FrameJob*>(user)->device->setDrawingEnabled(on); }

// The picture as the window shows it, opaque: the back buffer's alpha is no part of it (an
// image viewer would show the letterbox bars as transparent and the streak frames washed out).
void readPicture(FrameJob& job) {
    job.device->readBackBuffer(job.drawn.data());
    composePicture(job.layout, job.drawn.data(), job.pixels);
}

// On the progress line, or, in a process running one part, as one byte to the parent that
// shows the progress of all parts.
void countFrame(FrameJob& job, uint64_t done) {
    if (job.options->part) {
        if (write(STDOUT_FILENO, "f", 1) != 1) fail("the process that started this part is gone");
    } else if (job.progress != nullptr) {
        job.progress->update(done);
    }
}
