// tunnel.h: the tunnel's geometry, random path, camera and flight scene.
#pragma once

// A position and one texture coordinate, format D3DFVF_XYZ | D3DFVF_TEX1: tunnel segments and
// cube stickers.
struct TexVertex {
    float x, y, z;
    float u, v;
};
static_assert(sizeof(TexVertex) == 20);

void buildTunnel();  // random path, segment geometry and tile texture; once, from initIntro
