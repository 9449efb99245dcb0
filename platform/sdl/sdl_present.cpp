// sdl_present.cpp: the picture into the window: the swap, paced to the display where vsync does
// not wait; the drawing scale fed with the show's frame times and applied between frames; the
// player's progress bar over the picture; the frame log and the end line on the frames shown.
#include <SDL.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/draw_scale.h"
#include "platform/memory_budget.h"
#include "platform/sdl/sdl_internal.h"
#include "platform/switches.h"
#include "platform/system.h"

namespace {

using Clock = std::chrono::steady_clock;

// ---- the player's progress bar ----

// Drawn into the window after the picture was put there, so it is never part of the picture.
struct ProgressBar {
    uint32_t ms = 0, lengthMs = 1, untilTick = 0;
    uint32_t marks[16] = {};
    int32_t markCount = 0;
} progressBar;

void drawProgressBar() {
    if (sdlWindow == nullptr || int32_t(progressBar.untilTick - systemTickCount()) <= 0) return;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(sdlWindow, &width, &height);
    const int thickness = height / 120 > 3 ? height / 120 : 3;
    GLWindowFill fills[2 + 16];
    fills[0] = {0, 0, width, thickness, 0.25f};
    fills[1] = {0, 0, int(int64_t(width) * progressBar.ms / progressBar.lengthMs), thickness, 0.9f};
    for (int32_t i = 0; i < progressBar.markCount; ++i)
        fills[2 + i] = {int(int64_t(width) * progressBar.marks[i] / progressBar.lengthMs), 0, 2, thickness, 0.0f};
    sdlDevice->fillWindow(fills, 2 + progressBar.markCount);
}

// ---- frame pacing ----

// Where vsync cannot be set (or is set but does not wait, as under Xvfb), swaps are spaced to
// the display's refresh period so the show does not spin a core.
bool pacing;
Clock::duration refreshPeriod;
Clock::time_point nextSwap;
int quickSwaps;          // consecutive swaps that returned at once although vsync was on

// ---- the drawing scale ----

// Sized to the window from the start; fed with the show's frames only (systemShowFrameAt marks
// them): not the loading screen's, which are the synthesiser's time, nor a paused picture shown
// again, so that the scale holds still while paused.
std::unique_ptr<DrawScaleController> scaler;
bool showPresenting;                // the sound has started: the end line reports the frames
bool scaleChanged;
bool pictureLost;                   // the back buffer was cleared at a new size
bool resolutionRefused;             // warned once: the drawable is larger than GL can draw
bool memoryShort;                   // warned once: the drawable is larger than memory holds
Clock::time_point lastPresented;
bool showFrameNext;                 // the next swap presents a show frame
uint32_t showFrameMs;               // the show time it draws
enum class Again { No, Paced, AtOnce } presentingAgain = Again::No;

// QUORBEL_FRAME_LOG names a file for bench/live_fps.sh: per show frame the time it was presented
// (ms after the first), the height it was drawn at and the show time it drew; written as the
// frames come, so a long run keeps nothing of them in memory.
FILE* frameLog;
bool frameLogTried;
// The end line counts every show frame and the time from the first to the last, as the frame log
// has them; the scale's own sums leave out the frames after a seek, a loop's wrap or a pause,
// whose gap it must not judge.
Clock::time_point firstShowFrameAt, lastShowFrameAt;
int showFramesPresented;

void logShowFrame(Clock::time_point now, int height, uint32_t showMs) {
    if (showFramesPresented++ == 0) firstShowFrameAt = now;
    lastShowFrameAt = now;
    if (!frameLogTried) {
        frameLogTried = true;
        if (!switchNamed(Switch::FrameLog)) return;
        const char* path = switchValue(Switch::FrameLog);
        frameLog = std::fopen(path, "w");
        if (frameLog == nullptr)
            std::fprintf(stderr, "quorbel: warning: cannot write the frame log %s: %s\n", path, std::strerror(errno));
    }
    if (frameLog == nullptr) return;
    const double at = std::chrono::duration<double, std::milli>(now - firstShowFrameAt).count();
    std::fprintf(frameLog, "%.1f %d %u\n", at, height, showMs);
}

// After a swap: the interval since the last show frame and, when paced, the time not spent waiting.
void showFramePresented(Clock::duration slept, bool paced) {
    const Clock::time_point now = Clock::now();
    logShowFrame(now, scaler->size().height, showFrameMs);
    if (lastPresented != Clock::time_point{}) {
        const double interval = std::chrono::duration<double, std::milli>(now - lastPresented).count();
        const double busy = paced ? interval - std::chrono::duration<double, std::milli>(slept).count() : 0.0;
        scaleChanged = scaler->framePresented(interval, busy) || scaleChanged;
    }
    lastPresented = now;
}

void applyDrawSize() {
    const DrawSize size = scaler->size();
    if (windowOptions.fixedScale || size.width <= 0) return;
    int oldWidth = 0, oldHeight = 0;
    sdlDevice->backBufferSize(oldWidth, oldHeight);
    if (!sdlDevice->setResolution(size.width, size.height) && !resolutionRefused) {
        resolutionRefused = true;
        std::fprintf(stderr, "quorbel: warning: OpenGL cannot draw the picture at %d x %d; it is drawn smaller and "
                             "scaled up\n", size.width, size.height);
    }
    int width = 0, height = 0;
    sdlDevice->backBufferSize(width, height);
    pictureLost = pictureLost || width != oldWidth || height != oldHeight;
}

// The largest drawing up to top that the memory available holds, besides what the drawing held
// now gives back when it is made again; warned once where that is less than top. Never below
// 640 x 480, which the show needs whatever it costs.
DrawSize affordable(DrawSize top) {
    const uint64_t available = memoryAvailableBytes();
    if (available == 0 || top.height <= 480) return top;
    int heldWidth = 0, heldHeight = 0;
    sdlDevice->backBufferSize(heldWidth, heldHeight);
    const uint64_t room = available + drawingBytes(heldWidth, heldHeight);
    auto fits = [room](int width, int height) { return drawingBytes(width, height) <= room; };
    if (fits(top.width, top.height)) return top;
    const PixelSize largest = largestFitting({top.width, top.height}, {640, 480}, fits);
    const DrawSize drawn = largest.height > 0 ? DrawSize{largest.width, largest.height} : DrawSize{640, 480};
    if (!memoryShort) {
        memoryShort = true;
        std::fprintf(stderr, "quorbel: warning: drawing the picture at %d x %d needs %s, more than the %s available; "
                             "it is drawn at %d x %d and scaled up\n", top.width, top.height,
                     byteSize(drawingBytes(top.width, top.height)).c_str(), byteSize(room).c_str(), drawn.width,
                     drawn.height);
    }
    return drawn;
}

// ---- the swap ----

void pacedSwap(void*) {
    drawProgressBar();
    const bool showFrame = showFrameNext && presentingAgain == Again::No;
    if (showFrame) showFrameNext = false;
    // A run-up's progress is shown at once: it is no frame the display waits for.
    if (presentingAgain == Again::AtOnce) {
        SDL_GL_SwapWindow(sdlWindow);
        return;
    }
    if (pacing) {
        const Clock::time_point now = Clock::now();
        Clock::duration slept{};
        if (now < nextSwap) {
            std::this_thread::sleep_until(nextSwap);
            slept = Clock::now() - now;
        }
        nextSwap += refreshPeriod;
        // A slow frame does not earn a burst of fast ones afterwards.
        if (nextSwap < Clock::now()) nextSwap = Clock::now() + refreshPeriod;
        SDL_GL_SwapWindow(sdlWindow);
        if (showFrame) showFramePresented(slept, true);
        return;
    }
    const Clock::time_point before = Clock::now();
    SDL_GL_SwapWindow(sdlWindow);
    if (showFrame) showFramePresented({}, false);
    const bool quick = Clock::now() - before < refreshPeriod / 8;
    quickSwaps = quick ? quickSwaps + 1 : 0;
    if (quickSwaps >= 8) {
        pacing = true;
        nextSwap = Clock::now() + refreshPeriod;
    }
}

// ---- a window that cannot be seen ----

// Minimised or unmapped, the window shows nothing: the device rasterises nothing and swaps
// nothing, while the show's steps go on (the clock, the sound, the frames' state), paced to the
// display's rate so that the loop does not spin.
bool windowHidden;

void waitForRefresh() {
    std::this_thread::sleep_until(nextSwap);
    nextSwap += refreshPeriod;
    if (nextSwap < Clock::now()) nextSwap = Clock::now() + refreshPeriod;
}

}  // namespace

