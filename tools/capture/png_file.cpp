// png_file.cpp: PNG output through libpng's simplified writer (no setjmp to get wrong), encoded in
// memory so that a file that cannot be written says why in the system's words, not libpng's.
#include "tools/capture/png_file.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

std::vector<uint8_t> encodePng(const uint8_t* rgba, int width, int height) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t bytes = 0;
    // The first call only sizes the file.
    if (png_image_write_to_memory(&image, nullptr, &bytes, 0, rgba, 0, nullptr) == 0) return {};
    std::vector<uint8_t> png(bytes);
    if (png_image_write_to_memory(&image, png.data(), &bytes, 0, rgba, 0, nullptr) == 0) return {};
    png.resize(bytes);
    return png;
}

bool writePng(const std::string& path, const uint8_t* rgba, int width, int height, std::string& error) {
    const std::vector<uint8_t> png = encodePng(rgba, width, height);
    if (png.empty()) {
        error = "cannot encode " + path + " as PNG";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    // A full disk may show only when the buffer is flushed, at the close.
    const bool complete = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    const int writeError = errno;
    if (std::fclose(file) == 0 && complete) return true;
    error = "cannot write " + path + ": " + std::strerror(complete ? errno : writeError);
    return false;
}
