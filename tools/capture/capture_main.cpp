// capture_main.cpp: quorbel-capture, the headless recorder: frames, frame ranges, the video,
// the soundtrack, the contact sheet and device traces, all on a virtual clock.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "particles/particles.h"
#include "platform/egl/egl_context.h"
#include "platform/gl/gl_device.h"
#include "platform/headless/headless_system.h"
#include "platform/recording/recording_device.h"
#include "tools/capture/capture_bench.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/capture_run.h"
#include "tools/capture/contact_sheet.h"
#include "tools/capture/png_file.h"
#include "tools/capture/progress.h"

namespace {

[[noreturn]] void fail(const std::string& line) {
    std::fprintf(stderr, "quorbel-capture: %s\n", line.c_str());
    std::exit(1);
}

std::string pastTheEnd(uint32_t lastMs, uint32_t wantedMs) {
    return "the show ended at " + std::to_string(lastMs) + " ms, before " + std::to_string(wantedMs) + " ms";
}

// A path as one word for the shell.
std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// ---- devices ----

GLDevice* openGLDevice() {
    std::string error;
    GLDevice* device = startHeadlessDevice(error);
    if (device == nullptr) fail(error);
    return device;
}

// The recording device keeps only the frame in progress, and its vertices only when drawn.
void switchRecording(bool on, void* user) {
    RecordingDevice* device = static_cast<RecordingDevice*>(user);
    device->clearLog();
    device->keepVertices = on;
}

// ---- modes ----

struct FrameJob {
    GLDevice* device;
    const CaptureOptions* options;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(frameWidth * frameHeight * 4);
    uint32_t written = 0;
    ContactSheet sheet;
    FILE* video = nullptr;
    uint64_t videoFrames = 0;
    Progress* progress = nullptr;  // none for the single frames
    uint64_t counted = 0;          // frames run, for the sheet's progress
};

void switchGLDrawing(bool on, void* user) { static_cast<FrameJob*>(user)->device->setDrawingEnabled(on); }

// The picture as the window shows it: the back buffer's alpha is no part of it (an image
// viewer would show the letterbox bars as transparent and the streak frames washed out).
void readPicture(FrameJob& job) {
    job.device->readBackBuffer(job.pixels.data());
    for (size_t i = 3; i < job.pixels.size(); i += 4) job.pixels[i] = 255;
}

std::string framePath(const std::string& dir, uint32_t ms) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06u.png", ms);
    return (std::filesystem::path(dir) / name).string();
}

bool writeFrame(const CaptureFrame& frame, void* user) {
    FrameJob& job = *static_cast<FrameJob*>(user);
    if (frame.loading || !frame.drawn) return true;
    readPicture(job);
    std::string error;
    const std::string path = job.options->mode == CaptureMode::Frame ? job.options->output
                                                                      : framePath(job.options->output, frame.showMs);
    if (!writePng(path, job.pixels.data(), frameWidth, frameHeight, error)) fail(error);
    ++job.written;
    if (job.progress != nullptr) job.progress->update(job.written);
    return true;
}

