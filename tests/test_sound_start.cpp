// test_sound_start.cpp: the show's clock starts only once the first samples can be heard.
#include <gtest/gtest.h>

#include <thread>

#include "platform/sdl/sound_start.h"

namespace {

using namespace std::chrono_literals;

TEST(SoundStartTest, TheClockWaitsForTheFirstTakeAndOneBufferAfterIt) {
    SoundStart start;
    const SoundStart::Clock::time_point asked = SoundStart::Clock::now();
    // The device's thread asks for its first samples a while after playback was started.
    SoundStart::Clock::time_point secondTake;
    std::thread device([&] {
        std::this_thread::sleep_for(30ms);
        start.taken();
        std::this_thread::sleep_for(5ms);
        secondTake = SoundStart::Clock::now();
        start.taken();
    });
    const auto buffer = 12ms;
    ASSERT_TRUE(start.waitUntilAudible(buffer, 5s));
    const SoundStart::Clock::time_point clockStart = SoundStart::Clock::now();
    device.join();
    EXPECT_GE(start.firstTake() - asked, 30ms);
    EXPECT_GE(clockStart - start.firstTake(), buffer) << "the clock started before the sound was heard";
    EXPECT_LT(start.firstTake(), secondTake) << "later requests leave the first one's time";
}

TEST(SoundStartTest, ADeviceThatNeverTakesEndsTheWaitAtTheLimit) {
    SoundStart start;
    const SoundStart::Clock::time_point asked = SoundStart::Clock::now();
    EXPECT_FALSE(start.waitUntilAudible(12ms, 50ms));
    EXPECT_GE(SoundStart::Clock::now() - asked, 50ms);
}

}  // namespace
