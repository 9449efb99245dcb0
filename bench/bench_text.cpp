// bench_text.cpp: the cost of one line of cube-pixel text at full visibility.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "core/core.h"
#include "core/frame_state.h"
#include "platform/egl/egl_context.h"
#include "platform/gl/gl_device.h"
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

// The same line through the OpenGL device on a headless context. With drawing off the device
// still takes every call and transforms and batches the vertices, so that figure is its CPU
// cost; with drawing on, reading the back buffer back waits for the GPU to finish the frame.
GLDevice* benchGLDevice(benchmark::State& state) {
    static GLDevice* device = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::string error;
        device = startHeadlessDevice(error);
        if (device == nullptr) std::fprintf(stderr, "no OpenGL device for the benchmark: %s\n", error.c_str());
    }
    if (device == nullptr) state.SkipWithError("no headless OpenGL device");
    return device;
}

void BM_drawTextLineGL(benchmark::State& state) {
    GLDevice* device = benchGLDevice(state);
    if (device == nullptr) return;
    const bool raster = state.range(0) != 0;
    d3dDevice = device;
    loadMathApi();
    buildEdgeCube();
    RenderMode = 0;
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
    device->setDrawingEnabled(raster);
    std::vector<uint8_t> pixels(640 * 480 * 4);
    const GLDeviceStats before = device->stats();
    for (auto _ : state) {
        drawText(benchLine, 1.0f, 120, 0, -250, 120, 0, 0);
        device->readBackBuffer(pixels.data());
    }
    const GLDeviceStats after = device->stats();
    const double lines = double(state.iterations());
    state.counters["glDraws/line"] = double(after.glDrawCalls - before.glDrawCalls) / lines;
    state.counters["d3dDraws/line"] = double(after.d3dDrawCalls - before.d3dDrawCalls) / lines;
    device->setDrawingEnabled(true);
    d3dDevice = nullptr;
}
BENCHMARK(BM_drawTextLineGL)->ArgName("raster")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
