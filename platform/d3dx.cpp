// d3dx.cpp: the extension library's matrix and vector maths, in float as the library computes it.
#include "platform/d3dx.h"

#include <cmath>

namespace {

D3DXVECTOR3 sub(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

D3DXVECTOR3 cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

D3DXVECTOR3 normalized(const D3DXVECTOR3& v) {
    D3DXVECTOR3 out;
    VB_D3DXVec3Normalize(&out, &v);
    return out;
}

}  // namespace

D3DXMATRIX* VB_D3DXMatrixIdentity(D3DXMATRIX* out) {
    *out = {};
    out->_11 = out->_22 = out->_33 = out->_44 = 1.0f;
    return out;
}

D3DXMATRIX* VB_D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                                  const D3DXVECTOR3* up) {
    const D3DXVECTOR3 z = normalized(sub(*at, *eye));
    const D3DXVECTOR3 x = normalized(cross(*up, z));
    const D3DXVECTOR3 y = cross(z, x);
    *out = {};
    out->_11 = x.x; out->_12 = y.x; out->_13 = z.x;
    out->_21 = x.y; out->_22 = y.y; out->_23 = z.y;
    out->_31 = x.z; out->_32 = y.z; out->_33 = z.z;
    out->_41 = -dot(x, *eye);
    out->_42 = -dot(y, *eye);
    out->_43 = -dot(z, *eye);
    out->_44 = 1.0f;
    return out;
}

D3DXMATRIX* VB_D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    VB_D3DXMatrixIdentity(out);
    out->_11 = c; out->_12 = s;
    out->_21 = -s; out->_22 = c;
    return out;
}

D3DXMATRIX* VB_D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    VB_D3DXMatrixIdentity(out);
    out->_11 = c; out->_13 = -s;
    out->_31 = s; out->_33 = c;
    return out;
}

D3DXMATRIX* VB_D3DXMatrixRotationX(D3DXMATRIX* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    VB_D3DXMatrixIdentity(out);
    out->_22 = c; out->_23 = s;
    out->_32 = -s; out->_33 = c;
    return out;
}

D3DXMATRIX* VB_D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    D3DXMATRIX r;  // out may alias a or b
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                        a->m[i][3] * b->m[3][j];
    *out = r;
    return out;
}

D3DXMATRIX* VB_D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
    VB_D3DXMatrixIdentity(out);
    out->_41 = x; out->_42 = y; out->_43 = z;
    return out;
}

D3DXMATRIX* VB_D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn,
                                          float zf) {
    const float yScale = 1.0f / std::tan(fovy / 2.0f);
    *out = {};
    out->_11 = yScale / aspect;
    out->_22 = yScale;
    out->_33 = zf / (zf - zn);
    out->_34 = 1.0f;
    out->_43 = -zn * zf / (zf - zn);
    return out;
}

D3DXVECTOR3* VB_D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const float x = v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + m->_41;
    const float y = v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + m->_42;
    const float z = v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + m->_43;
    const float w = v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + m->_44;
    *out = {x / w, y / w, z / w};
    return out;
}

D3DXVECTOR3* VB_D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s) {
    *out = {a->x + s * (b->x - a->x), a->y + s * (b->y - a->y), a->z + s * (b->z - a->z)};
    return out;
}

D3DXVECTOR3* VB_D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* p1, const D3DXVECTOR3* t1,
                                const D3DXVECTOR3* p2, const D3DXVECTOR3* t2, float s) {
    const float s2 = s * s, s3 = s2 * s;
    const float h1 = 2.0f * s3 - 3.0f * s2 + 1.0f;
    const float h2 = s3 - 2.0f * s2 + s;
    const float h3 = -2.0f * s3 + 3.0f * s2;
    const float h4 = s3 - s2;
    *out = {h1 * p1->x + h2 * t1->x + h3 * p2->x + h4 * t2->x,
            h1 * p1->y + h2 * t1->y + h3 * p2->y + h4 * t2->y,
            h1 * p1->z + h2 * t1->z + h3 * p2->z + h4 * t2->z};
    return out;
}

D3DXMATRIX* VB_D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
    VB_D3DXMatrixIdentity(out);
    out->_11 = sx; out->_22 = sy; out->_33 = sz;
    return out;
}

// Roll about Z first, then pitch about X, then yaw about Y.
D3DXMATRIX* VB_D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
    const float cr = std::cos(roll), sr = std::sin(roll);
    const float cp = std::cos(pitch), sp = std::sin(pitch);
    const float cy = std::cos(yaw), sy = std::sin(yaw);
    VB_D3DXMatrixIdentity(out);
    out->_11 = cr * cy + sr * sp * sy; out->_12 = sr * cp; out->_13 = sr * sp * cy - cr * sy;
    out->_21 = cr * sp * sy - sr * cy; out->_22 = cr * cp; out->_23 = sr * sy + cr * sp * cy;
    out->_31 = cp * sy;                out->_32 = -sp;     out->_33 = cp * cy;
    return out;
}

// The zero vector normalises to zero, as the library does.
D3DXVECTOR3* VB_D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
    const float length = std::sqrt(dot(*v, *v));
    if (length == 0.0f) {
        *out = {0.0f, 0.0f, 0.0f};
        return out;
    }
    *out = {v->x / length, v->y / length, v->z / length};
    return out;
}
