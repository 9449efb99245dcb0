// capture_run.cpp: stepping the virtual clock between the frames of playIntro.
#include "tools/capture/capture_run.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/app.h"
#include "app/show_life.h"
#include "app/player_device.h"
#include "app/snapshot.h"
#include "core/frame_grid.h"
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
    return run.undoOffGrid && !FrameGrid{run.fps}.isFrameMs(ms) && ms < run.stopAfter && ms < run.partTo;
}

bool isDrawn(uint32_t ms) {
    if (ms < plan->partFrom || ms > plan->partTo) return false;
    if (ms >= plan->drawFrom && ms <= plan->drawTo) return true;
    return std::binary_search(plan->extraTimes.begin(), plan->extraTimes.end(), ms);
}

// The show time after the current one: the next grid frame or the next extra one, whichever
// comes first.
uint32_t nextShowMs(bool first) {
    const FrameGrid grid{plan->fps};
    while (!first && grid.frameMs(nextGrid) <= current.showMs) ++nextGrid;
    while (nextExtra < plan->extraTimes.size() && !first && plan->extraTimes[nextExtra] <= current.showMs)
        ++nextExtra;
    uint32_t next = grid.frameMs(nextGrid);
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
            headlessSystem.tick = plan->startTick + FrameGrid{plan->fps}.frameMs(current.index);
            setDrawing(plan->drawLoading && plan->partFrom == 0);
            return;
        }
        // startTick is read from this tick right after the music starts: show time 0.
        headlessSystem.tick = plan->startTick + FrameGrid{plan->fps}.frameMs(loadingFrameCount);
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

CapturePlan framesPlanFor(const CaptureOptions& options, void (*drawing)(bool on, void* user), void* user) {
    CapturePlan plan = capturePlanFor(options, drawing, user);
    if (!options.frameList.empty()) {
        plan.extraTimes = options.frameList;
        plan.stopAfter = options.frameList.back();
    } else {
        plan.drawFrom = options.fromMs;
        plan.drawTo = options.toMs;
        plan.extraTimes = {options.fromMs};
        plan.stopAfter = options.toMs;
    }
    if (options.part) {
        plan.partFrom = options.partFrom;
        plan.partTo = options.partTo;
    }
    return plan;
}

std::vector<uint32_t> drawnTimes(const CapturePlan& run) {
    const FrameGrid grid{run.fps};
    const uint32_t from = std::max(run.drawFrom, run.partFrom);
    const uint32_t to = std::min({run.drawTo, run.stopAfter, run.partTo});
    std::vector<uint32_t> times;
    for (uint64_t k = grid.framesBefore(from); from <= to && k < grid.framesThrough(to); ++k)
        times.push_back(grid.frameMs(k));
    for (uint32_t ms : run.extraTimes)
        if (ms >= run.partFrom && ms <= std::min(run.stopAfter, run.partTo)) times.push_back(ms);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

std::string framePath(const std::string& dir, uint32_t ms) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06u.png", ms);
    return (std::filesystem::path(dir) / name).string();
}

bool stopAfterLoading(const CaptureFrame&, void*) { return false; }

std::string pastTheEnd(uint32_t lastMs, uint32_t wantedMs) {
    return "the show ended at " + std::to_string(lastMs) + " ms, before " + std::to_string(wantedMs) + " ms";
}

uint64_t firstVideoFrame(const CaptureOptions& options) {
    return options.videoFrom ? FrameGrid{options.fps}.framesBefore(options.videoFromMs) : 0;
}

uint64_t videoShowFrames(const CaptureOptions& options) {
    const uint64_t through = FrameGrid{options.fps}.framesThrough(std::min(showLengthMs, options.untilMs));
    const uint64_t first = firstVideoFrame(options);
    return through > first ? through - first : 0;
}

uint64_t videoFrameCount(const CaptureOptions& options) {
    return (options.videoFrom ? 0 : loadingFrameCount) + videoShowFrames(options);
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
    ShowLife life(ScreenChoice::Window, nullptr);
    life.step();  // the opening alone: a cold frame is drawn without the loading screen
    startTick = startTickValue;
}

void drawColdFrame(uint32_t showMs) {
    headlessSystem.tick = startTick + showMs;
    showFrame();
}
