// frame_state.h: the device, the clock, the end flag and the render-target textures every
// drawing subsystem reads; start-up and the frame loop (app/) write them.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"

extern IDirect3DDevice9* d3dDevice;          // the one device; set before initIntro, never released
extern uint32_t startTick;                   // tick count read right after the music started
extern uint32_t demoTimeMs;                  // ms since startTick, set once per frame; 0 while loading
extern float demoTimeSec;                    // demoTimeMs * 0.001f, set with it
extern int32_t endReached;                   // set to 1 by the timeline when the show is over
extern IDirect3DTexture9* faceTextures[6];   // 256 x 256 render targets worn by the cube faces
extern IDirect3DTexture9* screenCopyTexture; // 256 x 256 render target of the screen copy
