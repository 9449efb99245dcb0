// headless_system.cpp: the system services without a window, sound or real clock: time moves
// only when the caller moves it, so a run is reproducible to the bit.
#include "platform/headless/headless_system.h"

#include <cstdio>
#include <cstdlib>

#include "platform/system.h"

void systemStart() {}

bool systemAskYesNo(const char* text, const char* caption) {
    ++headlessSystem.questionsAsked;
    headlessSystem.questionText = text;
    headlessSystem.questionCaption = caption;
    return headlessSystem.answerYes;
}

int32_t systemScreenHeight() { return headlessSystem.screenHeight; }
int32_t systemScreenWidth() { return headlessSystem.screenWidth; }

IDirect3DDevice9* systemCreateDisplay(int32_t x, int32_t y, int32_t width, int32_t height,
                                      const D3DPRESENT_PARAMETERS* params) {
    if (headlessSystem.displayDevice == nullptr) systemFail("no device was given to the headless display");
    headlessSystem.displayX = x;
    headlessSystem.displayY = y;
    headlessSystem.displayWidth = width;
    headlessSystem.displayHeight = height;
    headlessSystem.displayWindowed = params->Windowed != FALSE;
    ++headlessSystem.displaysCreated;
    return headlessSystem.displayDevice;
}

void systemHideCursor() { headlessSystem.cursorHidden = true; }

uint32_t systemTickCount() { return headlessSystem.tick; }

bool systemEscapePressed() {
    ++headlessSystem.escapeTests;
    return headlessSystem.escapeHeld;
}

bool systemQuitAsked() { return false; }

void systemPlayWave(const void* image, uint32_t bytes) {
    headlessSystem.waveImage = image;
    headlessSystem.waveBytes = bytes;
    headlessSystem.waveStopped = false;
}

void systemStopWave() { headlessSystem.waveStopped = true; }

bool systemNextKey(PlayerKey* key) {
    if (headlessSystem.keysTaken >= headlessSystem.keyCount) return false;
    *key = headlessSystem.keys[headlessSystem.keysTaken++];
    return true;
}

void systemSetWavePosition(uint32_t ms) { headlessSystem.wavePositionMs = ms; }

void systemPauseWave(bool paused) { headlessSystem.wavePaused = paused; }

void systemShowProgress(uint32_t ms, uint32_t, const uint32_t*, int32_t, uint32_t untilTick) {
    headlessSystem.progressMs = ms;
    headlessSystem.progressUntil = untilTick;
}

void systemShowFrameAt(uint32_t ms) {
    headlessSystem.showFrameMs = ms;
    ++headlessSystem.showFramesMarked;
}

void systemPresentAgain(bool paced) {
    ++headlessSystem.presentsAgain;
    if (paced) ++headlessSystem.pacedPresentsAgain;
}

bool systemWaveHeard() { return true; }

bool systemHeld() { return headlessSystem.held; }

bool systemPictureLost() {
    const bool lost = headlessSystem.pictureLost;
    headlessSystem.pictureLost = false;
    return lost;
}

void systemExit(int code) {
    std::fflush(stdout);
    std::exit(code);
}

void systemWarn(const char* message) { std::fprintf(stderr, "quorbel: warning: %s\n", message); }

void systemFail(const char* message) {
    std::fprintf(stderr, "quorbel: %s\n", message);
    std::exit(1);
}
