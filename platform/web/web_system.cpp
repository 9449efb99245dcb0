// web_system.cpp: the system services in a browser: the question and the end line as page
// elements, the canvas's WebGL2 context, keys and the page's clock, and the soundtrack through
// Web Audio. The page (index.html) owns the elements and the key handlers; this file asks it.
#include "platform/web/web_system.h"

#include <emscripten.h>
#include <emscripten/html5.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/draw_scale.h"
#include "platform/gl/gl_device.h"
#include "platform/headless/headless_system.h"
#include "platform/sdl/wave_chunks.h"
#include "platform/system.h"

// The check modes' clock and keys, read by the capture tool's run (tools/capture/capture_run).
HeadlessSystemState headlessSystem;

void resetHeadlessSystem() { headlessSystem = HeadlessSystemState{}; }

namespace {

bool virtualClock = false;
bool devicePixels = true;  // the picture is drawn at the canvas's device pixels
bool resolutionRefused = false;
bool presentFitted = false;
GLDevice* display = nullptr;
bool fixedScale = false, fixedSize = false;
double minScale = 1.0;
std::unique_ptr<DrawScaleController> scaler;  // the live show's; fed with show frames only
bool showPresenting = false;   // the sound has started: the report follows the frames
bool showFrameDrawn = false;   // this animation frame drew a show frame (systemShowFrameAt)
bool pictureLost = false;      // the back buffer was cleared at a new size, or its context was lost
double lastFrameAt = -1.0;
double playedAt = -1.0;  // the page's clock (ms) when systemPlayWave started the sound
bool warnedSilent = false;

// ---- the page ----

EM_JS(int, pageHasWebGL2, (), { return typeof WebGL2RenderingContext !== 'undefined' ? 1 : 0; });

EM_JS(void, pageAsk, (const char* text, const char* caption), {
    Module.quorbelAsk(UTF8ToString(text), UTF8ToString(caption));
});

EM_JS(int, pageAnswer, (), { return Module.quorbelAnswer === undefined ? -1 : Module.quorbelAnswer; });

EM_JS(int, pageTakeEscape, (), {
    const pressed = Module.quorbelEscape ? 1 : 0;
    Module.quorbelEscape = false;
    return pressed;
});

EM_JS(void, pageReport, (const char* stage, int loadingFrames, double showMs), {
    const status = Module.quorbelStatus;
    status.stage = UTF8ToString(stage);
    status.loadingFrames = loadingFrames;
    status.showMs = showMs;
    const now = performance.now();
    status.reportedAt = now;
    if (status.firstFrameAt === undefined && loadingFrames > 0) status.firstFrameAt = now;
    if (status.showStartedAt === undefined && status.stage === 'show') {
        status.showStartedAt = now;
        status.firstShowMs = showMs;
    }
});

// The heap's size and the highest its allocations reached (the break), for the page's scripts.
EM_JS(void, pageReportHeap, (double breakAt), {
    const status = Module.quorbelStatus;
    status.heapBytes = HEAP8.length;
    status.heapTopBytes = Math.max(status.heapTopBytes || 0, breakAt);
});

EM_JS(void, pageSetTitle, (const char* title), { document.title = UTF8ToString(title); });

EM_JS(void, pageShowEnd, (), { Module.quorbelShowEnd(); });

EM_JS(void, pageFail, (const char* message), { Module.quorbelFail(UTF8ToString(message)); });

EM_JS(void, pageBadAddress, (const char* message), { Module.quorbelBadAddress(UTF8ToString(message)); });

EM_JS(void, pageQuery, (char* text, int size), { stringToUTF8(location.search.substring(1), text, size); });

EM_JS(void, pageHideCursor, (), { Module.canvas.style.cursor = 'none'; });

EM_JS(int, pageScreenWidth, (), { return screen.width | 0; });
EM_JS(int, pageScreenHeight, (), { return screen.height | 0; });

// The canvas's drawing buffer follows its size on the page, in device pixels (a check mode's
// stays 640 x 480 unless it asked for device pixels); true when it changed.
EM_JS(int, pageFitCanvas, (int devicePixels), {
    const canvas = Module.canvas;
    const ratio = window.devicePixelRatio || 1;
    const width = devicePixels ? Math.max(1, Math.round(canvas.clientWidth * ratio)) : 640;
    const height = devicePixels ? Math.max(1, Math.round(canvas.clientHeight * ratio)) : 480;
    if (canvas.width === width && canvas.height === height) return 0;
    canvas.width = width;
    canvas.height = height;
    return 1;
});

// The picture's largest size (the canvas's 4:3 within it) and the size it is drawn at.
EM_JS(void, pageReportSize, (int topWidth, int topHeight, int width, int height), {
    Module.quorbelStatus.top = topWidth + 'x' + topHeight;
    Module.quorbelStatus.size = width + 'x' + height;
});

// What the page's overlay (key F) and its scripts see of the frames shown.
EM_JS(void, pageReportFrames, (int frames, double medianMs, double p99Ms, const char* sizes, const char* line), {
    const status = Module.quorbelStatus;
    status.frames = frames;
    status.frameMedianMs = medianMs;
    status.frameP99Ms = p99Ms;
    status.sizes = UTF8ToString(sizes);
    status.frameReport = UTF8ToString(line);
});

EM_JS(int, pageCanvasWidth, (), { return Module.canvas.width; });
EM_JS(int, pageCanvasHeight, (), { return Module.canvas.height; });

// ---- the sound: the wave image's samples (16-bit stereo, interleaved) into one AudioBuffer,
// which the page plays from a moment and keeps running as the player wants (index.html) ----

EM_JS(int, pagePlay, (const int16_t* samples, int frames), {
    const audio = Module.quorbelAudio;
    if (!audio) return 0;
    try {
        const buffer = audio.createBuffer(2, frames, 44100);
        const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
        const pcm = HEAP16.subarray(samples >> 1, (samples >> 1) + 2 * frames);
        for (let i = 0; i < frames; ++i) {
            left[i] = pcm[2 * i] / 32768;
            right[i] = pcm[2 * i + 1] / 32768;
        }
        Module.quorbelPlaySound(buffer);
        return 1;
    } catch (e) {
        console.warn(e);
        return 0;
    }
});

// 1 heard, 0 not yet, -1 the context does not run (suspended or closed).
EM_JS(int, pageHeard, (), {
    const audio = Module.quorbelAudio;
    if (!audio || audio.state !== 'running') return -1;
    return audio.currentTime >= Module.quorbelHeardAt ? 1 : 0;
});

EM_JS(void, pageStop, (), { Module.quorbelStopSound(); });

// ---- the player's side of the page ----

EM_JS(int, pageTakeKey, (), {
    const keys = Module.quorbelKeys;
    return keys && keys.length ? keys.shift() : -1;
});

EM_JS(double, pageTakeSeek, (), {
    const ms = Module.quorbelSeekTo;
    Module.quorbelSeekTo = -1;
    return ms === undefined ? -1 : ms;
});

EM_JS(void, pageSeekAudio, (double ms), { Module.quorbelSoundFrom(ms); });

EM_JS(void, pagePauseAudio, (int paused), { Module.quorbelWantSound(!paused); });

// Whether the page holds the show: the WebGL context lost (and not yet made again), or the
// audio context stopped from outside.
EM_JS(int, pageHeld, (), { return Module.quorbelHeld() ? 1 : 0; });

// 0 drawing, 1 the context is lost, 2 it was given back but the device could not be made again.
EM_JS(int, pageContext, (), { return Module.quorbelContext(); });

EM_JS(void, pageContextMade, (int made, const char* error), { Module.quorbelContextMade(made, UTF8ToString(error)); });

EM_JS(void, pageShowBar, (double ms, double forMs), { Module.quorbelShowBar(ms, forMs); });

EM_JS(void, pagePlayer, (const char* help, const char* keyRows, const uint32_t* phases, int count, double loopFromMs,
                        double loopToMs), {
    const starts = [];
    for (let i = 0; i < count; ++i) starts.push(HEAPU32[(phases >> 2) + i]);
    Module.quorbelPlayer(UTF8ToString(help), JSON.parse(UTF8ToString(keyRows)), starts, loopFromMs, loopToMs);
});

EM_JS(void, pageNote, (const char* line), { Module.quorbelNote(UTF8ToString(line)); });

void applyDrawSize(DrawSize size, const GLPresentRect& fit) {
    if (fixedScale) {
        pageReportSize(fit.width, fit.height, 640, 480);
        return;
    }
    int oldWidth = 0, oldHeight = 0;
    display->backBufferSize(oldWidth, oldHeight);
    if (!display->setResolution(size.width, size.height) && !resolutionRefused) {
        resolutionRefused = true;
        char line[160];
        std::snprintf(line, sizeof line, "WebGL cannot draw the picture at %d x %d; it is drawn smaller and scaled up",
                      size.width, size.height);
        systemWarn(line);
    }
    int width = 0, height = 0;
    display->backBufferSize(width, height);
    pictureLost = pictureLost || width != oldWidth || height != oldHeight;
    pageReportSize(fit.width, fit.height, width, height);
}

// Polled every frame, so a resize or a change of full screen or of the page's zoom is followed
// at the next frame, as the native window follows its size.
void fitPresentTarget() {
    if (!pageFitCanvas(devicePixels ? 1 : 0) && presentFitted) return;
    presentFitted = true;
    GLPresentTarget target;
    target.drawableWidth = pageCanvasWidth();
    target.drawableHeight = pageCanvasHeight();
    display->setPresentTarget(target);  // the browser shows the canvas when the frame's task ends
    const GLPresentRect fit = presentRectangle(target.drawableWidth, target.drawableHeight);
    if (!devicePixels || fit.width <= 0 || fit.height <= 0) return;
    DrawSize size = {fit.width, fit.height};
    if (scaler != nullptr) {
        scaler->setTop(fixedScale ? DrawSize{640, 480} : size);
        size = scaler->size();
    }
    applyDrawSize(size, fit);
}

void reportFrames() {
    const FrameReport report = scaler->report();
    std::string sizes;
    for (const auto& [size, seconds] : report.sizes) {
        char text[64];
        std::snprintf(text, sizeof text, "%s%dx%d %.1f s", sizes.empty() ? "" : ", ", size.width, size.height, seconds);
        sizes += text;
    }
    pageReportFrames(report.frames, report.medianMs, report.p99Ms, sizes.c_str(), frameReportLine(report).c_str());
}

// Once an animation frame, before it is drawn: when the last one drew a show frame, the time
// since the show frame before is the browser's presented-to-presented interval (it shows the
// canvas when each frame's task ends). A paused picture, a run-up and the loading screen are not
// fed, so the scale holds still while paused.
void showFramePresented() {
    if (!showFrameDrawn) return;
    showFrameDrawn = false;
    const double now = emscripten_get_now();
    if (lastFrameAt >= 0.0 && scaler->framePresented(now - lastFrameAt, 0.0)) {
        const GLPresentRect fit = presentRectangle(pageCanvasWidth(), pageCanvasHeight());
        applyDrawSize(scaler->size(), fit);
    }
    lastFrameAt = now;
    if (scaler->frames() % 30 == 1) reportFrames();
}

}  // namespace

