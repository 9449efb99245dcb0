// wave_chunks.cpp: the RIFF chunk walk that finds a wave image's samples.
#include "platform/sound/wave_chunks.h"

#include <cstring>

namespace {

uint32_t readLittle32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

WaveData findWaveData(const uint8_t* image, uint32_t bytes) {
    const WaveData none = {nullptr, 0};
    if (image == nullptr || bytes < 12) return none;
    if (std::memcmp(image, "RIFF", 4) != 0 || std::memcmp(image + 8, "WAVE", 4) != 0) return none;
    uint64_t at = 12;
    while (at + 8 <= bytes) {
        const uint8_t* chunk = image + at;
        const uint64_t size = readLittle32(chunk + 4);
        const uint64_t body = at + 8;
        if (std::memcmp(chunk, "data", 4) == 0) {
            // A size that runs past the image (or a streaming 0xFFFFFFFF) plays what is there.
            const uint64_t available = bytes - body;
            return {image + body, static_cast<uint32_t>(size < available ? size : available)};
        }
        at = body + size + (size & 1);  // chunks are padded to even sizes
    }
    return none;
}
