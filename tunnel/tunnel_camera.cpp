// tunnel_camera.cpp: the time-driven position on the tunnel's curve, the camera along it and
// the segments drawn around it.
#include "core/core.h"
#include "core/frame_state.h"
#include "tunnel/tunnel.h"

int32_t tunnelSegment;
float tunnelFraction;

namespace {

constexpr uint32_t tunnelPieceMs = 960;          // two segments, 12 units, per piece
constexpr float tunnelFractionPerMs = 0.0010416667f;  // the float nearest 1/960
constexpr uint32_t lookAheadMs = 1100;

D3DXVECTOR3 pathPoint(int32_t i) {
    const D3DXMATRIX& m = segmentMatrices[i];
    return {m._41, m._42, m._43};
}

}  // namespace

// Past the path's end the piece is held at the last one while the fraction keeps cycling.
void tunnelTimeToSegment(uint32_t t) {
    const uint32_t q = t / tunnelPieceMs;
    tunnelFraction = static_cast<float>(double(t % tunnelPieceMs) * double(tunnelFractionPerMs));
    tunnelSegment = 2ull * q + 3 > uint64_t(tunnelLength) ? tunnelLength - 3 : static_cast<int32_t>(2 * q);
}

// A segment outside the curve's pieces is held at the nearest one: never read past the arrays.
void tunnelPathPoint(D3DXVECTOR3* out, int32_t segment, float fraction) {
    if (segment < 0) segment = 0;
    if (segment > tunnelLength - 3) segment = tunnelLength - 3;
    const D3DXVECTOR3 from = pathPoint(segment), to = pathPoint(segment + 2);
    MathApi.D3DXVec3Hermite(out, &from, &pathTangents[segment], &to, &pathTangents[segment + 2], fraction);
}

void tunnelObjectMatrix(D3DXMATRIX* out, uint32_t t) {
    tunnelTimeToSegment(t);
    MathApi.D3DXMatrixIdentity(out);
    D3DXVECTOR3 at;
    tunnelPathPoint(&at, tunnelSegment, tunnelFraction);
    out->_41 = at.x;
    out->_42 = at.y;
    out->_43 = at.z;
}

// The up vector is lerped between the piece's two end orientations and deliberately left
// unnormalised; the look-at normalises what it needs. Leaves the segment of t + 1100 behind.
void tunnelViewMatrix(D3DXMATRIX* out, uint32_t t) {
    const D3DXVECTOR3 up0 = {0.0f, 1.0f, 0.0f};
    tunnelTimeToSegment(t);
    D3DXVECTOR3 eye, upA, upB, up, target;
    tunnelPathPoint(&eye, tunnelSegment, tunnelFraction);
    MathApi.D3DXVec3TransformCoord(&upA, &up0, &segmentOrientations[tunnelSegment]);
    MathApi.D3DXVec3TransformCoord(&upB, &up0, &segmentOrientations[tunnelSegment + 2]);
    MathApi.D3DXVec3Lerp(&up, &upA, &upB, tunnelFraction);
    tunnelTimeToSegment(t + lookAheadMs);
    tunnelPathPoint(&target, tunnelSegment, tunnelFraction);
    MathApi.D3DXMatrixLookAtLH(out, &eye, &target, &up);
}

// Everything up to 19 ahead, except the one exactly 20 behind: those further behind are drawn.
void drawTunnelSegments() {
    const DrawEvent event(DrawTunnel);
    d3dDevice->SetTexture(0, tileTexture);
    d3dDevice->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    for (int32_t i = 0; i < tunnelLength; ++i) {
        const int32_t d = i - tunnelSegment + 20;
        if (d == 0 || d >= 40) continue;
        d3dDevice->SetTransform(D3DTS_WORLD, &segmentMatrices[i]);
        d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2 * tunnelBoxFaces, tunnelBoxVertices,
                                   sizeof(TexVertex));
    }
}
