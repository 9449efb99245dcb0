// capture_run.h: the show run on the headless virtual clock, frame by frame, through the same
// start-up and frame functions the show uses, with a say in which frames are drawn.
#pragma once

#include <cstdint>
#include <vector>

#include "timeline/timeline.h"
#include "tools/capture/capture_options.h"

constexpr uint32_t soundLengthMs = 165000; // the wave image's length: a net should endReached never come

struct CaptureFrame {
    bool loading;    // a loading-screen frame (index 0 ... 63) or a show frame
    uint32_t index;  // frames of its kind before it
    uint32_t showMs; // demoTimeMs of a show frame; 0 while loading
    bool drawn;      // rasterised, so its pixels are worth reading
};

struct CapturePlan {
    uint32_t fps = 60;
    uint32_t startTick = 1;
    bool drawLoading = false;             // the loading frames are drawn too (the video)
    uint32_t drawFrom = 1, drawTo = 0;    // show frames of the frame-rate grid drawn in this range
    std::vector<uint32_t> extraTimes;     // frames run and drawn besides the grid (ascending)
    // The state an extra frame off the grid leaves is undone (from a snapshot taken before it),
    // so that every frame after it is what the grid alone gives, as --frame draws it. The
    // capture tool's plans do so; a plain plan keeps the extra frames as part of the run.
    bool undoOffGrid = false;
    uint32_t stopAfter = soundLengthMs;   // Escape after the first frame at or past this time
    // One process's part of a run shared by several: only the frames in this range are drawn
    // (the loading screen only with the part from 0), and the run stops at its end. Every part
    // runs the same frames as the whole run would, so the show's state is the same in each.
    uint32_t partFrom = 0, partTo = UINT32_MAX;
    // Before each frame: whether it is drawn (the device rasterises or not).
    void (*drawing)(bool on, void* user) = nullptr;
    // After each frame's Present; false ends the show (as Escape would) before the next frame.
    bool (*frameDone)(const CaptureFrame& frame, void* user) = nullptr;
    void* user = nullptr;
};

// The plan every mode of the tool starts from: the options' frame rate and start tick, the
// extra frames undone, and the hook that switches drawing, with its user pointer; the mode
// sets which frames are drawn.
CapturePlan capturePlanFor(const CaptureOptions& options, void (*drawing)(bool on, void* user), void* user);

// Time of frame k of the grid at fps frames a second, in whole milliseconds.
uint32_t gridFrameMs(uint64_t k, uint32_t fps);

// Frames of the grid at or before ms.
uint64_t gridFramesThrough(uint32_t ms, uint32_t fps);

// Frames of the grid before ms: the number of the first one at or after it.
uint64_t gridFramesBefore(uint32_t ms, uint32_t fps);

// Whether a frame of the grid falls at ms.
bool isGridTime(uint32_t ms, uint32_t fps);

// The number of the video's first show frame on the --fps grid (0, or the first at or after
// --from), its show frames (none where --from and --until hold no frame of the grid), and all
// its frames, the loading screen's with them where it has them.
uint64_t firstVideoFrame(const CaptureOptions& options);
uint64_t videoShowFrames(const CaptureOptions& options);
uint64_t videoFrameCount(const CaptureOptions& options);

// The show frames the plan draws, if the show runs to its stopAfter.
uint64_t drawnFrameCount(const CapturePlan& plan);

// Runs the show from its start as playIntro does, with d3dDevice already set. Returns the show
// frames run; lastShowMs is the time of the last one (0 when none ran).
uint32_t runCapture(const CapturePlan& plan, uint32_t& lastShowMs);

// --cold: initIntro with the clock at startTick, and the clock started there without a loading
// screen; then drawColdFrame draws the frame at showMs without any frame before it.
void startCold(uint32_t startTick);
void drawColdFrame(uint32_t showMs);
