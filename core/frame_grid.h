// frame_grid.h: the frames a run at a whole number of frames a second shows: frame k at show
// time k * 1000 / fps ms, rounded down. The capture tool's virtual clock runs on it, and the
// player's seeks and frame steps land on its 60 fps one, so that both draw the same frames.
// Each question is named for what it answers: a time (...Ms) or a count (frames...).
#pragma once

#include <cstdint>

struct FrameGrid {
    uint32_t fps;

    // ---- times, in whole milliseconds ----

    // Frame k's.
    constexpr uint32_t frameMs(uint64_t k) const { return static_cast<uint32_t>(k * 1000u / fps); }
    // The first frame's after ms.
    constexpr uint32_t frameMsAfter(uint32_t ms) const { return frameMs(framesThrough(ms)); }
    // The last frame's before ms; 0 where none is (ms 0).
    constexpr uint32_t frameMsBefore(uint32_t ms) const { return ms == 0 ? 0 : frameMs(framesBefore(ms) - 1); }

    // ---- counts ----

    // Frames at or before ms.
    constexpr uint64_t framesThrough(uint32_t ms) const { return ((uint64_t(ms) + 1) * fps + 999) / 1000; }
    // Frames before ms: the number of the first frame at or after it.
    constexpr uint64_t framesBefore(uint32_t ms) const { return ms == 0 ? 0 : framesThrough(ms - 1); }

    // Whether a frame falls at ms.
    constexpr bool isFrameMs(uint32_t ms) const { return framesThrough(ms) != framesBefore(ms); }
};
