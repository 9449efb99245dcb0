// capture_bench.cpp: --bench: every frame of the show drawn on the virtual clock, with its wall
// time to a finished picture and the CPU time of the calling thread, reported per phase.
#include "tools/capture/capture_bench.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/app.h"
#include "core/frame_state.h"
#include "tools/capture/capture_run.h"
#include "tools/capture/progress.h"

double percentile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(std::ceil(q * double(values.size())));
    return values[std::min(values.size() - 1, rank == 0 ? 0 : rank - 1)];
}

namespace {

double threadCpuMs() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) * 1e-6;
}

double wallMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// The show runs twice: drawn, for the frame times and the pixels shaded; then with the renderer
// discarding every primitive, so that the thread's CPU time is ours (the show, the device, GL's
// submission) and not llvmpipe's binning, which runs on the calling thread too.
struct BenchJob {
    GLDevice* device;
    bool discarding = false;
    std::vector<uint8_t> pixels;  // the back buffer, read to wait for the renderer
    double frameWall = 0, frameCpu = 0;
    double loadingMs = 0;
    PhaseTimes phases[benchRowCount];
    Progress* progress = nullptr;
    uint64_t frames = 0;  // both passes: every frame is work here
};

void startFrame(bool on, void* user) {
    BenchJob& job = *static_cast<BenchJob*>(user);
    job.device->setDrawingEnabled(on);
    if (!job.discarding) job.device->beginPixelCount();
    job.frameWall = wallMs();
    job.frameCpu = threadCpuMs();
}

// Reading the picture back waits for the renderer, so the frame is finished when it returns.
bool endFrame(const CaptureFrame& frame, void* user) {
    BenchJob& job = *static_cast<BenchJob*>(user);
    const double cpu = threadCpuMs() - job.frameCpu;
    job.progress->update(++job.frames);
    if (job.discarding) {
        if (!frame.loading) job.phases[showPhaseAt(frame.showMs)].cpuMs.push_back(cpu);
        return true;
    }
    job.device->readBackBuffer(job.pixels.data());
    const double total = wallMs() - job.frameWall;
    const double shaded = double(job.device->endPixelCount());
    if (frame.loading) {
        job.loadingMs += total;
        return true;
    }
    PhaseTimes& phase = job.phases[showPhaseAt(frame.showMs)];
    phase.totalMs.push_back(total);
    phase.pixels.push_back(shaded);
    return true;
}

void runBenchPass(BenchJob& job, const CaptureOptions& options, bool discarding) {
    job.discarding = discarding;
    job.device->setRasterizerDiscard(discarding);
    CapturePlan plan = capturePlanFor(options, startFrame, &job);
    plan.drawLoading = true;
    plan.drawFrom = 0;
    plan.drawTo = showLengthMs;
    plan.stopAfter = showLengthMs;
    plan.frameDone = endFrame;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    job.device->setRasterizerDiscard(false);
}

}  // namespace

int captureBench(GLDevice* device, const CaptureOptions& options) {
    BenchJob job;
    job.device = device;
    d3dDevice = device;
    int width = 0, height = 0;
    device->backBufferSize(width, height);
    job.pixels.resize(size_t(width) * size_t(height) * 4);
    for (int i = 0; i < benchRowCount; ++i) job.phases[i].phase = i < showPhaseCount ? showPhases[i].name : "end";
    Progress progress("bench", 2 * (loadingFrameCount + gridFramesThrough(showLengthMs, options.fps)));
    job.progress = &progress;
    runBenchPass(job, options, false);
    runBenchPass(job, options, true);
    progress.finish(job.frames);

    std::printf("quorbel-capture --bench: %u fps virtual clock, drawn at %d x %d, loading screen %.0f ms\n",
                options.fps, width, height, job.loadingMs);
    std::printf("%-15s %7s %10s %10s %10s %12s %12s %9s %9s\n", "phase", "frames", "median ms", "p95 ms", "worst ms",
                "cpu med ms", "cpu worst ms", "Mpix med", "Mpix max");
    FILE* json = nullptr;
    if (!options.json.empty()) {
        json = std::fopen(options.json.c_str(), "w");
        if (json == nullptr) {
            std::fprintf(stderr, "quorbel-capture: cannot write %s\n", options.json.c_str());
            return 1;
        }
        std::fprintf(json, "{\"loading_ms\": %.3f, \"phases\": [", job.loadingMs);
    }
    bool first = true;
    for (const PhaseTimes& phase : job.phases) {
        if (phase.totalMs.empty() && phase.cpuMs.empty()) continue;
        const double median = percentile(phase.totalMs, 0.5), p95 = percentile(phase.totalMs, 0.95),
                     worst = percentile(phase.totalMs, 1.0), cpuMedian = percentile(phase.cpuMs, 0.5),
                     cpuWorst = percentile(phase.cpuMs, 1.0), pixels = percentile(phase.pixels, 0.5) * 1e-6,
                     pixelsMax = percentile(phase.pixels, 1.0) * 1e-6;
        std::printf("%-15s %7zu %10.2f %10.2f %10.2f %12.2f %12.2f %9.2f %9.2f\n", phase.phase,
                    phase.totalMs.size(), median, p95, worst, cpuMedian, cpuWorst, pixels, pixelsMax);
        if (json != nullptr)
            std::fprintf(json,
                         "%s{\"phase\": \"%s\", \"frames\": %zu, \"median_ms\": %.3f, \"p95_ms\": %.3f, "
                         "\"worst_ms\": %.3f, \"cpu_median_ms\": %.3f, \"cpu_worst_ms\": %.3f, "
                         "\"mpixels_median\": %.3f, \"mpixels_max\": %.3f}",
                         first ? "" : ", ", phase.phase, phase.totalMs.size(), median, p95, worst, cpuMedian,
                         cpuWorst, pixels, pixelsMax);
        first = false;
    }
    if (json != nullptr) {
        std::fprintf(json, "]}\n");
        std::fclose(json);
    }
    return 0;
}
