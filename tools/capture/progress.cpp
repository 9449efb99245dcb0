// progress.cpp: the status line of the long runs.
#include "tools/capture/progress.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string formatDuration(double seconds) {
    const long long total = seconds > 0 ? std::llround(seconds) : 0;
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    return text;
}

double estimateSecondsLeft(double seconds, uint64_t done, uint64_t remaining) {
    if (done == 0) return -1;
    return seconds * double(remaining) / double(done);
}

std::string progressLine(const std::string& what, uint64_t done, uint64_t total, double elapsed, double left) {
    std::string line = what + ": frame " + std::to_string(done) + " of " + std::to_string(total);
    if (total > 0) line += " (" + std::to_string(done * 100 / total) + "%)";
    line += ", " + formatDuration(elapsed) + " elapsed";
    if (left >= 0) line += ", about " + formatDuration(left) + " left";
    return line;
}

bool progressLineDue(bool terminal, int percent, int printedPercent, double secondsSincePrinted) {
    if (printedPercent < 0) return true;
    if (terminal) return secondsSincePrinted >= 0.25;
    return percent / 5 != printedPercent / 5 || secondsSincePrinted >= 10;
}

Progress::Progress(std::string what, uint64_t total)
    : what_(std::move(what)), total_(total), terminal_(isatty(STDERR_FILENO) == 1), start_(nowSeconds()) {}

double Progress::elapsedSeconds() const { return nowSeconds() - start_; }

void Progress::update(uint64_t done) {
    const double now = nowSeconds();
    if (done > 0 && paceStart_ < 0) {
        paceStart_ = now;
        paceDone_ = done;
    }
    const int percent = total_ > 0 ? static_cast<int>((done < total_ ? done : total_) * 100 / total_) : 0;
    if (!progressLineDue(terminal_, percent, printedPercent_, now - printedAt_)) return;
    const uint64_t remaining = done < total_ ? total_ - done : 0;
    const double left = paceStart_ < 0 ? -1 : estimateSecondsLeft(now - paceStart_, done - paceDone_, remaining);
    std::string line = "quorbel-capture: " + progressLine(what_, done, total_, now - start_, left);
    if (terminal_) {
        // Blanks over the tail of a longer line before.
        const size_t width = line.size();
        if (width < printedWidth_) line += std::string(printedWidth_ - width, ' ');
        printedWidth_ = width;
        std::fprintf(stderr, "\r%s", line.c_str());
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stderr);
    printedPercent_ = percent;
    printedAt_ = now;
}

void Progress::finish(uint64_t done) {
    std::string line = "quorbel-capture: " + what_ + ": " + std::to_string(done) + " frames, " +
                       formatDuration(elapsedSeconds()) + " in all";
    // On a terminal the final line takes the place of the running one.
    if (terminal_ && printedWidth_ > 0) {
        if (line.size() < printedWidth_) line += std::string(printedWidth_ - line.size(), ' ');
        line = "\r" + line;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}
