// soak_main.cpp: quorbel-soak, the whole show run headless from the loading screen to its end
// on a virtual clock that may misbehave as real clocks do, checking that it ends by itself,
// draws no position that is not a number, and allocates nothing once the loading is over.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/show_life.h"
#include "core/frame_grid.h"
#include "platform/egl/egl_context.h"
#include "platform/command_line.h"
#include "platform/gl/gl_device.h"
#include "platform/headless/headless_system.h"
#include "platform/switches.h"
#include "timeline/timeline.h"
#include "tools/soak/heap_count.h"
#include "tools/soak/soak_player.h"

namespace {

enum class Clock { Steady, Stall, Back, Wrap };

struct Options {
    uint32_t fps = 10;
    Clock clock = Clock::Steady;
    bool pixels = true;
    bool gl = true;  // off: no draw reaches the renderer, so what allocates is the show
    double playerHours = 0.0;  // the player's loop instead of one plain run
    bool help = false;
};

[[noreturn]] void fail(const std::string& line) {
    std::fprintf(stderr, "quorbel-soak: %s\n", line.c_str());
    std::exit(1);
}

Took takeFps(Options& options, const char*, const char* value, std::string& error) {
    char* end = nullptr;
    const unsigned long fps = std::strtoul(value, &end, 10);
    if (*end != '\0' || fps < 1 || fps > 1000) return refuse(error, "--fps takes a whole number from 1 to 1000");
    options.fps = static_cast<uint32_t>(fps);
    return Took::Taken;
}

Took takeClock(Options& options, const char*, const char* value, std::string& error) {
    const std::string name = value;
    if (name == "steady") options.clock = Clock::Steady;
    else if (name == "stall") options.clock = Clock::Stall;
    else if (name == "back") options.clock = Clock::Back;
    else if (name == "wrap") options.clock = Clock::Wrap;
    else return refuse(error, "unknown clock '" + name + "' (steady, stall, back or wrap)");
    return Took::Taken;
}

Took takePlayer(Options& options, const char*, const char* value, std::string& error) {
    char* end = nullptr;
    options.playerHours = std::strtod(value, &end);
    if (*end != '\0' || !(options.playerHours > 0.0 && options.playerHours <= 1000.0))
        return refuse(error, "--player takes hours of show time, above 0 and at most 1000");
    return Took::Taken;
}

const OptionRow<Options> soakOptionRows[] = {
    {"--fps", nullptr, "N", "frames per second of the virtual clock (default 10)", takeFps},
    {"--clock", nullptr, "NAME",
     "steady; stall: frozen for 5 s at 40 s, then the jump; back: 40 s back\nat 100 s (the cube scrambles again); "
     "wrap: the tick count wraps at 80 s",
     takeClock},
    {"--no-pixels", nullptr, nullptr, "the renderer discards every primitive (all else runs): much faster",
     setField<&Options::pixels, false>},
    {"--no-gl", nullptr, nullptr, "the device keeps its state but draws nothing: the heap must then stay put",
     setField<&Options::gl, false>},
    {"--player", nullptr, "H",
     "the player instead: the whole show looped for H hours of show time with a\nkey every 7 s (seeks, pause, frame "
     "steps); fails unless the heap and the CPU\nper step stay flat after the first eighth of the run",
     takePlayer},
    {"--help", "-h", nullptr, "this text", setField<&Options::help, true, Took::Last>},
};

std::string usage() {
    return "usage: quorbel-soak [--fps N] [--clock steady|stall|back|wrap] [--no-pixels | --no-gl] [--player HOURS]\n"
           "  Runs the whole show headless and fails unless it ends by itself, every position drawn\n"
           "  is a number and the program's own heap (what its code holds from operator new) does not\n"
           "  grow after the loading screen; the whole heap, the renderer's too, only against runaway.\n"
           "\n" +
           optionsHelp(soakOptionRows, 17);
}

// A command line not understood, a value refused included, exits 2; a failed soak, 1.
void parse(int argc, char** argv, Options& options) {
    const CommandLineFault fault = readCommandLine(soakOptionRows, argc, argv, options);
    if (fault.kind != CommandLineFault::None) refuseCommandLine("quorbel-soak", faultLine(fault));
    if (options.help) {
        std::printf("%s\n%s", usage().c_str(), switchesHelp(readBySoak).c_str());
        std::exit(0);
    }
}

// ---- memory ----

// The peak resident size so far (VmHWM), in KiB; 0 where /proc cannot tell.
long peakResidentKiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
    std::fclose(status);
    return kib;
}

