// test_synth_voice.cpp: the voice routines on small hand-made notes: modulators, sources and
// their envelopes, smoothing, shaper, scaling, echo and mixer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "synth/synth.h"

namespace {

class SynthVoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        initWaveBuffer();
        std::memset(&voiceState, 0, sizeof voiceState);
        noiseRandomState = 1;
    }
    static void fill(int32_t n, int16_t value) {
        voiceState.noteLength = n;
        for (int32_t i = 0; i < n; ++i) workBuffer[i] = value;
    }
    // Volume 7, velocity 3, pan 0: the left channel gets 2 x (sample / 2), the right nothing.
    static void unityLeft() {
        voiceState.volume = 7;
        voiceState.velocity = 3;
        voiceState.pan = 0;
    }
};

TEST_F(SynthVoiceTest, ModulatorsFollowTheirTables) {
    EXPECT_EQ(modulatorValue(12345), 0);
    voiceState.modulatorSelector = 1;
    voiceState.writePos = 49087;  // quarter period of 196,350 samples: the peak
    EXPECT_EQ(modulatorValue(0), 1280);
    // Selector 1 runs on song time: a later writePos is the same curve further on.
    for (int32_t i : {0, 777, 100000}) {
        voiceState.writePos = 5000;
        const int16_t shifted = modulatorValue(i);
        voiceState.writePos = 0;
        EXPECT_EQ(modulatorValue(i + 5000), shifted);
        EXPECT_EQ(shifted, static_cast<int16_t>(std::nearbyint(std::sin(32.0 * (i + 5000) * 1e-6) * 1280)));
    }
    voiceState.modulatorSelector = 3;
    voiceState.writePos = 999999;  // the other selectors ignore it
    EXPECT_EQ(modulatorValue(32725), 1536);
    EXPECT_EQ(modulatorValue(1000), static_cast<int16_t>(std::nearbyint(std::sin(48.0 * 1000 * 1e-6) * 1536)));
    voiceState.modulatorSelector = 2;
    EXPECT_EQ(modulatorValue(8925), 768);
}

TEST_F(SynthVoiceTest, ToneDividesThePeriodAndIsSilentWithoutOne) {
    // period 100, detune 0: divisor (100 x 240 x 16) >> 12 = 93, increment 65,536 / 93 = 704.
    voiceState.period = 100;
    voiceState.noteLength = 2000;
    voiceState.attackLength = 688;
    voiceState.releaseLength = 688;
    toneOscillator();
    EXPECT_EQ(workBuffer[0], 0);
    EXPECT_EQ(workBuffer[1], 704 * 2 * 1 / 688 >> 1);
    EXPECT_EQ(workBuffer[1000], static_cast<int16_t>(704 * 1001) >> 1);  // middle: the bare saw
    EXPECT_EQ(workBuffer[1999], (static_cast<int16_t>(704 * 2000) * 1 / 688) >> 1);
    for (uint16_t period : {0, 1, 2}) {
        for (uint8_t detune : {0, 15}) {
            fill(3000, 1234);
            voiceState.period = period;
            voiceState.detune = detune;
            toneOscillator();
            for (int32_t i = 0; i < 3000; ++i) ASSERT_EQ(workBuffer[i], 0) << period << " " << i;
        }
    }
}

TEST_F(SynthVoiceTest, EnvelopeOverlapDiffersBetweenToneAndNoise) {
    // A sustained note shorter than its attack: both ramps apply at once.
    voiceState.attackLength = 688;
    voiceState.releaseLength = 688;
    voiceState.noteLength = 700;
    voiceState.period = 100;
    toneOscillator();
    const int64_t phase = static_cast<int16_t>(704 * 501);
    const int64_t attacked = phase * 500 / 688;
    EXPECT_EQ(workBuffer[500], static_cast<int16_t>(attacked * 200 / 688) >> 1);

    noiseOscillator();
    uint32_t state = 1;
    for (int32_t i = 0; i <= 500; ++i) {
        state = state * 214013u + 2531011u;
        const int64_t v = static_cast<int64_t>((state >> 16) & 0x5FFF) - 0x3000;
        const int64_t expected = i > 12 ? v * (700 - i) / 688 : v * i / 688;
        ASSERT_EQ(workBuffer[i], expected) << i;
    }
    for (int32_t i = 501; i < 700; ++i) state = state * 214013u + 2531011u;
    EXPECT_EQ(noiseRandomState, state);
}

