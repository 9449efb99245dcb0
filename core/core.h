// core.h: the maths table and fixed matrices, the shared random generator, and the
// render-state and camera helpers every drawing subsystem uses.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"

// ---- maths table ----

// The fourteen extension-library operations, bound once by loadMathApi.
struct MathApiTable {
    D3DXMATRIX* (*D3DXMatrixIdentity)(D3DXMATRIX* out);
    D3DXMATRIX* (*D3DXMatrixLookAtLH)(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                                      const D3DXVECTOR3* up);
    D3DXMATRIX* (*D3DXMatrixRotationZ)(D3DXMATRIX* out, float angle);
    D3DXMATRIX* (*D3DXMatrixRotationY)(D3DXMATRIX* out, float angle);
    D3DXMATRIX* (*D3DXMatrixRotationX)(D3DXMATRIX* out, float angle);
    D3DXMATRIX* (*D3DXMatrixMultiply)(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
    D3DXMATRIX* (*D3DXMatrixTranslation)(D3DXMATRIX* out, float x, float y, float z);
    D3DXMATRIX* (*D3DXMatrixPerspectiveFovLH)(D3DXMATRIX* out, float fovy, float aspect, float zn,
                                              float zf);
    D3DXVECTOR3* (*D3DXVec3TransformCoord)(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
    D3DXVECTOR3* (*D3DXVec3Lerp)(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s);
    D3DXVECTOR3* (*D3DXVec3Hermite)(D3DXVECTOR3* out, const D3DXVECTOR3* p1, const D3DXVECTOR3* t1,
                                    const D3DXVECTOR3* p2, const D3DXVECTOR3* t2, float s);
    D3DXMATRIX* (*D3DXMatrixScaling)(D3DXMATRIX* out, float sx, float sy, float sz);
    D3DXMATRIX* (*D3DXMatrixRotationYawPitchRoll)(D3DXMATRIX* out, float yaw, float pitch, float roll);
    D3DXVECTOR3* (*D3DXVec3Normalize)(D3DXVECTOR3* out, const D3DXVECTOR3* v);
};

extern MathApiTable MathApi;          // bound by loadMathApi, never changed afterwards
extern D3DXMATRIX identityMatrix;     // world matrix of the particle renderings
extern D3DXMATRIX quarterTurnXPos;    // rotation about X by +quarterTurn
extern D3DXMATRIX quarterTurnXNeg;    // rotation about X by -quarterTurn
extern D3DXMATRIX quarterTurnYPos;    // rotation about Y by +quarterTurn
extern D3DXMATRIX quarterTurnYNeg;    // rotation about Y by -quarterTurn
extern D3DXMATRIX quarterTurnZPos;    // rotation about Z by +quarterTurn
extern D3DXMATRIX quarterTurnZNeg;    // rotation about Z by -quarterTurn
extern D3DXMATRIX particleViewMatrix; // translation by (0, 0, 10): view of the particle renderings
extern D3DXMATRIX projectionMatrix;   // the one projection, set once at start-up

constexpr float quarterTurn = 1.5707964f;          // float nearest pi/2, 0x3FC90FDB
constexpr float projectionFovY = 0.78541428f;      // 0x3F4910E9, a hair above pi/4
constexpr float projectionAspect = 0.75f;          // height over width: the show is drawn stretched
constexpr float projectionNear = 0.1f;
constexpr float projectionFar = 4000.0f;

void loadMathApi();

// ---- random generator ----

extern uint32_t randomSeed;  // LCG state, 0 at program start; written only by the generator

double nextRandom();          // in [0, 1], double precision
void skipRandom(uint32_t n);  // (n mod 256) - 1 steps; a low byte of 0 means 2^32 - 1 steps
void advanceRandom(uint32_t steps);  // jump the state ahead by steps calls in O(log steps)

// ---- render state and camera ----

extern uint8_t RenderMode;   // last mode given to setRenderMode: bit 0 cull, 1 depth, 2 blend
extern uint8_t fogEnabled;   // last D3DRS_FOGENABLE written by fogOn / fogOff

void setRenderMode(uint8_t mode);
void fogOn();
void fogOff();
void setFogEnd(float end);
void setBlendFactorAlpha();
void setBlendAdditive();
void setCamera(float eyeX, float eyeY, float eyeZ, float targetX, float targetY, float targetZ);
void setCameraDistance(float z);

// ---- the kinds of draw ----

// What a frame's pixels go to, as the bench's table splits them: each subsystem's drawing
// functions open the event of their kind (D3DPERF_BeginEvent), which draws nothing.
enum DrawKind : uint8_t {
    DrawFaceTargets,  // the particle sprites drawn into the puzzle cube's face targets
    DrawCubeFaces,
    DrawLinesAndText,
    DrawTunnel,
    DrawOverlays,     // noise, fades, letterbox bars
    DrawStreaks,
    DrawScreenCopy,   // the clear of the scene's copy (the scene drawn into it is its own kinds')
    DrawKindCount
};
extern const LPCWSTR drawKindNames[DrawKindCount];

// The event of one kind for the scope it lives in.
class DrawEvent {
public:
    explicit DrawEvent(DrawKind kind) { D3DPERF_BeginEvent(0, drawKindNames[kind]); }
    ~DrawEvent() { D3DPERF_EndEvent(); }
    DrawEvent(const DrawEvent&) = delete;
    DrawEvent& operator=(const DrawEvent&) = delete;
};
