// wave_from.h: the soundtrack of a video that starts later in the show.
#pragma once

#include <cstdint>
#include <vector>

// The wave image from show time fromMs on, as a WAV file of its own: the image's chunks up to
// its samples, with the lengths of what is left, then the samples from the stereo frame
// fromMs * 44,100 / 1,000 (4 bytes each). Empty for an image that is no WAV file.
std::vector<uint8_t> waveFrom(const uint8_t* image, uint32_t bytes, uint32_t fromMs);
