// memory_budget.h: whether a picture size fits the machine: the memory available now, what the
// GL device and the show's window hold for a size, and the largest size of an aspect that fits,
// so that a size too large is refused, naming one that would do, before any of it is allocated.
#pragma once

#include <cstdint>
#include <string>

// MemAvailable of /proc/meminfo in bytes: what can be allocated without swapping; 0 where the
// system does not say (no /proc, a browser), which the checks take as no limit.
uint64_t memoryAvailableBytes();
// The same, read from that file's text.
uint64_t memAvailableIn(const std::string& meminfo);

// What a run holds besides its pictures (the soundtrack, the player's snapshots, the renderer's
// own): 150 MB for quorbel-capture --frame and 175 MB for quorbel at 640 x 480 (maximum RSS).
constexpr uint64_t runBaseBytes = uint64_t(176) << 20;

// What the GL device allocates for a picture drawn at width x height: the back buffer and its
// depth-stencil buffer, 4 bytes a pixel each, and the show's render targets (7 of 256 x 256 at
// 640 x 480, scaled with the picture, in one array of 8 layers) with their depth buffer.
uint64_t drawingBytes(int width, int height);

// What the show's window of width x height pixels holds: its front and back buffers, and the
// picture drawn at the largest 4:3 size within it.
uint64_t windowBytes(int width, int height);

// "4.2 GB", "850 MB" (decimal units).
std::string byteSize(uint64_t bytes);

struct PixelSize {
    int width = 0, height = 0;
};

// The largest size of the aspect of width x height, not above it nor below least, for which
// fits(w, h) holds (fits must hold for every size below one it holds for); {0, 0} where none does.
template <typename Fits>
PixelSize largestFitting(PixelSize asked, PixelSize least, Fits fits) {
    auto at = [&](int height) {
        const int width = static_cast<int>((int64_t(asked.width) * height + asked.height / 2) / asked.height);
        return PixelSize{width < least.width ? least.width : width, height};
    };
    int low = least.height, high = asked.height;
    if (!fits(at(low).width, low)) return {};
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (fits(at(middle).width, middle)) low = middle;
        else high = middle - 1;
    }
    return at(low);
}

// The show's --size against the machine: empty where a window of width x height fits the memory
// available, the largest side that can be drawn (a window's, or the renderer's) and the screen it
// opens on (any of them 0: not known), else the line that says why, and the largest --size of
// that aspect that fits.
std::string windowSizeRefusal(int width, int height, uint64_t available, int largestDrawn, PixelSize screen = {});
