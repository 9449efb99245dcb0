// d3d9_defaults.h: the state a fresh Direct3D 9 device starts in (with an automatic D24S8
// depth buffer), shared by every device implementation so they start alike.
#pragma once

#include "platform/d3d9.h"

constexpr float d3dMaxPointSize = 256.0f;  // the device cap, which is also POINTSIZE_MAX's default

void d3dDefaultRenderStates(DWORD (&states)[256]);
void d3dDefaultStageStates(DWORD (&states)[32]);     // stage 0
void d3dDefaultSamplerStates(DWORD (&states)[16]);  // sampler 0
