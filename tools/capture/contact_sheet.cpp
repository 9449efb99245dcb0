// contact_sheet.cpp: shrinking frames into thumbnails and placing them on the sheet.
#include "tools/capture/contact_sheet.h"

#include <cstddef>

ContactSheet makeContactSheet(int thumbs) {
    ContactSheet sheet;
    sheet.thumbs = thumbs;
    const int rows = (thumbs + sheetColumns - 1) / sheetColumns;
    sheet.width = sheetGap + sheetColumns * (thumbWidth + sheetGap);
    sheet.height = sheetGap + rows * (thumbHeight + sheetGap);
    sheet.rgba.resize(static_cast<size_t>(sheet.width) * sheet.height * 4);
    for (size_t i = 0; i < sheet.rgba.size(); i += 4) {
        sheet.rgba[i] = sheet.rgba[i + 1] = sheet.rgba[i + 2] = 32;
        sheet.rgba[i + 3] = 255;
    }
    return sheet;
}

void placeThumbnail(ContactSheet& sheet, int slot, const uint8_t* frame) {
    if (slot < 0 || slot >= sheet.thumbs) return;
    const int left = sheetGap + (slot % sheetColumns) * (thumbWidth + sheetGap);
    const int top = sheetGap + (slot / sheetColumns) * (thumbHeight + sheetGap);
    for (int y = 0; y < thumbHeight; ++y) {
        for (int x = 0; x < thumbWidth; ++x) {
            uint32_t sum[4] = {0, 0, 0, 0};
            for (int dy = 0; dy < thumbShrink; ++dy) {
                const uint8_t* p = frame + ((static_cast<size_t>(y) * thumbShrink + dy) * frameWidth +
                                            static_cast<size_t>(x) * thumbShrink) * 4;
                for (int dx = 0; dx < thumbShrink; ++dx)
                    for (int c = 0; c < 4; ++c) sum[c] += p[dx * 4 + c];
            }
            uint8_t* out = &sheet.rgba[(static_cast<size_t>(top + y) * sheet.width + left + x) * 4];
            constexpr uint32_t n = thumbShrink * thumbShrink;
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
            out[3] = 255;  // the back buffer's alpha is no part of the picture
        }
    }
}
