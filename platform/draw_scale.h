// draw_scale.h: the size the live show draws at, chosen from its recent frame times so that it
// keeps up with the display: lowered soon when frames miss the display's interval, raised slowly
// when there is room, never more often than every half second. Pure logic, shared by the window
// and the page, which feed it presented-to-presented times and apply the size it chooses.
#pragma once

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
    FrameReport report() const;
    // Every frame's interval and the height it was drawn at, in order.
    const std::vector<float>& frameIntervals() const { return intervals; }
    const std::vector<int>& frameHeights() const { return heights; }

private:
    DrawSize sized(int height) const;
    bool change(int height);

    double displayMs;
    int bottomHeight;
    bool adapting;
    DrawSize top, current;
    std::vector<float> intervals, busy;  // every frame's, for the report and the recent window
    std::vector<int> heights;
    std::vector<std::pair<DrawSize, double>> sizeMs;
    size_t changedAt = 0;       // frames seen when the size last changed
    double sinceChangeMs = 0.0;
    double raiseWaitMs;         // doubles when a raise had to be taken back
    bool lastWasRaise = false;
};

// The report as one line: frames, median and 99th percentile interval, the sizes and their time.
std::string frameReportLine(const FrameReport& report);
