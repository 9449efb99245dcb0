// bench_text.cpp: the cost of one line of cube-pixel text at full visibility.
#include <benchmark/benchmark.h>

#include "app/app.h"
#include "core/core.h"
#include "platform/recording/recording_device.h"
#include "text/text.h"

namespace {

const char benchLine[] = "you have experienced Quorbel";

// The show's side alone: glyph walk, one translation and one random draw per lit pixel, and
// the calls into a device that only logs them.
void BM_drawTextLineRecording(benchmark::State& state) {
    RecordingDevice device;
    device.keepVertices = false;
    d3dDevice = &device;
    loadMathApi();
    buildEdgeCube();
    size_t draws = 0;
    for (auto _ : state) {
        device.clearLog();
        drawText(benchLine, 1.0f, 120, 0, -250, 120, 0, 0);
        draws = device.count(CallKind::DrawPrimitiveUP);
    }
    state.counters["cubes"] = double(draws);
    d3dDevice = nullptr;
}
BENCHMARK(BM_drawTextLineRecording)->Unit(benchmark::kMicrosecond);

}  // namespace
