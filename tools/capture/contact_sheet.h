// contact_sheet.h: thumbnails of whole frames laid out in rows on one image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int frameWidth = 640, frameHeight = 480;
constexpr int thumbShrink = 4;  // a thumbnail is a quarter of the frame each way
constexpr int thumbWidth = frameWidth / thumbShrink, thumbHeight = frameHeight / thumbShrink;
constexpr int sheetColumns = 7;
constexpr int sheetGap = 4;     // pixels between thumbnails and around them

struct ContactSheet {
    int width, height, thumbs;
    std::vector<uint8_t> rgba;  // dark grey where no thumbnail lies
};

ContactSheet makeContactSheet(int thumbs);

// Puts a 640 x 480 RGBA frame, shrunk by averaging 4 x 4 blocks, at place slot (row by row).
void placeThumbnail(ContactSheet& sheet, int slot, const uint8_t* frame);
