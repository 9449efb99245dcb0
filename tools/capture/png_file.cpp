// png_file.cpp: PNG output through libpng's simplified writer (no setjmp to get wrong).
#include "tools/capture/png_file.h"

#include <png.h>

bool writePng(const std::string& path, const uint8_t* rgba, int width, int height, std::string& error) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgba, 0, nullptr) == 0) {
        error = "cannot write " + path + ": " + image.message;
        return false;
    }
    return true;
}
