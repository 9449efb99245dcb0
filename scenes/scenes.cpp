// scenes.cpp: the four scenes of the script that draw the cube: each starts with the particle
// images in the face textures, then brings the solve to the clock (all but the burst) and draws
// the cube into the tunnel, the field, the burst or the box.
#include "core/core.h"
#include "core/frame_state.h"
#include "cube/cube.h"
#include "overlays/overlays.h"
#include "particles/particles.h"
#include "scenes/scenes.h"
#include "tunnel/tunnel.h"

namespace {

// Every scene's first draws: the faces, in the render mode the scene starts in.
void renderSceneFaces(uint8_t mode) {
    setRenderMode(mode);
    renderFaceTextures(demoTimeSec, 0xFF000000u);
}

// The solve brought to the clock, then the cube with its faces.
void drawSolvingCube(const D3DXMATRIX* world) {
    updateCubeSolve(int32_t(demoTimeMs));
    setRenderMode(2);
    drawCube(world);
}

void yawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
    MathApi.D3DXMatrixRotationYawPitchRoll(out, yaw, pitch, roll);
}

}  // namespace

// ---- the flight: the rolled view along the curve, the segments around the camera and the cube
// floating ahead on the curve ----

void drawTunnelScene(float roll, uint32_t startMs) {
    renderSceneFaces(4);
    const uint32_t t = demoTimeMs - startMs;
    D3DXMATRIX view, rollMatrix;
    tunnelViewMatrix(&view, t);
    MathApi.D3DXMatrixRotationZ(&rollMatrix, roll);
    MathApi.D3DXMatrixMultiply(&view, &view, &rollMatrix);
    d3dDevice->SetTransform(D3DTS_VIEW, &view);
    // Culled from outside, untested and unwritten depth: the walls show only from inside.
    setRenderMode(5);
    drawTunnelSegments();  // around the look-ahead segment the view left behind
    D3DXMATRIX cubeWorld;
    tunnelObjectMatrix(&cubeWorld, t + 1100);
    drawSolvingCube(&cubeWorld);
}

// ---- the cube scenes ----

void drawCubeField(float spacing, float offsetX, float offsetY, float offsetZ, float cameraDistance) {
    const float g = float(double(spacing) + 0.001);  // the step is never 0
    renderSceneFaces(4);
    setCameraDistance(cameraDistance);
    updateCubeSolve(int32_t(demoTimeMs));
    setRenderMode(2);
    const float o = float(0.2 * double(demoTimeSec));
    D3DXMATRIX turn, twice;
    yawPitchRoll(&turn, o, o, o);
    MathApi.D3DXMatrixMultiply(&twice, &turn, &turn);  // the same rotation applied twice
    if (!(g > 0.0f)) return;
    // Float steps of g from -g: -g, 0, g, so 27 cubes for any positive g.
    for (float x = -g; x <= g; x += g)
        for (float y = -g; y <= g; y += g)
            for (float z = -g; z <= g; z += g) {
                D3DXMATRIX world, place;
                MathApi.D3DXMatrixTranslation(&place, float(double(x) + offsetX), float(double(y) + offsetY),
                                              float(double(z) + offsetZ));
                MathApi.D3DXMatrixMultiply(&world, &twice, &place);
                drawCube(&world);
            }
}

// Only the low byte of each flag counts. The burst shows the pose of the last solve update.
void drawCubeScene(float cameraDistance, float burst, float burstScale, float spin, int32_t withWholeCube,
                   int32_t withStreaks) {
    const bool wholeCube = uint8_t(withWholeCube) != 0, streaks = uint8_t(withStreaks) != 0;
    renderSceneFaces(4);
    setCameraDistance(cameraDistance);
    D3DXMATRIX world;
    yawPitchRoll(&world, spin, spin, spin);
    if (!streaks) {
        explodeCube(burst, burstScale);
        setRenderMode(2);
        drawCube(&world);
    } else {
        setRenderMode(2);
        beginScreenCopy(0xFF000000u);
        if (wholeCube) {
            explodeCube(0.0f, 0.0f);
            drawCube(&world);
        }
        explodeCube(burst, burstScale);
        drawCube(&world);
        endScreenCopy();
        setBlendFactorAlpha();
        drawStreaks(0.01f, 50);
        setBlendAdditive();
        explodeCube(burst, burstScale);
        drawCube(&world);
    }
    if (wholeCube) {
        explodeCube(0.0f, 0.0f);
        drawCube(&world);
    }
}

// Box and cube share one rotation.
void drawBoxedCube(float cameraDistance, float boxScale, float yaw, float pitch, float roll) {
    renderSceneFaces(5);
    setCameraDistance(cameraDistance);
    drawTunnelBox(boxScale, yaw, pitch, roll);
    D3DXMATRIX world;
    yawPitchRoll(&world, yaw, pitch, roll);
    drawSolvingCube(&world);
}