// The six face textures as the frame left them, face k drawn by particle system k.
bool writeFaces(const CaptureFrame& frame, void* user) {
    FrameJob& job = *static_cast<FrameJob*>(user);
    if (frame.loading || !frame.drawn) return true;
    std::vector<uint8_t> face(size_t(256) * 256 * 4);
    for (int k = 0; k < 6; ++k) {
        job.device->readTexture(faceTextures[k], face.data());
        const std::string path = (std::filesystem::path(job.options->output) / ("face" + std::to_string(k) + ".png")).string();
        std::string error;
        if (!writePng(path, face.data(), 256, 256, error)) fail(error);
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

bool sendVideoFrame(const CaptureFrame&, void* user) {
    FrameJob& job = *static_cast<FrameJob*>(user);
    readPicture(job);
    if (std::fwrite(job.pixels.data(), 1, job.pixels.size(), job.video) != job.pixels.size()) {
        std::fputc('\n', stderr);
        fail("ffmpeg stopped taking frames (see its message above)");
    }
    ++job.videoFrames;
    job.progress->update(job.videoFrames);
    return true;
}

int captureImages(const CaptureOptions& options) {
    FrameJob job;
    job.device = openGLDevice();
    job.options = &options;
    d3dDevice = job.device;
    CapturePlan plan = capturePlanFor(options, switchGLDrawing, &job);
    uint32_t lastMs = 0;

    const bool oneFrame = options.mode == CaptureMode::Frame || options.mode == CaptureMode::Faces;
    const auto written = options.mode == CaptureMode::Faces ? writeFaces : writeFrame;
    if (options.mode == CaptureMode::Faces) makeFolder(options.output);
    if (oneFrame && options.cold) {
        startCold(options.startTick);
        job.device->setDrawingEnabled(true);
        drawColdFrame(options.frameMs);
        written(CaptureFrame{false, 0, options.frameMs, true}, &job);
        return 0;
    }
    if (oneFrame) {
        plan.extraTimes = {options.frameMs};
        plan.stopAfter = options.frameMs;
        plan.frameDone = written;
        runCapture(plan, lastMs);
        if (job.written == 0) fail(pastTheEnd(lastMs, options.frameMs));
        return 0;
    }
    if (options.mode == CaptureMode::Frames) {
        makeFolder(options.output);
        plan.drawFrom = options.fromMs;
        plan.drawTo = options.toMs;
        plan.extraTimes = {options.fromMs};
        plan.stopAfter = options.toMs;
        plan.frameDone = writeFrame;
        Progress progress("frames", drawnFrameCount(plan));
        job.progress = &progress;
        runCapture(plan, lastMs);
        if (lastMs < options.toMs) fail(pastTheEnd(lastMs, options.toMs));
        progress.finish(job.written);
        std::fprintf(stderr, "quorbel-capture: %u frames in %s\n", job.written, options.output.c_str());
        return 0;
    }
    // The sheet: the middle of every bar, so that no thumbnail falls on a cut.
    const int bars = static_cast<int>(showLengthMs / showBarMs);
    job.sheet = makeContactSheet(bars);
    for (int bar = 0; bar < bars; ++bar) plan.extraTimes.push_back(bar * showBarMs + showBarMs / 2);
    plan.stopAfter = plan.extraTimes.back();
    plan.frameDone = placeSheetFrame;
    Progress progress("sheet", loadingFrameCount + gridFramesThrough(plan.stopAfter, options.fps) + bars);
    job.progress = &progress;
    runCapture(plan, lastMs);
    progress.finish(job.counted);
    if (static_cast<int>(job.written) < bars)
        std::fprintf(stderr, "quorbel-capture: warning: %s\n", pastTheEnd(lastMs, plan.stopAfter).c_str());
    std::string error;
    if (!writePng(options.output, job.sheet.rgba.data(), job.sheet.width, job.sheet.height, error)) fail(error);
    return 0;
}

bool writeBytes(const std::string& path, const void* data, size_t bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool complete = std::fwrite(data, 1, bytes, file) == bytes;
    return std::fclose(file) == 0 && complete;
}

int captureVideo(const CaptureOptions& options) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        fail("--video needs the ffmpeg command, which is not installed (apt-get install ffmpeg)");
    const std::string pictures = options.output + ".pictures.mp4";
    const std::string sound = options.output + ".sound.wav";
    FrameJob job;
    job.device = openGLDevice();
    job.options = &options;
    d3dDevice = job.device;
    Progress progress("video", loadingFrameCount + gridFramesThrough(showLengthMs, options.fps));
    job.progress = &progress;

    const std::string encode = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgba -s 640x480 -r " +
                               std::to_string(options.fps) +
                               " -i - -c:v libx264 -preset veryfast -pix_fmt yuv420p " + shellQuoted(pictures);
    job.video = popen(encode.c_str(), "w");
    if (job.video == nullptr) fail("cannot start ffmpeg");
    CapturePlan plan = capturePlanFor(options, switchGLDrawing, &job);
    plan.drawLoading = true;
    plan.drawFrom = 0;
    plan.drawTo = UINT32_MAX;
    plan.stopAfter = soundLengthMs;
    plan.frameDone = sendVideoFrame;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    progress.finish(job.videoFrames);
    if (pclose(job.video) != 0) fail("ffmpeg could not encode the pictures");

    std::string mux;
    if (headlessSystem.waveImage == nullptr) {
        std::fprintf(stderr, "quorbel-capture: warning: the show played no soundtrack; the video is silent\n");
        mux = "ffmpeg -loglevel error -y -i " + shellQuoted(pictures) + " -c copy " + shellQuoted(options.output);
    } else {
        if (!writeBytes(sound, headlessSystem.waveImage, headlessSystem.waveBytes))
            fail("cannot write the soundtrack next to the video: " + sound);
        // The music starts with the first show frame, after the loading screen.
        char offset[32];
        std::snprintf(offset, sizeof offset, "%.6f", double(loadingFrameCount) / options.fps);
        mux = "ffmpeg -loglevel error -y -i " + shellQuoted(pictures) + " -itsoffset " + offset + " -i " +
              shellQuoted(sound) + " -map 0:v -map 1:a -c:v copy -c:a aac -shortest " + shellQuoted(options.output);
    }
    const int muxed = std::system(mux.c_str());
    std::remove(pictures.c_str());
    std::remove(sound.c_str());
    if (muxed != 0) fail("ffmpeg could not write " + options.output);
    std::fprintf(stderr, "quorbel-capture: %llu frames (%u ms of show) in %s\n",
                 static_cast<unsigned long long>(job.videoFrames), lastMs, options.output.c_str());
    return 0;
}

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

bool stopAfterLoading(const CaptureFrame&, void*) { return false; }

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
        if (!writeBytes(options.output, headlessSystem.waveImage, headlessSystem.waveBytes))
            fail("cannot write " + options.output);
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

}  // namespace

int main(int argc, char** argv) {
    CaptureOptions options;
    std::string error;
    if (!parseCaptureOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "quorbel-capture: %s\n%s", error.c_str(), captureUsage);
        return 2;
    }
    if (options.mode == CaptureMode::Help) {
        std::fputs(captureUsage, stdout);
        return 0;
    }
    // A dead ffmpeg shows as a failed write, not as a killed capture.
    std::signal(SIGPIPE, SIG_IGN);
    resetHeadlessSystem();
    switch (options.mode) {
        case CaptureMode::Frame:
        case CaptureMode::Frames:
        case CaptureMode::Faces:
        case CaptureMode::Sheet: return captureImages(options);
        case CaptureMode::Video: return captureVideo(options);
        case CaptureMode::Wav:
        case CaptureMode::Trace: return captureWithRecorder(options);
        case CaptureMode::Bench: return captureBench(openGLDevice(), options);
        case CaptureMode::Help: break;
    }
    return 0;
}
