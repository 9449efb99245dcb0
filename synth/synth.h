// synth.h: the soundtrack: wave image, song sequencer and playback.
#pragma once

#include <cstdint>

// The wave image is one static object of exactly 29,106,044 bytes holding a complete RIFF/WAVE
// file (its owner defines its layout); the capture tool writes its bytes as they are.
constexpr uint32_t waveImageBytes = 29106044u;

void initWaveBuffer();  // header written, sample area silenced; once, before the loading screen
void renderSongStep();  // renders the next song row; 64 calls, one per loading frame
void startMusic();      // asynchronous playback of the finished image
void stopMusic();       // stops playback on the way out
