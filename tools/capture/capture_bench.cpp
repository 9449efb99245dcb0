// capture_bench.cpp: --bench: every frame of the show drawn on the virtual clock, with its wall
// time to a finished picture, and discarded, with the CPU time of the calling thread, reported
// per phase beside the time the renderer's fill rate alone needs for the pixels shaded.
#include "tools/capture/capture_bench.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/app.h"
#include "core/frame_grid.h"
#include "core/frame_state.h"
#include "platform/d3d9.h"
#include "tools/capture/capture_run.h"
#include "tools/capture/picture.h"
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

// The show runs twice, each time in a process of its own, from its start: with the renderer
// discarding every primitive, so that the thread's CPU time is ours (the show, the device, GL's
// submission) and not llvmpipe's binning, which runs on the calling thread too; and drawn, for
// the frame times and the pixels shaded. One process would run the second pass on what the
// first left (the show keeps its particles, its generator and its seeded stickers), and Mesa's
// renderer, once it has rasterised, blocks on its threads some fifty times a frame under
// discard: a discarded frame cost more CPU than the same frame drawn.
struct FrameRecord {
    uint8_t loading;
    uint8_t row;  // the row of the table: the frame's phase
    float ms;     // drawn: until the renderer finished it; discarded: the thread's CPU time
    float pixels;
};

struct PassJob {
    GLDevice* device;
    bool discarding;
    int out;                      // the parent's pipe
    std::vector<uint8_t> pixels;  // the back buffer, read to wait for the renderer
    double frameWall = 0, frameCpu = 0;
};

void startFrame(bool on, void* user) {
    PassJob& job = *static_cast<PassJob*>(user);
    job.device->setDrawingEnabled(on);
    if (!job.discarding) job.device->beginPixelCount();
    job.frameWall = wallMs();
    job.frameCpu = threadCpuMs();
}

// Reading the picture back waits for the renderer, so the frame is finished when it returns.
bool endFrame(const CaptureFrame& frame, void* user) {
    PassJob& job = *static_cast<PassJob*>(user);
    FrameRecord record = {frame.loading, static_cast<uint8_t>(frame.loading ? 0 : showPhaseAt(frame.showMs)), 0, 0};
    if (job.discarding) {
        record.ms = float(threadCpuMs() - job.frameCpu);
    } else {
        job.device->readBackBuffer(job.pixels.data());
        record.ms = float(wallMs() - job.frameWall);
        record.pixels = float(job.device->endPixelCount());
    }
    return write(job.out, &record, sizeof record) == ssize_t(sizeof record);
}

[[noreturn]] void runPass(GLDevice* (*openDevice)(const CaptureOptions&), const CaptureOptions& options,
                          bool discarding, int out) {
    PassJob job{openDevice(options), discarding, out, {}};
    d3dDevice = job.device;
    int width = 0, height = 0;
    job.device->backBufferSize(width, height);
    job.pixels.resize(size_t(width) * size_t(height) * 4);
    job.device->setRasterizerDiscard(discarding);
    CapturePlan plan = capturePlanFor(options, startFrame, &job);
    plan.drawLoading = true;
    plan.drawFrom = 0;
    plan.drawTo = showLengthMs;
    plan.stopAfter = showLengthMs;
    plan.frameDone = endFrame;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    std::fflush(nullptr);
    _exit(0);
}

struct TexturedCorner {
    float x, y, z, rhw, u, v;
};

// Texels a millisecond the renderer shades at best: full-screen quads of a linearly filtered
// texture, its texels taken as they are and added to the target, the cheapest textured pixel the
// device draws. The median of a few rounds, each finished by reading the picture back.
double measureFillRate(GLDevice* device, int width, int height) {
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    const float w = float(width), h = float(height);
    const TexturedCorner quad[4] = {{0, h, 0, 1, 0, 6}, {0, 0, 0, 1, 0, 0}, {w, h, 0, 1, 6, 6}, {w, 0, 0, 1, 6, 0}};
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
    std::vector<double> rates;
    constexpr int quadsPerRound = 24;
    for (int round = 0; round < 7; ++round) {
        const double start = wallMs();
        for (int i = 0; i < quadsPerRound; ++i) device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
        device->readBackBuffer(pixels.data());
        rates.push_back(quadsPerRound * double(width) * double(height) / (wallMs() - start));
    }
    device->SetTexture(0, nullptr);
    texture->Release();
    return percentile(rates, 0.5);
}

