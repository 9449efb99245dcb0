// bench_particles.cpp: the particle machine's time per pass for all six systems over 10 simulated seconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstring>
#include <vector>

#include "core/core.h"
#include "particles/particles.h"

// CPU time of this thread: the machine is shared, so wall time would count others' work.
static double threadCpuMs() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec * 1e-6;
}

// One iteration runs the six systems from their roots for 600 passes (10 s at 60 passes a
// second, as the show's frames would) and reports the CPU time of one pass of all six:
// median and worst, with the live particle counts at the end and at their highest. The show's
// pass, and the same through the checked interpreter alone for comparison.
using ParticlePass = int32_t (*)(const ParticleProgram&, ParticleSystem&, ParticleVertices&, float);

template <ParticlePass emit>
static void particlePasses10s(benchmark::State& state) {
    std::vector<double> passMs(600);
    double medianMs = 0, worstMs = 0, peakLive = 0, endLive = 0;
    for (auto _ : state) {
        std::memset(particleSystems, 0, sizeof particleSystems);
        for (int k = 0; k < particleSystemCount; ++k) resetParticleSystem(particlePrograms[k], particleSystems[k]);
        randomSeed = 12345;
        peakLive = 0;
        for (int n = 0; n < 600; ++n) {
            const float t = static_cast<float>(30.0 + n / 60.0);
            int32_t live = 0;
            const double start = threadCpuMs();
            for (int k = 0; k < particleSystemCount; ++k)
                live += emit(particlePrograms[k], particleSystems[k], particleVertices, t);
            passMs[n] = threadCpuMs() - start;
            peakLive = std::max(peakLive, static_cast<double>(live));
            endLive = live;
        }
        benchmark::DoNotOptimize(particleVertices);
        std::vector<double> sorted = passMs;
        std::sort(sorted.begin(), sorted.end());
        medianMs = sorted[sorted.size() / 2];
        worstMs = sorted.back();
    }
    state.counters["pass_median_ms"] = medianMs;
    state.counters["pass_worst_ms"] = worstMs;
    state.counters["live_peak"] = peakLive;
    state.counters["live_end"] = endLive;
}
static void BM_particlePasses10s(benchmark::State& state) { particlePasses10s<emitParticleVertices>(state); }
BENCHMARK(BM_particlePasses10s)->Unit(benchmark::kMillisecond)->Iterations(3);
static void BM_particlePasses10sChecked(benchmark::State& state) { particlePasses10s<emitParticleVerticesChecked>(state); }
BENCHMARK(BM_particlePasses10sChecked)->Unit(benchmark::kMillisecond)->Iterations(3);

// Live counts per system after 10 s, one counter each.
static void BM_particleCountsAfter10s(benchmark::State& state) {
    int32_t counts[particleSystemCount] = {};
    for (auto _ : state) {
        std::memset(particleSystems, 0, sizeof particleSystems);
        for (int k = 0; k < particleSystemCount; ++k) resetParticleSystem(particlePrograms[k], particleSystems[k]);
        randomSeed = 12345;
        for (int n = 0; n < 600; ++n)
            for (int k = 0; k < particleSystemCount; ++k)
                counts[k] = emitParticleVertices(particlePrograms[k], particleSystems[k], particleVertices,
                                                 static_cast<float>(30.0 + n / 60.0));
    }
    for (int k = 0; k < particleSystemCount; ++k) state.counters["system" + std::to_string(k)] = counts[k];
}
BENCHMARK(BM_particleCountsAfter10s)->Unit(benchmark::kMillisecond)->Iterations(1);
