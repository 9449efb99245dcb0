// sequencer.cpp: walks the song rows step by step and builds each sounding note through the
// voice chain.
#include <algorithm>
#include <cmath>

#include "synth/synth.h"
#include "synth/synth_internal.h"

VoiceState voiceState;
uint8_t songRowIndex = 0;

// 1348.623821745617 is 44,100 / 32.7 with 32.7 in single precision; the ratio is the twelfth
// root of two in single precision.
uint16_t notePeriod(int8_t note) {
    const double period = 1348.623821745617 / std::pow(1.0594631433486938, note);
    return static_cast<uint16_t>(roundToInteger(period));
}

void renderInstrumentNote(const InstrumentBytes& b) {
    VoiceState& v = voiceState;
    const int32_t attackExponent = b[0] & 7;
    const int32_t releaseExponent = (b[0] >> 3) & 7;
    v.sustain = (b[0] >> 6) & 1;
    v.sourceKind = b[0] >> 7;
    v.detune = b[1] & 15;
    v.sourceModulator = b[1] >> 6;
    v.shaperDrive = b[2] & 3;
    v.shaperMix = (b[2] >> 2) & 15;
    v.shaperModulator = b[2] >> 6;
    v.lowPassPasses = b[3] & 3;
    v.lowPassWidth = (b[3] >> 2) & 15;
    v.lowPassModulator = b[3] >> 6;
    v.highPassPasses = b[4] & 3;
    v.highPassWidth = (b[4] >> 2) & 15;
    v.highPassModulator = b[4] >> 6;
    const int32_t echoExponent = b[5] & 7;
    v.echoWidth = (b[5] >> 3) & 7;
    v.echoModulator = b[5] >> 6;
    v.volume = b[6] & 7;
    v.pan = (b[6] >> 3) & 7;
    v.tremoloModulator = b[6] >> 6;

    v.attackLength = 344 << (attackExponent + 1);
    v.releaseLength = 344 << (releaseExponent + 1);
    v.echoCount = static_cast<uint8_t>((10 << echoExponent) - 9);
    v.noteLength = v.sustain ? v.noteLength + v.releaseLength : v.attackLength + v.releaseLength;
    // A sustained note of more than 6 s is cut to the work buffers (the stored song's longest is
    // 191,360 samples).
    v.noteLength = std::min(v.noteLength, workBufferLength);

    v.modulatorSelector = v.sourceModulator;
    oscillatorTable[v.sourceKind]();
    v.modulatorSelector = v.lowPassModulator;
    for (int32_t pass = 0; pass <= v.lowPassPasses; ++pass) smoothFilter(static_cast<int8_t>(v.lowPassWidth));
    v.modulatorSelector = v.highPassModulator;
    for (int32_t pass = 0; pass <= v.highPassPasses; ++pass) smoothFilter(static_cast<int8_t>(-v.highPassWidth));
    v.modulatorSelector = v.shaperModulator;
    clipShaper();
    v.modulatorSelector = v.echoModulator;
    echoNote();
}

void renderNote(uint8_t instrument) {
    if (instrument >= instrumentCount) return;
    renderInstrumentNote(instrumentTable[instrument]);
}

void renderSongRow(const SongRow& row, const InstrumentBytes* instruments) {
    // Positions in 64 bits: a start bar above 12 would overflow b x 21,168,000 in 32.
    int64_t position = static_cast<int64_t>(row.startBar) * 21168000 / 125 + 22;
    const int32_t steps = std::min<int32_t>(row.steps, 64);
    for (int32_t repeat = 0; repeat < row.repeats; ++repeat) {
        uint8_t note = 0;
        for (int32_t j = 0; j < steps; ++j) {
            // Nothing of this row can reach the image any more: the mixer would cut every note.
            if (position > waveLastFrame) return;
            const uint8_t stepByte = row.stepBytes[j];
            const int32_t length = (stepByte & 63) * framesPerStepUnit;
            note = static_cast<uint8_t>(note + row.noteDeltas[j]);
            voiceState.velocity = stepByte >> 6;
            voiceState.period = notePeriod(static_cast<int8_t>(note));
            voiceState.noteLength = length;
            voiceState.writePos = static_cast<int32_t>(position);
            if (voiceState.velocity != 0 && row.instrument < instrumentCount) {
                renderInstrumentNote(instruments[row.instrument]);
            }
            position += length;
        }
    }
}

void renderSongStep() {
    // Past the 64 stored rows there is nothing to read; the index still advances.
    if (songRowIndex < songRowCount) renderSongRow(songRows[songRowIndex], instrumentTable);
    ++songRowIndex;
}
