// noise_random.cpp: the noise source's own generator, the runtime library's classic rand.
#include "synth/synth.h"

uint32_t noiseRandomState = 1;

int32_t noiseRandom() {
    noiseRandomState = noiseRandomState * 214013u + 2531011u;
    return static_cast<int32_t>((noiseRandomState >> 16) & 0x7FFFu);
}
