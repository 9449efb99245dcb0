// scenes.h: the scenes that compose several subsystems (the tunnel flight with the cube ahead
// of it, the cube field, the bursting cube with its streaks, the cube in a tunnel box). Only the
// timeline calls them.
#pragma once

#include <cstdint>

void drawTunnelScene(float roll, uint32_t startMs);  // startMs: show time the flight began
void drawCubeField(float spacing, float offsetX, float offsetY, float offsetZ, float cameraDistance);
void drawCubeScene(float cameraDistance, float burst, float burstScale, float spin, int32_t withWholeCube,
                   int32_t withStreaks);
void drawBoxedCube(float cameraDistance, float boxScale, float yaw, float pitch, float roll);
