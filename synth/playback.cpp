// playback.cpp: hands the finished wave image to the platform's asynchronous player.
#include "platform/system.h"
#include "synth/synth.h"

void startMusic() { systemPlayWave(&WaveImage, sizeof WaveImage); }

void stopMusic() { systemStopWave(); }