// ---- the run ----

// Once the loading is over the show allocates nothing, but the GL device grows its scratch to the
// largest draw yet and moves a render target to an array of its own the first time a draw samples
// its neighbours: 256 bytes over the show, the same in every run. 8 bytes leaked a frame exceed
// this even at 1 fps (163 show frames).
constexpr size_t deviceAllowance = 1024;
// What Mesa's renderer keeps of the whole heap moves from run to run with its threads and its
// shader cache: up to 9 MiB beyond the most of the show's first half at the end of a drawn run.
// Only runaway beyond that is the whole heap's to find.
constexpr size_t rendererRunaway = size_t(64) << 20;
// Wraps 80 s into the show at 10 fps (the loading screen takes 6.4 s of virtual time).
constexpr uint32_t startOfWrapRun = 0u - 86400u;

// One measure of the heap over the show.
struct HeapFigures {
    size_t afterLoading = 0, firstHalf = 0, most = 0, end = 0;  // firstHalf: the most, over it

    void take(size_t bytes, bool firstFrame, bool inFirstHalf) {
        if (firstFrame) afterLoading = bytes;
        most = std::max(most, bytes);
        if (inFirstHalf) firstHalf = std::max(firstHalf, bytes);
    }
    void finish(size_t bytes) {
        end = bytes;
        most = std::max(most, bytes);
    }
};

struct Run {
    Options options;
    GLDevice* device = nullptr;
    uint32_t firstTick = 1;
    uint64_t frame = 0;       // frames of any kind so far
    uint64_t showFrames = 0;
    uint64_t frameLimit = 0;  // past this the loop counts as frozen
    HeapFigures own, whole;
    long residentAfterLoading = 0;
    uint32_t lastShowMs = 0;
};
Run run;

// Real time since the start, in ms, and the tick the clock shows for it.
uint32_t clockTick(uint64_t realMs) {
    uint64_t shown = realMs;
    const uint64_t showStart = FrameGrid{run.options.fps}.frameMs(loadingFrameCount);
    switch (run.options.clock) {
        case Clock::Steady:
        case Clock::Wrap:
            break;
        case Clock::Stall:
            if (realMs >= showStart + 40000 && realMs < showStart + 45000) shown = showStart + 40000;
            break;
        case Clock::Back:
            if (realMs >= showStart + 100000) shown = realMs - 40000;
            break;
    }
    return static_cast<uint32_t>(run.firstTick + shown);
}

void afterFrame() {
    ++run.frame;
    if (demoTimeMs != 0 || run.frame > uint64_t(loadingFrameCount)) {
        ++run.showFrames;
        run.lastShowMs = demoTimeMs;
        const bool firstFrame = run.showFrames == 1, inFirstHalf = demoTimeMs < showLengthMs / 2;
        run.own.take(ownHeapBytes(), firstFrame, inFirstHalf);
        run.whole.take(wholeHeapBytes(), firstFrame, inFirstHalf);
        if (firstFrame) run.residentAfterLoading = peakResidentKiB();
    }
    if (run.frame > run.frameLimit) headlessSystem.escapeHeld = true;
    headlessSystem.tick = clockTick(FrameGrid{run.options.fps}.frameMs(run.frame));
}

