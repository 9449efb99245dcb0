// png_file.h: RGBA images as PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// width x height RGBA bytes, row 0 at the top, as a PNG file's bytes; empty where libpng fails.
std::vector<uint8_t> encodePng(const uint8_t* rgba, int width, int height);

// Writes them to path. False, with one line in error (the system's reason), when the file cannot
// be written.
bool writePng(const std::string& path, const uint8_t* rgba, int width, int height, std::string& error);
