// math_api.cpp: binding of the maths table and the fixed matrices built once at start-up.
#include "core/core.h"
#include "platform/d3dx.h"

MathApiTable MathApi;
D3DXMATRIX identityMatrix;
D3DXMATRIX quarterTurnXPos;
D3DXMATRIX quarterTurnXNeg;
D3DXMATRIX quarterTurnYPos;
D3DXMATRIX quarterTurnYNeg;
D3DXMATRIX quarterTurnZPos;
D3DXMATRIX quarterTurnZNeg;
D3DXMATRIX particleViewMatrix;
D3DXMATRIX projectionMatrix;

// The operations are bound first, in the order loadMathApi binds them, then the fixed matrices
// are built in their own fixed order.
void loadMathApi() {
    MathApi.D3DXMatrixIdentity = VB_D3DXMatrixIdentity;
    MathApi.D3DXMatrixLookAtLH = VB_D3DXMatrixLookAtLH;
    MathApi.D3DXMatrixRotationZ = VB_D3DXMatrixRotationZ;
    MathApi.D3DXMatrixRotationY = VB_D3DXMatrixRotationY;
    MathApi.D3DXMatrixRotationX = VB_D3DXMatrixRotationX;
    MathApi.D3DXMatrixMultiply = VB_D3DXMatrixMultiply;
    MathApi.D3DXMatrixTranslation = VB_D3DXMatrixTranslation;
    MathApi.D3DXMatrixPerspectiveFovLH = VB_D3DXMatrixPerspectiveFovLH;
    MathApi.D3DXVec3TransformCoord = VB_D3DXVec3TransformCoord;
    MathApi.D3DXVec3Lerp = VB_D3DXVec3Lerp;
    MathApi.D3DXVec3Hermite = VB_D3DXVec3Hermite;
    MathApi.D3DXMatrixScaling = VB_D3DXMatrixScaling;
    MathApi.D3DXMatrixRotationYawPitchRoll = VB_D3DXMatrixRotationYawPitchRoll;
    MathApi.D3DXVec3Normalize = VB_D3DXVec3Normalize;

    MathApi.D3DXMatrixIdentity(&identityMatrix);
    MathApi.D3DXMatrixRotationX(&quarterTurnXPos, quarterTurn);
    MathApi.D3DXMatrixRotationX(&quarterTurnXNeg, -quarterTurn);
    MathApi.D3DXMatrixRotationY(&quarterTurnYPos, quarterTurn);
    MathApi.D3DXMatrixRotationY(&quarterTurnYNeg, -quarterTurn);
    MathApi.D3DXMatrixRotationZ(&quarterTurnZPos, quarterTurn);
    MathApi.D3DXMatrixRotationZ(&quarterTurnZNeg, -quarterTurn);
    MathApi.D3DXMatrixTranslation(&particleViewMatrix, 0.0f, 0.0f, 10.0f);
    MathApi.D3DXMatrixPerspectiveFovLH(&projectionMatrix, projectionFovY, projectionAspect,
                                       projectionNear, projectionFar);
}
