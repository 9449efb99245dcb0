// capture_main.cpp: quorbel-capture, the headless recorder: frames, frame ranges, the video,
// the soundtrack, the contact sheet and device traces, all on a virtual clock.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
#include "tools/capture/picture.h"
#include "tools/capture/png_file.h"
#include "tools/capture/progress.h"

namespace {

std::vector<std::string> temporaryFiles;  // removed however the run ends

void removeTemporaryFiles() {
    for (const std::string& path : temporaryFiles) std::remove(path.c_str());
    temporaryFiles.clear();
}

[[noreturn]] void fail(const std::string& line) {
    std::fprintf(stderr, "quorbel-capture: %s\n", line.c_str());
    removeTemporaryFiles();
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

PictureLayout layoutOf(const CaptureOptions& options) {
    return pictureLayoutFor(options.width, options.height, options.supersample);
}

// The device, drawing at the size the pictures need.
GLDevice* openGLDevice(const CaptureOptions& options) {
    std::string error;
    GLDevice* device = startHeadlessDevice(error);
    if (device == nullptr) fail(error);
    const PictureLayout layout = layoutOf(options);
    if (!device->setResolution(layout.drawnWidth(), layout.drawnHeight()))
        fail("the renderer cannot draw pictures of " + std::to_string(layout.drawnWidth()) + " x " +
             std::to_string(layout.drawnHeight()) + " pixels; ask for a smaller --size or --supersample");
    return device;
}

// The recording device keeps only the frame in progress, and its vertices only when drawn.
void switchRecording(bool on, void* user) {
    RecordingDevice* device = static_cast<RecordingDevice*>(user);
    device->clearLog();
    device->keepVertices = on;
}

bool stopAfterLoading(const CaptureFrame&, void*) { return false; }

// ---- modes ----

struct FrameJob {
    GLDevice* device;
    const CaptureOptions* options;
    PictureLayout layout;
    std::vector<uint8_t> drawn;   // the back buffer as read
    std::vector<uint8_t> pixels;  // the picture written
    uint32_t written = 0;
    ContactSheet sheet;
    FILE* video = nullptr;
    uint64_t videoFrames = 0;
    Progress* progress = nullptr;  // none for the single frames
    uint64_t counted = 0;          // frames run, for the sheet's progress
};

// A frame done: on the progress line, or, in a process running one part, as one byte to the
// parent that shows the progress of all parts.
void countFrame(FrameJob& job, uint64_t done) {
    if (job.options->part) {
        if (write(STDOUT_FILENO, "f", 1) != 1) fail("the process that started this part is gone");
    } else if (job.progress != nullptr) {
        job.progress->update(done);
    }
}

void switchGLDrawing(bool on, void* user) { static_cast<FrameJob*>(user)->device->setDrawingEnabled(on); }

FrameJob makeFrameJob(const CaptureOptions& options) {
    FrameJob job;
    job.device = openGLDevice(options);
    job.options = &options;
    job.layout = layoutOf(options);
    job.drawn.resize(size_t(job.layout.drawnWidth()) * size_t(job.layout.drawnHeight()) * 4);
    return job;
}

// The picture as the window shows it, opaque: the back buffer's alpha is no part of it (an
// image viewer would show the letterbox bars as transparent and the streak frames washed out).
void readPicture(FrameJob& job) {
    job.device->readBackBuffer(job.drawn.data());
    composePicture(job.layout, job.drawn.data(), job.pixels);
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
    if (!writePng(path, job.pixels.data(), job.layout.width, job.layout.height, error)) fail(error);
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
        std::string error;
        if (!writePng(path, filtered.data(), width / n, height / n, error)) fail(error);
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

bool sendVideoFrame(const CaptureFrame& frame, void* user) {
    FrameJob& job = *static_cast<FrameJob*>(user);
    if (!frame.drawn) return true;  // the run-up of a part
    readPicture(job);
    if (std::fwrite(job.pixels.data(), 1, job.pixels.size(), job.video) != job.pixels.size()) {
        std::fputc('\n', stderr);
        fail("ffmpeg stopped taking frames (see its message above)");
    }
    ++job.videoFrames;
    countFrame(job, job.videoFrames);
    return true;
}

// ---- parts in processes of their own ----

unsigned coreCount() {
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<unsigned>(cores) : 1;
}

// llvmpipe renders with LP_NUM_THREADS threads, all the cores by default: more processes than
// cores over threads would only take turns on the same cores.
uint32_t jobCount(const CaptureOptions& options) {
    if (options.jobs != 0) return options.jobs;
    const unsigned cores = coreCount();
    unsigned threads = cores;
    if (const char* set = std::getenv("LP_NUM_THREADS"); set != nullptr && *set != '\0') {
        char* end = nullptr;
        const long value = std::strtol(set, &end, 10);
        if (*end == '\0' && value >= 0) threads = std::max(1L, value);
    }
    return std::max(1u, cores / threads);
}

struct Part {
    uint32_t fromMs, toMs;
    std::string file;  // the video's part; empty for frames
    pid_t pid = -1;
    int progress = -1;  // the read end of the child's stdout: one byte per frame
    bool running = false;
};

void stopParts(std::vector<Part>& parts) {
    for (Part& part : parts)
        if (part.running) kill(part.pid, SIGTERM);
    for (Part& part : parts)
        if (part.running) waitpid(part.pid, nullptr, 0), part.running = false;
}

// This program again for each part, with --part and the arguments of its share, the renderer's
// threads split between the processes; their frames, counted through pipes, feed the progress
// line. The first part to fail stops the others and the run.
void runParts(std::vector<Part>& parts, const std::vector<std::vector<std::string>>& arguments, Progress& progress) {
    const std::string threads = std::to_string(std::max<unsigned>(1, coreCount() / static_cast<unsigned>(parts.size())));
    setenv("LP_NUM_THREADS", threads.c_str(), 1);
    std::fflush(nullptr);
    for (size_t i = 0; i < parts.size(); ++i) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            stopParts(parts);
            fail("cannot start the processes for --jobs (no pipe)");
        }
        std::vector<char*> argv;
        static char name[] = "quorbel-capture";
        argv.push_back(name);
        for (const std::string& arg : arguments[i]) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(ends[1], STDOUT_FILENO);
            execv("/proc/self/exe", argv.data());
            const char message[] = "quorbel-capture: cannot run /proc/self/exe for a part\n";
            if (write(STDERR_FILENO, message, sizeof message - 1) < 0) {}
            _exit(127);
        }
        close(ends[1]);
        if (pid < 0) {
            close(ends[0]);
            stopParts(parts);
            fail("cannot start the processes for --jobs (fork failed)");
        }
        parts[i].pid = pid;
        parts[i].progress = ends[0];
        parts[i].running = true;
    }
    uint64_t frames = 0;
    size_t open = parts.size();
    while (open > 0) {
        std::vector<pollfd> watched;
        std::vector<Part*> owners;
        for (Part& part : parts)
            if (part.progress >= 0) watched.push_back({part.progress, POLLIN, 0}), owners.push_back(&part);
        if (poll(watched.data(), watched.size(), -1) < 0) continue;
        for (size_t i = 0; i < watched.size(); ++i) {
            if (watched[i].revents == 0) continue;
            Part& part = *owners[i];
            char bytes[256];
            const ssize_t got = read(part.progress, bytes, sizeof bytes);
            if (got > 0) {
                frames += static_cast<uint64_t>(got);
                progress.update(frames);
                continue;
            }
            close(part.progress);
            part.progress = -1;
            --open;
            int status = 0;
            waitpid(part.pid, &status, 0);
            part.running = false;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                stopParts(parts);
                for (Part& other : parts)
                    if (other.progress >= 0) close(other.progress);
                std::fputc('\n', stderr);
                fail("the process for the frames from " + std::to_string(part.fromMs) + " to " +
                     (part.toMs == UINT32_MAX ? std::string("the end") : std::to_string(part.toMs) + " ms") +
                     " failed (see its message above)");
            }
        }
    }
    progress.finish(frames);
}

