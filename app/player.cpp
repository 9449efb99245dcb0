// player.cpp: seeking through the kept snapshots, and what each key asks for.
#include "app/player.h"

#include <algorithm>
#include <map>

#include "app/app.h"
#include "app/snapshot.h"
#include "timeline/timeline.h"

uint32_t playerGridMs(uint64_t k) { return static_cast<uint32_t>(k * 1000u / playerFps); }

// Frames of the grid at or before ms, which is the number of the first one after it.
uint32_t gridFrameAfter(uint32_t ms) {
    const uint64_t through = ((uint64_t(ms) + 1) * playerFps + 999) / 1000;
    return playerGridMs(through);
}

// ---- seeking ----

namespace {

// The snapshot of bar b holds the state before the first frame at or after b bars: exact when
// the frames before it were those of the grid and no others (a run-up, or a show played on a
// virtual 60 fps clock), otherwise what the show played left. An exact one replaces the other.
struct KeptSnapshot {
    ShowSnapshot snapshot;
    bool exact;
    bool started;        // a show frame ran before it
    uint32_t lastRunMs;  // that frame's time
};

PlayerDevice* playerDevice;
std::map<uint32_t, KeptSnapshot> snapshots;  // by bar
bool started;        // a show frame has run
uint32_t lastRunMs;  // the last frame's time
bool onGrid;         // the frames run so far are those of the grid up to lastRunMs, no others

uint32_t nextGridMs() { return started ? gridFrameAfter(lastRunMs) : 0; }

// Before the frame at ms: a snapshot for the bar the frame enters, when the bar has none that
// is as exact as this one would be.
void keepSnapshotBefore(uint32_t ms) {
    const uint32_t bar = ms / snapshotIntervalMs;
    if (started && lastRunMs >= bar * snapshotIntervalMs) return;  // the bar was entered before
    const bool exact = onGrid && nextGridMs() >= bar * snapshotIntervalMs;
    const auto found = snapshots.find(bar);
    if (found != snapshots.end() && (found->second.exact || !exact)) return;
    snapshots[bar] = KeptSnapshot{takeSnapshot(playerDevice), exact, started, lastRunMs};
}

void runFrame(uint32_t ms) {
    keepSnapshotBefore(ms);
    const bool next = ms == nextGridMs();
    showFrameAt(ms);
    onGrid = onGrid && next;
    started = true;
    lastRunMs = ms;
}

}  // namespace

void startPlayer(PlayerDevice* device) {
    playerDevice = device;
    snapshots.clear();
    started = false;
    lastRunMs = 0;
    onGrid = true;
    snapshots[0] = KeptSnapshot{takeSnapshot(device), true, false, 0};
}

void playerFrame(uint32_t ms) { runFrame(ms); }

void seekShow(uint32_t ms, void (*progress)(uint32_t doneMs, uint32_t toMs)) {
    ms = std::min(ms, lastShowFrameMs);
    runUpTo(ms, progress);
    playerDevice->setDrawing(true);
    runFrame(ms);
}

void runUpTo(uint32_t ms, void (*progress)(uint32_t doneMs, uint32_t toMs)) {
    // The latest exact snapshot before ms, or the latest of any kind when it is nearer; the
    // frames shown so far when they are on the grid and nearer still.
    auto from = snapshots.upper_bound(ms / snapshotIntervalMs);
    const KeptSnapshot* chosen = nullptr;
    while (from != snapshots.begin()) {
        --from;
        if (chosen == nullptr) chosen = &from->second;
        if (from->second.exact) {
            chosen = &from->second;
            break;
        }
    }
    const bool fromHere = onGrid && (!started || lastRunMs < ms) &&
                          (chosen == nullptr || !chosen->started || lastRunMs >= chosen->lastRunMs);
    if (!fromHere && chosen != nullptr) {
        restoreSnapshot(chosen->snapshot, playerDevice);
        started = chosen->started;
        lastRunMs = chosen->lastRunMs;
        onGrid = chosen->exact;
    }
    playerDevice->setDrawing(false);
    uint32_t frames = 0;
    for (uint32_t next = nextGridMs(); next < ms; next = nextGridMs()) {
        runFrame(next);
        if (progress != nullptr && ++frames % 32 == 0) progress(next, ms);
    }
}

size_t snapshotCount() { return snapshots.size(); }

size_t snapshotBytes() {
    size_t bytes = 0;
    for (const auto& [bar, kept] : snapshots) bytes += kept.snapshot.bytes.size();
    return bytes;
}

// ---- keys ----

namespace {

uint32_t back(uint32_t now, uint32_t by) { return now > by ? now - by : 0; }
uint32_t ahead(uint32_t now, uint32_t by) { return std::min(now + by, lastShowFrameMs); }

// The grid frame before now (the frame step back).
uint32_t gridFrameBefore(uint32_t now) {
    if (now == 0) return 0;
    const uint64_t k = (uint64_t(now) * playerFps - 1) / 1000;  // the last k with k * 1000 / 60 < now
    return playerGridMs(k);
}

}  // namespace

PlayerCommand commandFor(PlayerKey key, uint32_t now, bool paused) {
    PlayerCommand command{now, true, paused, false};
    const int32_t phase = std::min(showPhaseAt(now), showPhaseCount - 1);
    switch (key) {
        case PlayerKey::Space:      command.seek = false; command.paused = !paused; break;
        case PlayerKey::Left:       command.seekTo = back(now, 5000); break;
        case PlayerKey::Right:      command.seekTo = ahead(now, 5000); break;
        case PlayerKey::ShiftLeft:  command.seekTo = back(now, 1000); break;
        case PlayerKey::ShiftRight: command.seekTo = ahead(now, 1000); break;
        case PlayerKey::Comma:      command.seek = paused; command.seekTo = gridFrameBefore(now); break;
        case PlayerKey::Period:     command.seek = paused; command.seekTo = std::min(gridFrameAfter(now), lastShowFrameMs); break;
        case PlayerKey::Home:       command.seekTo = 0; break;
        case PlayerKey::PageUp: {
            const uint32_t start = showPhases[phase].startMs;
            command.seekTo = now >= start + 1000 || phase == 0 ? start : showPhases[phase - 1].startMs;
            break;
        }
        case PlayerKey::PageDown:
            command.seekTo = phase + 1 < showPhaseCount ? showPhases[phase + 1].startMs : lastShowFrameMs;
            break;
        case PlayerKey::Escape:     command.seek = false; command.end = true; break;
    }
    return command;
}
