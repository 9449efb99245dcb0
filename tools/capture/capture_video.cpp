// capture_video.cpp: the encoder fed frame by frame, the parts and their join, and the mux.
#include "tools/capture/capture_video.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "core/frame_grid.h"
#include "core/frame_state.h"
#include "platform/headless/headless_system.h"
#include "platform/recording/recording_device.h"
#include "tools/capture/capture_job.h"
#include "tools/capture/parallel_parts.h"
#include "tools/capture/shell_word.h"
#include "tools/capture/wave_from.h"

namespace {

bool sendVideoFrame(const CaptureFrame& frame, void* user) {
    FrameJob& job = *static_cast<FrameJob*>(user);
    if (!frame.drawn) return true;  // the run-up of a part
    readPicture(job);
    if (std::fwrite(job.pixels.data(), 1, job.pixels.size(), job.video) != job.pixels.size()) {
        std::fputc('\n', stderr);
        fail("ffmpeg stopped taking frames (see its message above)");
    }
    ++job.videoFrames;
    job.lastVideoMs = frame.showMs;
    countFrame(job, job.videoFrames);
    return true;
}

FILE* startEncoder(const std::string& pictures, const CaptureOptions& options) {
    const std::string size = std::to_string(options.width) + "x" + std::to_string(options.height);
    const std::string encode = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgba -s " + size + " -r " +
                               std::to_string(options.fps) + " -i - -c:v libx264 -preset veryfast " +
                               (options.lossless ? "-qp 0 " : "") + "-pix_fmt yuv420p " + shellQuoted(pictures);
    FILE* video = startCommand(encode);
    if (video == nullptr) fail("cannot start ffmpeg");
    return video;
}

// The pictures (ffmpeg's input arguments for them) and the soundtrack the run left, into the
// video under a temporary name, then checked, with its sound where the show played one, and put
// in place: a file already under the name stays until the new one is whole.
void muxVideo(const std::string& pictureInput, const CaptureOptions& options) {
    const std::string sound = options.output + ".sound.wav";
    CaptureOptions muxed = options;
    muxed.output = options.output + ".muxing" + std::filesystem::path(options.output).extension().string();
    addTemporaryFile(muxed.output);
    std::string mux;
    if (headlessSystem.waveImage == nullptr) {
        std::fprintf(stderr, "quorbel-capture: warning: the show played no soundtrack; the video is silent\n");
        mux = "ffmpeg -nostdin -loglevel error -y " + pictureInput + " -c copy " + shellQuoted(muxed.output);
    } else {
        addTemporaryFile(sound);
        // The music starts with the first show frame: after the loading screen, or, for a video
        // from later on, at once, from that frame's time.
        char offset[32];
        std::snprintf(offset, sizeof offset, "%.6f", options.videoFrom ? 0.0 : double(loadingFrameCount) / options.fps);
        const auto* image = static_cast<const uint8_t*>(headlessSystem.waveImage);
        const std::vector<uint8_t> later =
            options.videoFrom ? waveFrom(image, headlessSystem.waveBytes, FrameGrid{options.fps}.frameMs(firstVideoFrame(options)))
                              : std::vector<uint8_t>();
        if (options.videoFrom && later.empty()) fail("the show's soundtrack is no WAV file");
        const std::string why = options.videoFrom ? writeBytes(sound, later.data(), later.size())
                                                  : writeBytes(sound, image, headlessSystem.waveBytes);
        if (!why.empty()) fail("cannot write the soundtrack next to the video: " + sound + ": " + why);
        mux = "ffmpeg -nostdin -loglevel error -y " + pictureInput + " -itsoffset " + offset + " -i " +
              shellQuoted(sound) + " -map 0:v -map 1:a -c:v copy -c:a aac -shortest " + shellQuoted(muxed.output);
    }
    if (runCommand(mux) != 0) fail("ffmpeg could not write " + options.output);
    failUnlessWritten(muxed, CaptureWriter::Video, headlessSystem.waveImage != nullptr);
    renameOutput(muxed.output, options.output);
    removeTemporaryFiles();
}


// Each process runs the show up to its part with drawing off and encodes its part alone; the
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

    const uint64_t showFrames = videoShowFrames(options);
    std::vector<Part> parts = videoParts(options, jobs, firstVideoFrame(options), showFrames);
    const std::string list = options.output + ".parts.txt";
    addTemporaryFile(list);
    std::string listText;
    for (const Part& part : parts) {
        addTemporaryFile(part.file);
        // The concat demuxer reads names relative to the list, quoted as the shell quotes them.
        listText += "file " + shellQuoted(std::filesystem::path(part.file).filename().string()) + "\n";
    }
    if (const std::string why = writeBytes(list, listText.data(), listText.size()); !why.empty())
        fail("cannot write the list of parts: " + list + ": " + why);
    Progress progress("video", videoFrameCount(options));
    runParts(parts, progress);
    muxVideo("-f concat -safe 0 -i " + shellQuoted(list), options);
    std::fprintf(stderr, "quorbel-capture: %s, from %zu processes\n", options.output.c_str(), parts.size());
    return 0;
}

}  // namespace

int captureVideo(const CaptureOptions& options, const CaptureRoute& route) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        fail("--video needs the ffmpeg command, which is not installed (apt-get install ffmpeg)");
    if (route.parts > 1) return captureVideoInParts(options, route.parts);
    const bool part = route.writer == CaptureWriter::VideoPart;
    // A part's pictures are its file; the whole run's wait for the soundtrack.
    const std::string pictures = part ? options.output : options.output + ".pictures.mp4";
    addTemporaryFile(pictures);
    FrameJob job = makeFrameJob(options);
    Progress progress("video", videoFrameCount(options));
    job.progress = &progress;
    job.video = startEncoder(pictures, options);
    CapturePlan plan = capturePlanFor(options, switchGLDrawing, &job);
    // From --from's time the show is run up with drawing off, without the loading screen.
    plan.drawLoading = !options.videoFrom;
    plan.drawFrom = options.videoFrom ? options.videoFromMs : 0;
    // The first frame at or past --until ends the run; one past it is not drawn.
    plan.drawTo = options.untilMs;
    plan.stopAfter = std::min(soundLengthMs, options.untilMs);
    if (part) plan.partFrom = options.partFrom, plan.partTo = options.partTo;
    plan.frameDone = sendVideoFrame;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    if (!part) progress.finish(job.videoFrames);
    if (finishCommand(job.video) != 0) fail("ffmpeg could not encode the pictures");
    if (part) {
        failUnlessWritten(options, CaptureWriter::VideoPart);
        // Whole: the process that started the part joins it and removes it after.
        forgetTemporaryFile(pictures);
        return 0;
    }
    muxVideo("-i " + shellQuoted(pictures), options);
    std::fprintf(stderr, "quorbel-capture: %llu frames (%u ms of show) in %s\n",
                 static_cast<unsigned long long>(job.videoFrames), job.lastVideoMs, options.output.c_str());
    return 0;
}
