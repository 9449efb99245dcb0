// sdl_internal.h: what the files of the show's SDL services share: the window, its device and
// options, how the show is leaving, and the calls from one file into another.
#pragma once

#include <SDL.h>

#include <atomic>
#include <string>

#include "platform/gl/gl_device.h"
#include "platform/window_options.h"

// ---- sdl_window.cpp: the window, its events and the exit ----

extern SDL_Window* sdlWindow;          // the show's window, once systemCreateDisplay made it
extern GLDevice* sdlDevice;            // its device, on the window's GL context
extern WindowOptions windowOptions;    // what the command line asked of the window
extern std::atomic<bool> windowClosed; // closing the window ends the show, like Escape
extern bool windowLost;                // another client destroyed the window under the show
extern int leavingCode;                // the exit code once the show is on its way out; -1 before

void watchQuitSignals();  // before SDL_Init: SIGINT and SIGTERM end the show, within a second
void endIfSignalled();    // after SIGINT or SIGTERM: the process ends by it, here

// ---- sdl_display.cpp: the display and its X errors ----

void watchDisplay();               // after SDL_Init: X errors handled by the show, not Xlib's exit
void watchWindow();                // once the window exists: errors naming it are a close
void holdXErrors();                // while window and context are made: errors explain a failure
std::string takeHeldXError();      // "; " and the error held back, or nothing
void releaseXErrors();             // the error held back, if any, as a warning

// ---- sdl_present.cpp: presenting, pacing and the drawing scale ----

void startPresenting(int refreshHz);  // once the device exists: vsync or pacing, the drawing scale
void updatePresentTarget();           // the window's drawable changed size
void applyScaleChange();              // between frames: the drawing size the scale chose
void followVisibility();              // between frames: nothing drawn while the window is hidden
void showStarted();                   // the sound started: the end line reports the show's frames
void finishPresenting();              // on exit: the end line, the frame log closed

// ---- sdl_sound.cpp ----

void quietSdlAudioLog();           // before SDL_Init: the show words its sound's state itself
void followShowClock(uint32_t ms);  // every show frame: the show's clock, which the sound is held to
bool soundHeldBySdl();              // the device's thread is still inside SDL (a server that hangs)
