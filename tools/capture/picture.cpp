// picture.cpp: letterboxing and box-filtering the drawn back buffer into the written picture.
#include "tools/capture/picture.h"

#include <cstddef>
#include <cstring>

#include "platform/gl/gl_device.h"

PictureLayout pictureLayoutFor(int width, int height, int samples) {
    PictureLayout layout;
    const GLPresentRect fit = presentRectangle(width, height);
    layout.width = width;
    layout.height = height;
    layout.left = fit.x;
    layout.top = fit.y;  // centred, so the same from either edge
    layout.pictureWidth = fit.width;
    layout.pictureHeight = fit.height;
    layout.samples = samples;
    return layout;
}

void boxFilter(const uint8_t* rgba, int width, int height, int n, uint8_t* out) {
    const int outWidth = width / n, outHeight = height / n;
    const uint32_t count = uint32_t(n) * uint32_t(n);
    for (int y = 0; y < outHeight; ++y)
        for (int x = 0; x < outWidth; ++x) {
            uint32_t sum[3] = {0, 0, 0};
            for (int dy = 0; dy < n; ++dy) {
                const uint8_t* p = rgba + ((size_t(y) * n + size_t(dy)) * size_t(width) + size_t(x) * n) * 4;
                for (int dx = 0; dx < n; ++dx, p += 4)
                    for (int c = 0; c < 3; ++c) sum[c] += p[c];
            }
            uint8_t* o = out + (size_t(y) * size_t(outWidth) + size_t(x)) * 4;
            for (int c = 0; c < 3; ++c) o[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
            o[3] = 255;
        }
}

void composePicture(const PictureLayout& layout, const uint8_t* drawn, std::vector<uint8_t>& out) {
    const size_t rowBytes = size_t(layout.pictureWidth) * 4;
    out.resize(size_t(layout.width) * size_t(layout.height) * 4);
    const bool whole = layout.width == layout.pictureWidth && layout.height == layout.pictureHeight;
    std::vector<uint8_t> filtered;
    const uint8_t* picture = drawn;
    if (layout.samples > 1) {
        filtered.resize(rowBytes * size_t(layout.pictureHeight));
        boxFilter(drawn, layout.drawnWidth(), layout.drawnHeight(), layout.samples, whole ? out.data() : filtered.data());
        if (whole) return;
        picture = filtered.data();
    }
    if (!whole) {
        for (size_t i = 0; i < out.size(); i += 4) out[i] = out[i + 1] = out[i + 2] = 0, out[i + 3] = 255;
        for (int y = 0; y < layout.pictureHeight; ++y)
            std::memcpy(&out[(size_t(layout.top + y) * size_t(layout.width) + size_t(layout.left)) * 4],
                        picture + size_t(y) * rowBytes, rowBytes);
    } else if (picture != out.data()) {
        std::memcpy(out.data(), picture, out.size());
    }
    // The back buffer's alpha is no part of the picture (a viewer would show the bars as holes).
    for (size_t i = 3; i < out.size(); i += 4) out[i] = 255;
}
