// draw_scale.h: the size the live show draws at, chosen from its recent frame times so that it
// keeps up with the display: lowered soon when frames miss the display's interval, raised slowly
// when there is room, never more often than every half second. Pure logic, shared by the window
// and the page, which feed it presented-to-presented times and apply the size it chooses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct DrawSize {
    int width = 0, height = 0;
    bool operator==(const DrawSize&) const = default;
};

struct FrameReport {
    int frames = 0;             // frames presented
    double seconds = 0.0;       // their intervals added up
    double medianMs = 0.0, p99Ms = 0.0;
    std::vector<std::pair<DrawSize, double>> sizes;  // each size drawn at and its seconds, largest first
};

class DrawScaleController {
public:
    // displayMs: the display's refresh interval. bottomHeight: the lowest height drawn (the
    // design's 480 unless asked lower). adapting false: the size stays at the top; only the
    // report is kept.
    DrawScaleController(double displayMs, int bottomHeight, bool adapting);

    // The largest size (the window's 4:3 fit). The first call starts there; a later one (a
    // resize) keeps the current fraction of it.
    void setTop(DrawSize top);

    // One presented frame: the time since the previous one was presented and, where known
    // (0 otherwise), the time it kept the renderer busy, without the pacing's wait. True when
    // size() changed.
    bool framePresented(double intervalMs, double busyMs);

    DrawSize size() const { return current; }
    // The report costs a pass over the histogram; the count alone, nothing.
    FrameReport report() const;
    int frames() const { return static_cast<int>(frameCount); }

private:
    // What the controller judges: the last frames, as many as the longest window can use. The
    // whole run is kept only as a histogram and sums, so hours of frames take no more room.
    struct Recent {
        float intervalMs, busyMs;
    };
    static constexpr size_t recentCapacity = 1024;

    DrawSize sized(int height) const;
    bool change(int height);
    size_t framesCovering(size_t limit, double ms) const;
    std::vector<float> lastOf(size_t count, float Recent::*field) const;

    double displayMs;
    int bottomHeight;
    bool adapting;
    DrawSize top, current;
    std::array<Recent, recentCapacity> recent{};  // a ring; recentNext is the next slot written
    size_t recentCount = 0, recentNext = 0;
    uint64_t frameCount = 0;
    double totalMs = 0.0;
    std::vector<uint32_t> histogram;  // intervals, in the bins of draw_scale.cpp
    std::vector<std::pair<DrawSize, double>> sizeMs;
    uint64_t framesAtSize = 0;  // frames since the size last changed
    double sinceChangeMs = 0.0;
    double raiseWaitMs;         // doubles when a raise had to be taken back
    bool lastWasRaise = false;
};

// The report as one line: frames, median and 99th percentile interval, the sizes and their time.
std::string frameReportLine(const FrameReport& report);

// The drawing options' rules, in the words the show's command line (--scale 1, --min-scale S)
// and the page's address (scale=1, min-scale=S) both refuse a value with: "" when it is good.
std::string scaleOptionFault(const std::string& value);
std::string minScaleOptionFault(const std::string& value, double& scale);
// A lowest scale beside a size held fixed: what is wrong with it, in the caller's option names.
std::string minScaleConflict(const std::string& scaleOne, const std::string& fixedSize);