TEST_F(SynthVoiceTest, NonSustainedNoteRampsUpThenDown) {
    voiceState.attackLength = 688;
    voiceState.releaseLength = 1376;
    voiceState.noteLength = 688 + 1376;
    noiseOscillator();
    uint32_t state = 1;
    for (int32_t i = 0; i < voiceState.noteLength; ++i) {
        state = state * 214013u + 2531011u;
        const int64_t v = static_cast<int64_t>((state >> 16) & 0x5FFF) - 0x3000;
        const int64_t expected = i < 688 ? v * i / 688 : (i == 688 ? v : v * (2064 - i) / 1376);
        ASSERT_EQ(workBuffer[i], expected) << i;
    }
}

TEST_F(SynthVoiceTest, SmoothingWindowEdgesAndForms) {
    fill(10, 100);
    smoothFilter(0);
    for (int32_t i = 0; i < 10; ++i) EXPECT_EQ(workBuffer[i], 100);
    smoothFilter(2);  // window i-2 ... i+1, the divisor 4 even where the note has fewer samples
    const int16_t lowPassed[10] = {50, 75, 100, 100, 100, 100, 100, 100, 100, 75};
    for (int32_t i = 0; i < 10; ++i) EXPECT_EQ(workBuffer[i], lowPassed[i]) << i;

    fill(10, 0);
    workBuffer[5] = 400;
    workBuffer[0] = -3;
    smoothFilter(2);
    const int16_t impulse[10] = {0, 0, 0, 0, 100, 100, 100, 100, 0, 0};  // -3 / 4 truncates to 0
    for (int32_t i = 0; i < 10; ++i) EXPECT_EQ(workBuffer[i], impulse[i]) << i;

    fill(10, -3);  // high-pass: average -3, halved by an arithmetic shift to -2
    smoothFilter(-1);
    EXPECT_EQ(workBuffer[0], -3 - ((-3 / 2) >> 1));  // edge: (0 + -3) / 2 = -1, shifted -1
    EXPECT_EQ(workBuffer[5], -1);
    fill(10, 100);
    smoothFilter(-2);
    EXPECT_EQ(workBuffer[0], 75);
    EXPECT_EQ(workBuffer[5], 50);
}

TEST_F(SynthVoiceTest, ModulatedWidthCanCloseTheWindow) {
    voiceState.modulatorSelector = 1;
    voiceState.writePos = 120000;  // the song-time sine is near -0.64 here: h = 0
    fill(50, 1000);
    smoothFilter(1);
    for (int32_t i = 0; i < 50; ++i) ASSERT_EQ(workBuffer[i], 0) << i;
    voiceState.writePos = 22;  // just above 0: h = 1
    fill(50, 1000);
    smoothFilter(1);
    EXPECT_EQ(workBuffer[0], 500);
    EXPECT_EQ(workBuffer[49], 1000);
}

TEST_F(SynthVoiceTest, ShaperBlendsAClippedCopy) {
    voiceState.shaperDrive = 1;  // clip level 12,288
    fill(3, 20000);
    workBuffer[1] = -20000;
    workBuffer[2] = 12000;
    clipShaper();  // mix 0
    EXPECT_EQ(workBuffer[0], 20000);
    voiceState.shaperMix = 5;  // weight 0.33333334
    clipShaper();
    EXPECT_EQ(workBuffer[0], 17429);
    EXPECT_EQ(workBuffer[1], -17429);
    EXPECT_EQ(workBuffer[2], 12000);

    // At the song-time trough m / 256 = -5: the weight becomes -4 k and the blend extrapolates.
    voiceState.modulatorSelector = 1;
    voiceState.writePos = 147262;
    ASSERT_EQ(modulatorValue(0), -1280);
    fill(1, 20000);
    clipShaper();
    EXPECT_EQ(workBuffer[0], 30283);
    voiceState.shaperMix = 15;
    voiceState.shaperDrive = 3;
    fill(1, 30000);
    clipShaper();  // 5 x 30,000 - 4 x 4,096 = 133,616: only the low 16 bits stay
    EXPECT_EQ(workBuffer[0], 133616 - 131072);
}