// ---- platform/web/web_system.h ----

void webUseVirtualClock(bool atDevicePixels) {
    virtualClock = true;
    devicePixels = atDevicePixels;
}

void webSetDrawOptions(bool scaleOne, bool atFixedSize, double lowestScale) {
    fixedScale = scaleOne;
    fixedSize = atFixedSize;
    minScale = lowestScale;
}

void webAskQuestion(const char* text, const char* caption) { pageAsk(text, caption); }

int webAnswer() { return pageAnswer(); }

bool systemWaveHeard() {
    if (playedAt < 0.0) return true;  // nothing plays
    const int heard = pageHeard();
    if (heard > 0) return true;
    if (emscripten_get_now() - playedAt < 1000.0) return false;
    if (!warnedSilent) systemWarn("the page's audio did not start within a second; the show goes on without waiting");
    warnedSilent = true;
    return true;
}

void webReport(const char* stage, int32_t loadingFrames, uint32_t showMs) {
    pageReport(stage, loadingFrames, static_cast<double>(showMs));
    pageReportHeap(static_cast<double>(reinterpret_cast<uintptr_t>(sbrk(0))));
}

void webSetTitle(const char* title) { pageSetTitle(title); }

// The black last frame is the device's, so that its state cache knows what GL was told.
void webShowEnd() {
    if (display != nullptr) {
        const GLWindowFill black = {0, 0, pageCanvasWidth(), pageCanvasHeight(), 0.0f};
        display->setDrawingEnabled(true);
        display->fillWindow(&black, 1);
    }
    pageShowEnd();
}