std::vector<std::string> commonArguments(const CaptureOptions& options, const Part& part) {
    return {"--fps", std::to_string(options.fps), "--start-tick", std::to_string(options.startTick),
            "--size", std::to_string(options.width) + "x" + std::to_string(options.height),
            "--supersample", std::to_string(options.supersample), "--part",
            std::to_string(part.fromMs) + ":" + std::to_string(part.toMs)};
}

// The range split into parts of about as many milliseconds, so of as many grid frames.
int captureFramesInParts(const CaptureOptions& options, uint32_t jobs) {
    makeFolder(options.output);
    std::vector<Part> parts;
    std::vector<std::vector<std::string>> arguments;
    const uint64_t span = uint64_t(options.toMs) - options.fromMs + 1;
    for (uint32_t i = 0; i < jobs; ++i) {
        const uint32_t from = static_cast<uint32_t>(options.fromMs + span * i / jobs);
        const uint32_t end = static_cast<uint32_t>(options.fromMs + span * (i + 1) / jobs);
        if (end == from) continue;
        parts.push_back(Part{from, end - 1, ""});
        std::vector<std::string> args = {"--frames", std::to_string(options.fromMs) + ":" + std::to_string(options.toMs),
                                         "-o", options.output};
        for (std::string& arg : commonArguments(options, parts.back())) args.push_back(arg);
        arguments.push_back(args);
    }
    CapturePlan plan = capturePlanFor(options, nullptr, nullptr);
    plan.drawFrom = options.fromMs;
    plan.drawTo = options.toMs;
    plan.extraTimes = {options.fromMs};
    plan.stopAfter = options.toMs;
    Progress progress("frames", drawnFrameCount(plan));
    runParts(parts, arguments, progress);
    std::fprintf(stderr, "quorbel-capture: frames in %s, %zu processes\n", options.output.c_str(), parts.size());
    return 0;
}

