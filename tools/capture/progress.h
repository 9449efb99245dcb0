// progress.h: one status line for the long runs (video, frames, sheet, bench): frames done,
// elapsed time and an estimate of the time left, on stderr.
#pragma once

#include <cstdint>
#include <string>

// "0:05", "1:05", "1:02:03": whole seconds, rounded.
std::string formatDuration(double seconds);

// The time left for `remaining` units at the pace of `done` units in `seconds`; negative when
// nothing is done yet to judge the pace by.
double estimateSecondsLeft(double seconds, uint64_t done, uint64_t remaining);

// "video: frame 120 of 9961 (1%), 1:05 elapsed, about 2:30 left"; no estimate when left < 0.
std::string progressLine(const std::string& what, uint64_t done, uint64_t total, double elapsed, double left);

// Whether a new line is worth printing: on a terminal a few times a second (the line is
// rewritten in place); in a log every 5 percent or every 10 s.
bool progressLineDue(bool terminal, int percent, int printedPercent, double secondsSincePrinted);

class Progress {
public:
    // total: the units the run will do. The pace is measured from the first unit done on, so
    // that a cheap run-up before it (frames with drawing off) does not flatter the estimate.
    Progress(std::string what, uint64_t total);
    void update(uint64_t done);
    // The final line with the total time, and a newline.
    void finish(uint64_t done);
    double elapsedSeconds() const;

private:
    std::string what_;
    uint64_t total_;
    bool terminal_;
    double start_, paceStart_ = -1, printedAt_ = -1;
    uint64_t paceDone_ = 0;
    int printedPercent_ = -1;
    size_t printedWidth_ = 0;
};
