// tunnel_scene.cpp: the flight: face textures, the rolled view along the curve, the segments
// around the camera and the cube floating ahead on the curve.
#include "core/core.h"
#include "core/frame_state.h"
#include "cube/cube.h"
#include "particles/particles.h"
#include "tunnel/tunnel.h"

void drawTunnelScene(float roll, uint32_t startMs) {
    setRenderMode(4);
    renderFaceTextures(demoTimeSec, 0xFF000000u);
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
    updateCubeSolve(int32_t(demoTimeMs));
    setRenderMode(2);
    drawCube(&cubeWorld);
}
