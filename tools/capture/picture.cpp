// picture.cpp: letterboxing and box-filtering the drawn back buffer into the written picture.
#include "tools/capture/picture.h"

#include <cstddef>
#include <cstring>

#include "platform/gl/gl_device.h"
#include "platform/memory_budget.h"
#include "timeline/timeline.h"
#include "tools/capture/contact_sheet.h"

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

// ---- what a size costs ----

namespace {

bool drawsPictures(CaptureMode mode) {
    return mode != CaptureMode::Help && mode != CaptureMode::Wav && mode != CaptureMode::Trace &&
           mode != CaptureMode::Stream;
}

uint64_t rgbaBytes(int width, int height) { return uint64_t(width) * uint64_t(height) * 4; }

// What the mode keeps beside the picture: the sheet, or one face texture and its filtered copy.
uint64_t modeBytes(CaptureMode mode, const PictureLayout& layout) {
    if (mode == CaptureMode::Sheet) {
        const ContactSheet sheet = contactSheetLayout(int(showLengthMs / showBarMs), layout.width, layout.height);
        return rgbaBytes(sheet.width, sheet.height) + rgbaBytes(sheet.thumbWidth, sheet.thumbHeight);
    }
    if (mode != CaptureMode::Faces) return 0;
    // The faces are 256 x 256 at 640 x 480, scaled with the drawing as the device scales them.
    const int side = static_cast<int>((int64_t(256) * layout.drawnHeight() * 2 + 480) / (480 * 2));
    return rgbaBytes(side, side) + rgbaBytes(side / layout.samples, side / layout.samples);
}

}  // namespace

uint64_t pictureBytes(CaptureMode mode, int width, int height, int samples) {
    if (!drawsPictures(mode)) return 0;
    const PictureLayout layout = pictureLayoutFor(width, height, samples);
    const bool whole = layout.width == layout.pictureWidth && layout.height == layout.pictureHeight;
    const uint64_t filtered = samples > 1 && !whole ? rgbaBytes(layout.pictureWidth, layout.pictureHeight) : 0;
    const uint64_t pngRows = 4 * rgbaBytes(width, 1);
    return drawingBytes(layout.drawnWidth(), layout.drawnHeight()) +
           rgbaBytes(layout.drawnWidth(), layout.drawnHeight()) + rgbaBytes(width, height) + filtered + pngRows +
           modeBytes(mode, layout);
}

std::string pictureSizeRefusal(const CaptureOptions& options, uint32_t processes, uint64_t available, int largestDrawn) {
    const CaptureMode mode = options.mode;
    if (!drawsPictures(mode)) return "";
    auto needs = [&](int width, int height, int samples) {
        return uint64_t(processes) * (pictureBytes(mode, width, height, samples) + runBaseBytes);
    };
    auto drawable = [&](int width, int height, int samples) {
        const PictureLayout layout = pictureLayoutFor(width, height, samples);
        return largestDrawn == 0 || (layout.drawnWidth() <= largestDrawn && layout.drawnHeight() <= largestDrawn);
    };
    auto fits = [&](int width, int height, int samples) {
        return drawable(width, height, samples) && (available == 0 || needs(width, height, samples) <= available);
    };
    const int width = options.width, height = options.height, samples = options.supersample;
    if (fits(width, height, samples)) return "";

    std::string asked = "--size " + std::to_string(width) + "x" + std::to_string(height);
    if (samples > 1) asked += " with --supersample " + std::to_string(samples);
    std::string why;
    if (!drawable(width, height, samples)) {
        const PictureLayout layout = pictureLayoutFor(width, height, samples);
        why = asked + " is drawn at " + std::to_string(layout.drawnWidth()) + " x " +
              std::to_string(layout.drawnHeight()) + " pixels, more than the renderer's largest, " +
              std::to_string(largestDrawn) + " x " + std::to_string(largestDrawn);
    } else {
        why = asked + (processes > 1 ? " in " + std::to_string(processes) + " processes" : "") + " needs " +
              byteSize(needs(width, height, samples)) + ", more than the " + byteSize(available) + " available";
    }
    for (int lower = samples - 1; lower >= 1; --lower)
        if (fits(width, height, lower))
            return why + "; the largest that fits is --supersample " + std::to_string(lower);
    // A video's sides stay even; a picture needs room for 4 x 3.
    const bool even = mode == CaptureMode::Video;
    PixelSize largest = largestFitting({width, height}, {4, even ? 4 : 3}, [&](int w, int h) {
        return fits(even ? w & ~1 : w, even ? h & ~1 : h, samples);
    });
    if (even) largest = {largest.width & ~1, largest.height & ~1};
    if (largest.height == 0) return why + "; no size fits";
    return why + "; the largest that fits is --size " + std::to_string(largest.width) + "x" +
           std::to_string(largest.height);
}
