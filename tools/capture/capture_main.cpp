// capture_main.cpp: quorbel-capture, the headless recorder on a virtual clock: the options
// routed to their mode; the pictures (frames, frame ranges, faces, the contact sheet), the
// soundtrack, device traces and frame streams here, the video and the parallel parts in files
// of their own.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app.h"
#include "core/frame_grid.h"
#include "core/frame_state.h"
#include "particles/particles.h"
#include "platform/command_line.h"
#include "platform/headless/headless_system.h"
#include "platform/recording/recording_device.h"
#include "tools/capture/capture_bench.h"
#include "tools/capture/capture_job.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/capture_route.h"
#include "tools/capture/capture_run.h"
#include "tools/capture/capture_video.h"
#include "tools/capture/contact_sheet.h"
#include "tools/capture/parallel_parts.h"
#include "tools/capture/png_file.h"
#include "tools/capture/progress.h"
#include "tools/stream/stream_record.h"
#include "tools/stream/stream_replay.h"

namespace {

// ---- images ----

// Whole or not at all under its name, as every output.
void writePicture(const std::string& path, const uint8_t* rgba, int width, int height) {
    const std::vector<uint8_t> png = encodePng(rgba, width, height);
    if (png.empty()) fail("cannot encode " + path + " as PNG");
    writeOutput(path, png.data(), png.size());
}

bool writeFrame(const CaptureFrame& frame, void* user) {
    FrameJob& job = *static_cast<FrameJob*>(user);
    if (frame.loading || !frame.drawn) return true;
    readPicture(job);
    const std::string path = job.options->mode == CaptureMode::Frame ? job.options->output
                                                                      : framePath(job.options->output, frame.showMs);
    writePicture(path, job.pixels.data(), job.layout.width, job.layout.height);
    ++job.written;
    countFrame(job, job.written);
    return true;
}

// The six face textures as the frame left them, face k drawn by particle system k.
bool writeFaces(const CaptureFrame& frame, void* user) {
    FrameJob& job = *static_cast<FrameJob*>(user);
    if (frame.loading || !frame.drawn) return true;
    for (int k = 0; k < 6; ++k) {
        int width = 0, height = 0;
        job.device->textureSize(faceTextures[k], width, height);
        std::vector<uint8_t> face(size_t(width) * size_t(height) * 4);
        job.device->readTexture(faceTextures[k], face.data());
        const int n = job.layout.samples;
        std::vector<uint8_t> filtered(size_t(width / n) * size_t(height / n) * 4);
        boxFilter(face.data(), width, height, n, filtered.data());  // opaque too, as X8R8G8B8 holds it
        const std::string path = (std::filesystem::path(job.options->output) / ("face" + std::to_string(k) + ".png")).string();
        writePicture(path, filtered.data(), width / n, height / n);
    }
    ++job.written;
    return true;
}

void makeFolder(const std::string& dir) {
    std::error_code failed;
    std::filesystem::create_directories(dir, failed);
    if (failed) fail("cannot make the folder " + dir + ": " + failed.message());
}

// The run-up between the thumbnails is most of the sheet's work, so every frame counts.
bool placeSheetFrame(const CaptureFrame& frame, void* user) {
    FrameJob& job = *static_cast<FrameJob*>(user);
    job.progress->update(++job.counted);
    if (frame.loading || !frame.drawn) return true;
    readPicture(job);
    placeThumbnail(job.sheet, static_cast<int>(frame.showMs / showBarMs), job.pixels.data());
    ++job.written;
    return true;
}

// A range's frames drawn by the parts, each writing its share into the one folder.
int captureFramesInParts(const CaptureOptions& options, uint32_t jobs) {
    makeFolder(options.output);
    std::vector<Part> parts = frameParts(options, jobs);
    const size_t frames = drawnTimes(framesPlanFor(options, nullptr, nullptr)).size();
    Progress progress("frames", frames);
    runParts(parts, progress);
    failUnlessWritten(options, CaptureWriter::Frames);
    std::fprintf(stderr, "quorbel-capture: %zu frames in %s, from %zu processes\n", frames, options.output.c_str(),
                 parts.size());
    return 0;
}

// --frame or --faces: the one frame at frameMs, run up to or drawn cold.
int captureOneFrame(const CaptureOptions& options, CaptureWriter writer) {
    FrameJob job = makeFrameJob(options);
    const auto written = writer == CaptureWriter::Faces ? writeFaces : writeFrame;
    if (writer == CaptureWriter::Faces) makeFolder(options.output);
    if (options.cold) {
        startCold(options.startTick);
        job.device->setDrawingEnabled(true);
        drawColdFrame(options.frameMs);
        written(CaptureFrame{false, 0, options.frameMs, true}, &job);
    } else {
        CapturePlan plan = capturePlanFor(options, switchGLDrawing, &job);
        plan.extraTimes = {options.frameMs};
        plan.stopAfter = options.frameMs;
        plan.frameDone = written;
        uint32_t lastMs = 0;
        runCapture(plan, lastMs);
        if (job.written == 0) fail(pastTheEnd(lastMs, options.frameMs));
    }
    failUnlessWritten(options, writer);
    return 0;
}

// --frames in this process: the list, the whole range, or a part's share of it.
int captureFrames(const CaptureOptions& options, CaptureWriter writer) {
    FrameJob job = makeFrameJob(options);
    CapturePlan plan = framesPlanFor(options, switchGLDrawing, &job);
    plan.frameDone = writeFrame;
    makeFolder(options.output);
    // A whole range shows its progress; a part's goes to the process that started it.
    Progress progress("frames", drawnTimes(plan).size());
    const bool showsProgress = options.frameList.empty() && writer != CaptureWriter::FramesPart;
    if (showsProgress) job.progress = &progress;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    const uint32_t end = std::min(plan.stopAfter, plan.partTo);
    if (lastMs < end) fail(pastTheEnd(lastMs, end));
    if (showsProgress) progress.finish(job.written);
    failUnlessWritten(options, writer);
    if (writer == CaptureWriter::FramesPart) return 0;  // the process that started the part reports
    std::fprintf(stderr, "quorbel-capture: %u frames in %s\n", job.written, options.output.c_str());
    return 0;
}

// The sheet: the middle of every bar, so that no thumbnail falls on a cut.
int captureSheet(const CaptureOptions& options) {
    FrameJob job = makeFrameJob(options);
    CapturePlan plan = capturePlanFor(options, switchGLDrawing, &job);
    const int bars = static_cast<int>(showLengthMs / showBarMs);
    job.sheet = makeContactSheet(bars, job.layout.width, job.layout.height);
    for (int bar = 0; bar < bars; ++bar) plan.extraTimes.push_back(bar * showBarMs + showBarMs / 2);
    plan.stopAfter = plan.extraTimes.back();
    plan.frameDone = placeSheetFrame;
    Progress progress("sheet", loadingFrameCount + FrameGrid{options.fps}.framesThrough(plan.stopAfter) + bars);
    job.progress = &progress;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    progress.finish(job.counted);
    if (static_cast<int>(job.written) < bars)
        std::fprintf(stderr, "quorbel-capture: warning: %s\n", pastTheEnd(lastMs, plan.stopAfter).c_str());
    writePicture(options.output, job.sheet.rgba.data(), job.sheet.width, job.sheet.height);
    failUnlessWritten(options, CaptureWriter::Sheet);
    return 0;
}

// ---- the soundtrack and traces, on the recording device ----

struct TraceJob {
    RecordingDevice* device;
    uint32_t wantedMs;
    bool printed = false;
};

bool printTrace(const CaptureFrame& frame, void* user) {
    TraceJob& job = *static_cast<TraceJob*>(user);
    if (frame.loading || frame.showMs != job.wantedMs) return true;
    std::fputs(job.device->text().c_str(), stdout);
    job.printed = true;
    return true;
}

int captureWithRecorder(const CaptureOptions& options) {
    RecordingDevice device;
    device.keepVertices = false;
    d3dDevice = &device;
    CapturePlan plan = capturePlanFor(options, switchRecording, &device);
    uint32_t lastMs = 0;
    if (options.mode == CaptureMode::Wav) {
        plan.frameDone = stopAfterLoading;
        runCapture(plan, lastMs);
        if (headlessSystem.waveImage == nullptr) fail("the show played no soundtrack");
        writeOutput(options.output, headlessSystem.waveImage, headlessSystem.waveBytes);
        failUnlessWritten(options, CaptureWriter::Wav);
        return 0;
    }
    if (options.cold) {
        startCold(options.startTick);
        switchRecording(true, &device);
        drawColdFrame(options.frameMs);
        std::fputs(device.text().c_str(), stdout);
        return 0;
    }
    TraceJob job{&device, options.frameMs};
    plan.extraTimes = {options.frameMs};
    plan.stopAfter = options.frameMs;
    plan.frameDone = printTrace;
    plan.user = &job;
    plan.drawing = [](bool on, void* user) { switchRecording(on, static_cast<TraceJob*>(user)->device); };
    runCapture(plan, lastMs);
    if (!job.printed) fail(pastTheEnd(lastMs, options.frameMs));
    return 0;
}

// ---- frame streams ----

struct StreamJob {
    RecordingDevice* device;
    const CaptureOptions* options;
    StreamRecorder recorder;
    uint32_t hooks = 0;  // drawing hooks so far: the k-th comes before loading frame k
    bool begun = false, done = false;
    FrameStream stream;
};

// The state is taken before the wanted frame's first call and the log kept from there on.
void switchStream(bool on, void* user) {
    StreamJob& job = *static_cast<StreamJob*>(user);
    const bool wanted = job.options->loading ? job.hooks == job.options->frameMs : on;
    ++job.hooks;
    job.device->clearLog();
    job.device->keepVertices = wanted;
    if (wanted && !job.done) {
        job.recorder.begin(*job.device);
        job.begun = true;
    }
}

bool finishStream(const CaptureFrame& frame, void* user) {
    StreamJob& job = *static_cast<StreamJob*>(user);
    if (!job.begun || job.done) return true;
    std::string error;
    if (!job.recorder.finish(*job.device, frame.loading, frame.loading ? frame.index : frame.showMs, job.stream, error))
        fail(error);
    job.done = true;
    return false;
}

int captureStream(const CaptureOptions& options) {
    RecordingDevice device;
    d3dDevice = &device;
    StreamJob job{&device, &options, {}, 0, false, false, {}};
    CapturePlan plan = capturePlanFor(options, switchStream, &job);
    if (!options.loading) {
        plan.extraTimes = {options.frameMs};
        plan.stopAfter = options.frameMs;
    }
    plan.frameDone = finishStream;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    if (!job.done) fail(pastTheEnd(lastMs, options.frameMs));
    if (const std::string why = streamSamplesUndrawnTarget(job.stream); !why.empty())
        std::fprintf(stderr, "quorbel-capture: warning: a replay will refuse this stream: %s\n", why.c_str());
    const std::vector<uint8_t> bytes = encodeFrameStream(job.stream);
    writeOutput(options.output, bytes.data(), bytes.size());
    failUnlessWritten(options, CaptureWriter::Stream);
    return 0;
}

// The stream's frame drawn on the OpenGL device; with --repeat, drawn again and timed until
// its pixels are read back.
int captureReplay(const CaptureOptions& options) {
    std::vector<uint8_t> bytes;
    FrameStream stream;
    std::string error;
    if (!readFrameStreamFile(options.input, bytes, error) || !decodeFrameStream(bytes, stream, error))
        fail(options.input + ": " + error);
    bytes = {};
    FrameJob job = makeFrameJob(options);
    StreamReplay replay;
    if (!replay.prepare(stream, job.device, error) || !replay.replay(error)) fail(options.input + ": " + error);
    readPicture(job);
    writePicture(options.output, job.pixels.data(), job.layout.width, job.layout.height);
    std::vector<double> times;
    for (uint32_t i = 0; i < options.repeat; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        if (!replay.replay(error)) fail(options.input + ": " + error);
        job.device->readBackBuffer(job.drawn.data());
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        std::printf("replayed %zu times: median %.2f ms, fastest %.2f ms, slowest %.2f ms\n", times.size(),
                    times[times.size() / 2], times.front(), times.back());
    }
    failUnlessWritten(options, CaptureWriter::Replay);
    return 0;
}

}  // namespace

