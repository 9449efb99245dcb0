// The drawing scale's controller on frame-time traces of a fill-bound renderer: a frame costs a
// fixed time plus a time per million pixels (with noise where asked), and is presented at the
// display's interval at the earliest, as the paced window presents it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/draw_scale.h"

namespace {

struct Scene {
    double seconds, fixedMs, msPerMegapixel, noise;  // noise: the cost varies by up to this fraction
};

struct TraceCase {
    const char* name;
    int bottomHeight;
    bool adapting, busyKnown;
    std::vector<Scene> scenes;
    std::vector<int> heights;  // the first, then after each change
};

constexpr double displayMs = 1000.0 / 60.0;
constexpr DrawSize screenTop = {1440, 1080};

const TraceCase traceCases[] = {
    {"steady scene within the interval stays at the top", 480, true, true, {{20, 3, 2, 0}}, {1080}},
    {"a sudden slow scene drops fast and the fast one after it recovers slowly", 480, true, true,
     {{5, 2, 2, 0}, {10, 2, 20, 0}, {20, 2, 2, 0}},
     {1080, 727, 800, 880, 968, 1080}},
    {"noisy frames with only presented times settle", 480, true, false, {{40, 3, 14, 0.5}}, {1080, 821, 709, 780}},
    {"a renderer that cannot keep up stops at 640 x 480", 480, true, true, {{10, 5, 200, 0}}, {1080, 648, 480}},
    {"--min-scale 0.5 lets it go to 320 x 240", 240, true, true, {{10, 5, 200, 0}}, {1080, 648, 389, 240}},
    {"--scale 1 or --fixed-size: no change at all", 480, false, true, {{10, 5, 200, 0}}, {1080}},
};

TEST(DrawScale, FollowsFrameTraces) {
    for (const TraceCase& c : traceCases) {
        DrawScaleController controller(displayMs, c.bottomHeight, c.adapting);
        controller.setTop(screenTop);
        std::vector<int> heights = {controller.size().height};
        uint32_t random = 12345;
        double clockMs = 0.0, changedMs = -1e9, endMs = 0.0;
        for (const Scene& scene : c.scenes) {
            for (endMs += scene.seconds * 1000.0; clockMs < endMs;) {
                random = random * 1664525u + 1013904223u;
                const double wobble = 1.0 + scene.noise * (double(random >> 8) / double(1 << 23) - 1.0);
                const DrawSize size = controller.size();
                const double busy = (scene.fixedMs + scene.msPerMegapixel * size.width * size.height / 1e6) * wobble;
                const double interval = busy > displayMs ? busy : displayMs;
                clockMs += interval;
                if (!controller.framePresented(interval, c.busyKnown ? busy : 0.0)) continue;
                const DrawSize next = controller.size();
                heights.push_back(next.height);
                EXPECT_GE(clockMs - changedMs, 500.0) << c.name << ": two changes within half a second";
                EXPECT_NEAR(next.width * 3, next.height * 4, 4) << c.name << ": not 4:3";
                EXPECT_GE(next.height, c.bottomHeight) << c.name;
                changedMs = clockMs;
            }
        }
        EXPECT_EQ(heights, c.heights) << c.name;
        const FrameReport report = controller.report();
        double seconds = 0.0;
        for (const auto& entry : report.sizes) seconds += entry.second;
        EXPECT_NEAR(seconds, clockMs / 1000.0, 1e-6) << c.name << ": the sizes' time is the trace's";
    }
}

TEST(DrawScale, AResizeKeepsTheFractionDrawnAndStartsAnew) {
    DrawScaleController controller(displayMs, 480, true);
    controller.setTop(screenTop);
    int presented = 0;
    while (presented < 100 && !controller.framePresented(100.0, 100.0)) ++presented;
    EXPECT_EQ(presented, 4) << "the fifth frame of 100 ms is the first past half a second";
    EXPECT_EQ(controller.size(), (DrawSize{864, 648})) << "the steepest drop, to 0.6";
    controller.setTop({2880, 2160});
    EXPECT_EQ(controller.size(), (DrawSize{1728, 1296}));
    EXPECT_FALSE(controller.framePresented(100.0, 100.0)) << "a resize is a change: half a second before the next";
}

TEST(DrawScale, ReportsFramesIntervalsAndSizes) {
    DrawScaleController controller(displayMs, 480, false);
    controller.setTop({1280, 960});
    for (int i = 0; i < 100; ++i) controller.framePresented(i == 99 ? 100.0 : i < 60 ? 16.0 : 20.0, 0.0);
    controller.setTop({640, 480});
    controller.framePresented(16.0, 0.0);
    EXPECT_FALSE(controller.framePresented(-5.0, 0.0));  // a clock that went back is no frame
    EXPECT_EQ(frameReportLine(controller.report()),
              "101 frames shown in 1.9 s, frame interval median 16.0 ms, 99th percentile 20.0 ms; drawn at "
              "1280x960 for 1.8 s, 640x480 for 0.0 s");
}

}  // namespace
