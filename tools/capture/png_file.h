// png_file.h: writing RGBA images as PNG files.
#pragma once

#include <cstdint>
#include <string>

// Writes width x height RGBA bytes, row 0 at the top. False, with one line in error, when the
// file cannot be written.
bool writePng(const std::string& path, const uint8_t* rgba, int width, int height, std::string& error);
