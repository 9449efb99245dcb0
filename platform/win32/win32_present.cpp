// win32_present.cpp: the show's frames as the Windows services see them: Direct3D presents them
// itself, so the services count them by the player's marks, for the end line and the frame log;
// a paused picture stays in the window as Direct3D left it.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/draw_scale.h"
#include "platform/switches.h"
#include "platform/system.h"
#include "platform/win32/win32_internal.h"

namespace {

using Clock = std::chrono::steady_clock;

// Only the report is kept: Direct3D draws at 640 x 480 whatever the window's size.
DrawScaleController frames(1000.0 / 60.0, 480, false);
bool reporting;
int framesShown;
Clock::time_point firstFrameAt, lastFrameAt;
uint32_t shownMs;
FILE* frameLog;
bool frameLogTried;

// QUORBEL_FRAME_LOG, as on the desktop: per show frame the time it began (ms after the first),
// the height drawn at and the show time.
void logFrame(Clock::time_point now, uint32_t ms) {
    if (!frameLogTried) {
        frameLogTried = true;
        if (switchNamed(Switch::FrameLog)) {
            const char* path = switchValue(Switch::FrameLog);
            frameLog = std::fopen(path, "w");
            if (frameLog == nullptr)
                std::fprintf(stderr, "quorbel: warning: cannot write the frame log %s: %s\n", path, std::strerror(errno));
        }
    }
    if (frameLog == nullptr) return;
    std::fprintf(frameLog, "%.1f 480 %u\n", std::chrono::duration<double, std::milli>(now - firstFrameAt).count(), ms);
}

}  // namespace

void showStarted() {
    reporting = true;
    frames.setTop(DrawSize{640, 480});
}

uint32_t lastShownMs() { return shownMs; }

void finishPresenting() {
    if (reporting) {
        FrameReport report = frames.report();
        report.frames = framesShown;
        report.seconds = std::chrono::duration<double>(lastFrameAt - firstFrameAt).count();
        std::fprintf(stderr, "quorbel: %s\n", frameReportLine(report).c_str());
    }
    if (frameLog != nullptr) std::fclose(frameLog);
}

// A frame starts drawing: the interval since the last one is the last one's time.
void systemShowFrameAt(uint32_t ms) {
    const Clock::time_point now = Clock::now();
    if (framesShown++ == 0) firstFrameAt = now;
    else frames.framePresented(std::chrono::duration<double, std::milli>(now - lastFrameAt).count(), 0.0);
    lastFrameAt = now;
    shownMs = ms;
    logFrame(now, ms);
}

// The bar is not drawn on Windows: Direct3D owns the window's pixels.
void systemShowProgress(uint32_t, uint32_t, const uint32_t*, int32_t, uint32_t) {}

// The window keeps the picture presented last; a paced call waits a refresh, so that a paused
// show does not spin a core.
void systemPresentAgain(bool paced) {
    pumpMessages();
    if (paced) Sleep(16);
    // The wait is no frame's time: the next interval counts from here.
    if (framesShown > 0) lastFrameAt = Clock::now();
}

bool systemHeld() { return false; }

bool systemPictureLost() { return false; }
