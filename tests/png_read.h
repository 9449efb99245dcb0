// png_read.h: a PNG file the capture tool wrote, as RGBA bytes, for the tests that compare it.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

struct PngImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;  // row 0 at the top
    const uint8_t* at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// Whatever the file's colour type; an empty image when it cannot be read.
inline PngImage readPng(const std::string& path) {
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    PngImage image;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) return image;
    png.format = PNG_FORMAT_RGBA;
    image.rgba.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr) == 0) return {};
    image.width = int(png.width);
    image.height = int(png.height);
    return image;
}
