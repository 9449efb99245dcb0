// bench_tunnel_cube.cpp: the tunnel's start-up build and the cube's per-frame solve update.
#include <benchmark/benchmark.h>

#include "core/core.h"
#include "core/frame_state.h"
#include "cube/cube.h"
#include "platform/recording/recording_device.h"
#include "tunnel/tunnel.h"

// The whole build from start-up's generator state, restarts included.
static void BM_buildTunnel(benchmark::State& state) {
    RecordingDevice device;
    d3dDevice = &device;
    loadMathApi();
    for (auto _ : state) {
        randomSeed = 1013904223u;
        buildTunnel();
        benchmark::DoNotOptimize(segmentMatrices);
    }
    d3dDevice = nullptr;
}
BENCHMARK(BM_buildTunnel)->Unit(benchmark::kMillisecond);

// One frame at 60 fps: one step's animation, and one inverse turn every 960 ms.
static void BM_updateCubeSolvePerFrame(benchmark::State& state) {
    loadMathApi();
    randomSeed = 1013904223u;
    scrambleCube(125);
    int32_t frame = 0;
    for (auto _ : state) {
        const int32_t t = 960 + (frame * 1000 / 60) % (124 * 960);
        if (t < 960 + 1000 / 60) {
            state.PauseTiming();
            scrambleCube(125);
            state.ResumeTiming();
        }
        updateCubeSolve(t);
        benchmark::DoNotOptimize(stickerPose);
        ++frame;
    }
}
BENCHMARK(BM_updateCubeSolvePerFrame);

static void BM_scrambleCube125(benchmark::State& state) {
    loadMathApi();
    randomSeed = 1013904223u;
    for (auto _ : state) {
        scrambleCube(125);
        benchmark::DoNotOptimize(slotSticker);
    }
}
BENCHMARK(BM_scrambleCube125);
