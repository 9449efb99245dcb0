// app.h: start-up, the loading screen and the frame functions the show and the capture tool
// both call. The frame state they write is core/frame_state.h.
#pragma once

#include <cstdint>

#include "core/frame_state.h"
#include "platform/d3d9.h"

// ---- start-up, loading screen and frame loop ----

// The other subsystems' operations that start-up and the frames call, bound to the real ones
// at program start. Tests point entries at recorders to see what start-up and a frame asked for.
struct StartupSteps {
    void (*buildTunnel)();
    void (*scrambleCube)(int32_t n);
    void (*initParticleSystems)();
    void (*createNoiseTexture)();
    void (*buildEdgeCube)();
    void (*initWaveBuffer)();
    void (*renderSongStep)();
    void (*drawText)(const char* text, float visibility, float eyeX, float eyeY, float eyeZ,
                     float targetX, float targetY, float targetZ);
    void (*startMusic)();
    void (*stopMusic)();
    void (*updateBackgroundColor)();
    void (*renderTimeline)();
};

extern StartupSteps startupSteps;     // the real operations unless a test swapped some
extern const StartupSteps realStartupSteps;  // what startupSteps starts as, for tests to restore

constexpr int32_t loadingFrameCount = 64;  // one song row per loading frame

// How the show's display is chosen: by the question box, or already by the command line.
enum class ScreenChoice : int32_t { Ask, Window, FullScreen };

// The present parameters the device is created with; Windowed is FALSE for full screen.
D3DPRESENT_PARAMETERS showPresentParameters(bool fullScreen);

// Asks the question unless choice already answered it, opens the window and the device and
// hides the cursor. Sets d3dDevice.
void openDisplay(ScreenChoice choice);

// The question of the full-screen box and its caption.
extern const char fullScreenQuestion[];
extern const char fullScreenCaption[];

void initIntro();               // the one-time initialisation, in its fixed order
void loadingFrame(int32_t i);   // loading frame i of 0 ... 63: one song row, the two dissolving texts
void startShowClock();          // startTick from the tick count: show time 0, once the music is heard
void showFrame();               // one frame of the show at the current tick
void showFrameAt(uint32_t ms);  // one frame of the show at show time ms, whatever the clock says
// The frame loop's one turn: false (and nothing drawn) once Escape was pressed or the show
// reached its end, otherwise one showFrame.
bool showStep();

// The show's life, step by step, and runIntro, which drives it on the desktop: app/show_life.h.
