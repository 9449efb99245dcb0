// modulator.cpp: the three slow sine modulators and the per-note tables that spare the sines.
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

// Selector 1 depends on writePos + i: one table for the writePos last asked for.
int16_t songTimeTable[workBufferLength];
int32_t songTimeFilled;
int32_t songTimeWritePos = -1;

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
    int16_t* table;
    int32_t* filled;
    if (s == 1) {
        if (songTimeWritePos != voiceState.writePos) {
            songTimeWritePos = voiceState.writePos;
            songTimeFilled = 0;
        }
        table = songTimeTable;
        filled = &songTimeFilled;
    } else {
        table = noteTimeTable[s - 2];
        filled = &noteTimeFilled[s - 2];
    }
    for (int32_t i = *filled; i < count; ++i) table[i] = modulatorValue(i);
    if (count > *filled) *filled = count;
    return table;
}
