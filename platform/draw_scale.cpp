// draw_scale.cpp: the drawing scale's controller. Frame time on a software renderer grows with
// the pixels drawn, so a drop aims the pixel count at the display's interval at once; a raise
// is one small step after a while of room, and one that had to be taken back waits twice as
// long before the next try, so the size settles instead of flickering between two.
#include "platform/draw_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double minChangeMs = 500.0;   // no two changes closer than this
constexpr size_t dropFrames = 4;        // frames at a size before it is judged
constexpr double dropWindowMs = 500.0;  // the recent frames whose median is judged
constexpr double missFactor = 1.2;      // a median interval this far over the display's misses
constexpr size_t raiseFrames = 30;      // the window judged for room, at least this many frames
constexpr double raiseWindowMs = 1000.0;   // and this much time
constexpr double raiseStep = 1.1;       // in height: 21 % more pixels
constexpr double raiseFirstMs = 2000.0, raiseLongestMs = 16000.0;

double quantile(std::vector<float> values, double q) {
    if (values.empty()) return 0.0;
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(q * static_cast<double>(values.size())));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
    return values[at];
}

// The report's histogram: 0.1 ms bins up to 100 ms, 1 ms bins up to 1 s, 10 ms bins up to 10 s,
// and one for anything longer; a quantile is its bin's lower edge.
constexpr int fineBins = 1000, middleBins = 900, coarseBins = 900;
constexpr int histogramBins = fineBins + middleBins + coarseBins + 1;

int binOf(double ms) {
    if (ms < 100.0) return static_cast<int>(ms * 10.0 + 1e-9);
    if (ms < 1000.0) return fineBins + static_cast<int>(ms - 100.0);
    if (ms < 10000.0) return fineBins + middleBins + static_cast<int>((ms - 1000.0) / 10.0);
    return histogramBins - 1;
}

double binStartMs(int bin) {
    if (bin < fineBins) return bin / 10.0;
    if (bin < fineBins + middleBins) return 100.0 + (bin - fineBins);
    return 1000.0 + 10.0 * (bin - fineBins - middleBins);
}

double histogramQuantile(const std::vector<uint32_t>& histogram, uint64_t count, double q) {
    if (count == 0) return 0.0;
    const uint64_t at = std::min(count - 1, static_cast<uint64_t>(q * static_cast<double>(count)));
    uint64_t seen = 0;
    for (int bin = 0; bin < histogramBins; ++bin) {
        seen += histogram[size_t(bin)];
        if (seen > at) return binStartMs(bin);
    }
    return binStartMs(histogramBins - 1);
}

}  // namespace

DrawScaleController::DrawScaleController(double displayMs, int bottomHeight, bool adapting)
    : displayMs(displayMs), bottomHeight(bottomHeight), adapting(adapting), histogram(histogramBins, 0u),
      raiseWaitMs(raiseFirstMs) {}

// How many of the last frames, at most limit, it takes to cover ms of intervals.
size_t DrawScaleController::framesCovering(size_t limit, double ms) const {
    limit = std::min(limit, recentCount);
    size_t count = 0;
    for (double sum = 0.0; count < limit && sum < ms; ++count)
        sum += recent[(recentNext + recentCapacity - 1 - count) % recentCapacity].intervalMs;
    return count;
}

std::vector<float> DrawScaleController::lastOf(size_t count, float Recent::*field) const {
    count = std::min(count, recentCount);
    std::vector<float> values(count);
    for (size_t i = 0; i < count; ++i) values[i] = recent[(recentNext + recentCapacity - count + i) % recentCapacity].*field;
    return values;
}

DrawSize DrawScaleController::sized(int height) const {
    if (height >= top.height) return top;
    const int low = std::min(bottomHeight, top.height);
    // A size a few pixels above the bottom saves nothing and loses the bottom's exact pixels.
    if (height * 50 < low * 51) height = low;
    const int width = static_cast<int>(std::lround(double(height) * top.width / top.height));
    return {std::max(1, width), height};
}

void DrawScaleController::setTop(DrawSize size) {
    const bool first = top.height <= 0;
    const double fraction = first || !adapting ? 1.0 : double(current.height) / top.height;
    top = size;
    current = sized(static_cast<int>(std::lround(fraction * size.height)));
    framesAtSize = 0;
    sinceChangeMs = 0.0;
}

bool DrawScaleController::change(int height) {
    const DrawSize next = sized(height);
    if (next == current) return false;
    lastWasRaise = next.height > current.height;
    current = next;
    framesAtSize = 0;
    sinceChangeMs = 0.0;
    return true;
}

