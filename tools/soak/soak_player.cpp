// soak_player.cpp: the player looping for hours: what a party screen or a shop window does with
// --loop. The run is cut into eight rows: the heap, the snapshots kept and the CPU per step.
#include "tools/soak/soak_player.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <vector>

#include "app/player.h"
#include "app/show_life.h"
#include "platform/draw_scale.h"
#include "platform/headless/headless_system.h"
#include "tools/soak/heap_count.h"

namespace {

// Keys in turn, one every keyEveryMs of the clock: seeks every way, a pause, a frame step while
// paused, a resume.
const PlayerKey keyTurns[] = {PlayerKey::Right,  PlayerKey::PageDown, PlayerKey::Space,    PlayerKey::Period,
                              PlayerKey::Space,  PlayerKey::Left,     PlayerKey::Home,     PlayerKey::PageUp,
                              PlayerKey::ShiftLeft, PlayerKey::ShiftRight};
constexpr uint32_t keyEveryMs = 7000;
// Once the look-ahead has kept the show, the program's own heap stays put; the whole heap may
// move by what a seek's frame leaves in the renderer's pools, never run away with the hours.
constexpr size_t wholeHeapRunaway = size_t(64) << 20;
// CPU per step may wander with the mix of keys and phases in an hour, never grow with the hours.
constexpr double cpuGrowthAllowed = 1.5;

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void press(PlayerKey key) {
    if (headlessSystem.keysTaken == headlessSystem.keyCount) headlessSystem.keysTaken = headlessSystem.keyCount = 0;
    if (headlessSystem.keyCount < 16) headlessSystem.keys[headlessSystem.keyCount++] = key;
}

struct Row {
    size_t ownHeap, wholeHeap;
    size_t snapshotBytes;
    double cpuPerStepUs;
};

}  // namespace

bool soakPlayer(double hours, uint32_t fps) {
    PlayerOptions options;
    options.loop = true;
    options.loopFromMs = 0;
    options.loopToMs = lastShowFrameMs;
    Player player(options);
    ShowLife life(ScreenChoice::Window, &player);
    const uint32_t stepMs = 1000 / fps;
    while (life.stage() != LifeStage::Playing) {
        headlessSystem.tick += stepMs;
        if (!life.step()) return false;
    }
    // The page and the window feed their drawing scale every frame: it must not grow either.
    DrawScaleController scaler(1000.0 / 60.0, 480, true);
    scaler.setTop({1440, 1080});

    const uint64_t steps = std::max<uint64_t>(8, uint64_t(hours * 3600.0 * fps)), stepsPerRow = steps / 8;
    std::vector<Row> rows;
    rows.reserve(8);  // the table's own growth would count against the flat heap
    double rowStarted = cpuSeconds();
    std::printf("quorbel-soak: the player looping the show for %.1f h of show time at %u fps, a key every %u s\n", hours,
                fps, keyEveryMs / 1000);
    std::printf("  show time h  own heap bytes  whole heap MiB  snapshots MiB  CPU per step us\n");
    for (uint64_t step = 1; step <= steps; ++step) {
        headlessSystem.tick += stepMs;
        if (step % (uint64_t(keyEveryMs) / stepMs) == 0) press(keyTurns[(step / (keyEveryMs / stepMs)) % std::size(keyTurns)]);
        if (!life.step()) {
            std::fprintf(stderr, "quorbel-soak: the looping show ended by itself after %llu steps\n",
                         static_cast<unsigned long long>(step));
            return false;
        }
        scaler.framePresented(stepMs, stepMs * 0.5);
        if (step % stepsPerRow != 0 || rows.size() == 8) continue;
        const double now = cpuSeconds();
        rows.push_back({ownHeapBytes(), wholeHeapBytes(), player.snapshotBytes(),
                        (now - rowStarted) * 1e6 / double(stepsPerRow)});
        rowStarted = now;
        const Row& row = rows.back();
        std::printf("  %11.2f  %14zu  %14.2f  %13.2f  %15.1f\n", double(step) / (3600.0 * fps), row.ownHeap,
                    double(row.wholeHeap) / 1048576.0, double(row.snapshotBytes) / 1048576.0, row.cpuPerStepUs);
        std::fflush(stdout);
    }
    bool steady = true;
    // The first row holds the look-ahead and the renderer's first use of every state; from the
    // second on nothing may grow.
    const Row& base = rows[1];
    for (size_t i = 2; i < rows.size(); ++i) {
        if (rows[i].ownHeap > base.ownHeap) {
            std::fprintf(stderr, "quorbel-soak: the program's own heap grew by %zu bytes from row 2 to row %zu\n",
                         rows[i].ownHeap - base.ownHeap, i + 1);
            steady = false;
        }
        if (rows[i].wholeHeap > base.wholeHeap + wholeHeapRunaway) {
            std::fprintf(stderr, "quorbel-soak: the whole heap grew by %zu bytes from row 2 to row %zu\n",
                         rows[i].wholeHeap - base.wholeHeap, i + 1);
            steady = false;
        }
        if (rows[i].cpuPerStepUs > base.cpuPerStepUs * cpuGrowthAllowed) {
            std::fprintf(stderr, "quorbel-soak: CPU per step grew from %.1f us in row 2 to %.1f us in row %zu\n",
                         base.cpuPerStepUs, rows[i].cpuPerStepUs, i + 1);
            steady = false;
        }
    }
    if (scaler.frames() != static_cast<int>(steps)) {
        std::fprintf(stderr, "quorbel-soak: the drawing scale counted %d frames of %llu\n", scaler.frames(),
                     static_cast<unsigned long long>(steps));
        steady = false;
    }
    headlessSystem.escapeHeld = true;
    life.step();
    return steady;
}