// ---- for the window ----

void followVisibility() {
    if (sdlWindow == nullptr || sdlDevice == nullptr) return;
    const bool hidden = (SDL_GetWindowFlags(sdlWindow) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) != 0;
    if (hidden != windowHidden) {
        windowHidden = hidden;
        sdlDevice->setDrawingEnabled(!hidden);
        // The frames not shown are no gap the drawing scale should judge.
        lastPresented = Clock::time_point{};
        nextSwap = Clock::now();
    }
    if (hidden) waitForRefresh();
}

void startPresenting(int refreshHz) {
    refreshPeriod = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / refreshHz));
    // The default presentation interval is vsync; where it cannot be set, pace by hand.
    pacing = SDL_GL_SetSwapInterval(1) != 0;
    nextSwap = Clock::now();
    const bool adapting = !windowOptions.fixedScale && !windowOptions.fixedSize;
    scaler = std::make_unique<DrawScaleController>(1000.0 / refreshHz,
                                                   static_cast<int>(std::lround(480 * windowOptions.minScale)), adapting);
    updatePresentTarget();
}

// The picture is drawn at the size it is shown at: the largest 4:3 rectangle of the drawable
// (in pixels, so HiDPI screens get theirs), or lower while frames run late, unless --scale 1
// keeps it at 640 x 480.
void updatePresentTarget() {
    if (sdlDevice == nullptr) return;
    GLPresentTarget target;
    SDL_GL_GetDrawableSize(sdlWindow, &target.drawableWidth, &target.drawableHeight);
    target.swap = pacedSwap;
    sdlDevice->setPresentTarget(target);
    const GLPresentRect fit = presentRectangle(target.drawableWidth, target.drawableHeight);
    if (fit.width <= 0 || fit.height <= 0) return;
    scaler->setTop(windowOptions.fixedScale ? DrawSize{640, 480} : affordable(DrawSize{fit.width, fit.height}));
    applyDrawSize();
}

