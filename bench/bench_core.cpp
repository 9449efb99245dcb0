// bench_core.cpp: the generator, its jump-ahead, and the render-state helpers on the
// recording device.
#include <benchmark/benchmark.h>

#include "core/core.h"
#include "core/frame_state.h"
#include "platform/recording/recording_device.h"

static void BM_nextRandom(benchmark::State& state) {
    randomSeed = 0;
    for (auto _ : state) benchmark::DoNotOptimize(nextRandom());
}
BENCHMARK(BM_nextRandom);

static void BM_skipRandomWholePeriod(benchmark::State& state) {
    for (auto _ : state) {
        skipRandom(256);
        benchmark::DoNotOptimize(randomSeed);
    }
}
BENCHMARK(BM_skipRandomWholePeriod);

static void BM_setRenderModeUnchanged(benchmark::State& state) {
    RecordingDevice device;
    d3dDevice = &device;
    setRenderMode(5);
    for (auto _ : state) setRenderMode(5);
    d3dDevice = nullptr;
}
BENCHMARK(BM_setRenderModeUnchanged);
