// capture_run.cpp: stepping the virtual clock between the frames of playIntro.
#include "tools/capture/capture_run.h"

#include <algorithm>

#include "app/app.h"
#include "app/show_life.h"
#include "app/player_device.h"
#include "app/snapshot.h"
#include "platform/headless/headless_system.h"

namespace {

// The hook is a plain function, so the run in progress lives here.
const CapturePlan* plan;
CaptureFrame current;
size_t nextExtra;
uint64_t nextGrid;
uint32_t showFramesRun;
uint32_t lastRunMs;  // time of the last show frame that ran
// A frame off the grid is drawn between two grid frames and then undone, so that the frames
// after it are those of the grid alone, as --frame draws each of them.
PlayerDevice* front;
ShowSnapshot beforeOffGrid;
bool undoAfterFrame;

// A frame off the grid with frames after it.
bool isUndone(const CapturePlan& run, uint32_t ms) {
    return run.undoOffGrid && !isGridTime(ms, run.fps) && ms < run.stopAfter && ms < run.partTo;
}

bool isDrawn(uint32_t ms) {
    if (ms < plan->partFrom || ms > plan->partTo) return false;
    if (ms >= plan->drawFrom && ms <= plan->drawTo) return true;
    return std::binary_search(plan->extraTimes.begin(), plan->extraTimes.end(), ms);
}

// The show time after the current one: the next grid frame or the next extra one, whichever
// comes first.
uint32_t nextShowMs(bool first) {
    while (!first && gridFrameMs(nextGrid, plan->fps) <= current.showMs) ++nextGrid;
    while (nextExtra < plan->extraTimes.size() && !first && plan->extraTimes[nextExtra] <= current.showMs)
        ++nextExtra;
    uint32_t next = gridFrameMs(nextGrid, plan->fps);
    if (nextExtra < plan->extraTimes.size()) next = std::min(next, plan->extraTimes[nextExtra]);
    return next;
}

void setDrawing(bool on) {
    current.drawn = on;
    if (plan->drawing != nullptr) plan->drawing(on, plan->user);
}

// The next show frame's drawing, and the state to go back to after it when it is off the
// grid and not the last (the last is left as it is: nothing runs after it).
void beginShowFrame() {
    const uint32_t ms = current.showMs;
    undoAfterFrame = isUndone(*plan, ms);
    if (undoAfterFrame) beforeOffGrid = takeSnapshot(front);
    setDrawing(isDrawn(ms));
}

void afterFrame() {
    const bool keepGoing = plan->frameDone == nullptr || plan->frameDone(current, plan->user);
    // Escape is only looked at by the frame loop, so a stop asked for while loading waits there.
    if (!keepGoing) headlessSystem.escapeHeld = true;
    if (current.loading) {
        ++current.index;
        if (current.index < loadingFrameCount) {
            headlessSystem.tick = plan->startTick + gridFrameMs(current.index, plan->fps);
            setDrawing(plan->drawLoading && plan->partFrom == 0);
            return;
        }
        // startTick is read from this tick right after the music starts: show time 0.
        headlessSystem.tick = plan->startTick + gridFrameMs(loadingFrameCount, plan->fps);
        current = CaptureFrame{false, 0, 0, false};
        current.showMs = nextShowMs(true);
        headlessSystem.tick += current.showMs;
        beginShowFrame();
        return;
    }
    ++showFramesRun;
    lastRunMs = current.showMs;
    if (!keepGoing || current.showMs >= plan->stopAfter || current.showMs >= plan->partTo) {
        headlessSystem.escapeHeld = true;
        return;
    }
    if (undoAfterFrame) restoreSnapshot(beforeOffGrid, front);
    current.showMs = nextShowMs(false);
    ++current.index;
    headlessSystem.tick = startTick + current.showMs;
    beginShowFrame();
}

}  // namespace

CapturePlan capturePlanFor(const CaptureOptions& options, void (*drawing)(bool on, void* user), void* user) {
    CapturePlan plan;
    plan.fps = options.fps;
    plan.startTick = options.startTick;
    plan.undoOffGrid = true;
    plan.drawing = drawing;
    plan.user = user;
    return plan;
}

uint32_t gridFrameMs(uint64_t k, uint32_t fps) { return static_cast<uint32_t>(k * 1000u / fps); }

uint64_t gridFramesThrough(uint32_t ms, uint32_t fps) { return ((uint64_t(ms) + 1) * fps + 999) / 1000; }

uint64_t gridFramesBefore(uint32_t ms, uint32_t fps) { return ms == 0 ? 0 : gridFramesThrough(ms - 1, fps); }

bool isGridTime(uint32_t ms, uint32_t fps) { return gridFrameMs(gridFramesThrough(ms, fps) - 1, fps) == ms; }

uint64_t firstVideoFrame(const CaptureOptions& options) {
    return options.videoFrom ? gridFramesBefore(options.videoFromMs, options.fps) : 0;
}

uint64_t videoShowFrames(const CaptureOptions& options) {
    const uint64_t through = gridFramesThrough(std::min(showLengthMs, options.untilMs), options.fps);
    const uint64_t first = firstVideoFrame(options);
    return through > first ? through - first : 0;
}

uint64_t videoFrameCount(const CaptureOptions& options) {
    return (options.videoFrom ? 0 : loadingFrameCount) + videoShowFrames(options);
}

uint64_t drawnFrameCount(const CapturePlan& run) {
    const uint32_t to = std::min({run.drawTo, run.stopAfter, run.partTo});
    uint64_t count = 0;
    const uint32_t from = std::max(run.drawFrom, run.partFrom);
    if (from <= to) count = gridFramesThrough(to, run.fps) - (from == 0 ? 0 : gridFramesThrough(from - 1, run.fps));
    for (uint32_t ms : run.extraTimes) {
        const bool onGrid = isGridTime(ms, run.fps);
        const bool inPart = ms >= run.partFrom && ms <= std::min(run.stopAfter, run.partTo);
        if (inPart && !(onGrid && ms >= from && ms <= to)) ++count;
    }
    return count;
}

uint32_t runCapture(const CapturePlan& run, uint32_t& lastShowMs) {
    plan = &run;
    current = CaptureFrame{true, 0, 0, false};
    nextExtra = 0;
    nextGrid = 0;
    showFramesRun = 0;
    lastRunMs = 0;
    undoAfterFrame = false;
    headlessSystem.tick = run.startTick;
    headlessSystem.escapeHeld = false;
    endReached = 0;
    // Where a frame is to be undone, the player's device goes in front of the device for the
    // run: it keeps the device state a snapshot holds and passes every call on unchanged. The
    // other runs (a single frame, the video, the benchmark) go to the device directly.
    IDirect3DDevice9* device = d3dDevice;
    PlayerDevice player(device);
    const bool undoes =
        std::any_of(run.extraTimes.begin(), run.extraTimes.end(), [&](uint32_t ms) { return isUndone(run, ms); });
    front = undoes ? &player : nullptr;
    if (undoes) d3dDevice = front;
    setDrawing(run.drawLoading && run.partFrom == 0);
    playIntro(afterFrame);
    d3dDevice = device;
    front = nullptr;
    lastShowMs = lastRunMs;
    plan = nullptr;
    return showFramesRun;
}

void startCold(uint32_t startTickValue) {
    headlessSystem.tick = startTickValue;
    headlessSystem.escapeHeld = false;
    endReached = 0;
    initIntro();
    startTick = startTickValue;
}

void drawColdFrame(uint32_t showMs) {
    headlessSystem.tick = startTick + showMs;
    showFrame();
}
