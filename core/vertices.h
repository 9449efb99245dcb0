// vertices.h: the two vertex layouts the scenes hand the device.
#pragma once

#include "platform/d3d9.h"

// A position and an ARGB colour, format D3DFVF_XYZ | D3DFVF_DIFFUSE: text lines and particle points.
struct ColorVertex {
    float x, y, z;
    D3DCOLOR color;
};
static_assert(sizeof(ColorVertex) == 16);

// A position and one texture coordinate, format D3DFVF_XYZ | D3DFVF_TEX1: tunnel segments and
// cube stickers.
struct TexVertex {
    float x, y, z;
    float u, v;
};
static_assert(sizeof(TexVertex) == 20);