TEST_F(SynthVoiceTest, ScaleRoundsHalvesToEven) {
    fill(6, 0);
    const int16_t in[6] = {3, 5, -3, -5, 1000, 10};
    std::memcpy(workBuffer, in, sizeof in);
    scaleWork(0.5f);
    const int16_t halved[6] = {2, 2, -2, -2, 500, 5};
    for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(workBuffer[i], halved[i]) << i;
    scaleWork(0.95f);  // 0.95 in single precision is a hair below: 9.5 x 0.95f rounds down
    EXPECT_EQ(workBuffer[4], 475);
    EXPECT_EQ(workBuffer[5], 5);
    workBuffer[5] = 10;
    scaleWork(0.95f);
    EXPECT_EQ(workBuffer[5], 9);
}

TEST_F(SynthVoiceTest, MixerPansScalesAndSaturates) {
    const int16_t left[8] = {4, 4, 4, 4, 3, 2, 1, 0};
    const int16_t right[8] = {0, 1, 2, 3, 4, 4, 4, 4};
    for (uint8_t pan = 0; pan < 8; ++pan) {
        initWaveBuffer();
        unityLeft();
        voiceState.pan = pan;
        voiceState.writePos = 1000;
        fill(1, 4800);
        mixNote();
        EXPECT_EQ(waveFrame(1000)[0], 8 * 3 * 2400 * left[pan] / 48) << int(pan);
        EXPECT_EQ(waveFrame(1000)[1], 8 * 3 * 2400 * right[pan] / 48) << int(pan);
    }
    initWaveBuffer();
    unityLeft();
    voiceState.pan = 4;
    voiceState.writePos = 1000;
    fill(2, 30000);
    workBuffer[1] = -30000;
    waveFrame(1000)[0] = 32000;
    waveFrame(1001)[1] = -32000;
    mixNote();
    EXPECT_EQ(waveFrame(1000)[0], 32767);
    EXPECT_EQ(waveFrame(1001)[1], -32767);
    EXPECT_EQ(waveFrame(1001)[0], -22500);

    initWaveBuffer();
    unityLeft();
    voiceState.tremoloModulator = 3;
    voiceState.modulatorSelector = 2;
    voiceState.writePos = 500;
    fill(32726, 2048);
    mixNote();  // at the tremolo peak the factor is (768 + 1024) / 2048
    EXPECT_EQ(waveFrame(500 + 32725)[0], 2 * 1792);
    EXPECT_EQ(waveFrame(500)[0], 2048);
    EXPECT_EQ(voiceState.modulatorSelector, 2);
}

TEST_F(SynthVoiceTest, MixerStopsAtTheEndOfTheSampleArea) {
    unityLeft();
    voiceState.writePos = waveLastFrame - 2;
    fill(1000, 200);
    mixNote();
    EXPECT_EQ(waveFrame(waveLastFrame - 3)[0], 0);
    EXPECT_EQ(waveFrame(waveLastFrame)[0], 200);
    voiceState.writePos = waveLastFrame + 1;
    mixNote();
    EXPECT_EQ(waveFrame(waveLastFrame)[0], 200);
}

TEST_F(SynthVoiceTest, EchoMixesDecayingCopiesFartherApart) {
    unityLeft();
    voiceState.echoCount = 1;
    voiceState.writePos = 1000;
    fill(1, 10000);
    echoNote();
    EXPECT_EQ(waveFrame(1000)[0], 10000);
    EXPECT_EQ(workBuffer[0], 10000);
    for (int32_t f = 1001; f < 1100; ++f) ASSERT_EQ(waveFrame(f)[0], 0);

    initWaveBuffer();
    voiceState.echoCount = 11;
    voiceState.writePos = 1000;
    fill(1, 10000);
    echoNote();
    double level = 10000;
    for (int32_t k = 0; k < 11; ++k) {
        const int32_t e = static_cast<int32_t>(level) / 2;
        EXPECT_EQ(waveFrame(1000 + 12 * k * (k + 1))[0], 2 * e) << k;
        EXPECT_EQ(waveFrame(1001 + 12 * k * (k + 1))[0], 0) << k;
        level = std::nearbyint(level * static_cast<double>(0.95f));
    }
}

}  // namespace
