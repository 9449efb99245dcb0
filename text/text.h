// text.h: lines of text drawn as clouds of small wireframe cubes.
#pragma once

#include "platform/d3d9.h"

// A position and an ARGB colour, format D3DFVF_XYZ | D3DFVF_DIFFUSE: text lines and particle points.
struct ColorVertex {
    float x, y, z;
    D3DCOLOR color;
};
static_assert(sizeof(ColorVertex) == 16);

void buildEdgeCube();  // the wireframe cube's line list; once, before the first text
void drawText(const char* text, float visibility, float eyeX, float eyeY, float eyeZ, float targetX,
              float targetY, float targetZ);