void applyScaleChange() {
    if (scaleChanged) applyDrawSize();
    scaleChanged = false;
}

void showStarted() { showPresenting = scaler != nullptr; }

void finishPresenting() {
    if (showPresenting) {
        FrameReport report = scaler->report();
        report.frames = showFramesPresented;
        report.seconds = std::chrono::duration<double>(lastShowFrameAt - firstShowFrameAt).count();
        std::fprintf(stderr, "quorbel: %s\n", frameReportLine(report).c_str());
    }
    if (frameLog != nullptr) std::fclose(frameLog);
}

// ---- the show's calls ----

void systemShowProgress(uint32_t ms, uint32_t lengthMs, const uint32_t* marks, int32_t markCount, uint32_t untilTick) {
    progressBar.ms = ms;
    // A seek or a pause is no frame the renderer was late with: the scale does not see its gap.
    lastPresented = Clock::time_point{};
    progressBar.lengthMs = lengthMs > 0 ? lengthMs : 1;
    progressBar.untilTick = untilTick;
    progressBar.markCount = markCount < 16 ? markCount : 16;
    for (int32_t i = 0; i < progressBar.markCount; ++i) progressBar.marks[i] = marks[i];
}

void systemShowFrameAt(uint32_t ms) {
    showFrameNext = true;
    showFrameMs = ms;
    followShowClock(ms);
}

void systemPresentAgain(bool paced) {
    if (sdlDevice == nullptr) return;
    presentingAgain = paced ? Again::Paced : Again::AtOnce;
    sdlDevice->Present(nullptr, nullptr, nullptr, nullptr);
    presentingAgain = Again::No;
}

// The window's show never stops by itself: no context to lose, and the sound plays on its own.
bool systemHeld() { return false; }

bool systemPictureLost() {
    const bool lost = pictureLost;
    pictureLost = false;
    return lost;
}
