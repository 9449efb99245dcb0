// voice.cpp: the voice chain of one note: sources, smoothing filter, shaper, echo and mixer.
#include <algorithm>

#include "synth/synth.h"
#include "synth/synth_internal.h"

int16_t workBuffer[workBufferLength];
int16_t filterBuffer[workBufferLength];

void (*const oscillatorTable[2])() = {toneOscillator, noiseOscillator};

namespace {

// Running sums of workBuffer for smoothFilter. They wrap at 2^32, but any window's sum (at most
// 2 x 224 samples) fits 32 bits, so the difference of two of them is exact.
uint32_t prefixSums[workBufferLength + 1];

}  // namespace

// ---- sources ----

// A rising sawtooth with a linear attack and release; period 0 or 1 (a note above 117) would
// divide by zero and gives silence instead.
void toneOscillator() {
    const int32_t n = voiceState.noteLength;
    const int32_t attack = voiceState.attackLength;
    const int32_t release = voiceState.releaseLength;
    const int32_t divisor = (static_cast<int32_t>(voiceState.period) * (voiceState.detune + 240) * 16) >> 12;
    if (divisor == 0) {
        std::fill(workBuffer, workBuffer + n, int16_t{0});
        return;
    }
    const uint32_t increment = static_cast<uint32_t>(65536 / divisor);
    uint32_t phase = 0;
    for (int32_t i = 0; i < n; ++i) {
        phase += increment;
        int64_t v = static_cast<int16_t>(phase);
        // 64-bit products: an 88,064-sample ramp times a 16-bit value passes 2^31.
        if (i < attack) v = quotient(v * i, attack);
        if (i > n - release) v = quotient(static_cast<int16_t>(v) * static_cast<int64_t>(n - i), release);
        workBuffer[i] = static_cast<int16_t>(static_cast<int16_t>(v) >> 1);
    }
}

// Noise that never comes near 0; in the overlap of attack and release only the release applies.
void noiseOscillator() {
    const int32_t n = voiceState.noteLength;
    const int32_t attack = voiceState.attackLength;
    const int32_t release = voiceState.releaseLength;
    for (int32_t i = 0; i < n; ++i) {
        const int64_t v = (noiseRandom() & 0x5FFF) - 0x3000;
        int64_t out = v;
        if (i < attack) out = quotient(v * i, attack);
        if (i > n - release) out = quotient(v * (n - i), release);
        workBuffer[i] = static_cast<int16_t>(out);
    }
}

// ---- filter and shaper ----

// Moving average over 2h samples (one more before i than after), samples outside the note
// counting as 0 with the divisor still 2h; the high-pass form subtracts half of it.
void smoothFilter(int8_t w) {
    if (w == 0) return;
    const bool highPass = w < 0;
    const int32_t width = highPass ? -static_cast<int32_t>(w) : w;
    const int32_t n = voiceState.noteLength;
    const int16_t* mod = modulatorRun(n);

    prefixSums[0] = 0;
    for (int32_t j = 0; j < n; ++j) prefixSums[j + 1] = prefixSums[j] + static_cast<uint32_t>(workBuffer[j]);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t h = mod ? ((mod[i] + 2048) * width) >> 11 : width;
        if (h <= 0) {
            filterBuffer[i] = 0;
            continue;
        }
        const int32_t from = std::max(i - h, 0);
        const int32_t to = std::min(i + h, n);
        const int32_t sum = static_cast<int32_t>(prefixSums[to] - prefixSums[from]);
        filterBuffer[i] = static_cast<int16_t>(quotient(sum, 2 * h));
    }
    if (highPass) {
        for (int32_t i = 0; i < n; ++i) workBuffer[i] = static_cast<int16_t>(workBuffer[i] - (filterBuffer[i] >> 1));
    } else {
        std::copy(filterBuffer, filterBuffer + n, workBuffer);
    }
}

// Blends each sample with a copy clipped to +-L; the modulated weight may leave 0 ... 1, and
// the blend then extrapolates (deliberately: that is the instrument's sound).
void clipShaper() {
    if (voiceState.shaperMix == 0) return;  // weight 0: every sample stays as it is
    const int32_t level = (4 - voiceState.shaperDrive) * 4096;
    const float k = static_cast<float>(voiceState.shaperMix * static_cast<double>(0.06666667f));
    const int32_t n = voiceState.noteLength;
    const int16_t* mod = modulatorRun(n);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t m = mod ? mod[i] : 0;
        const double x = static_cast<double>(k) * (m / 256 + 1);
        const int32_t s = workBuffer[i];
        const int32_t t = std::clamp(s, -level, level);
        // Unclipped, the blend is s within far less than half a unit: it rounds back to s.
        if (t == s) continue;
        workBuffer[i] = static_cast<int16_t>(roundToInteger((1.0 - x) * s + x * t));
    }
}

void scaleWork(float f) {
    const double factor = f;
    const int32_t n = voiceState.noteLength;
    for (int32_t i = 0; i < n; ++i) workBuffer[i] = static_cast<int16_t>(roundToInteger(workBuffer[i] * factor));
}

// ---- echo and mixer ----

// Pass k is mixed 24 k (k + 1) / 2 frames after the note's start, at 0.95^k of its level and
// low-passed k times.
void echoNote() {
    int32_t gap = 0;
    for (int32_t k = 0; k < voiceState.echoCount; ++k) {
        mixNote();
        const bool lastAudible = k + 1 == voiceState.echoCount || voiceState.writePos + gap + 24 > waveLastFrame;
        gap += 24;
        voiceState.writePos += gap;
        if (lastAudible) break;  // nothing after this pass can reach the image
        smoothFilter(static_cast<int8_t>(voiceState.echoWidth));
        scaleWork(0.95f);
    }
}

// Adds the note once at writePos under the tremolo modulator; a pass that runs past the sample
// area stops at its last frame, one that starts before it (never done by the sequencer) leaves
// the header alone, and each channel saturates at +-32,767.
void mixNote() {
    const uint8_t savedSelector = voiceState.modulatorSelector;
    voiceState.modulatorSelector = voiceState.tremoloModulator;
    const int32_t pan = voiceState.pan;
    const int32_t leftFactor = pan < 3 ? 4 : 7 - pan;
    const int32_t rightFactor = pan <= 4 ? pan : 4;
    const int32_t gain = (voiceState.volume + 1) * voiceState.velocity;
    const int32_t start = voiceState.writePos;
    const int32_t n = start > waveLastFrame ? 0 : std::min(voiceState.noteLength, waveLastFrame - start + 1);
    const int32_t first = std::max(0, waveFirstFrame - start);  // frames below 11 are the header's
    const int16_t* mod = modulatorRun(n);
    int16_t* frame = first < n ? waveFrame(start + first) : nullptr;
    for (int32_t i = first; i < n; ++i, frame += 2) {
        const int32_t m = mod ? mod[i] : 0;
        const int32_t e = static_cast<int16_t>(((m / 2) + 1024) * workBuffer[i] / 2048);
        const int32_t left = frame[0] + gain * e * leftFactor / 48;
        const int32_t right = frame[1] + gain * e * rightFactor / 48;
        frame[0] = static_cast<int16_t>(std::clamp(left, -32767, 32767));
        frame[1] = static_cast<int16_t>(std::clamp(right, -32767, 32767));
    }
    voiceState.modulatorSelector = savedSelector;
}
