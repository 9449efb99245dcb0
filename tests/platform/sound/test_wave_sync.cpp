// test_wave_sync.cpp: the device's reading position against the show's clock, on a simulated
// device and clock: what a late thread, a device that runs fast, one that ran dry and a stopped
// process do to the sound, and how a jump sounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/sound/wave_sync.h"

namespace {

using Clock = WaveSync::Clock;
using namespace std::chrono_literals;

constexpr uint32_t bufferFrames = 512;
constexpr uint32_t firstMs = 5000;
const Clock::duration bufferTime = std::chrono::duration_cast<Clock::duration>(512.0s / 44100.0);

// Frames that carry their own index, so what the device got says where it read.
std::vector<uint8_t> countingWave(uint32_t frames) {
    std::vector<uint8_t> wave(size_t(frames) * 4);
    for (uint32_t i = 0; i < frames; ++i) std::memcpy(&wave[4 * size_t(i)], &i, 4);
    return wave;
}

uint32_t frameOf(const int16_t* out) {
    uint32_t frame;
    std::memcpy(&frame, out, 4);
    return frame;
}

// What happens to the device or the process, from 1 s into the show, for span.
enum class Trouble { None, LateOnce, RunsDry, ProcessStops };

struct Case {
    const char* name;
    double deviceSpeed;      // buffers taken per buffer's time
    Trouble trouble;
    Clock::duration span;
    int maxJumps;            // buffers that do not go on from the last, at most
    double worstMs;          // how far the heard sound is from the show, at worst, after it
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class WaveSyncTest : public testing::TestWithParam<Case> {};

// A device asking for a buffer every buffer's time (at its speed), a frame every 16 ms; the sound
// heard against the picture on screen, from half a second after the trouble until 3 s after it.
TEST_P(WaveSyncTest, TheHeardSoundStaysWhereThePictureIs) {
    const Case& c = GetParam();
    const std::vector<uint8_t> wave = countingWave(20 * 44100);
    WaveSync sync;
    sync.setWave(wave.data(), uint32_t(wave.size() / 4));
    const Clock::duration latency = 10ms;
    sync.setLatency(latency);
    sync.moveTo(firstMs, Clock::time_point{});
    const Clock::time_point zero = Clock::time_point{} + 1000s;  // the show's clock reads firstMs here
    const Clock::time_point troubleAt = zero + 1s, end = troubleAt + c.span + 3s;
    const auto showMsAt = [&](Clock::time_point t) { return double((t - zero) / 1us) / 1000.0 + firstMs; };
    // Each frame is on screen from the next one's start: the picture is one frame behind the clock.
    const auto pictureMsAt = [&](Clock::time_point t) { return showMsAt(t) - 16.0; };
    const Clock::duration period = std::chrono::duration_cast<Clock::duration>(bufferTime / c.deviceSpeed);
    // The device's schedule: each buffer is heard latency after it; the thread may ask later.
    Clock::time_point nextBuffer = zero - latency, nextFrame = zero, lastAsked;
    Clock::duration lateBy{};
    bool troubled = false;
    int jumps = 0;
    double worstLate = 0.0;
    uint32_t expected = firstMs * 441 / 10;
    int16_t out[2 * bufferFrames];
    while (nextBuffer < end) {
        if (!troubled && nextBuffer >= troubleAt && c.trouble != Trouble::None) {
            troubled = true;
            if (c.trouble == Trouble::LateOnce) lateBy = c.span;
            else nextBuffer += c.span;
            if (c.trouble == Trouble::ProcessStops) nextFrame += c.span;
        }
        // A late thread serves the requests it missed back to back.
        const Clock::time_point asked = std::max(nextBuffer + lateBy, lastAsked);
        if (nextFrame <= asked) {
            sync.showAt(uint32_t(showMsAt(nextFrame)), nextFrame);
            nextFrame += 16ms;
            continue;
        }
        sync.fill(out, bufferFrames, asked);
        const uint32_t last = frameOf(out + 2 * (bufferFrames - 1));
        jumps += last != expected + bufferFrames - 1;
        expected = last + 1;
        const Clock::time_point lastHeard = nextBuffer + latency + (bufferFrames - 1) * bufferTime / bufferFrames;
        if (nextBuffer > troubleAt + c.span + 500ms)
            worstLate = std::max(worstLate, std::abs(pictureMsAt(lastHeard) - last * 1000.0 / 44100.0));
        lastAsked = asked;
        lateBy = 0s;
        nextBuffer += period;
    }
    EXPECT_LE(jumps, c.maxJumps);
    EXPECT_LT(worstLate, c.worstMs) << "the sound is away from the picture";
}
// Every run jumps once at the start: the first picture comes a frame after the first sound.
const Case cases[] = {
    // A device in step is not moved again; one thread late by 15 ms (more than the tolerance,
    // less than the device's buffer) does not move it either.
    {"InStep", 1.0, Trouble::None, 0s, 1, 3.0},
    {"LateOnce", 1.0, Trouble::LateOnce, 15ms, 1, 3.0},
    // 4 % fast over 4 s: 160 ms repeated, some 10 ms at a time (as many skipped 3 % slow),
    // never more than the tolerance and a buffer off.
    {"RunsFast", 1.04, Trouble::None, 0s, 17, 24.0},
    {"RunsSlow", 0.97, Trouble::None, 0s, 13, 24.0},
    // Dry for 40 ms: a few buffers later the sound skips them; for 300 ms, at the next buffer.
    {"RunsDryBriefly", 1.0, Trouble::RunsDry, 40ms, 2, 3.0},
    {"RunsDry", 1.0, Trouble::RunsDry, 300ms, 2, 3.0},
    // The whole process stopped for 10 s: sound and picture go on from where the clock is.
    {"ProcessStops", 1.0, Trouble::ProcessStops, 10s, 2, 3.0},
};

INSTANTIATE_TEST_SUITE_P(Devices, WaveSyncTest, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A paused show's device gets silence and reads nothing, so that the sound goes on where it
// stopped; a seek while paused starts the next buffer there.
TEST(WaveSyncPause, SilenceWhilePausedThenOnFromThereOrFromTheSeek) {
    const std::vector<uint8_t> wave = countingWave(20 * 44100);
    WaveSync sync;
    sync.setWave(wave.data(), uint32_t(wave.size() / 4));
    const Clock::time_point t = Clock::time_point{} + 1000s;
    sync.showAt(firstMs, t);
    int16_t out[2 * bufferFrames];
    sync.fill(out, bufferFrames, t);
    const uint64_t read = sync.readFrame();
    sync.pause(true, t + 5ms);
    sync.fill(out, bufferFrames, t + 3s);
    EXPECT_TRUE(std::all_of(out, out + 2 * bufferFrames, [](int16_t s) { return s == 0; }));
    EXPECT_EQ(sync.readFrame(), read);
    sync.pause(false, t + 10s);
    sync.fill(out, bufferFrames, t + 10s);
    EXPECT_EQ(frameOf(out), read) << "the resumed sound did not go on where it stopped";
    sync.pause(true, t + 11s);
    sync.moveTo(9000, t + 11s);
    sync.pause(false, t + 12s);
    sync.fill(out, bufferFrames, t + 12s);
    EXPECT_EQ(frameOf(out + 2 * WaveSync::crossfadeFrames), 9000u * 441 / 10 + WaveSync::crossfadeFrames);
}

// A jump between two loud passages of opposite sign is a ramp, not a click.
TEST(WaveSyncJump, BlendsTheOldSoundIntoTheNew) {
    std::vector<int16_t> samples(2 * 4 * 44100);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = i < samples.size() / 2 ? 16000 : -16000;
    WaveSync sync;
    sync.setWave(reinterpret_cast<const uint8_t*>(samples.data()), uint32_t(samples.size() / 2));
    const Clock::time_point t = Clock::time_point{} + 1000s;
    sync.showAt(0, t);
    int16_t out[2 * bufferFrames];
    sync.fill(out, bufferFrames, t);
    sync.moveTo(3000, t);
    int16_t last = out[2 * bufferFrames - 2];
    sync.fill(out, bufferFrames, t + bufferTime);
    int worstStep = 0;
    for (uint32_t i = 0; i < bufferFrames; last = out[2 * i], ++i) worstStep = std::max(worstStep, std::abs(out[2 * i] - last));
    EXPECT_EQ(out[2 * (bufferFrames - 1)], -16000);
    EXPECT_LE(worstStep, 32000 / int(WaveSync::crossfadeFrames) + 1);
}

}  // namespace
