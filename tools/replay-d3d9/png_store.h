// png_store.h: RGBA pictures as PNG files without a compression library: the image data in
// zlib's stored blocks (larger files, nothing to link on Windows).
#pragma once

#include <cstdint>
#include <string>

// False when the file cannot be written. rgba: width x height x 4 bytes, row 0 at the top.
bool writeStoredPng(const std::wstring& path, const uint8_t* rgba, uint32_t width, uint32_t height);
