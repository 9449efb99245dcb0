// bench_synth.cpp: soundtrack render time, per song row and in total, for the shipped routines
// and for the plain second rendering the tests compare them with.
#include <benchmark/benchmark.h>

#include "synth/synth.h"
#include "tests/synth/test_synth_reference.cpp"

namespace {

void renderShippedSong() {
    initWaveBuffer();
    songRowIndex = 0;
    noiseRandomState = 1;
    for (int row = 0; row < songRowCount; ++row) renderSongStep();
}

void renderReferenceSong() {
    synthref::clearImage();
    for (int row = 0; row < songRowCount; ++row)
        synthref::renderRow(reinterpret_cast<const uint8_t*>(&songRows[row]), instrumentTable);
}

void BM_SongShipped(benchmark::State& state) {
    for (auto _ : state) {
        renderShippedSong();
        benchmark::DoNotOptimize(WaveImage.samples[1000000]);
    }
    state.counters["s_per_row"] = benchmark::Counter(
        songRowCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
// The first iteration pays for the song-time modulator table, later ones find it filled.
BENCHMARK(BM_SongShipped)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SongShipped)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SongReference(benchmark::State& state) {
    for (auto _ : state) {
        renderReferenceSong();
        benchmark::DoNotOptimize(synthref::image[4000000]);
    }
    state.counters["s_per_row"] = benchmark::Counter(
        songRowCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SongReference)->Unit(benchmark::kMillisecond)->Iterations(1);

// One row into a silent image, as one loading-screen frame renders it.
void BM_SongRowShipped(benchmark::State& state) {
    initWaveBuffer();
    for (auto _ : state) {
        songRowIndex = static_cast<uint8_t>(state.range(0));
        renderSongStep();
    }
}
BENCHMARK(BM_SongRowShipped)->DenseRange(0, 60)->Unit(benchmark::kMillisecond)->MinTime(0.05);

void BM_SongRowReference(benchmark::State& state) {
    synthref::clearImage();
    for (auto _ : state)
        synthref::renderRow(reinterpret_cast<const uint8_t*>(&songRows[state.range(0)]), instrumentTable);
}
BENCHMARK(BM_SongRowReference)->DenseRange(0, 60)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
