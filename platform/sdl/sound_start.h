// sound_start.h: when the show's clock may start: once the audio device has taken its first
// samples and they have had the time to pass through the device's buffer to the speaker.
#pragma once

#include <atomic>
#include <chrono>

class SoundStart {
public:
    using Clock = std::chrono::steady_clock;

    // Called by the audio callback, every time; only the first call counts.
    void taken();

    // Waits until the first take plus latency has passed, or until limit has passed without a
    // take. True when the device took samples (the sound is then audible on return).
    bool waitUntilAudible(Clock::duration latency, Clock::duration limit) const;

    // When the device first asked for samples; the epoch of the clock until it has.
    Clock::time_point firstTake() const { return Clock::time_point(Clock::duration(firstTakeTicks.load())); }

private:
    std::atomic<Clock::rep> firstTakeTicks{0};
};