// The fill rate in a child process, on a device of its own; 0 where it failed.
double fillRatePass(GLDevice* (*openDevice)(const CaptureOptions&), const CaptureOptions& options) {
    int ends[2];
    if (pipe(ends) != 0) return 0;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        GLDevice* device = openDevice(options);
        int width = 0, height = 0;
        device->backBufferSize(width, height);
        const double rate = measureFillRate(device, width, height);
        const bool sent = write(ends[1], &rate, sizeof rate) == ssize_t(sizeof rate);
        _exit(sent ? 0 : 1);
    }
    close(ends[1]);
    double rate = 0;
    if (pid < 0 || read(ends[0], &rate, sizeof rate) != ssize_t(sizeof rate)) rate = 0;
    close(ends[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    return rate;
}

// One pass in a child process; its frames feed the table and the progress line.
bool benchPass(GLDevice* (*openDevice)(const CaptureOptions&), const CaptureOptions& options, bool discarding,
               PhaseTimes* phases, double& loadingMs, Progress& progress, uint64_t& frames) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        runPass(openDevice, options, discarding, ends[1]);
    }
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        return false;
    }
    FILE* in = fdopen(ends[0], "rb");
    if (in == nullptr) close(ends[0]);  // the child's writes fail, and so does the pass
    FrameRecord record;
    while (in != nullptr && std::fread(&record, sizeof record, 1, in) == 1) {
        progress.update(++frames);
        if (record.loading) {
            if (!discarding) loadingMs += record.ms;
            continue;
        }
        PhaseTimes& phase = phases[std::min<int>(record.row, benchRowCount - 1)];
        if (discarding) {
            phase.cpuMs.push_back(record.ms);
        } else {
            phase.totalMs.push_back(record.ms);
            phase.pixels.push_back(record.pixels);
        }
    }
    if (in != nullptr) std::fclose(in);
    int status = 0;
    waitpid(pid, &status, 0);
    if (in == nullptr) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int captureBench(GLDevice* (*openDevice)(const CaptureOptions&), const CaptureOptions& options) {
    PhaseTimes phases[benchRowCount];
    for (int i = 0; i < benchRowCount; ++i) phases[i].phase = i < showPhaseCount ? showPhases[i].name : "end";
    Progress progress("bench", 2 * (loadingFrameCount + FrameGrid{options.fps}.framesThrough(showLengthMs)));
    uint64_t frames = 0;
    double loadingMs = 0;
    for (const bool discarding : {true, false})
        if (!benchPass(openDevice, options, discarding, phases, loadingMs, progress, frames)) {
            std::fprintf(stderr, "\nquorbel-capture: the %s pass of --bench failed\n", discarding ? "discarding" : "drawn");
            return 1;
        }
    progress.finish(frames);
    const double texelsPerMs = fillRatePass(openDevice, options);
    if (texelsPerMs <= 0) {
        std::fprintf(stderr, "quorbel-capture: the fill-rate pass of --bench failed\n");
        return 1;
    }
    const PictureLayout layout = pictureLayoutFor(options.width, options.height, options.supersample);
    const int width = layout.drawnWidth(), height = layout.drawnHeight();

    std::printf("quorbel-capture --bench: %u fps virtual clock, drawn at %d x %d, loading screen %.0f ms, "
                "fill rate %.0f M texels/s (floor: the pixels shaded at that rate)\n",
                options.fps, width, height, loadingMs, texelsPerMs * 1e-3);
    std::printf("%-15s %7s %10s %10s %10s %12s %12s %9s %9s %9s %8s\n", "phase", "frames", "median ms", "p95 ms",
                "worst ms", "cpu med ms", "cpu worst ms", "Mpix med", "Mpix max", "floor ms", "x floor");
    FILE* json = nullptr;
    if (!options.json.empty()) {
        json = std::fopen(options.json.c_str(), "w");
        if (json == nullptr) {
            std::fprintf(stderr, "quorbel-capture: cannot write %s\n", options.json.c_str());
            return 1;
        }
        std::fprintf(json, "{\"loading_ms\": %.3f, \"fill_mtexels_per_s\": %.3f, \"phases\": [", loadingMs,
                     texelsPerMs * 1e-3);
    }
    bool first = true;
    for (const PhaseTimes& phase : phases) {
        if (phase.totalMs.empty() && phase.cpuMs.empty()) continue;
        const double median = percentile(phase.totalMs, 0.5), p95 = percentile(phase.totalMs, 0.95),
                     worst = percentile(phase.totalMs, 1.0), cpuMedian = percentile(phase.cpuMs, 0.5),
                     cpuWorst = percentile(phase.cpuMs, 1.0), pixels = percentile(phase.pixels, 0.5) * 1e-6,
                     pixelsMax = percentile(phase.pixels, 1.0) * 1e-6,
                     floorMs = percentile(phase.pixels, 0.5) / texelsPerMs;
        std::printf("%-15s %7zu %10.2f %10.2f %10.2f %12.2f %12.2f %9.2f %9.2f %9.2f %8.1f\n", phase.phase,
                    phase.totalMs.size(), median, p95, worst, cpuMedian, cpuWorst, pixels, pixelsMax, floorMs,
                    floorMs > 0 ? median / floorMs : 0.0);
        if (json != nullptr)
            std::fprintf(json,
                         "%s{\"phase\": \"%s\", \"frames\": %zu, \"median_ms\": %.3f, \"p95_ms\": %.3f, "
                         "\"worst_ms\": %.3f, \"cpu_median_ms\": %.3f, \"cpu_worst_ms\": %.3f, "
                         "\"mpixels_median\": %.3f, \"mpixels_max\": %.3f, \"floor_ms\": %.3f}",
                         first ? "" : ", ", phase.phase, phase.totalMs.size(), median, p95, worst, cpuMedian,
                         cpuWorst, pixels, pixelsMax, floorMs);
        first = false;
    }
    if (json != nullptr) {
        std::fprintf(json, "]}\n");
        std::fclose(json);
    }
    return 0;
}