int captureImages(const CaptureOptions& options) {
    FrameJob job = makeFrameJob(options);
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
    if (options.mode == CaptureMode::Frames && !options.frameList.empty()) {
        makeFolder(options.output);
        plan.extraTimes = options.frameList;
        plan.stopAfter = options.frameList.back();
        plan.frameDone = writeFrame;
        runCapture(plan, lastMs);
        if (job.written < options.frameList.size()) fail(pastTheEnd(lastMs, options.frameList.back()));
        std::fprintf(stderr, "quorbel-capture: %u frames in %s\n", job.written, options.output.c_str());
        return 0;
    }
    if (options.mode == CaptureMode::Frames) {
        makeFolder(options.output);
        plan.partFrom = options.part ? options.partFrom : 0;
        plan.partTo = options.part ? options.partTo : UINT32_MAX;
        plan.drawFrom = options.fromMs;
        plan.drawTo = options.toMs;
        plan.extraTimes = {options.fromMs};
        plan.stopAfter = options.toMs;
        plan.frameDone = writeFrame;
        if (options.part) {
            runCapture(plan, lastMs);
            const uint32_t end = std::min(options.toMs, options.partTo);
            if (lastMs < end) fail(pastTheEnd(lastMs, end));
            return 0;
        }
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
    job.sheet = makeContactSheet(bars, job.layout.width, job.layout.height);
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

FILE* startEncoder(const std::string& pictures, const CaptureOptions& options) {
    const std::string size = std::to_string(options.width) + "x" + std::to_string(options.height);
    const std::string encode = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgba -s " + size + " -r " +
                               std::to_string(options.fps) + " -i - -c:v libx264 -preset veryfast " +
                               (options.lossless ? "-qp 0 " : "") + "-pix_fmt yuv420p " + shellQuoted(pictures);
    FILE* video = popen(encode.c_str(), "w");
    if (video == nullptr) fail("cannot start ffmpeg");
    return video;
}

// The pictures (ffmpeg's input arguments for them) and the soundtrack the run left, into the video.
void muxVideo(const std::string& pictureInput, const CaptureOptions& options) {
    const std::string sound = options.output + ".sound.wav";
    std::string mux;
    if (headlessSystem.waveImage == nullptr) {
        std::fprintf(stderr, "quorbel-capture: warning: the show played no soundtrack; the video is silent\n");
        mux = "ffmpeg -loglevel error -y " + pictureInput + " -c copy " + shellQuoted(options.output);
    } else {
        temporaryFiles.push_back(sound);
        if (!writeBytes(sound, headlessSystem.waveImage, headlessSystem.waveBytes))
            fail("cannot write the soundtrack next to the video: " + sound);
        // The music starts with the first show frame, after the loading screen.
        char offset[32];
        std::snprintf(offset, sizeof offset, "%.6f", double(loadingFrameCount) / options.fps);
        mux = "ffmpeg -loglevel error -y " + pictureInput + " -itsoffset " + offset + " -i " + shellQuoted(sound) +
              " -map 0:v -map 1:a -c:v copy -c:a aac -shortest " + shellQuoted(options.output);
    }
    if (std::system(mux.c_str()) != 0) fail("ffmpeg could not write " + options.output);
    removeTemporaryFiles();
}

uint64_t videoFrameCount(const CaptureOptions& options) {
    return loadingFrameCount + gridFramesThrough(std::min(showLengthMs, options.untilMs), options.fps);
}

// The show frames split into parts of as many frames (the loading screen goes with the first);
// each process runs the show up to its part with drawing off and encodes its part alone; the
// parts are then joined without encoding them again.
int captureVideoInParts(const CaptureOptions& options, uint32_t jobs) {
    // The soundtrack is ready when the loading screen ends, without drawing anything.
    RecordingDevice recorder;
    recorder.keepVertices = false;
    d3dDevice = &recorder;
    CapturePlan soundPlan = capturePlanFor(options, switchRecording, &recorder);
    soundPlan.frameDone = stopAfterLoading;
    uint32_t lastMs = 0;
    runCapture(soundPlan, lastMs);

    const uint64_t showFrames = videoFrameCount(options) - loadingFrameCount;
    jobs = static_cast<uint32_t>(std::min<uint64_t>(jobs, showFrames));
    const std::string list = options.output + ".parts.txt";
    temporaryFiles.push_back(list);
    std::string listText;
    std::vector<Part> parts;
    std::vector<std::vector<std::string>> arguments;
    for (uint32_t i = 0; i < jobs; ++i) {
        const uint32_t from = gridFrameMs(showFrames * i / jobs, options.fps);
        const uint32_t to = i + 1 < jobs ? gridFrameMs(showFrames * (i + 1) / jobs, options.fps) - 1 : UINT32_MAX;
        const std::string file = options.output + ".part" + std::to_string(i) + ".mp4";
        temporaryFiles.push_back(file);
        parts.push_back(Part{from, to, file});
        std::vector<std::string> args = {"--video", file};
        if (options.untilMs != UINT32_MAX) args.insert(args.end(), {"--until", std::to_string(options.untilMs)});
        if (options.lossless) args.push_back("--lossless");
        for (std::string& arg : commonArguments(options, parts.back())) args.push_back(arg);
        arguments.push_back(args);
        // The concat demuxer reads names relative to the list, quoted as the shell quotes them.
        listText += "file " + shellQuoted(std::filesystem::path(file).filename().string()) + "\n";
    }
    if (!writeBytes(list, listText.data(), listText.size())) fail("cannot write the list of parts: " + list);
    Progress progress("video", videoFrameCount(options));
    runParts(parts, arguments, progress);
    muxVideo("-f concat -safe 0 -i " + shellQuoted(list), options);
    std::fprintf(stderr, "quorbel-capture: %s, from %zu processes\n", options.output.c_str(), parts.size());
    return 0;
}

int captureVideo(const CaptureOptions& options) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        fail("--video needs the ffmpeg command, which is not installed (apt-get install ffmpeg)");
    if (!options.part) {
        const uint32_t jobs = jobCount(options);
        if (jobs > 1) return captureVideoInParts(options, jobs);
    }
    // A part's pictures are its file; the whole run's wait for the soundtrack.
    const std::string pictures = options.part ? options.output : options.output + ".pictures.mp4";
    if (!options.part) temporaryFiles.push_back(pictures);
    FrameJob job = makeFrameJob(options);
    d3dDevice = job.device;
    Progress progress("video", videoFrameCount(options));
    job.progress = &progress;
    job.video = startEncoder(pictures, options);
    CapturePlan plan = capturePlanFor(options, switchGLDrawing, &job);
    plan.drawLoading = true;
    plan.drawFrom = 0;
    plan.drawTo = UINT32_MAX;
    plan.stopAfter = std::min(soundLengthMs, options.untilMs);
    if (options.part) plan.partFrom = options.partFrom, plan.partTo = options.partTo;
    plan.frameDone = sendVideoFrame;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    if (!options.part) progress.finish(job.videoFrames);
    if (pclose(job.video) != 0) fail("ffmpeg could not encode the pictures");
    if (options.part) return 0;
    muxVideo("-i " + shellQuoted(pictures), options);
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
            if (!options.part && options.frameList.empty() && jobCount(options) > 1) return captureFramesInParts(options, jobCount(options));
            return captureImages(options);
        case CaptureMode::Faces:
        case CaptureMode::Sheet: return captureImages(options);
        case CaptureMode::Video: return captureVideo(options);
        case CaptureMode::Wav:
        case CaptureMode::Trace: return captureWithRecorder(options);
        case CaptureMode::Bench: return captureBench(openGLDevice, options);
        case CaptureMode::Help: break;
    }
    return 0;
}
