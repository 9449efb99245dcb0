// d3dx.h: the fourteen maths operations of the Direct3D extension library the show binds,
// with its semantics (row vectors, left-handed, results through the first argument).
#pragma once

#include "platform/d3d9.h"

D3DXMATRIX* VB_D3DXMatrixIdentity(D3DXMATRIX* out);
D3DXMATRIX* VB_D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                                  const D3DXVECTOR3* up);
D3DXMATRIX* VB_D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
D3DXMATRIX* VB_D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
D3DXMATRIX* VB_D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
D3DXMATRIX* VB_D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
D3DXMATRIX* VB_D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* VB_D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn,
                                          float zf);
D3DXVECTOR3* VB_D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
D3DXVECTOR3* VB_D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s);
D3DXVECTOR3* VB_D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* p1, const D3DXVECTOR3* t1,
                                const D3DXVECTOR3* p2, const D3DXVECTOR3* t2, float s);
D3DXMATRIX* VB_D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz);
D3DXMATRIX* VB_D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll);
D3DXVECTOR3* VB_D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
