// wave_from.cpp: a wave image cut to start at a show time.
#include "tools/capture/wave_from.h"

#include "platform/sound/wave_chunks.h"

namespace {

void putLittleEndian(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> waveFrom(const uint8_t* image, uint32_t bytes, uint32_t fromMs) {
    const WaveData data = findWaveData(image, bytes);
    if (data.data == nullptr) return {};
    const uint32_t header = static_cast<uint32_t>(data.data - image);  // the data chunk's size ends it
    const uint64_t skip = uint64_t(fromMs) * 44100 / 1000 * 4;
    const uint32_t left = skip >= data.bytes ? 0 : data.bytes - static_cast<uint32_t>(skip);
    std::vector<uint8_t> wave(image, image + header);
    wave.insert(wave.end(), data.data + (data.bytes - left), data.data + data.bytes);
    putLittleEndian(&wave[4], header + left - 8);
    putLittleEndian(&wave[header - 4], left);
    return wave;
}
