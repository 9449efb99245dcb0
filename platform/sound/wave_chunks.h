// wave_chunks.h: finding the sample data inside an in-memory RIFF/WAVE image.
#pragma once

#include <cstdint>

// The soundtrack's samples: 44.1 kHz, 16-bit stereo frames of 4 bytes.
constexpr uint32_t waveFramesPerSecond = 44100;
constexpr uint32_t waveFrameBytes = 4;

// The frame at show time ms.
constexpr int64_t waveFrameAtMs(uint32_t ms) { return int64_t(ms) * waveFramesPerSecond / 1000; }

struct WaveData {
    const uint8_t* data;  // first byte of the data chunk's samples; null when none was found
    uint32_t bytes;       // sample bytes, cut to what the image really holds
};

// Walks the image's chunks, never reading past bytes; a malformed image gives no data.
WaveData findWaveData(const uint8_t* image, uint32_t bytes);