// ---- dispatch ----

int main(int argc, char** argv) {
    CaptureOptions options;
    std::string error;
    if (!parseCaptureOptions(argc, argv, options, error)) refuseCommandLine("quorbel-capture", error);
    const CaptureRoute route = captureRouteFor(options, jobCount(options));
    refusePicturesBeyondMemory(options, route.parts);
    if (route.writer == CaptureWriter::None) {
        std::fputs(captureHelp().c_str(), stdout);
        return 0;
    }
    // A dead ffmpeg shows as a failed write, not as a killed capture.
    std::signal(SIGPIPE, SIG_IGN);
    watchInterruptions(route.writer == CaptureWriter::Bench ? options.json : options.output, options.part);
    resetHeadlessSystem();
    switch (route.writer) {
        case CaptureWriter::Frame:
        case CaptureWriter::Faces: return captureOneFrame(options, route.writer);
        case CaptureWriter::Frames:
        case CaptureWriter::FramesPart:
            return route.parts > 1 ? captureFramesInParts(options, route.parts) : captureFrames(options, route.writer);
        case CaptureWriter::Sheet: return captureSheet(options);
        case CaptureWriter::Video:
        case CaptureWriter::VideoPart: return captureVideo(options, route);
        case CaptureWriter::Wav:
        case CaptureWriter::Trace: return captureWithRecorder(options);
        case CaptureWriter::Stream: return captureStream(options);
        case CaptureWriter::Replay: return captureReplay(options);
        case CaptureWriter::Bench: {
            const int status = captureBench(openGLDevice, options);
            if (status == 0) failUnlessWritten(options, CaptureWriter::Bench);
            return status;
        }
        case CaptureWriter::None: break;
    }
    return 0;
}
