// window_options.h: what the show's command line asks of its window beyond the show's own
// request (a borderless 640 x 480 window, or the full screen); the desktop's and Windows' seams
// both follow it.
#pragma once

// SDL_CreateWindow refuses a larger side ("Window is too large").
constexpr int largestWindowSide = 16384;

struct WindowOptions {
    int width = 0, height = 0;  // --size WxH: a window of this size (0: the show's 640 x 480)
    bool fixedScale = false;    // --scale 1: the 640 x 480 picture scaled up, not drawn at size
    bool fixedSize = false;     // --fixed-size: always drawn at the window's size
    double minScale = 1.0;      // --min-scale S: slow frames may lower the drawing to 640 x 480 times S
};

// Before the show starts; the window made later follows it.
void setWindowOptions(const WindowOptions& options);
