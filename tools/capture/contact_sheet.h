// contact_sheet.h: thumbnails of whole frames laid out in rows on one image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int thumbShrink = 4;  // a thumbnail is a quarter of the frame each way
constexpr int sheetColumns = 7;
constexpr int sheetGap = 4;     // pixels between thumbnails and around them

struct ContactSheet {
    int width, height, thumbs;
    int frameWidth, frameHeight;  // the frames placed on it
    int thumbWidth, thumbHeight;
    std::vector<uint8_t> rgba;    // dark grey where no thumbnail lies
};

ContactSheet makeContactSheet(int thumbs, int frameWidth = 640, int frameHeight = 480);
// The same without its pixels: the sizes alone.
ContactSheet contactSheetLayout(int thumbs, int frameWidth, int frameHeight);

// Puts an RGBA frame of the sheet's frame size, shrunk by averaging 4 x 4 blocks, at place
// slot (row by row).
void placeThumbnail(ContactSheet& sheet, int slot, const uint8_t* frame);
