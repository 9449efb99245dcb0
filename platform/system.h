// system.h: every service the show takes from the operating system. The show calls nothing
// else of the OS; four implementations exist (platform/sdl: the window and sound of the show on
// the desktop; platform/headless: a virtual clock for the capture tool, the soak runner and the
// tests; platform/web: the page, its WebGL2 canvas and Web Audio in a browser; platform/win32:
// Windows with the design's own calls and d3d9.dll).
#pragma once

#include <cstdint>

#include "platform/d3d9.h"
#include "platform/player_keys.h"

// Called by runIntro, first of all: makes sure the show can be seen. Without a display it
// fails with a line that says how to record the show instead.
void systemStart();

// Called by runIntro, once, unless the command line already chose: the yes/no question box.
// Return chooses Yes, Escape chooses No; true for Yes. No box at all counts as No.
bool systemAskYesNo(const char* text, const char* caption);

// Called by runIntro, when placing the window: the primary screen's size in pixels (the height
// is asked first, as the show asks it).
int32_t systemScreenHeight();
int32_t systemScreenWidth();

// Called by runIntro, once: a visible borderless width x height window at (x, y) (which may be
// off screen), or a desktop full-screen window when params->Windowed is FALSE, with its GL 3.3
// core context (in a browser: the canvas and its WebGL2, that is GLES 3.0, context) and the
// Direct3D device drawing into it. Where vsync cannot be set, Present paces frames to the
// refresh rate. A failure ends the program through systemFail.
IDirect3DDevice9* systemCreateDisplay(int32_t x, int32_t y, int32_t width, int32_t height,
                                      const D3DPRESENT_PARAMETERS* params);

// Called by runIntro, once, after the window exists: hides the mouse cursor for good.
void systemHideCursor();

// Called by initIntro (the random skip), after the music started (startTick) and by every
// frame: the 32-bit millisecond tick count, wrapping at 2^32.
uint32_t systemTickCount();

// Called by the frame loop, before every frame: true while Escape is down or if it was pressed
// since the previous call; closing the window counts as Escape. Also keeps the window
// responsive (the show has no message loop of its own).
bool systemEscapePressed();

// Called by the start-up between its steps (the loading screen, a run-up, the wait for the first
// samples), where Escape is not looked at: true once the show was asked from outside to end (a
// signal such as SIGTERM, the window closed); it ends then, before its first frame.
bool systemQuitAsked();

// Called by the player's frame loop, after systemEscapePressed: the next player key pressed
// since the last call, in order; false when none is waiting (Escape goes to systemEscapePressed).
bool systemNextKey(PlayerKey* key);

// Called by the player after a seek, and by the start-up before startMusic: the sound goes on
// (or will start) from show time ms (the sample heard at show time 0 is the data's first),
// within one audio buffer.
void systemSetWavePosition(uint32_t ms);

// Called by the player when it pauses or resumes: the sound stops where it is, or goes on.
void systemPauseWave(bool paused);

// Called by the player after a seek, on pause and while a long seek runs: a thin bar at the
// bottom of the window, showing ms of lengthMs with the phases' starts marked, drawn over the
// next pictures presented until untilTick (a tick count); never part of the picture itself.
void systemShowProgress(uint32_t ms, uint32_t lengthMs, const uint32_t* marks, int32_t markCount, uint32_t untilTick);

// Called by the player before a frame of live play (and the frame a seek in live play lands
// on): the next Present is a show frame drawing show time ms. Only those feed the drawing scale
// and the frame log; the loading screen's and a paused picture drawn again do not. On the
// desktop this is also the show's clock that the sound is held to, read as ms now.
void systemShowFrameAt(uint32_t ms);

// Called by the player while paused (paced: the loop waits for the display as a frame would)
// and while a long run-up runs (not paced: it goes on at once): the picture presented last,
// shown again with the progress bar over it. No show frame: the drawing scale does not see it.
void systemPresentAgain(bool paced);

// Called by the player before every step of the show: true while the platform can neither show
// nor play it (a lost WebGL context, an audio context stopped from outside). The player pauses
// while it holds and, when it ends, goes on with sound and picture in step, unless the viewer
// had paused.
bool systemHeld();

// Called by the player before every step of the show: true, once, after the picture presented
// last was lost (drawn again at a new size, a context restored): a paused show draws it again.
bool systemPictureLost();

// Called by startMusic, once, after the loading screen: plays a complete in-memory RIFF/WAVE
// image (44,100 Hz, stereo, 16-bit) asynchronously from its data chunk (from the position a
// systemSetWavePosition before it named), and returns at once: the device is opened and started
// where a sound server that does not answer cannot hold the show (on the desktop, a thread of
// its own). Without an audio device it warns once and the show goes on silently.
void systemPlayWave(const void* image, uint32_t bytes);

// Called by the start-up after startMusic, until it is true: whether the first samples are
// heard; the show's clock starts then. True at once where nothing plays; on the desktop true
// after a second at most, with one warning where no sound came by then (the sound joins in step
// when it does).
bool systemWaveHeard();

// Called by stopMusic, once, when the frame loop ends: stops the playback.
void systemStopWave();

// Called by runIntro at the end of the show: ends the process with this code.
[[noreturn]] void systemExit(int code);

// Called by the scenes (tunnel, cube) and the services themselves (sound), when something asked
// for cannot be had and the show goes on without it: prints "quorbel: warning: " and the
// message as one line on stderr.
void systemWarn(const char* message);

// Called by the start-up services when the environment cannot run the show (no display, no
// OpenGL 3.3 or WebGL2), and by the browser's check modes when one cannot do what it was asked:
// prints the message as one line on stderr and exits non-zero.
[[noreturn]] void systemFail(const char* message);
