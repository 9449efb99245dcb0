// cube_draw.cpp: the 54 sticker squares, their one-time random seeding, the explosion and the
// drawing of one whole cube.
#include "core/core.h"
#include "core/frame_state.h"
#include "cube/cube.h"

D3DXMATRIX stickerExplode[cubeStickers];
D3DXVECTOR3 stickerCentre[cubeStickers];
D3DXVECTOR3 stickerSpin[cubeStickers];
int32_t stickersSeeded;

namespace {

constexpr float third = 0.33333334f;  // texture coordinates are multiples of this float

float lo(int32_t k) { return float(k) - 1.5f; }
float hi(int32_t k) { return float(k) - 0.5f; }

TexVertex corner(float x, float y, float z, int32_t u, int32_t v) {
    return {x, y, z, float(u) * third, float(v) * third};
}

void translation(D3DXMATRIX* out, double x, double y, double z) {
    MathApi.D3DXMatrixTranslation(out, float(x), float(y), float(z));
}

}  // namespace

// Each face's square at column c, row r, corners p0...p3 in the order the fan draws them.
void stickerQuad(int32_t a, TexVertex* q) {
    const int32_t f = a / 9, r = (a % 9) / 3, c = a % 3;
    const float n = 1.5f;
    switch (f) {
        case 0:
            q[0] = corner(lo(c), lo(r), n, c, r);
            q[1] = corner(hi(c), lo(r), n, c + 1, r);
            q[2] = corner(hi(c), hi(r), n, c + 1, r + 1);
            q[3] = corner(lo(c), hi(r), n, c, r + 1);
            break;
        case 1:
            q[0] = corner(n, lo(r), lo(2 - c), c + 1, r);
            q[1] = corner(n, hi(r), lo(2 - c), c + 1, r + 1);
            q[2] = corner(n, hi(r), hi(2 - c), c, r + 1);
            q[3] = corner(n, lo(r), hi(2 - c), c, r);
            break;
        case 2:
            q[0] = corner(lo(2 - c), lo(r), -n, c + 1, r);
            q[1] = corner(lo(2 - c), hi(r), -n, c + 1, r + 1);
            q[2] = corner(hi(2 - c), hi(r), -n, c, r + 1);
            q[3] = corner(hi(2 - c), lo(r), -n, c, r);
            break;
        case 3:
            q[0] = corner(-n, lo(r), lo(c), c, r);
            q[1] = corner(-n, lo(r), hi(c), c + 1, r);
            q[2] = corner(-n, hi(r), hi(c), c + 1, r + 1);
            q[3] = corner(-n, hi(r), lo(c), c, r + 1);
            break;
        case 4:
            q[0] = corner(lo(c), n, lo(r), 3 - c, r);
            q[1] = corner(lo(c), n, hi(r), 3 - c, r + 1);
            q[2] = corner(hi(c), n, hi(r), 2 - c, r + 1);
            q[3] = corner(hi(c), n, lo(r), 2 - c, r);
            break;
        default:
            q[0] = corner(lo(c), -n, lo(r), c, r);
            q[1] = corner(hi(c), -n, lo(r), c + 1, r);
            q[2] = corner(hi(c), -n, hi(r), c + 1, r + 1);
            q[3] = corner(lo(c), -n, hi(r), c, r + 1);
            break;
    }
}

// The first 54 sticker draws of the run seed each sticker's centre and spin, six draws each:
// which numbers they get depends on everything that used the generator before.
void drawSticker(int32_t a, const D3DXMATRIX* world) {
    const DrawEvent event(DrawCubeFaces);
    if (a < 0 || a >= cubeStickers) return;
    TexVertex quad[4];
    stickerQuad(a, quad);
    D3DXMATRIX local;
    MathApi.D3DXMatrixMultiply(&local, &stickerPose[a], world);
    if (stickersSeeded < cubeStickers) {
        ++stickersSeeded;
        D3DXVECTOR3& centre = stickerCentre[a];
        centre.x = float((double(quad[3].x) + quad[2].x + quad[1].x + quad[0].x) * 0.25 + (nextRandom() - 0.5));
        centre.y = float((double(quad[3].y) + quad[2].y + quad[1].y + quad[0].y) * 0.25 + (nextRandom() - 0.5));
        centre.z = float((double(quad[3].z) + quad[2].z + quad[1].z + quad[0].z) * 0.25 + (nextRandom() - 0.5));
        D3DXVECTOR3 w;
        w.x = float(nextRandom() + 0.1);
        w.y = float(nextRandom());
        w.z = float(nextRandom());
        MathApi.D3DXVec3Normalize(&stickerSpin[a], &w);
        MathApi.D3DXMatrixIdentity(&stickerExplode[a]);
    }
    MathApi.D3DXMatrixMultiply(&local, &stickerExplode[a], &local);
    d3dDevice->SetTransform(D3DTS_WORLD, &local);
    d3dDevice->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(TexVertex));
}

void drawCube(const D3DXMATRIX* world) {
    d3dDevice->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    for (int32_t a = 0; a < cubeStickers; ++a) {
        d3dDevice->SetTexture(0, faceTextures[a / 9]);
        drawSticker(a, world);
    }
}

// Each sticker tumbles about its jittered centre and flies out along it, both by s.
void explodeCube(float amount, float scale) {
    const double s = double(amount) * scale;
    for (int32_t k = 0; k < cubeStickers; ++k) {
        const D3DXVECTOR3& q = stickerCentre[k];
        const D3DXVECTOR3& w = stickerSpin[k];
        D3DXMATRIX m, step;
        translation(&m, -q.x, -q.y, -q.z);
        MathApi.D3DXMatrixRotationYawPitchRoll(&step, float(s * w.x), float(s * w.y), float(s * w.z));
        MathApi.D3DXMatrixMultiply(&m, &m, &step);
        translation(&step, q.x, q.y, q.z);
        MathApi.D3DXMatrixMultiply(&m, &m, &step);
        translation(&step, s * q.x, s * q.y, s * q.z);
        MathApi.D3DXMatrixMultiply(&stickerExplode[k], &m, &step);
    }
}
