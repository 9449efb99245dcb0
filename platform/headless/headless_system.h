// headless_system.h: controls of the headless system services (virtual clock, Escape key,
// question answer, captured wave image) for the capture tool and the tests.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"
#include "platform/system.h"

// Everything the headless services were asked or told, and what they answer.
struct HeadlessSystemState {
    uint32_t tick = 1;                        // what systemTickCount returns; moved only by the caller
    bool escapeHeld = false;                  // systemEscapePressed answers this
    uint32_t escapeTests = 0;                 // calls of systemEscapePressed
    bool answerYes = false;                   // systemAskYesNo answers this
    uint32_t questionsAsked = 0;
    const char* questionText = nullptr;
    const char* questionCaption = nullptr;
    int32_t screenWidth = 1024;
    int32_t screenHeight = 768;
    IDirect3DDevice9* displayDevice = nullptr;  // what systemCreateDisplay hands out
    int32_t displayX = 0, displayY = 0, displayWidth = 0, displayHeight = 0;
    bool displayWindowed = true;
    uint32_t displaysCreated = 0;
    bool cursorHidden = false;
    const void* waveImage = nullptr;          // the image given to systemPlayWave, if any
    uint32_t waveBytes = 0;
    bool waveStopped = false;
    uint32_t wavePositionMs = 0;              // the last systemSetWavePosition
    bool wavePaused = false;
    PlayerKey keys[16] = {};                  // what systemNextKey hands out, in order
    uint32_t keyCount = 0, keysTaken = 0;
    uint32_t progressMs = 0, progressUntil = 0;  // the last systemShowProgress
    uint32_t showFrameMs = 0;                 // the last systemShowFrameAt
    uint32_t showFramesMarked = 0;            // its calls
    uint32_t presentsAgain = 0, pacedPresentsAgain = 0;  // systemPresentAgain's calls, and the paced ones
    bool held = false;                        // systemHeld answers this
    bool pictureLost = false;                 // systemPictureLost answers this once, then clears it
};

extern HeadlessSystemState headlessSystem;

// Back to the start values above (a fresh run).
void resetHeadlessSystem();
