// picture_compare.h: how far two pictures of the same frame from two renderers lie apart, by
// the measures the browser test uses: the mean difference per channel, the share of pixels more
// than 24 levels apart, and the share that moved (no pixel within 24 in the 3 x 3 around it in
// the other picture, either way round: an edge one pixel over does not count as moved).
#pragma once

#include <cstdint>
#include <vector>

constexpr int pictureTolerance = 24;

struct PictureDifference {
    double mean = 0;    // levels, over R, G and B of every pixel
    double over = 0;    // share of pixels with a channel more than the tolerance apart
    double moved = 0;   // share of pixels that moved
    std::vector<bool> movedAt;  // per pixel
};

// a and b: RGBA, width x height each; alpha is not compared.
PictureDifference comparePictures(const uint8_t* a, const uint8_t* b, int width, int height);

// The two side by side (a left), and their difference: each pixel's largest channel difference
// times four in grey, moved pixels red.
std::vector<uint8_t> sideBySide(const uint8_t* a, const uint8_t* b, int width, int height);
std::vector<uint8_t> differencePicture(const uint8_t* a, const uint8_t* b, const PictureDifference& difference, int width,
                                       int height);
