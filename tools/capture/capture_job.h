// capture_job.h: what the modes of quorbel-capture share: the one-line failure that removes
// the run's temporary files, files written whole or not at all, the final check of what a mode
// wrote, and the job that draws frames on the GL device and reads them back as pictures.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gl/gl_device.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/capture_route.h"
#include "tools/capture/capture_run.h"
#include "tools/capture/contact_sheet.h"
#include "tools/capture/interruption.h"
#include "tools/capture/picture.h"
#include "tools/capture/progress.h"

// The line on stderr, the run's processes stopped and its temporary files removed, exit 1.
[[noreturn]] void fail(const std::string& line);

// --size and --supersample refused as a command line is (exit 2): before anything is allocated,
// where `processes` processes drawing them do not fit the memory available (a part leaves that to
// the process that started it, which counted all of its parts); once the device is there, before
// it allocates, where the renderer cannot draw them.
void refusePicturesBeyondMemory(const CaptureOptions& options, uint32_t processes);
void refusePicturesBeyondRenderer(const CaptureOptions& options, int largestDrawn);

// Fails, saying what is missing, unless what the writer names is there and of its kind.
void failUnlessWritten(const CaptureOptions& options, CaptureWriter writer, bool withSound = false);

// Empty when written, else the system's reason why not (strerror).
std::string writeBytes(const std::string& path, const void* data, size_t bytes);
// An output: written beside it under a temporary name, then renamed to it when whole, so that a
// run that fails or is stopped leaves what was there before; fails with the reason.
void writeOutput(const std::string& path, const void* data, size_t bytes);
// A whole file made under temporary (a temporary file of the run) put in place of path.
void renameOutput(const std::string& temporary, const std::string& path);

// The device, drawing at the size the pictures need; fails where it cannot.
GLDevice* openGLDevice(const CaptureOptions& options);

// A plan's drawing hook for the recording device: it keeps only the frame in progress, and its
// vertices only when drawn.
void switchRecording(bool on, void* user);

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
    uint32_t lastVideoMs = 0;      // the show time of the video's last picture
    Progress* progress = nullptr;  // none for the single frames
    uint64_t counted = 0;          // frames run, for the sheet's progress
};

// The job on a device of its own, which d3dDevice is then.
FrameJob makeFrameJob(const CaptureOptions& options);

// A plan's drawing hook with the job as its user.
void switchGLDrawing(bool on, void* user);

// The back buffer as the picture the options ask for, into job.pixels.
void readPicture(FrameJob& job);

// A frame done, counted where the progress is shown.
void countFrame(FrameJob& job, uint64_t done);
