// capture_bench.cpp: --bench: every frame of the show drawn on the virtual clock, with its wall
// time to a finished picture, and discarded, with the CPU time of the calling thread, reported
// per phase beside the time the renderer's fill rate alone needs for the pixels shaded.
#include "tools/capture/capture_bench.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
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

// A third pass splits each drawn frame by the kind of draw (the events the show's drawing
// functions open), finishing the renderer's work at every change of kind.
struct KindsRecord {
    uint8_t loading;
    uint8_t row;
    float ms[benchKindCount];
    float pixels[benchKindCount];
};

enum class Pass { Discarded, Drawn, Kinds };

struct PassJob {
    GLDevice* device;
    Pass pass;
    int out;                      // the parent's pipe
    std::vector<uint8_t> pixels;  // the back buffer, read to wait for the renderer
    double frameWall = 0, frameCpu = 0;
    std::vector<GLEventPart> parts;
};

void startFrame(bool on, void* user) {
    PassJob& job = *static_cast<PassJob*>(user);
    job.device->setDrawingEnabled(on);
    if (job.pass == Pass::Drawn) job.device->beginPixelCount();
    if (job.pass == Pass::Kinds) job.device->beginEventTiming();
    job.frameWall = wallMs();
    job.frameCpu = threadCpuMs();
}

// The kind a part's event names; the last row for draws outside every kind's event.
int kindOf(LPCWSTR event) {
    for (int kind = 0; kind < DrawKindCount; ++kind)
        if (event == drawKindNames[kind]) return kind;
    return DrawKindCount;
}

bool sendKinds(PassJob& job, uint8_t loading, uint8_t row) {
    KindsRecord record = {loading, row, {}, {}};
    job.parts.clear();
    job.device->endEventTiming(job.parts);
    for (const GLEventPart& part : job.parts) {
        record.ms[kindOf(part.event)] += float(part.ms);
        record.pixels[kindOf(part.event)] += float(part.pixels);
    }
    return write(job.out, &record, sizeof record) == ssize_t(sizeof record);
}

// Reading the picture back waits for the renderer, so the frame is finished when it returns.
bool endFrame(const CaptureFrame& frame, void* user) {
    PassJob& job = *static_cast<PassJob*>(user);
    const uint8_t row = static_cast<uint8_t>(frame.loading ? 0 : showPhaseAt(frame.showMs));
    if (job.pass == Pass::Kinds) return sendKinds(job, frame.loading, row);
    FrameRecord record = {frame.loading, row, 0, 0};
    if (job.pass == Pass::Discarded) {
        record.ms = float(threadCpuMs() - job.frameCpu);
    } else {
        job.device->readBackBuffer(job.pixels.data());
        record.ms = float(wallMs() - job.frameWall);
        record.pixels = float(job.device->endPixelCount());
    }
    return write(job.out, &record, sizeof record) == ssize_t(sizeof record);
}