double mib(size_t bytes) { return double(bytes) / 1048576.0; }

void printReport(const GLDeviceStats& stats) {
    std::printf("quorbel-soak: %u fps, %llu show frames, last at %u ms, %llu draws\n", run.options.fps,
                static_cast<unsigned long long>(run.showFrames), run.lastShowMs,
                static_cast<unsigned long long>(stats.d3dDrawCalls));
    std::printf("quorbel-soak: own heap %zu bytes after loading, %zu at most in the first half, %zu at most, "
                "%zu at the end\n",
                run.own.afterLoading, run.own.firstHalf, run.own.most, run.own.end);
    std::printf("quorbel-soak: whole heap %.1f MiB after loading, %.1f MiB at most in the first half, %.1f MiB at "
                "most, %.1f MiB at the end; peak resident %.1f MiB after loading, %.1f MiB at the end\n",
                mib(run.whole.afterLoading), mib(run.whole.firstHalf), mib(run.whole.most), mib(run.whole.end),
                double(run.residentAfterLoading) / 1024.0, double(peakResidentKiB()) / 1024.0);
    std::fflush(stdout);  // the report first, then any complaint on stderr
}

// The program's own heap is exact and the same on every run: at no frame may it exceed what the
// loading screen left (beyond the device's one-time growth where draws reach GL); what it still
// holds at exit is LeakSanitizer's to judge.
bool heapHeld() {
    bool held = true;
    const size_t ownLimit = run.own.afterLoading + (run.options.gl ? deviceAllowance : 0);
    if (run.own.most > ownLimit) {
        std::fprintf(stderr, "quorbel-soak: the program's own heap grew by %zu bytes after the loading screen\n",
                     run.own.most - run.own.afterLoading);
        held = false;
    }
    if (run.whole.end > run.whole.firstHalf + rendererRunaway) {
        std::fprintf(stderr, "quorbel-soak: the whole heap grew by %zu bytes after the most of the show's first half\n",
                     run.whole.end - run.whole.firstHalf);
        held = false;
    }
    return held;
}

}  // namespace

int main(int argc, char** argv) {
    parse(argc, argv, run.options);
    std::string error;
    run.device = startHeadlessDevice(error);
    if (run.device == nullptr) fail(error);
    d3dDevice = run.device;
    run.device->setRasterizerDiscard(!run.options.pixels);
    run.device->setDrawingEnabled(run.options.gl);

    resetHeadlessSystem();
    if (run.options.playerHours > 0.0) return soakPlayer(run.options.playerHours, run.options.fps) ? 0 : 1;
    if (run.options.clock == Clock::Wrap) run.firstTick = startOfWrapRun;
    headlessSystem.tick = run.firstTick;
    // The show's own length, the clock's detours and the loading screen, twice over.
    run.frameLimit = 2 * (uint64_t(showLengthMs) + 50000) * run.options.fps / 1000 + 2 * loadingFrameCount;
    playIntro(afterFrame);

    run.own.finish(ownHeapBytes());
    run.whole.finish(wholeHeapBytes());
    const GLDeviceStats stats = run.device->stats();
    printReport(stats);
    bool good = heapHeld();
    if (endReached == 0) {
        std::fprintf(stderr, "quorbel-soak: the show did not end by itself within %llu frames\n",
                     static_cast<unsigned long long>(run.frameLimit));
        good = false;
    }
    // Running the particle programs backwards in time makes some ages negative and their
    // square roots not numbers; the device drops those sprites. Any other clock must make none.
    if (stats.droppedPrimitives != 0) {
        const bool expected = run.options.clock == Clock::Back;
        std::fprintf(stderr, "quorbel-soak: %s%llu primitives with a position that is not a number were dropped\n",
                     expected ? "" : "error: ", static_cast<unsigned long long>(stats.droppedPrimitives));
        if (!expected) good = false;
    }
    return good ? 0 : 1;
}
