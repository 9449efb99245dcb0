// synth_fuzz.cpp: libFuzzer entry that renders one song row with eleven instruments, all read
// from the input, into the wave image.
//
// Input: instrument, start bar, repeats, steps (the row's header, taken as they are), then
// 11 x 7 instrument bytes, then (note delta, step byte) pairs for the row's columns. Missing
// bytes are 0 (a rest of length 0).
//
// A note can cost hundreds of millions of sample operations (6 s, eight filter passes, 247
// echo passes). So that the fuzzer keeps making progress, the input is walked first the way the
// sequencer walks it, and while the estimated work passes a budget the echo exponent, the
// repeats, the columns (down to one sounding note), then the filter passes are cut back. Every field still reaches its extremes, only not all
// of them in one input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "synth/synth.h"

namespace {

constexpr size_t headerBytes = 4;
constexpr size_t instrumentBytes = instrumentCount * sizeof(InstrumentBytes);
constexpr int64_t workBudget = 1'000'000;  // sample operations: about 10 ms under the sanitizers
constexpr int32_t maxSoundingNotes = 8;

// Sample operations of one note of instrument b with step length stepLength, as an upper bound.
int64_t noteCost(const InstrumentBytes& b, int32_t stepLength) {
    const int32_t attack = 344 << ((b[0] & 7) + 1);
    const int32_t release = 344 << (((b[0] >> 3) & 7) + 1);
    const bool sustain = (b[0] >> 6) & 1;
    const int64_t length = std::min<int64_t>(sustain ? int64_t{stepLength} + release : attack + release,
                                             workBufferLength);
    const int64_t lowPass = ((b[3] >> 2) & 15) ? 3 * ((b[3] & 3) + 1) : 0;
    const int64_t highPass = ((b[4] >> 2) & 15) ? 3 * ((b[4] & 3) + 1) : 0;
    const int64_t shaper = ((b[2] >> 2) & 15) ? 1 : 0;
    const int64_t echoCount = static_cast<uint8_t>((10 << (b[5] & 7)) - 9);
    const int64_t echoPass = 2 + (((b[5] >> 3) & 7) ? 3 : 0);
    return length * (1 + lowPass + highPass + shaper + echoCount * echoPass);
}

// The sequencer's walk over the row, adding up the notes it would build.
int64_t rowCost(const SongRow& row, const InstrumentBytes* instruments, int32_t* soundingNotes) {
    int64_t cost = 0;
    *soundingNotes = 0;
    if (row.instrument >= instrumentCount) return 0;
    int64_t position = static_cast<int64_t>(row.startBar) * 21168000 / 125 + 22;
    const int32_t steps = std::min<int32_t>(row.steps, 64);
    for (int32_t repeat = 0; repeat < row.repeats; ++repeat) {
        for (int32_t j = 0; j < steps; ++j) {
            if (position > waveLastFrame) return cost;
            const int32_t length = (row.stepBytes[j] & 63) * framesPerStepUnit;
            if ((row.stepBytes[j] >> 6) != 0) {
                cost += noteCost(instruments[row.instrument], length);
                ++*soundingNotes;
            }
            position += length;
        }
    }
    return cost;
}

SongRow fuzzRow;
InstrumentBytes fuzzInstruments[instrumentCount];
bool imageReady = false;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!imageReady) {
        // The image is not cleared between inputs: what is already mixed there only moves the
        // saturation points, and a clear costs more than most inputs.
        initWaveBuffer();
        imageReady = true;
    }
    std::memset(&fuzzRow, 0, sizeof fuzzRow);
    std::memset(fuzzInstruments, 0, sizeof fuzzInstruments);
    const auto byteAt = [&](size_t i) -> uint8_t { return i < size ? data[i] : 0; };
    fuzzRow.instrument = byteAt(0);
    fuzzRow.startBar = byteAt(1);
    fuzzRow.repeats = byteAt(2);
    fuzzRow.steps = byteAt(3);
    for (size_t i = 0; i < instrumentBytes; ++i) fuzzInstruments[i / 7][i % 7] = byteAt(headerBytes + i);
    for (size_t j = 0; j < 64; ++j) {
        fuzzRow.noteDeltas[j] = byteAt(headerBytes + instrumentBytes + 2 * j);
        fuzzRow.stepBytes[j] = byteAt(headerBytes + instrumentBytes + 2 * j + 1);
    }

    // Cut back until the row fits the budget, in an order that keeps the most of the input; one
    // sounding note is always kept, however long (at most about 30 ms with one pass a filter).
    for (;;) {
        int32_t notes = 0;
        const int64_t cost = rowCost(fuzzRow, fuzzInstruments, &notes);
        if (cost <= workBudget && notes <= maxSoundingNotes) break;
        // Only the row's own instrument sounds (notes = 0 for any other index).
        uint8_t& echo = fuzzInstruments[fuzzRow.instrument][5];
        if ((echo & 7) != 0) {
            --echo;  // the low three bits are not 0: no borrow into the echo width
            continue;
        }
        if (fuzzRow.repeats > 1) {
            fuzzRow.repeats = static_cast<uint8_t>(fuzzRow.repeats / 2);
            continue;
        }
        if (notes > 1) {
            fuzzRow.steps = static_cast<uint8_t>(std::min<int32_t>(fuzzRow.steps, 64) - 1);
            continue;
        }
        // The pass counts are the low two bits of bytes 3 and 4.
        uint8_t& lowPass = fuzzInstruments[fuzzRow.instrument][3];
        uint8_t& highPass = fuzzInstruments[fuzzRow.instrument][4];
        if ((lowPass & 3) != 0) {
            --lowPass;
        } else if ((highPass & 3) != 0) {
            --highPass;
        } else {
            break;
        }
    }

    noiseRandomState = 1;
    renderSongRow(fuzzRow, fuzzInstruments);

    // No note may write into the file header in front of the samples.
    if (std::memcmp(WaveImage.header, waveHeaderTemplate, waveHeaderBytes) != 0) std::abort();
    return 0;
}
