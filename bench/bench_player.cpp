// bench_player.cpp: seeking on the OpenGL device at 640 x 480: the first seek far ahead (the
// run-up from the start), a seek into a part already passed, and the snapshots' sizes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "app/player.h"
#include "app/show_life.h"
#include "app/snapshot.h"
#include "platform/egl/egl_context.h"
#include "platform/gl/gl_device.h"
#include "platform/headless/headless_system.h"

namespace {

GLDevice* gl;
PlayerDevice* front;
Player* player;
ShowSnapshot afterLoading;
std::vector<uint8_t> shown(640 * 480 * 4);

// The show after its loading screen (the song left out: it plays no part in the pictures).
bool startShow(benchmark::State& state) {
    if (gl == nullptr) {
        std::string error;
        gl = startHeadlessDevice(error);
        if (gl == nullptr) {
            state.SkipWithError(error.c_str());
            return false;
        }
        front = new PlayerDevice(gl);
        d3dDevice = front;
        player = new Player;
        player->attach(front);
        resetHeadlessSystem();
        startupSteps.renderSongStep = [] {};
        ShowLife life(ScreenChoice::Window, nullptr);
        life.step();  // the opening
        front->setDrawing(false);
        while (life.stage() == LifeStage::Loading) life.step();
        afterLoading = takeSnapshot(front);
    }
    restoreSnapshot(afterLoading, front);
    *player = Player{};
    player->attach(front);
    player->start();
    return true;
}

// Until the frame is in the back buffer, as the window would show it.
void seekAndShow(uint32_t ms) {
    player->seek(ms);
    gl->readBackBuffer(shown.data());
}

}  // namespace

// From the start with nothing kept, to the last frame: the run-up of the whole show.
static void BM_seekFirstFarAhead(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        if (!startShow(state)) return;
        state.ResumeTiming();
        seekAndShow(lastShowFrameMs);
    }
}
BENCHMARK(BM_seekFirstFarAhead)->Unit(benchmark::kMillisecond)->Iterations(3);

// Once the whole show was passed: seeks to the last frame of bars (the longest run-up from a
// bar's snapshot), one in each phase, in an order that goes back and forth.
static void BM_seekToPassedPart(benchmark::State& state) {
    if (!startShow(state)) return;
    player->seek(lastShowFrameMs);
    const uint32_t times[] = {3830, 149750, 26830, 111350, 49910, 134400, 38150};
    size_t i = 0;
    for (auto _ : state) seekAndShow(times[i++ % 7]);
}
BENCHMARK(BM_seekToPassedPart)->Unit(benchmark::kMillisecond);

// Live play as the window plays it, drawing off (the seek's own frame is drawn): a step every
// 20 ms of the clock, frames off the grid, the player's look-ahead on or off.
void playLive(uint32_t untilMs, bool lookAhead) {
    player->setLookAheadPerStep(lookAhead ? lookAheadFramesPerStep : 0);
    startShowClock();
    player->startClock();
    front->setDrawing(false);
    while (player->nowMs() < untilMs) {
        headlessSystem.tick += 20;
        player->step();
    }
}

// Right at 150 s of live play with nothing run up before and no look-ahead: the run-up starts
// from the snapshot the show left when it entered the bar, or from the frame shown.
static void BM_seekRightInLivePlay(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        if (!startShow(state)) return;
        playLive(150000, false);
        state.ResumeTiming();
        player->goTo(player->nowMs() + 5000);
        gl->readBackBuffer(shown.data());
    }
}
BENCHMARK(BM_seekRightInLivePlay)->Unit(benchmark::kMillisecond)->Iterations(3);

// After 40 s of live play with the look-ahead on (by then it has kept the whole show): seeks far
// ahead and back, as Page Down, Home and the page's scrub bar make them, each to the last frame
// of a bar, the longest run-up from a snapshot.
static void BM_seekFarInLivePlay(benchmark::State& state) {
    if (!startShow(state)) return;
    playLive(40000, true);
    const uint32_t times[] = {126710, 161270, 49910, 3830, 142070, 99830, 65270};
    size_t i = 0;
    for (auto _ : state) {
        player->goTo(times[i++ % 7]);
        gl->readBackBuffer(shown.data());
    }
    state.counters["look_ahead_ms"] = double(player->lookAheadMs());
}
BENCHMARK(BM_seekFarInLivePlay)->Unit(benchmark::kMillisecond);

// The first 300 steps of live play (6 s), drawing off, without the look-ahead (0) and with it (1):
// what the look-ahead adds to a step while it runs.
static void BM_liveStep(benchmark::State& state) {
    if (!startShow(state)) return;
    playLive(0, state.range(0) != 0);
    for (auto _ : state) {
        headlessSystem.tick += 20;
        player->step();
    }
    state.counters["look_ahead_ms"] = double(player->lookAheadMs());
}
BENCHMARK(BM_liveStep)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(300);

// One snapshot's bytes after a run-up to the time given.
static void BM_snapshotAt(benchmark::State& state) {
    if (!startShow(state)) return;
    const uint32_t ms = uint32_t(state.range(0));
    front->setDrawing(false);
    player->seek(ms);
    size_t bytes = 0;
    for (auto _ : state) bytes = takeSnapshot(front).bytes.size();
    state.counters["bytes"] = double(bytes);
    if (ms == lastShowFrameMs) state.counters["kept_total_bytes"] = double(player->snapshotBytes());
}
BENCHMARK(BM_snapshotAt)->Arg(0)->Arg(20000)->Arg(40000)->Arg(60000)->Arg(100000)->Arg(130000)->Arg(161279)
    ->Unit(benchmark::kMicrosecond);
