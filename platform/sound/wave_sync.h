// wave_sync.h: where the audio device reads the wave image: from where the sound starts until
// the show's clock runs, then held to that clock, buffer by buffer.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/sound/wave_chunks.h"

// The show's clock is the one clock: the picture follows it, and each buffer the device asks for
// is compared with it (the frames handed over so far against the show time at which this buffer
// will be heard, one device latency from now). Where the two differ by more than a few ms the
// buffer starts where the picture is, crossfaded from where the sound was, so that neither a
// device that runs fast or slow, nor one that ran dry (a busy machine) keeps them apart.
//
// The picture on screen is always one frame behind the clock: a frame draws the clock's time at
// its start and is presented as the next one starts. The sound is held that far behind the clock
// (the median of the last frames' intervals), so that it is heard where the picture is; on a
// machine that draws 15 frames a second that is 67 ms.
//
// After a stop of the whole process (SIGSTOP, a debugger, a stalled machine) both jump together
// to where the clock is: the show's clock is the tick count, as designed, where the sound plays
// on in the system while the program stands still and the picture catches up with it; going on
// from where the show stopped would need a clock that knows it was stopped, which the tick count
// does not. (A suspended machine needs nothing: the steady clock stops with it.)
//
// Every call takes the time it happens at; one thread (the show's) sets the clock, another (the
// device's) fills buffers.
class WaveSync {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr uint32_t framesPerSecond = waveFramesPerSecond;
    // A difference the sound is left with; past it, for a few buffers in a row, it is moved.
    static constexpr Clock::duration tolerance = std::chrono::milliseconds(10);
    // Buffers in a row that must agree before a small difference is corrected: a device thread
    // that was late once asks as if the sound were behind when it was not.
    static constexpr int agreeingBuffers = 3;
    // A difference no late thread explains (the device's whole buffer is shorter): corrected at once.
    static constexpr Clock::duration farOff = std::chrono::milliseconds(100);
    // Frames whose intervals give the picture's lag; a longer interval is a pause or a stall.
    static constexpr int lagFrames = 15;
    static constexpr Clock::duration longestFrame = std::chrono::milliseconds(500);
    // A jump blends the sound left behind into the new place over this many frames (2.9 ms).
    static constexpr uint32_t crossfadeFrames = 128;

    // The wave as 16-bit little-endian stereo frames (4 bytes each), and the time from handing a buffer to the device until
    // its first frame is heard. Before the device starts.
    void setWave(const uint8_t* frames, uint32_t frameCount);
    void setLatency(Clock::duration latency);

    // The show is at ms now (a seek, a frame). Before its clock runs: where the sound starts.
    void moveTo(uint32_t ms, Clock::time_point now);
    // Every frame: the show's clock reads ms now; from the first, the sound follows it.
    void showAt(uint32_t ms, Clock::time_point now);
    // The show's clock stops (silence, nothing read) or goes on from where it stopped.
    void pause(bool paused, Clock::time_point now);
    // The device's first buffer has been heard.
    bool heard(Clock::time_point now) const;

    // The device's thread: the next frameCount frames to play, interleaved stereo.
    void fill(int16_t* out, uint32_t frameCount, Clock::time_point now);

    // Where the next buffer starts reading, in frames (tests).
    uint64_t readFrame() const;

private:
    int64_t showFrameAt(Clock::time_point t) const;  // the clock's frame at t (locked)
    int64_t correction(int64_t difference);
    void notePictureLag(Clock::time_point now);
    void copyFrom(int64_t frame, int16_t* out, uint32_t count) const;

    mutable std::mutex lock;
    const uint8_t* wave = nullptr;
    uint32_t waveFrames = 0;
    Clock::duration latency{};
    int64_t position = 0;        // the next frame handed to the device
    bool following = false;      // the show's clock runs or ran: the sound follows it
    bool paused = false;
    bool jumpNext = false;       // a seek: the next buffer starts there, whatever the difference
    int64_t clockFrame = 0;      // the show's clock: its frame at clockAt (while paused, standing)
    Clock::time_point clockAt;
    Clock::time_point firstTake; // the epoch until the device first asked
    int64_t agreed[agreeingBuffers] = {};  // the last differences, in frames
    int agreeing = 0;
    Clock::time_point lastFrameAt;       // the last showAt
    int64_t frameIntervals[lagFrames] = {};  // the last ones, in frames
    int intervalCount = 0, nextInterval = 0;
    int64_t pictureLag = 0;              // the picture's lag behind the clock, in frames
};
