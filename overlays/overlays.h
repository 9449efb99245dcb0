// overlays.h: full-screen noise, flashes, letterbox bars, screen copy and zoom streaks.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"

// Pretransformed vertex with a colour, format D3DFVF_XYZRHW | D3DFVF_DIFFUSE.
struct ScreenColorVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};
static_assert(sizeof(ScreenColorVertex) == 20);

// Pretransformed vertex with one texture coordinate, format D3DFVF_XYZRHW | D3DFVF_TEX1.
struct ScreenTexVertex {
    float x, y, z, rhw;
    float u, v;
};
static_assert(sizeof(ScreenTexVertex) == 24);

// Shared scratch quads (two-triangle strips over the 640 x 480 screen); each user rewrites what
// it needs before drawing.
extern ScreenColorVertex ColorQuad[4];  // y and colour set by setScreenQuad
extern ScreenTexVertex TexturedQuad[4]; // fixed corners; u, v rewritten by drawNoise and drawStreaks

extern uint8_t noiseBase[256];             // 0 or 255 each; refilled by resetNoise
extern uint8_t noiseLevels[256];           // noiseBase scaled by scaleNoise; what drawNoise uploads
extern IDirect3DTexture9* noiseTexture;    // 256 x 256 A8R8G8B8, managed; made by createNoiseTexture

extern IDirect3DSurface9* backBufferSurface;  // held only between beginScreenCopy and endScreenCopy
extern IDirect3DSurface9* copySurface;        // level 0 of screenCopyTexture, held likewise

void createNoiseTexture();  // once, from initIntro
void resetNoise();          // a fresh 0/255 pattern: 256 draws of nextRandom
void scaleNoise(float amount);        // amount 0 ... 1
void drawNoise(uint32_t mode);        // vertical stripes when mode != 0, horizontal lines when 0
void setScreenQuad(float top, float bottom, D3DCOLOR colour);  // full-width band of ColorQuad
void drawFade(uint8_t level);         // adds a uniform grey of this level under one/one blending
void drawLetterbox(int32_t height);   // opaque black bars of height pixels, top and bottom
void beginScreenCopy(D3DCOLOR clearColour);  // drawing goes into screenCopyTexture, cleared
void endScreenCopy();                        // drawing goes back to the back buffer
void drawStreaks(float step, int32_t count); // count zooming copies of the capture, fading out
