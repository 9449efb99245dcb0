// picture.h: the size a capture draws at and the size of the pictures it writes: the 4:3
// picture as large as fits the asked size, centred between black bars, drawn at a multiple of
// its size where supersampled and box-filtered down.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/capture_options.h"

struct PictureLayout {
    int width = 640, height = 480;     // the pictures written, bars included
    int left = 0, top = 0;             // where the picture lies in them
    int pictureWidth = 640, pictureHeight = 480;
    int samples = 1;                   // drawn at samples x the picture's size each way
    int drawnWidth() const { return pictureWidth * samples; }
    int drawnHeight() const { return pictureHeight * samples; }
};

// Empty picture (zero width or height) where width x height is too small for one.
PictureLayout pictureLayoutFor(int width, int height, int samples);

// The mean of each n x n block of an RGBA image of width x height (multiples of n), rounded;
// the result has alpha 255, as a picture of the screen has.
void boxFilter(const uint8_t* rgba, int width, int height, int n, uint8_t* out);

// The drawn back buffer (drawnWidth x drawnHeight) as the picture the layout writes.
void composePicture(const PictureLayout& layout, const uint8_t* drawn, std::vector<uint8_t>& out);

// What one process of the capture tool allocates for the pictures of its mode (none for the modes
// that draw nothing): the device's buffers at the drawn size (drawingBytes), the back buffer read
// back, the picture written and, supersampled with bars, the filtered picture; libpng's rows;
// the contact sheet, or a face texture read back and filtered. 64-bit: sizes reach terabytes.
uint64_t pictureBytes(CaptureMode mode, int width, int height, int samples);

// --size and --supersample against the machine: empty where `processes` processes drawing them
// fit the memory available and the drawn size fits the renderer's largest (either 0: not known),
// else the line that says why and names what fits: the largest --supersample below the one asked
// where one does at that size, else the largest --size of that aspect.
std::string pictureSizeRefusal(const CaptureOptions& options, uint32_t processes, uint64_t available, int largestDrawn);
