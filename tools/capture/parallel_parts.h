// parallel_parts.h: the frames of a run split between processes of this program: how many the
// cores allow, each part's share and command line, and the parts run with one progress line.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/capture_options.h"
#include "tools/capture/progress.h"

unsigned coreCount();

// --jobs, or the cores over the renderer's threads.
uint32_t jobCount(const CaptureOptions& options);

struct Part {
    uint32_t fromMs, toMs;               // its share of show time; toMs UINT32_MAX: to the end
    std::string file;                    // the video's part; empty for frames
    std::vector<std::string> arguments;  // its command line, after the program's name
    pid_t pid = -1;
    int progress = -1;  // the read end of the child's stdout: one byte per frame
};

// --frames FROM:TO in up to `parts` shares of about as many milliseconds, so of as many grid frames.
std::vector<Part> frameParts(const CaptureOptions& options, uint32_t parts);

// The video's showFrames show frames from grid frame firstFrame on, in `parts` shares of as
// many frames, each to a file of its own beside the video (the loading screen, where the video
// has it, goes with the first).
std::vector<Part> videoParts(const CaptureOptions& options, uint32_t parts, uint64_t firstFrame, uint64_t showFrames);

// Each part in a process of its own; the first to fail stops the others and the run.
void runParts(std::vector<Part>& parts, Progress& progress);
