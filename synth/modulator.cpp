// modulator.cpp: the three slow sine modulators and the per-note tables that spare the sines.
#include <algorithm>
#include <cmath>

#include "synth/synth.h"
#include "synth/synth_internal.h"

namespace {

// Indexed by modulatorSelector; selector 0 is no modulation.
constexpr uint8_t modRate[4] = {0, 16, 160, 32};
constexpr uint8_t modDepth[4] = {0, 5, 3, 6};
constexpr uint8_t modSync[4] = {0, 1, 0, 0};  // 1: runs on song time (follows writePos)

int16_t modulatorAt(uint32_t s, uint32_t position) {
    const double angle = (modRate[s] + 16.0) * static_cast<double>(position) * 1e-6;
    return static_cast<int16_t>(roundToInteger(std::sin(angle) * modDepth[s] * 256.0));
}

// Selectors 2 and 3 restart at every note, so one table each serves every note; it is filled
// only as far as a note has needed.
int16_t noteTimeTable[2][workBufferLength];
int32_t noteTimeFilled[2];

// Selector 1 runs on song time: one table over every frame a note of the song can reach
// (writePos + i), filled block by block as notes first touch it, so that notes overlapping in
// time share their sines.
constexpr int32_t songTimeLength = waveLastFrame + 1 + workBufferLength;
constexpr int32_t songTimeBlock = 4096;
int16_t songTimeTable[songTimeLength];
bool songTimeBlockFilled[(songTimeLength + songTimeBlock - 1) / songTimeBlock];

// For an echo pass moved past the end of the table (never with the stored song).
int16_t scratchTable[workBufferLength];

const int16_t* songTimeRun(int32_t count) {
    const int64_t start = voiceState.writePos;
    if (start < 0 || start + count > songTimeLength) {
        for (int32_t i = 0; i < count; ++i) scratchTable[i] = modulatorValue(i);
        return scratchTable;
    }
    if (count > 0) {
        const int32_t firstBlock = static_cast<int32_t>(start / songTimeBlock);
        const int32_t lastBlock = static_cast<int32_t>((start + count - 1) / songTimeBlock);
        for (int32_t b = firstBlock; b <= lastBlock; ++b) {
            if (songTimeBlockFilled[b]) continue;
            const int32_t end = std::min((b + 1) * songTimeBlock, songTimeLength);
            for (int32_t u = b * songTimeBlock; u < end; ++u) songTimeTable[u] = modulatorAt(1, static_cast<uint32_t>(u));
            songTimeBlockFilled[b] = true;
        }
    }
    return songTimeTable + start;
}

}  // namespace

int16_t modulatorValue(int32_t i) {
    const uint32_t s = voiceState.modulatorSelector & 3u;
    if (s == 0) return 0;
    const uint32_t position = static_cast<uint32_t>(i) + modSync[s] * static_cast<uint32_t>(voiceState.writePos);
    return modulatorAt(s, position);
}

const int16_t* modulatorRun(int32_t count) {
    const uint32_t s = voiceState.modulatorSelector & 3u;
    if (s == 0) return nullptr;
    if (s == 1) return songTimeRun(count);
    int16_t* table = noteTimeTable[s - 2];
    int32_t& filled = noteTimeFilled[s - 2];
    for (int32_t i = filled; i < count; ++i) table[i] = modulatorValue(i);
    filled = std::max(filled, count);
    return table;
}
