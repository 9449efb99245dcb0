// system.h: every service the show takes from the operating system. The show calls nothing
// else of the OS; two implementations exist (the SDL window for the show, a headless one with a
// virtual clock for the capture tool and the tests).
#pragma once

#include <cstdint>

#include "platform/d3d9.h"

// Called by startMusic, once, after the loading screen: plays a complete in-memory RIFF/WAVE
// image (44,100 Hz, stereo, 16-bit) asynchronously from its data chunk. Without an audio device
// it warns once and the show goes on silently.
void systemPlayWave(const void* image, uint32_t bytes);

// Called by stopMusic, once, when the frame loop ends: stops the playback.
void systemStopWave();

// Called by runIntro and the frame loop: the 32-bit millisecond tick count, wrapping at 2^32.
uint32_t systemTickCount();
