// capture_bench.h: --bench: the whole show rendered headless, timed frame by frame per phase.
#pragma once

#include <string>
#include <vector>

#include "core/core.h"
#include "platform/gl/gl_device.h"
#include "timeline/timeline.h"
#include "tools/capture/capture_options.h"

// The kinds of draw a frame is split into: the show's (DrawKind), then the draws outside them.
constexpr int benchKindCount = DrawKindCount + 1;

struct PhaseTimes {
    const char* phase;
    std::vector<double> totalMs;   // from the frame's start to the renderer finishing it
    std::vector<double> cpuMs;     // CPU time of the show, the device and GL, with no pixel work
    std::vector<double> pixels;    // pixels shaded (samples past the depth test), all targets
    // The kinds pass: its frames, and each kind's time and pixels summed over them.
    uint64_t kindFrames = 0;
    double kindMs[benchKindCount] = {};
    double kindPixels[benchKindCount] = {};
};

// The rows of the table: the show's phases (showPhases), then "end" for the end frame.
constexpr int benchRowCount = showPhaseCount + 1;

// The value below which the share q (0 ... 1) of the values lie (nearest rank); 0 for none.
double percentile(std::vector<double> values, double q);

// Runs the three passes in processes of their own, each opening its device with openDevice,
// and prints the tables (and writes options.json).
int captureBench(GLDevice* (*openDevice)(const CaptureOptions&), const CaptureOptions& options);