void webQueryString(char* text, int size) { pageQuery(text, size); }

int64_t webTakeSeek() { return static_cast<int64_t>(pageTakeSeek()); }

void webStartPlayer(const char* help, const char* keyRows, const uint32_t* phaseStarts, int32_t count,
                    uint32_t loopFromMs, uint32_t loopToMs) {
    pagePlayer(help, keyRows, phaseStarts, count, static_cast<double>(loopFromMs), static_cast<double>(loopToMs));
}

void webNote(const char* line) { pageNote(line); }

// Called by the page when the browser gives the WebGL context back, between two animation
// frames: the device's GL objects made again before the next frame draws, the picture at its
// size; the page hears whether that worked.
extern "C" EMSCRIPTEN_KEEPALIVE void webContextRestored() {
    char error[256] = "";
    const bool made = display == nullptr || display->restoreContext(error, sizeof error);
    if (made && display != nullptr) {
        presentFitted = false;
        fitPresentTarget();
        pictureLost = true;
    }
    pageContextMade(made ? 1 : 0, error);
}

// ---- platform/system.h ----

void systemStart() {
    if (!pageHasWebGL2()) systemFail("this browser has no WebGL 2, which the show needs");
}

// The page asked already (webAskQuestion): its answer, and No while there is none.
bool systemAskYesNo(const char*, const char*) { return webAnswer() == 1; }

int32_t systemScreenHeight() { return virtualClock ? headlessSystem.screenHeight : pageScreenHeight(); }
int32_t systemScreenWidth() { return virtualClock ? headlessSystem.screenWidth : pageScreenWidth(); }

