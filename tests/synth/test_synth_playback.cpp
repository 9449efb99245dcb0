// test_synth_playback.cpp: startMusic and stopMusic hand the whole image to the player and stop it.
#include <gtest/gtest.h>

#include "platform/headless/headless_system.h"
#include "synth/synth.h"

namespace {

TEST(SynthPlayback, StartHandsOverTheWholeImageAndStopStops) {
    resetHeadlessSystem();
    startMusic();
    EXPECT_EQ(headlessSystem.waveImage, static_cast<const void*>(&WaveImage));
    EXPECT_EQ(headlessSystem.waveBytes, waveImageBytes);
    EXPECT_FALSE(headlessSystem.waveStopped);
    stopMusic();
    EXPECT_TRUE(headlessSystem.waveStopped);
    EXPECT_EQ(headlessSystem.waveImage, static_cast<const void*>(&WaveImage));
    resetHeadlessSystem();
}

}  // namespace
