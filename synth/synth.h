// synth.h: the soundtrack: wave image, song sequencer and playback.
#pragma once

void initWaveBuffer();  // header written, sample area silenced; once, before the loading screen
void renderSongStep();  // renders the next song row; 64 calls, one per loading frame
void startMusic();      // asynchronous playback of the finished image
void stopMusic();       // stops playback on the way out
