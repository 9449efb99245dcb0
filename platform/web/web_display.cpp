// web_display.cpp: the canvas's WebGL2 context and the device on it: the drawing buffer that
// follows the canvas, the drawing scale that holds the frame rate, the frames' report, and the
// context made again after the browser gave it back.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/headless/headless_system.h"
#include "platform/system.h"
#include "platform/web/page.h"
#include "platform/web/web_state.h"
#include "platform/web/web_system.h"

namespace {

void applyDrawSize(DrawSize size, const GLPresentRect& fit) {
    if (webSystem.fixedScale) {
        pageReportSize(fit.width, fit.height, 640, 480);
        return;
    }
    int oldWidth = 0, oldHeight = 0;
    webSystem.display->backBufferSize(oldWidth, oldHeight);
    if (!webSystem.display->setResolution(size.width, size.height) && !webSystem.resolutionRefused) {
        webSystem.resolutionRefused = true;
        char line[160];
        std::snprintf(line, sizeof line, "WebGL cannot draw the picture at %d x %d; it is drawn smaller and scaled up",
                      size.width, size.height);
        systemWarn(line);
    }
    int width = 0, height = 0;
    webSystem.display->backBufferSize(width, height);
    webSystem.pictureLost = webSystem.pictureLost || width != oldWidth || height != oldHeight;
    pageReportSize(fit.width, fit.height, width, height);
}

}  // namespace

// Polled every frame, so a resize or a change of full screen or of the page's zoom is followed
// at the next frame, as the native window follows its size.
void fitPresentTarget() {
    if (!pageFitCanvas(webSystem.devicePixels ? 1 : 0) && webSystem.presentFitted) return;
    webSystem.presentFitted = true;
    GLPresentTarget target;
    target.drawableWidth = pageCanvasWidth();
    target.drawableHeight = pageCanvasHeight();
    webSystem.display->setPresentTarget(target);  // the browser shows the canvas when the frame's task ends
    const GLPresentRect fit = presentRectangle(target.drawableWidth, target.drawableHeight);
    if (!webSystem.devicePixels || fit.width <= 0 || fit.height <= 0) return;
    DrawSize size = {fit.width, fit.height};
    if (webSystem.scaler != nullptr) {
        webSystem.scaler->setTop(webSystem.fixedScale ? DrawSize{640, 480} : size);
        size = webSystem.scaler->size();
    }
    applyDrawSize(size, fit);
}

void reportFrames() {
    const FrameReport report = webSystem.scaler->report();
    std::string sizes;
    for (const auto& [size, seconds] : report.sizes) {
        char text[64];
        std::snprintf(text, sizeof text, "%s%dx%d %.1f s", sizes.empty() ? "" : ", ", size.width, size.height, seconds);
        sizes += text;
    }
    pageReportFrames(report.frames, report.medianMs, report.p99Ms, sizes.c_str(), frameReportLine(report).c_str());
}

// When the last animation frame drew a show frame, the time since the show frame before is the
// browser's presented-to-presented interval (it shows the canvas when each frame's task ends). A
// paused picture, a run-up and the loading screen are not fed, so the scale holds still while
// paused.
void showFramePresented() {
    if (!webSystem.showFrameDrawn) return;
    webSystem.showFrameDrawn = false;
    const double now = emscripten_get_now();
    if (webSystem.lastFrameAt >= 0.0 && webSystem.scaler->framePresented(now - webSystem.lastFrameAt, 0.0)) {
        const GLPresentRect fit = presentRectangle(pageCanvasWidth(), pageCanvasHeight());
        applyDrawSize(webSystem.scaler->size(), fit);
    }
    webSystem.lastFrameAt = now;
    if (webSystem.scaler->frames() % 30 == 1) reportFrames();
}

// Called by the page when the browser gives the WebGL context back, between two animation
// frames: the device's GL objects made again before the next frame draws, the picture at its
// size; the page hears whether that worked.
extern "C" EMSCRIPTEN_KEEPALIVE void webContextRestored() {
    char error[256] = "";
    GLDevice* display = webSystem.display;
    const bool made = display == nullptr || display->restoreContext(error, sizeof error);
    if (made && display != nullptr) {
        webSystem.presentFitted = false;
        fitPresentTarget();
        webSystem.pictureLost = true;
    }
    pageContextMade(made ? 1 : 0, error);
}

// The black last frame is the device's, so that its state cache knows what GL was told.
void webShowEnd() {
    if (webSystem.display != nullptr) {
        const GLWindowFill black = {0, 0, pageCanvasWidth(), pageCanvasHeight(), 0.0f};
        webSystem.display->setDrawingEnabled(true);
        webSystem.display->fillWindow(&black, 1);
    }
    pageShowEnd();
}

int32_t systemScreenHeight() { return webSystem.virtualClock ? headlessSystem.screenHeight : pageScreenHeight(); }
int32_t systemScreenWidth() { return webSystem.virtualClock ? headlessSystem.screenWidth : pageScreenWidth(); }

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
    attributes.preserveDrawingBuffer = webSystem.virtualClock ? EM_TRUE : EM_FALSE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0) systemFail("the browser gives the canvas no WebGL 2 context (is hardware acceleration off?)");
    emscripten_webgl_make_context_current(context);
    char error[256] = "";
    webSystem.display = createGLDevice(error, sizeof error);
    if (webSystem.display == nullptr) systemFail(error);
    if (!webSystem.virtualClock)
        webSystem.scaler = std::make_unique<DrawScaleController>(
            1000.0 / 60.0, static_cast<int>(std::lround(480 * webSystem.minScale)), !webSystem.fixedScale && !webSystem.fixedSize);
    fitPresentTarget();
    return webSystem.display;
}

void systemHideCursor() { pageHideCursor(); }

bool systemPictureLost() {
    const bool lost = webSystem.pictureLost;
    webSystem.pictureLost = false;
    return lost;
}

void systemShowFrameAt(uint32_t) { webSystem.showFrameDrawn = webSystem.showPresenting; }

// The canvas keeps showing what was drawn last; the control bar is the page's.
void systemPresentAgain(bool) {}
