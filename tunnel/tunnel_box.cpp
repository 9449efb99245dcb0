// tunnel_box.cpp: the five-face box of one tunnel segment, its wall texture and its drawing.
#include "core/core.h"
#include "core/frame_state.h"
#include "platform/system.h"
#include "tunnel/tunnel.h"

// The floor; both triangles clockwise seen from above, so counter-clockwise culling shows the
// faces made from it only from inside the box.
const TexVertex TunnelQuadTemplate[6] = {
    //   x      y      z     u     v
    { 3.0f, -3.0f, -3.0f, 0.0f, 1.0f},
    {-3.0f, -3.0f, -3.0f, 0.0f, 0.0f},
    {-3.0f, -3.0f,  3.0f, 1.0f, 0.0f},
    {-3.0f, -3.0f,  3.0f, 1.0f, 0.0f},
    { 3.0f, -3.0f,  3.0f, 1.0f, 1.0f},
    { 3.0f, -3.0f, -3.0f, 0.0f, 1.0f},
};
static_assert(sizeof TunnelQuadTemplate == 6 * 20);

TexVertex tunnelBoxVertices[tunnelBoxFaces * 6];
IDirect3DTexture9* tileTexture;

namespace {

constexpr int32_t tileSize = 64;
constexpr uint32_t tileLine = 0xFFFFFFFFu;  // opaque white

void placeFace(int32_t face, const D3DXMATRIX& turn) {
    for (int32_t k = 0; k < 6; ++k) {
        const TexVertex& from = TunnelQuadTemplate[k];
        const D3DXVECTOR3 position = {from.x, from.y, from.z};
        D3DXVECTOR3 turned;
        MathApi.D3DXVec3TransformCoord(&turned, &position, &turn);
        tunnelBoxVertices[face * 6 + k] = {turned.x, turned.y, turned.z, from.u, from.v};
    }
}

}  // namespace

// Faces 0-3 are the floor turned about the tunnel's axis (floor, x = +3, ceiling, x = -3);
// face 4 is it tipped up into the closed end at z = -3. The end at z = +3 stays open.
void fillTunnelBox() {
    D3DXMATRIX turn;
    for (int32_t q = 0; q < 4; ++q) {
        MathApi.D3DXMatrixRotationZ(&turn, static_cast<float>(q) * quarterTurn);
        placeFace(q, turn);
    }
    MathApi.D3DXMatrixRotationX(&turn, quarterTurn);
    placeFace(4, turn);
}

// White lines on row 0, row 63 and column 0; every other texel is written black with alpha 0
// too, since not every device hands out a cleared texture. Column 63 stays dark, so each
// segment shows one line across its boundary.
void buildTileTexture() {
    tileTexture = nullptr;
    d3dDevice->CreateTexture(tileSize, tileSize, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tileTexture,
                             nullptr);
    if (tileTexture == nullptr) {
        systemWarn("the tunnel wall texture could not be created; walls drawn plain");
        return;
    }
    D3DLOCKED_RECT locked = {0, nullptr};
    if (tileTexture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK) != D3D_OK ||
        locked.pBits == nullptr) {
        systemWarn("the tunnel wall texture could not be locked; walls left blank");
        return;
    }
    auto* bits = static_cast<uint8_t*>(locked.pBits);
    for (int32_t row = 0; row < tileSize; ++row) {
        auto* texel = reinterpret_cast<uint32_t*>(bits + row * locked.Pitch);
        for (int32_t column = 0; column < tileSize; ++column)
            texel[column] = (column == 0 || row == 0 || row == tileSize - 1) ? tileLine : 0u;
    }
    tileTexture->UnlockRect(0);
}

// The box scaled about its own centre after turning; the caller chooses the render mode.
void drawTunnelBox(float scale, float yaw, float pitch, float roll) {
    const DrawEvent event(DrawTunnel);
    d3dDevice->SetTexture(0, tileTexture);
    d3dDevice->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    D3DXMATRIX scaling, rotation, world;
    MathApi.D3DXMatrixScaling(&scaling, scale, scale, scale);
    MathApi.D3DXMatrixRotationYawPitchRoll(&rotation, yaw, pitch, roll);
    MathApi.D3DXMatrixMultiply(&world, &rotation, &scaling);
    d3dDevice->SetTransform(D3DTS_WORLD, &world);
    d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2 * tunnelBoxFaces, tunnelBoxVertices,
                               sizeof(TexVertex));
}