// Full screen was asked for by the page when the question was answered (a user gesture is
// needed for it); the canvas fills the page either way, the picture 4:3 within it.
IDirect3DDevice9* systemCreateDisplay(int32_t, int32_t, int32_t, int32_t, const D3DPRESENT_PARAMETERS*) {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;  // the back buffer's alpha is no part of the picture
    attributes.depth = EM_FALSE;  // the device draws into framebuffers of its own
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.premultipliedAlpha = EM_FALSE;
    // The check modes' frame stays readable after the browser has shown it.
    attributes.preserveDrawingBuffer = virtualClock ? EM_TRUE : EM_FALSE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0) systemFail("the browser gives the canvas no WebGL 2 context (is hardware acceleration off?)");
    emscripten_webgl_make_context_current(context);
    char error[256] = "";
    display = createGLDevice(error, sizeof error);
    if (display == nullptr) systemFail(error);
    if (!virtualClock)
        scaler = std::make_unique<DrawScaleController>(1000.0 / 60.0, static_cast<int>(std::lround(480 * minScale)),
                                                       !fixedScale && !fixedSize);
    fitPresentTarget();
    return display;
}

void systemHideCursor() { pageHideCursor(); }

uint32_t systemTickCount() {
    if (virtualClock) return headlessSystem.tick;
    // The page's clock in whole milliseconds, wrapping at 2^32 as a tick count does.
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}

bool systemEscapePressed() {
    if (virtualClock) {
        ++headlessSystem.escapeTests;
        return headlessSystem.escapeHeld;
    }
    // While the context is lost, GL answers nothing: the sizes wait for it to come back.
    if (display != nullptr && pageContext() == 0) fitPresentTarget();
    if (showPresenting) showFramePresented();
    return pageTakeEscape() != 0;
}

// A page that is closed takes the show with it; nothing else asks it to end.
bool systemQuitAsked() { return false; }

void systemPlayWave(const void* image, uint32_t bytes) {
    if (virtualClock) {
        headlessSystem.waveImage = image;
        headlessSystem.waveBytes = bytes;
        headlessSystem.waveStopped = false;
        return;
    }
    showPresenting = scaler != nullptr;
    const WaveData data = findWaveData(static_cast<const uint8_t*>(image), bytes);
    if (data.data == nullptr) {
        systemWarn("the wave image has no sample data; the show plays silently");
        return;
    }
    if (!pagePlay(reinterpret_cast<const int16_t*>(data.data), static_cast<int>(data.bytes / 4))) {
        systemWarn("the page has no audio; the show plays silently");
        return;
    }
    playedAt = emscripten_get_now();
}

void systemStopWave() {
    if (virtualClock) {
        headlessSystem.waveStopped = true;
        return;
    }
    pageStop();
    playedAt = -1.0;
    if (showPresenting) reportFrames();
}

// The player's keys come from the page's queue (index.html), codes in PlayerKey's order.
bool systemNextKey(PlayerKey* key) {
    if (virtualClock) return false;
    const int code = pageTakeKey();
    if (code < 0) return false;
    *key = static_cast<PlayerKey>(code);
    return true;
}

void systemSetWavePosition(uint32_t ms) {
    if (!virtualClock) pageSeekAudio(static_cast<double>(ms));
}

void systemPauseWave(bool paused) {
    if (!virtualClock) pagePauseAudio(paused ? 1 : 0);
}

// The page's control bar is the progress bar: it shows for the time asked, and the address
// follows the time so that it can be copied.
void systemShowProgress(uint32_t ms, uint32_t, const uint32_t*, int32_t, uint32_t untilTick) {
    if (!virtualClock) pageShowBar(static_cast<double>(ms), static_cast<double>(untilTick - systemTickCount()));
}

bool systemHeld() { return !virtualClock && pageHeld() != 0; }

bool systemPictureLost() {
    const bool lost = pictureLost;
    pictureLost = false;
    return lost;
}

void systemShowFrameAt(uint32_t) { showFrameDrawn = showPresenting; }

// The canvas keeps showing what was drawn last; the control bar is the page's.
void systemPresentAgain(bool) {}

// The runtime stays, so the page keeps its end line; nothing runs any more.
void systemExit(int) {
    emscripten_cancel_main_loop();
    emscripten_exit_with_live_runtime();
}

void systemWarn(const char* message) { std::fprintf(stderr, "quorbel: warning: %s\n", message); }

void webBadAddress(const char* message) {
    std::fprintf(stderr, "quorbel: %s\n", message);
    pageBadAddress(message);
    systemExit(1);
}

void systemFail(const char* message) {
    std::fprintf(stderr, "quorbel: %s\n", message);
    pageFail(message);
    systemExit(1);
}
