// globals.cpp: storage of the state the start-up and frame loop own.
#include "app/app.h"

IDirect3DDevice9* d3dDevice;
uint32_t startTick;
uint32_t demoTimeMs;
float demoTimeSec;
int32_t endReached;
IDirect3DTexture9* faceTextures[6];
IDirect3DTexture9* screenCopyTexture;
