// contact_sheet.cpp: shrinking frames into thumbnails and placing them on the sheet.
#include "tools/capture/contact_sheet.h"

#include <cstring>

#include "tools/capture/picture.h"

ContactSheet contactSheetLayout(int thumbs, int frameWidth, int frameHeight) {
    ContactSheet sheet;
    sheet.thumbs = thumbs;
    sheet.frameWidth = frameWidth;
    sheet.frameHeight = frameHeight;
    sheet.thumbWidth = frameWidth / thumbShrink;
    sheet.thumbHeight = frameHeight / thumbShrink;
    const int rows = (thumbs + sheetColumns - 1) / sheetColumns;
    sheet.width = sheetGap + sheetColumns * (sheet.thumbWidth + sheetGap);
    sheet.height = sheetGap + rows * (sheet.thumbHeight + sheetGap);
    return sheet;
}

ContactSheet makeContactSheet(int thumbs, int frameWidth, int frameHeight) {
    ContactSheet sheet = contactSheetLayout(thumbs, frameWidth, frameHeight);
    sheet.rgba.resize(static_cast<size_t>(sheet.width) * sheet.height * 4);
    for (size_t i = 0; i < sheet.rgba.size(); i += 4) {
        sheet.rgba[i] = sheet.rgba[i + 1] = sheet.rgba[i + 2] = 32;
        sheet.rgba[i + 3] = 255;
    }
    return sheet;
}

void placeThumbnail(ContactSheet& sheet, int slot, const uint8_t* frame) {
    if (slot < 0 || slot >= sheet.thumbs) return;
    const int left = sheetGap + (slot % sheetColumns) * (sheet.thumbWidth + sheetGap);
    const int top = sheetGap + (slot / sheetColumns) * (sheet.thumbHeight + sheetGap);
    std::vector<uint8_t> thumb(size_t(sheet.thumbWidth) * size_t(sheet.thumbHeight) * 4);
    boxFilter(frame, sheet.frameWidth, sheet.frameHeight, thumbShrink, thumb.data());
    const size_t rowBytes = size_t(sheet.thumbWidth) * 4;
    for (int y = 0; y < sheet.thumbHeight; ++y)
        std::memcpy(&sheet.rgba[(size_t(top + y) * size_t(sheet.width) + size_t(left)) * 4],
                    &thumb[size_t(y) * rowBytes], rowBytes);
}
