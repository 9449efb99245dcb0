// web_state.h: the web system services' state, one object, and what their files share.
#pragma once

#include <memory>

#include "platform/draw_scale.h"
#include "platform/gl/gl_device.h"

struct WebSystem {
    bool virtualClock = false;     // a check mode: the clock, Escape and the wave are headlessSystem's
    bool devicePixels = true;      // the picture is drawn at the canvas's device pixels
    bool fixedScale = false;       // the address's scale=1, fixed-size and min-scale
    bool fixedSize = false;
    double minScale = 1.0;
    GLDevice* display = nullptr;
    std::unique_ptr<DrawScaleController> scaler;  // the live show's; fed with show frames only
    bool resolutionRefused = false;  // warned once that WebGL cannot draw at the size asked
    bool presentFitted = false;      // the device knows the canvas's size
    bool showPresenting = false;     // the sound has started: the report follows the frames
    bool showFrameDrawn = false;     // this animation frame drew a show frame (systemShowFrameAt)
    bool pictureLost = false;        // the back buffer was cleared at a new size, or its context was lost
    double lastFrameAt = -1.0;       // the page's clock (ms) at the last show frame presented
    double playedAt = -1.0;          // the page's clock (ms) when systemPlayWave started the sound
    bool warnedSilent = false;
};

extern WebSystem webSystem;

// web_display.cpp, once an animation frame (systemEscapePressed): the canvas's size followed,
// and the last show frame's interval fed to the drawing scale.
void fitPresentTarget();
void showFramePresented();
// The frames shown so far, to the page (and at the end of the sound, for its last line).
void reportFrames();
