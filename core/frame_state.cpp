// frame_state.cpp: storage of the frame state that start-up and the frame loop write.
#include "core/frame_state.h"

IDirect3DDevice9* d3dDevice;
uint32_t startTick;
uint32_t demoTimeMs;
float demoTimeSec;
int32_t endReached;
IDirect3DTexture9* faceTextures[6];
IDirect3DTexture9* screenCopyTexture;
