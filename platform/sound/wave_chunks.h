// wave_chunks.h: finding the sample data inside an in-memory RIFF/WAVE image.
#pragma once

#include <cstdint>

struct WaveData {
    const uint8_t* data;  // first byte of the data chunk's samples; null when none was found
    uint32_t bytes;       // sample bytes, cut to what the image really holds
};

// Walks the image's chunks, never reading past bytes; a malformed image gives no data.
WaveData findWaveData(const uint8_t* image, uint32_t bytes);
