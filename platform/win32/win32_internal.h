// win32_internal.h: what the files of the show's Windows services share: the window, the trace
// of the design's calls, and the calls from one file into another.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/window_options.h"

extern HWND showWindow;              // the show's window, once systemCreateDisplay made it
extern WindowOptions windowOptions;  // what the command line asked of the window

// ---- win32_trace.cpp: the design's calls, in their order, on stdout where asked ----

// QUORBEL_CALL_TRACE set: one line per call of the design's own ("call MessageBoxA ..."), for a
// check of their order; printf-style.
bool tracingCalls();
void traceCall(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- win32_window.cpp: messages, keys, the clock, the way out ----

void pumpMessages();           // the window's messages, without a loop of the show's own
bool virtualClock();           // the frame writer's clock: still, at the tick it was set to
void showFailure(const char* line);  // a message box, and the line on stderr

// ---- win32_sound.cpp ----

extern bool musicStarted;  // systemPlayWave was called

// ---- win32_present.cpp ----

void showStarted();      // the sound started: the end line reports the show's frames
uint32_t lastShownMs();  // the show time of the last show frame (where a pause holds the sound)
void finishPresenting(); // on exit: the end line
