// tunnel_path.cpp: the random self-avoiding tunnel path, its segment matrices and curve tangents.
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "tunnel/tunnel.h"

D3DXMATRIX TurnMatrices[5];
uint8_t tunnelTurns[tunnelLength];
D3DXMATRIX segmentMatrices[tunnelLength];
D3DXMATRIX segmentOrientations[tunnelLength];
D3DXVECTOR3 pathTangents[tunnelLength];

namespace {

constexpr float tangentScale = 1.3f;
constexpr int32_t straightEnd = 128;  // turns from here on are cleared: the last seven steps run straight

void fillTurnMatrices() {
    MathApi.D3DXMatrixIdentity(&TurnMatrices[0]);
    MathApi.D3DXMatrixRotationX(&TurnMatrices[1], quarterTurn);
    MathApi.D3DXMatrixRotationY(&TurnMatrices[2], quarterTurn);
    MathApi.D3DXMatrixRotationX(&TurnMatrices[3], -quarterTurn);
    MathApi.D3DXMatrixRotationY(&TurnMatrices[4], -quarterTurn);
}

D3DXVECTOR3 pathPoint(int32_t i) {
    const D3DXMATRIX& m = segmentMatrices[i];
    return {m._41, m._42, m._43};
}

}  // namespace

// 1 + round(3p), halves to even: 2 and 3 come twice as often as 1 and 4.
void drawTunnelTurns(int32_t start) {
    for (int32_t i = start < 0 ? 0 : start; i < tunnelLength; i += 2)
        tunnelTurns[i] = static_cast<uint8_t>(1 + std::lrint(3.0 * nextRandom()));
}

// Each turn is made in the segment's own frame; the next segment lies one step ahead along
// the turned local z axis.
void walkTunnelPath() {
    D3DXMATRIX ahead, frame, orientation;
    MathApi.D3DXMatrixTranslation(&ahead, 0.0f, 0.0f, tunnelStep);
    MathApi.D3DXMatrixIdentity(&frame);
    MathApi.D3DXMatrixIdentity(&orientation);
    for (int32_t i = 0; i < tunnelLength; ++i) {
        const uint8_t turn = tunnelTurns[i] < 5 ? tunnelTurns[i] : 0;
        const D3DXMATRIX* k = &TurnMatrices[turn];
        D3DXMATRIX world;
        MathApi.D3DXMatrixMultiply(&orientation, k, &orientation);
        MathApi.D3DXMatrixMultiply(&world, k, &frame);
        MathApi.D3DXMatrixMultiply(&frame, &ahead, &world);
        segmentMatrices[i] = world;
        segmentOrientations[i] = orientation;
    }

    // Scaled steps D_i first, then each tangent the mean of two neighbouring steps in place:
    // 0.65 (P_{j+2} - P_j). Entry 133 keeps the last step, entry 134 the end point, so the
    // camera's held last piece reads defined values.
    for (int32_t i = 0; i + 1 < tunnelLength; ++i) {
        const D3DXVECTOR3 p = pathPoint(i);
        const D3DXVECTOR3 q = pathPoint(i + 1);
        pathTangents[i] = {static_cast<float>(tangentScale * (double(q.x) - double(p.x))),
                           static_cast<float>(tangentScale * (double(q.y) - double(p.y))),
                           static_cast<float>(tangentScale * (double(q.z) - double(p.z)))};
    }
    for (int32_t j = 0; j + 2 < tunnelLength; ++j)
        MathApi.D3DXVec3Lerp(&pathTangents[j], &pathTangents[j], &pathTangents[j + 1], 0.5f);
    pathTangents[tunnelLength - 1] = pathPoint(tunnelLength - 1);
}

int32_t findTunnelCollision() {
    static long rounded[tunnelLength][3];
    for (int32_t i = 0; i < tunnelLength; ++i) {
        const D3DXVECTOR3 p = pathPoint(i);
        rounded[i][0] = std::lrint(p.x);
        rounded[i][1] = std::lrint(p.y);
        rounded[i][2] = std::lrint(p.z);
    }
    for (int32_t d = 0; d + 1 < tunnelLength; ++d)
        for (int32_t j = d + 1; j < tunnelLength; ++j)
            if (rounded[d][0] == rounded[j][0] && rounded[d][1] == rounded[j][1] &&
                rounded[d][2] == rounded[j][2])
                return d;
    return -1;
}

// d - 1 rounded down to an even step, never below 0.
int32_t tunnelRestartStep(int32_t d) {
    const int32_t before = d - 1;
    if (before <= 0) return 0;
    return before - before % 2;
}

// Redraws from just before each collision, continuing the generator's sequence, until the walk
// avoids itself; the straightened end is not tested again.
void buildTunnel() {
    fillTurnMatrices();
    fillTunnelBox();
    std::memset(tunnelTurns, 0, sizeof tunnelTurns);
    int32_t start = 0;
    for (;;) {
        drawTunnelTurns(start);
        walkTunnelPath();
        const int32_t collision = findTunnelCollision();
        if (collision < 0) break;
        start = tunnelRestartStep(collision);
    }
    for (int32_t i = straightEnd; i < tunnelLength; i += 2) tunnelTurns[i] = 0;
    walkTunnelPath();
    buildTileTexture();
}
