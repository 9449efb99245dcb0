// wave_sync.cpp: the audio device's reading position held to the show's clock.
#include "platform/sound/wave_sync.h"

#include <algorithm>
#include <cstring>

namespace {

int64_t framesIn(WaveSync::Clock::duration span) {
    return int64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(span).count() * WaveSync::framesPerSecond /
                   1000000000);
}

int64_t magnitude(int64_t v) { return v < 0 ? -v : v; }

}  // namespace

void WaveSync::setWave(const uint8_t* frames, uint32_t frameCount) {
    std::lock_guard<std::mutex> held(lock);
    wave = frames;
    waveFrames = frameCount;
}

void WaveSync::setLatency(Clock::duration deviceLatency) {
    std::lock_guard<std::mutex> held(lock);
    latency = deviceLatency;
}

void WaveSync::moveTo(uint32_t ms, Clock::time_point now) {
    std::lock_guard<std::mutex> held(lock);
    if (!following) {
        position = waveFrameAtMs(ms);
        return;
    }
    clockFrame = waveFrameAtMs(ms);
    clockAt = now;
    jumpNext = true;
}

void WaveSync::showAt(uint32_t ms, Clock::time_point now) {
    std::lock_guard<std::mutex> held(lock);
    notePictureLag(now);
    following = true;
    clockFrame = waveFrameAtMs(ms);
    clockAt = now;
}

void WaveSync::notePictureLag(Clock::time_point now) {
    const Clock::duration interval = now - lastFrameAt;
    const bool counts = lastFrameAt != Clock::time_point{} && interval < longestFrame;
    lastFrameAt = now;
    if (!counts) return;
    frameIntervals[nextInterval] = framesIn(interval);
    nextInterval = (nextInterval + 1) % lagFrames;
    intervalCount = std::min(intervalCount + 1, lagFrames);
    int64_t sorted[lagFrames];
    const int n = intervalCount;
    std::copy(frameIntervals, frameIntervals + n, sorted);
    std::nth_element(sorted, sorted + n / 2, sorted + n);
    pictureLag = sorted[n / 2];
}

void WaveSync::pause(bool pause, Clock::time_point now) {
    std::lock_guard<std::mutex> held(lock);
    if (pause == paused) return;
    clockFrame = showFrameAt(now);
    clockAt = now;
    paused = pause;
}

bool WaveSync::heard(Clock::time_point now) const {
    std::lock_guard<std::mutex> held(lock);
    return firstTake != Clock::time_point{} && now >= firstTake + latency;
}

uint64_t WaveSync::readFrame() const {
    std::lock_guard<std::mutex> held(lock);
    return uint64_t(position);
}

int64_t WaveSync::showFrameAt(Clock::time_point t) const {
    return paused ? clockFrame : clockFrame + framesIn(t - clockAt);
}

// The frames to move the sound by (0: leave it): a difference past farOff at once; a smaller
// one past the tolerance once agreeingBuffers in a row lie on its side, by the smallest of them,
// since a late device thread only ever makes the sound look further behind than it is.
int64_t WaveSync::correction(int64_t difference) {
    if (magnitude(difference) > framesIn(farOff)) return difference;
    if (magnitude(difference) <= framesIn(tolerance)) {
        agreeing = 0;
        return 0;
    }
    if (agreeing > 0 && (agreed[agreeing - 1] > 0) != (difference > 0)) agreeing = 0;
    agreed[agreeing++] = difference;
    if (agreeing < agreeingBuffers) return 0;
    agreeing = 0;
    return *std::min_element(agreed, agreed + agreeingBuffers,
                             [](int64_t a, int64_t b) { return magnitude(a) < magnitude(b); });
}

void WaveSync::copyFrom(int64_t frame, int16_t* out, uint32_t count) const {
    for (uint32_t i = 0; i < count; ++i, ++frame) {
        if (frame >= 0 && frame < int64_t(waveFrames)) std::memcpy(out + 2 * i, wave + 4 * frame, 4);
        else out[2 * i] = out[2 * i + 1] = 0;
    }
}

void WaveSync::fill(int16_t* out, uint32_t frameCount, Clock::time_point now) {
    std::lock_guard<std::mutex> held(lock);
    if (firstTake == Clock::time_point{}) firstTake = now;
    if (paused) {
        std::memset(out, 0, size_t(frameCount) * 4);
        return;
    }
    const int64_t difference = following ? position - (showFrameAt(now + latency) - pictureLag) : 0;
    const int64_t move = jumpNext ? difference : correction(difference);
    if (move == 0) {
        copyFrom(position, out, frameCount);
        position += frameCount;
        return;
    }
    // The jump at this buffer's start, blended from the sound that would have gone on.
    const uint32_t blend = std::min(frameCount, crossfadeFrames);
    int16_t before[2 * crossfadeFrames];
    copyFrom(position, before, blend);
    position -= move;
    copyFrom(position, out, frameCount);
    for (uint32_t i = 0; i < 2 * blend; ++i) {
        const int32_t weight = int32_t(i / 2 + 1);  // of blend + 1: the new sound's share
        out[i] = int16_t((int32_t(before[i]) * (int32_t(blend) + 1 - weight) + int32_t(out[i]) * weight) /
                         (int32_t(blend) + 1));
    }
    position += frameCount;
    jumpNext = false;
    agreeing = 0;
}
