// wave_image.cpp: the in-memory RIFF/WAVE file the soundtrack is built into.
#include <cstring>

#include "synth/synth.h"

WaveFile WaveImage;

// All fields little-endian: RIFF size 29,106,036, PCM, 2 channels, 44,100 Hz, 176,400 bytes/s,
// block align 4, 16 bits, data size 29,106,000.
extern const uint8_t waveHeaderTemplate[waveHeaderBytes] = {
    'R',  'I',  'F',  'F',  0x74, 0x1F, 0xBC, 0x01,  // chunk id, file size - 8
    'W',  'A',  'V',  'E',                           // form type
    'f',  'm',  't',  ' ',  0x10, 0x00, 0x00, 0x00,  // sub-chunk id, size 16
    0x01, 0x00, 0x02, 0x00,                          // PCM, 2 channels
    0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00,  // 44,100 Hz, 176,400 bytes per second
    0x04, 0x00, 0x10, 0x00,                          // block align 4, 16 bits per sample
    'd',  'a',  't',  'a',  0x50, 0x1F, 0xBC, 0x01,  // data sub-chunk, 29,106,000 bytes
};
static_assert(sizeof waveHeaderTemplate == 44);

void initWaveBuffer() {
    std::memcpy(WaveImage.header, waveHeaderTemplate, sizeof WaveImage.header);
    std::memset(WaveImage.samples, 0, sizeof WaveImage.samples);
}
