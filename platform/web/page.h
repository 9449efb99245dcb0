// page.h: the page's functions the wasm calls, defined in JavaScript by page_library.js (an
// emscripten --js-library), each a short call into the page's side of the seam (page/seam.js,
// which lists who calls what and when). Strings are UTF-8; ints are 0/1 where a yes or no.
#pragma once

#include <cstdint>

extern "C" {
// ---- the page ----
int pageHasWebGL2();
void pageAsk(const char* text, const char* caption);
int pageAnswer();  // -1 while the question waits, then 0 No, 1 Yes
int pageTakeEscape();  // 1 once for each Escape (or full screen left the browser's way)
void pageReport(const char* stage, int loadingFrames, double showMs);
void pageReportHeap(double breakAt);  // the heap's size and the highest its allocations reached
void pageSetTitle(const char* title);
void pageTitleSoundtrackHash(const uint8_t* image, uint32_t bytes);  // SHA-256, into the title when done
void pageShowEnd();
void pageFail(const char* message);
void pageBadAddress(const char* message);
void pageQuery(char* text, int size);  // location.search without the '?'
int pageCheckAddress();                // 1: the page took its address for a check mode's
void pageNote(const char* line);

// ---- the canvas ----
void pageHideCursor();
int pageScreenWidth();
int pageScreenHeight();
int pageCanvasWidth();
int pageCanvasHeight();
// The canvas's drawing buffer follows its size on the page, in device pixels (else 640 x 480);
// 1 when it changed.
int pageFitCanvas(int devicePixels);
// The picture's largest size (the canvas's 4:3 within it) and the size it is drawn at.
void pageReportSize(int topWidth, int topHeight, int width, int height);
// What the page's overlay (key F) and its scripts see of the frames shown.
void pageReportFrames(int frames, double medianMs, double p99Ms, const char* sizes, const char* line);
int pageContext();  // 0 drawing, 1 the context is lost, 2 given back but the device not made again
void pageContextMade(int made, const char* error);
int pageHeld();  // the page holds the show: the context lost, or the sound stopped from outside

// ---- the sound ----
int pagePlay(const int16_t* samples, int frames);  // 16-bit stereo, interleaved; 0 no audio
int pageHeard();  // 1 heard, 0 not yet, -1 the context does not run (suspended or closed)
void pageStop();
void pageSeekAudio(double ms);
void pagePauseAudio(int paused);
// The show's time now, while it plays: the page puts the sound there when it has drifted off.
void pageSoundInStep(double showMs);

// ---- the player ----
int pageTakeKey();  // a PlayerKey code, -1 for none
double pageTakeSeek();  // show ms, -1 for none
void pageShowBar(double ms, double forMs);
void pagePlayer(const char* help, const char* keyRows, const uint32_t* phases, int count, double lengthMs,
                double loopFromMs, double loopToMs);
}
