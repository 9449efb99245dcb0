// memory_budget.cpp: the memory available, what a picture size costs, and the show's --size
// measured against both.
#include "platform/memory_budget.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// The picture's 4:3 rectangle within width x height, as Present and the capture tool place it.
PixelSize pictureWithin(int width, int height) {
    if (int64_t(width) * 3 > int64_t(height) * 4) return {static_cast<int>(int64_t(height) * 4 / 3), height};
    return {width, static_cast<int>(int64_t(width) * 3 / 4)};
}

// A nominal length at the drawing's scale, rounded as the device rounds it.
uint64_t scaledLength(int nominal, int pixels, int nominalTotal) {
    const uint64_t length =
        (uint64_t(nominal) * uint64_t(pixels) * 2 + uint64_t(nominalTotal)) / (uint64_t(nominalTotal) * 2);
    return length > 0 ? length : 1;
}

}  // namespace

uint64_t memAvailableIn(const std::string& meminfo) {
    std::istringstream lines(meminfo);
    for (std::string line; std::getline(lines, line);) {
        unsigned long long kilobytes = 0;
        char unit[8] = {};
        if (std::sscanf(line.c_str(), "MemAvailable: %llu %7s", &kilobytes, unit) == 2 && std::string(unit) == "kB")
            return uint64_t(kilobytes) * 1024;
    }
    return 0;
}

uint64_t memoryAvailableBytes() {
    std::ifstream file("/proc/meminfo");
    if (!file) return 0;
    std::ostringstream text;
    text << file.rdbuf();
    return memAvailableIn(text.str());
}

uint64_t drawingBytes(int width, int height) {
    constexpr uint64_t bytesPerPixel = 4, targetLayers = 8, targetSide = 256;
    const uint64_t picture = uint64_t(width) * uint64_t(height) * bytesPerPixel;
    const uint64_t target = scaledLength(targetSide, width, 640) * scaledLength(targetSide, height, 480) * bytesPerPixel;
    return 2 * picture + (targetLayers + 1) * target;
}

uint64_t windowBytes(int width, int height) {
    const PixelSize picture = pictureWithin(width, height);
    return 2 * uint64_t(width) * uint64_t(height) * 4 + drawingBytes(picture.width, picture.height);
}

std::string byteSize(uint64_t bytes) {
    char text[32];
    if (bytes >= 1000000000) std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / 1e9);
    else std::snprintf(text, sizeof text, "%.0f MB", double(bytes) / 1e6);
    return text;
}

std::string windowSizeRefusal(int width, int height, uint64_t available, int largestDrawn, PixelSize screen) {
    auto fitsMemory = [available](int w, int h) {
        return available == 0 || windowBytes(w, h) + runBaseBytes <= available;
    };
    // A window larger than its screen is never seen whole, and the renderer still fills all of it.
    auto drawable = [largestDrawn, screen](int w, int h) {
        return (largestDrawn == 0 || (w <= largestDrawn && h <= largestDrawn)) &&
               (screen.width == 0 || (w <= screen.width && h <= screen.height));
    };
    const std::string asked = "--size " + std::to_string(width) + "x" + std::to_string(height);
    std::string why;
    if (!fitsMemory(width, height))
        why = asked + " needs " + byteSize(windowBytes(width, height) + runBaseBytes) + ", more than the " +
              byteSize(available) + " available";
    else if (screen.width > 0 && (width > screen.width || height > screen.height))
        why = asked + " is larger than the screen (" + std::to_string(screen.width) + " x " +
              std::to_string(screen.height) + ")";
    else if (!drawable(width, height))
        why = asked + " is more than can be drawn here (" + std::to_string(largestDrawn) + " x " +
              std::to_string(largestDrawn) + " pixels at most)";
    else
        return "";
    const PixelSize largest =
        largestFitting({width, height}, {4, 3}, [&](int w, int h) { return fitsMemory(w, h) && drawable(w, h); });
    if (largest.height == 0) return why + "; no window fits";
    return why + "; the largest that fits is --size " + std::to_string(largest.width) + "x" + std::to_string(largest.height);
}
