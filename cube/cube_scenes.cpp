// cube_scenes.cpp: the three cube scenes of the script: the field, the burst with its streaks,
// and the cube inside the rotating box.
#include "core/core.h"
#include "core/frame_state.h"
#include "cube/cube.h"
#include "overlays/overlays.h"
#include "particles/particles.h"
#include "tunnel/tunnel.h"

namespace {

void yawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
    MathApi.D3DXMatrixRotationYawPitchRoll(out, yaw, pitch, roll);
}

}  // namespace

void drawCubeField(float spacing, float offsetX, float offsetY, float offsetZ, float cameraDistance) {
    const float g = float(double(spacing) + 0.001);  // the step is never 0
    setRenderMode(4);
    renderFaceTextures(demoTimeSec, 0xFF000000u);
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

// Only the low byte of each flag counts.
void drawCubeScene(float cameraDistance, float burst, float burstScale, float spin, int32_t withWholeCube,
                   int32_t withStreaks) {
    const bool wholeCube = uint8_t(withWholeCube) != 0, streaks = uint8_t(withStreaks) != 0;
    setRenderMode(4);
    renderFaceTextures(demoTimeSec, 0xFF000000u);
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
    setRenderMode(5);
    renderFaceTextures(demoTimeSec, 0xFF000000u);
    setCameraDistance(cameraDistance);
    drawTunnelBox(boxScale, yaw, pitch, roll);
    updateCubeSolve(int32_t(demoTimeMs));
    D3DXMATRIX world;
    yawPitchRoll(&world, yaw, pitch, roll);
    setRenderMode(2);
    drawCube(&world);
}
