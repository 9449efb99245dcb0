// gl_layouts.h: the device's fixed sizes, and Direct3D's colours and pixel rows as GL takes them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d9.h"

constexpr int glBackBufferWidth = 640;
constexpr int glBackBufferHeight = 480;
// The streaming vertex buffer, refilled from its start (orphaned) when a batch no longer fits;
// the index buffer covers it with both sprite windings, so it stays within 16-bit indices.
constexpr size_t glStreamVertices = 16384;
// Render-target textures of one size and format are layers of one array texture, this many each.
constexpr int glTargetLayers = 8;

// Direct3D's ARGB colour as the bytes R, G, B, A.
inline void argbToRgba(DWORD argb, uint8_t rgba[4]) {
    rgba[0] = static_cast<uint8_t>(argb >> 16);
    rgba[1] = static_cast<uint8_t>(argb >> 8);
    rgba[2] = static_cast<uint8_t>(argb);
    rgba[3] = static_cast<uint8_t>(argb >> 24);
}

// The same colour as GL's floats 0 ... 1, in the order R, G, B, A.
struct GLColor {
    float r, g, b, a;
};
inline GLColor argbToGlColor(DWORD argb) {
    return {float((argb >> 16) & 255) / 255.0f, float((argb >> 8) & 255) / 255.0f, float(argb & 255) / 255.0f,
            float(argb >> 24) / 255.0f};
}

// A row of pixels as Direct3D's A8R8G8B8 lays them in memory (B, G, R, A) to GL's R, G, B, A;
// X8R8G8B8 (opaque) has no alpha, so it reads as 255.
inline void bgraRowToRgba(const uint8_t* from, uint8_t* to, unsigned pixels, bool opaque) {
    for (unsigned x = 0; x < pixels; ++x, from += 4, to += 4) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
        to[3] = opaque ? 255 : from[3];
    }
}
