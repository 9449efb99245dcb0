// sound_start.cpp: the wait between starting the sound and starting the show's clock.
#include "platform/sdl/sound_start.h"

#include <thread>

void SoundStart::taken() {
    if (firstTakeTicks.load(std::memory_order_relaxed) != 0) return;
    Clock::rep expected = 0;
    firstTakeTicks.compare_exchange_strong(expected, Clock::now().time_since_epoch().count());
}

bool SoundStart::waitUntilAudible(Clock::duration latency, Clock::duration limit) const {
    const Clock::time_point giveUp = Clock::now() + limit;
    while (firstTakeTicks.load() == 0) {
        if (Clock::now() >= giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_until(firstTake() + latency);
    return true;
}