[[noreturn]] void runPass(GLDevice* (*openDevice)(const CaptureOptions&), const CaptureOptions& options, Pass pass,
                          int out) {
    PassJob job{openDevice(options), pass, out, {}, 0, 0, {}};
    d3dDevice = job.device;
    int width = 0, height = 0;
    job.device->backBufferSize(width, height);
    job.pixels.resize(size_t(width) * size_t(height) * 4);
    job.device->setRasterizerDiscard(pass == Pass::Discarded);
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
bool benchPass(GLDevice* (*openDevice)(const CaptureOptions&), const CaptureOptions& options, Pass pass,
               PhaseTimes* phases, double& loadingMs, Progress& progress, uint64_t& frames) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        runPass(openDevice, options, pass, ends[1]);
    }
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        return false;
    }
    FILE* in = fdopen(ends[0], "rb");
    if (in == nullptr) close(ends[0]);  // the child's writes fail, and so does the pass
    if (pass == Pass::Kinds) {
        KindsRecord record;
        while (in != nullptr && std::fread(&record, sizeof record, 1, in) == 1) {
            progress.update(++frames);
            if (record.loading) continue;
            PhaseTimes& phase = phases[std::min<int>(record.row, benchRowCount - 1)];
            ++phase.kindFrames;
            for (int kind = 0; kind < benchKindCount; ++kind) {
                phase.kindMs[kind] += record.ms[kind];
                phase.kindPixels[kind] += record.pixels[kind];
            }
        }
    }
    FrameRecord record;
    while (pass != Pass::Kinds && in != nullptr && std::fread(&record, sizeof record, 1, in) == 1) {
        progress.update(++frames);
        if (record.loading) {
            if (pass == Pass::Drawn) loadingMs += record.ms;
            continue;
        }
        PhaseTimes& phase = phases[std::min<int>(record.row, benchRowCount - 1)];
        if (pass == Pass::Discarded) {
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

// The show's names for its kinds (ASCII, written once in core), and the draws outside them.
std::string kindName(int kind) {
    if (kind >= DrawKindCount) return "the rest (clears)";
    std::string name;
    for (const wchar_t* c = drawKindNames[kind]; *c != 0; ++c) name += static_cast<char>(*c);
    return name;
}

struct PhaseRow {
    double median, p95, worst, cpuMedian, cpuWorst, pixels, pixelsMax, floorMs;
};

PhaseRow phaseRow(const PhaseTimes& phase, double texelsPerMs) {
    return {percentile(phase.totalMs, 0.5),        percentile(phase.totalMs, 0.95),
            percentile(phase.totalMs, 1.0),        percentile(phase.cpuMs, 0.5),
            percentile(phase.cpuMs, 1.0),          percentile(phase.pixels, 0.5) * 1e-6,
            percentile(phase.pixels, 1.0) * 1e-6,  percentile(phase.pixels, 0.5) / texelsPerMs};
}

void printPhases(const PhaseTimes* phases, double texelsPerMs) {
    std::printf("%-15s %7s %10s %10s %10s %12s %12s %9s %9s %9s %8s\n", "phase", "frames", "median ms", "p95 ms",
                "worst ms", "cpu med ms", "cpu worst ms", "Mpix med", "Mpix max", "floor ms", "x floor");
    for (int i = 0; i < benchRowCount; ++i) {
        const PhaseTimes& phase = phases[i];
        if (phase.totalMs.empty() && phase.cpuMs.empty()) continue;
        const PhaseRow r = phaseRow(phase, texelsPerMs);
        std::printf("%-15s %7zu %10.2f %10.2f %10.2f %12.2f %12.2f %9.2f %9.2f %9.2f %8.1f\n", phase.phase,
                    phase.totalMs.size(), r.median, r.p95, r.worst, r.cpuMedian, r.cpuWorst, r.pixels, r.pixelsMax,
                    r.floorMs, r.floorMs > 0 ? r.median / r.floorMs : 0.0);
    }
}

// Means per frame, so that the kinds add up to the frame; kinds that drew nothing are left out.
void printKinds(const PhaseTimes* phases, double texelsPerMs) {
    std::printf("\nwhere a frame goes, by kind of draw (means per frame; the renderer finished at each change "
                "of kind):\n%-15s %-19s %8s %7s %9s %9s %8s\n", "phase", "kind", "ms", "share", "Mpix", "floor ms",
                "x floor");
    for (int i = 0; i < benchRowCount; ++i) {
        const PhaseTimes& phase = phases[i];
        if (phase.kindFrames == 0) continue;
        double frameMs = 0;
        for (double ms : phase.kindMs) frameMs += ms;
        for (int kind = 0; kind < benchKindCount; ++kind) {
            const double ms = phase.kindMs[kind] / double(phase.kindFrames);
            const double pixels = phase.kindPixels[kind] / double(phase.kindFrames);
            if (ms < 0.005 && pixels < 1) continue;
            const double floorMs = pixels / texelsPerMs;
            std::printf("%-15s %-19s %8.2f %6.0f%% %9.3f %9.2f %8.1f\n", phase.phase, kindName(kind).c_str(), ms,
                        frameMs > 0 ? 100 * phase.kindMs[kind] / frameMs : 0.0, pixels * 1e-6, floorMs,
                        floorMs > 0 ? ms / floorMs : 0.0);
        }
    }
}

bool writeJson(const std::string& path, const PhaseTimes* phases, double loadingMs, double texelsPerMs) {
    FILE* json = std::fopen(path.c_str(), "w");
    if (json == nullptr) {
        std::fprintf(stderr, "quorbel-capture: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::fprintf(json, "{\"loading_ms\": %.3f, \"fill_mtexels_per_s\": %.3f, \"phases\": [", loadingMs,
                 texelsPerMs * 1e-3);
    bool first = true;
    for (int i = 0; i < benchRowCount; ++i) {
        const PhaseTimes& phase = phases[i];
        if (phase.totalMs.empty() && phase.cpuMs.empty()) continue;
        const PhaseRow r = phaseRow(phase, texelsPerMs);
        std::fprintf(json,
                     "%s{\"phase\": \"%s\", \"frames\": %zu, \"median_ms\": %.3f, \"p95_ms\": %.3f, "
                     "\"worst_ms\": %.3f, \"cpu_median_ms\": %.3f, \"cpu_worst_ms\": %.3f, "
                     "\"mpixels_median\": %.3f, \"mpixels_max\": %.3f, \"floor_ms\": %.3f, \"kinds\": [",
                     first ? "" : ", ", phase.phase, phase.totalMs.size(), r.median, r.p95, r.worst, r.cpuMedian,
                     r.cpuWorst, r.pixels, r.pixelsMax, r.floorMs);
        for (int kind = 0; kind < benchKindCount; ++kind) {
            const double frames = double(std::max<uint64_t>(phase.kindFrames, 1));
            std::fprintf(json, "%s{\"kind\": \"%s\", \"mean_ms\": %.4f, \"mean_mpixels\": %.4f}",
                         kind == 0 ? "" : ", ", kindName(kind).c_str(), phase.kindMs[kind] / frames,
                         phase.kindPixels[kind] / frames * 1e-6);
        }
        std::fprintf(json, "]}");
        first = false;
    }
    std::fprintf(json, "]}\n");
    // A full disk shows only when the buffered rest is written.
    const bool written = !std::ferror(json);
    if (std::fclose(json) != 0 || !written) {
        std::fprintf(stderr, "quorbel-capture: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

int captureBench(GLDevice* (*openDevice)(const CaptureOptions&), const CaptureOptions& options) {
    PhaseTimes phases[benchRowCount];
    for (int i = 0; i < benchRowCount; ++i) phases[i].phase = i < showPhaseCount ? showPhases[i].name : "end";
    Progress progress("bench", 3 * (loadingFrameCount + FrameGrid{options.fps}.framesThrough(showLengthMs)));
    uint64_t frames = 0;
    double loadingMs = 0;
    for (const Pass pass : {Pass::Discarded, Pass::Drawn, Pass::Kinds})
        if (!benchPass(openDevice, options, pass, phases, loadingMs, progress, frames)) {
            const char* name = pass == Pass::Discarded ? "discarding" : pass == Pass::Drawn ? "drawn" : "kinds";
            std::fprintf(stderr, "\nquorbel-capture: the %s pass of --bench failed\n", name);
            return 1;
        }
    progress.finish(frames);
    const double texelsPerMs = fillRatePass(openDevice, options);
    if (texelsPerMs <= 0) {
        std::fprintf(stderr, "quorbel-capture: the fill-rate pass of --bench failed\n");
        return 1;
    }
    const PictureLayout layout = pictureLayoutFor(options.width, options.height, options.supersample);
    std::printf("quorbel-capture --bench: %u fps virtual clock, drawn at %d x %d, loading screen %.0f ms, "
                "fill rate %.0f M texels/s (floor: the pixels shaded at that rate)\n",
                options.fps, layout.drawnWidth(), layout.drawnHeight(), loadingMs, texelsPerMs * 1e-3);
    printPhases(phases, texelsPerMs);
    printKinds(phases, texelsPerMs);
    if (!options.json.empty() && !writeJson(options.json, phases, loadingMs, texelsPerMs)) return 1;
    return 0;
}
