// player.cpp: the player's snapshots: keeping one a bar within a budget, seeking from the
// nearest state, and the look-ahead that keeps the bars ahead of the show.
#include "app/player.h"

#include <algorithm>
#include <iterator>

#include "app/app.h"
#include "timeline/timeline.h"

uint32_t Player::RunPoint::nextGridMs() const { return started ? playerGrid.frameMsAfter(lastRunMs) : 0; }

Player::Player(const PlayerOptions& chosen) : options(chosen) {}

void Player::install() {
    owned = std::make_unique<PlayerDevice>(d3dDevice);
    attach(owned.get());
}

void Player::attach(PlayerDevice* device) {
    front = device;
    d3dDevice = d3dDeviceOf(device);
}

void Player::start() {
    snapshots.clear();
    keepEvery = 1;
    run = RunPoint{};
    keep(0, Kept{takeSnapshot(front), true, false, 0});
    aheadState = snapshots[0].snapshot;
    ahead = RunPoint{};
    aheadStarted = true;
}

// ---- keeping snapshots ----

size_t Player::snapshotBytes() const {
    size_t bytes = 0;
    for (const auto& [bar, kept] : snapshots) bytes += kept.snapshot.bytes.size();
    return bytes;
}

std::vector<uint32_t> Player::keptBars() const {
    std::vector<uint32_t> bars;
    for (const auto& [bar, kept] : snapshots) bars.push_back(bar);
    return bars;
}

// Over the budget the snapshots thin out evenly: only every second bar is kept, then every
// fourth and so on, so the longest run-up grows by as little as it can. Bar 0 always stays.
void Player::keep(uint32_t bar, Kept kept) {
    if (bar % keepEvery != 0) return;
    snapshots[bar] = std::move(kept);
    while (snapshotBytes() > budgetBytes && snapshots.size() > 1) {
        keepEvery *= 2;
        std::erase_if(snapshots, [&](const auto& entry) { return entry.first % keepEvery != 0; });
    }
}

// Before the frame at ms: a snapshot for the bar the frame enters, when the bar has none that
// is as exact as this one would be.
void Player::keepSnapshotBefore(uint32_t ms) {
    const uint32_t bar = ms / snapshotIntervalMs;
    if (run.started && run.lastRunMs >= bar * snapshotIntervalMs) return;  // the bar was entered before
    const bool exact = run.onGrid && run.nextGridMs() >= bar * snapshotIntervalMs;
    const auto found = snapshots.find(bar);
    if (found != snapshots.end() && (found->second.exact || !exact)) return;
    keep(bar, Kept{takeSnapshot(front), exact, run.started, run.lastRunMs});
}

void Player::runFrame(uint32_t ms) {
    keepSnapshotBefore(ms);
    const bool next = ms == run.nextGridMs();
    showFrameAt(ms);
    run.onGrid = run.onGrid && next;
    run.started = true;
    run.lastRunMs = ms;
}

void Player::restore(const Kept& kept) {
    restoreSnapshot(kept.snapshot, front);
    run = RunPoint{kept.started, kept.lastRunMs, kept.exact};
}

// ---- seeking ----

namespace {

// How far a state is into the show: the frame after it runs from here.
uint64_t positionOf(bool started, uint32_t lastRunMs) { return started ? uint64_t(lastRunMs) + 1 : 0; }

}  // namespace

// The nearest state the frames before ms can run from: the latest snapshot of any kind, the
// look-ahead's state, or the frames shown when they are on the grid; restored, drawing off.
void Player::startNear(uint32_t ms) {
    enum class From { Here, Ahead, Kept } from = From::Here;
    uint64_t best = 0;
    bool any = false;
    const auto consider = [&](From what, bool started, uint32_t lastRunMs) {
        if (started && lastRunMs >= ms) return;
        const uint64_t at = positionOf(started, lastRunMs);
        if (!any || at > best) from = what, best = at, any = true;
    };
    if (run.onGrid) consider(From::Here, run.started, run.lastRunMs);
    if (aheadStarted) consider(From::Ahead, ahead.started, ahead.lastRunMs);
    const Kept* kept = nullptr;
    for (auto it = snapshots.upper_bound(ms / snapshotIntervalMs); it != snapshots.begin();) {
        --it;
        if (it->second.started && it->second.lastRunMs >= ms) continue;
        kept = &it->second;
        consider(From::Kept, kept->started, kept->lastRunMs);
        break;
    }
    front->setDrawing(false);
    if (from == From::Kept && kept != nullptr) restore(*kept);
    if (from == From::Ahead) {
        restoreSnapshot(aheadState, front);
        run = ahead;
    }
    lastRunUpFrames = 0;
}

// At most maxFrames grid frames on towards ms; true once the next is ms or later.
bool Player::runGridUpTo(uint32_t ms, uint32_t maxFrames) {
    for (uint32_t n = 0; n < maxFrames && run.nextGridMs() < ms; ++n) {
        runFrame(run.nextGridMs());
        ++lastRunUpFrames;
    }
    // An exact run that got further than the look-ahead carries it along.
    if (run.onGrid && aheadStarted && positionOf(run.started, run.lastRunMs) > positionOf(ahead.started, ahead.lastRunMs)) {
        takeSnapshot(front, aheadState);
        ahead = run;
    }
    return run.nextGridMs() >= ms;
}

void Player::runUpTo(uint32_t ms) {
    startNear(ms);
    runGridUpTo(ms, UINT32_MAX);
}

void Player::seek(uint32_t ms) {
    ms = std::min(ms, lastShowFrameMs);
    runUpTo(ms);
    front->setDrawing(true);
    runFrame(ms);
}

// ---- the look-ahead ----

uint32_t Player::lookAheadMs() const { return aheadStarted ? ahead.nextGridMs() : 0; }

void Player::lookAhead(uint32_t frames) {
    if (!aheadStarted || frames == 0 || ahead.nextGridMs() > lastShowFrameMs) return;
    takeSnapshot(front, shownState);
    const RunPoint shownRun = run;
    const bool drawing = front->drawing();
    front->setDrawing(false);
    restoreSnapshot(aheadState, front);
    run = ahead;
    for (uint32_t i = 0; i < frames && run.nextGridMs() <= lastShowFrameMs; ++i) runFrame(run.nextGridMs());
    ahead = run;
    takeSnapshot(front, aheadState);
    restoreSnapshot(shownState, front);
    run = shownRun;
    front->setDrawing(drawing);
}

// ---- the keys ----

namespace {

uint32_t back(uint32_t now, uint32_t by) { return now > by ? now - by : 0; }
uint32_t ahead(uint32_t now, uint32_t by) { return std::min(now + by, lastShowFrameMs); }

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
        case PlayerKey::Comma:      command.seek = paused; command.seekTo = playerGrid.frameMsBefore(now); break;
        case PlayerKey::Period:     command.seek = paused; command.seekTo = std::min(playerGrid.frameMsAfter(now), lastShowFrameMs); break;
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
