// picture_compare.cpp: the three measures, and the pictures that show where they come from.
#include "tools/stream/picture_compare.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

int channelDifference(const uint8_t* p, const uint8_t* q) {
    return std::max({std::abs(p[0] - q[0]), std::abs(p[1] - q[1]), std::abs(p[2] - q[2])});
}

// Whether some pixel of y in the 3 x 3 around (px, py) is within the tolerance of x's pixel there.
bool found(const uint8_t* x, const uint8_t* y, int px, int py, int width, int height) {
    const uint8_t* p = x + (size_t(py) * width + px) * 4;
    for (int ny = std::max(0, py - 1); ny <= std::min(height - 1, py + 1); ++ny)
        for (int nx = std::max(0, px - 1); nx <= std::min(width - 1, px + 1); ++nx)
            if (channelDifference(p, y + (size_t(ny) * width + nx) * 4) <= pictureTolerance) return true;
    return false;
}

}  // namespace

PictureDifference comparePictures(const uint8_t* a, const uint8_t* b, int width, int height) {
    PictureDifference result;
    result.movedAt.assign(size_t(width) * height, false);
    uint64_t sum = 0, over = 0, moved = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t p = (size_t(y) * width + x) * 4;
            for (int c = 0; c < 3; ++c) sum += uint64_t(std::abs(a[p + c] - b[p + c]));
            if (channelDifference(a + p, b + p) <= pictureTolerance) continue;
            ++over;
            if (found(a, b, x, y, width, height) && found(b, a, x, y, width, height)) continue;
            ++moved;
            result.movedAt[p / 4] = true;
        }
    const double pixels = double(width) * height;
    result.mean = double(sum) / (3 * pixels);
    result.over = double(over) / pixels;
    result.moved = double(moved) / pixels;
    return result;
}

std::vector<uint8_t> sideBySide(const uint8_t* a, const uint8_t* b, int width, int height) {
    std::vector<uint8_t> out(size_t(width) * 2 * height * 4);
    const size_t row = size_t(width) * 4;
    for (int y = 0; y < height; ++y) {
        std::memcpy(&out[y * row * 2], a + y * row, row);
        std::memcpy(&out[y * row * 2 + row], b + y * row, row);
    }
    return out;
}

std::vector<uint8_t> differencePicture(const uint8_t* a, const uint8_t* b, const PictureDifference& difference, int width,
                                       int height) {
    std::vector<uint8_t> out(size_t(width) * height * 4);
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        const uint8_t level = static_cast<uint8_t>(std::min(255, 4 * channelDifference(a + i * 4, b + i * 4)));
        uint8_t* o = &out[i * 4];
        o[0] = difference.movedAt[i] ? 255 : level;
        o[1] = o[2] = difference.movedAt[i] ? 0 : level;
        o[3] = 255;
    }
    return out;
}