bool DrawScaleController::framePresented(double intervalMs, double busyMs) {
    if (!(intervalMs >= 0.0)) return false;  // a clock that went back, or no clock
    recent[recentNext] = {static_cast<float>(intervalMs), static_cast<float>(busyMs > 0.0 ? busyMs : 0.0)};
    recentNext = (recentNext + 1) % recentCapacity;
    recentCount = std::min(recentCount + 1, recentCapacity);
    ++frameCount;
    totalMs += intervalMs;
    ++histogram[size_t(binOf(intervalMs))];
    ++framesAtSize;
    sinceChangeMs += intervalMs;
    auto entry = std::find_if(sizeMs.begin(), sizeMs.end(), [&](const auto& e) { return e.first == current; });
    if (entry == sizeMs.end()) entry = sizeMs.insert(sizeMs.end(), {current, 0.0});
    entry->second += intervalMs;
    if (!adapting || top.height <= 0 || sinceChangeMs < minChangeMs) return false;

    const size_t atSize = static_cast<size_t>(std::min<uint64_t>(framesAtSize, recentCapacity));
    if (atSize < dropFrames) return false;
    const double median = quantile(lastOf(framesCovering(atSize, dropWindowMs), &Recent::intervalMs), 0.5);
    if (median > displayMs * missFactor) {
        if (current.height <= std::min(bottomHeight, top.height)) return false;
        // A raise taken back at once makes the next one wait longer; a scene grown slower does not.
        raiseWaitMs = lastWasRaise ? std::min(raiseLongestMs, raiseWaitMs * 2.0) : raiseFirstMs;
        const double factor = std::clamp(std::sqrt(displayMs * 0.9 / median), 0.6, 0.9);
        return change(static_cast<int>(std::lround(current.height * factor)));
    }
    if (current.height >= top.height || atSize < raiseFrames || sinceChangeMs < raiseWaitMs) return false;
    const size_t window = std::max(raiseFrames, framesCovering(atSize, raiseWindowMs));
    const std::vector<float> recentBusy = lastOf(window, &Recent::busyMs);
    const bool busyKnown = std::all_of(recentBusy.begin(), recentBusy.end(), [](float b) { return b > 0.0f; });
    // The renderer's own time says how much larger would still fit; presented times alone only
    // say that the display's rate is met, so the step is tried and taken back if it misses.
    const bool room = busyKnown ? quantile(recentBusy, 0.9) * raiseStep * raiseStep < displayMs * 0.8
                                : quantile(lastOf(window, &Recent::intervalMs), 0.9) <= displayMs * 1.1;
    if (!room) return false;
    const int raised = static_cast<int>(std::lround(current.height * raiseStep));
    return change(raised * 50 >= top.height * 49 ? top.height : raised);
}

FrameReport DrawScaleController::report() const {
    FrameReport report;
    report.frames = static_cast<int>(frameCount);
    report.seconds = totalMs / 1000.0;
    report.medianMs = histogramQuantile(histogram, frameCount, 0.5);
    report.p99Ms = histogramQuantile(histogram, frameCount, 0.99);
    for (const auto& [size, ms] : sizeMs) report.sizes.push_back({size, ms / 1000.0});
    std::sort(report.sizes.begin(), report.sizes.end(),
              [](const auto& a, const auto& b) { return a.first.height > b.first.height; });
    return report;
}

std::string frameReportLine(const FrameReport& report) {
    char text[160];
    std::snprintf(text, sizeof text, "%d frames shown in %.1f s, frame interval median %.1f ms, 99th percentile %.1f ms;",
                  report.frames, report.seconds, report.medianMs, report.p99Ms);
    std::string line = text;
    const char* separator = " drawn at ";
    for (const auto& [size, seconds] : report.sizes) {
        std::snprintf(text, sizeof text, "%s%dx%d for %.1f s", separator, size.width, size.height, seconds);
        line += text;
        separator = ", ";
    }
    if (report.sizes.empty()) line += " nothing drawn";
    return line;
}

std::string scaleOptionFault(const std::string& value) {
    return value == "1" ? "" : "takes 1 (the 640 x 480 picture scaled up), not '" + value + "'";
}

std::string minScaleOptionFault(const std::string& value, double& scale) {
    char tail = 0;
    double read = 0.0;
    if (std::sscanf(value.c_str(), "%lf%c", &read, &tail) == 1 && read >= 0.25 && read <= 1.0) {
        scale = read;
        return "";
    }
    return "takes a number from 0.25 to 1, not '" + value + "'";
}

std::string minScaleConflict(const std::string& scaleOne, const std::string& fixedSize) {
    return "lowers a drawing size that " + scaleOne + " and " + fixedSize + " hold fixed";
}
