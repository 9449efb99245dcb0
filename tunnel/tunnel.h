// tunnel.h: the tunnel's geometry, random path, camera and segment drawing (the flight scene that
// puts them together is in scenes/).
#pragma once

#include <cstdint>

#include "core/vertices.h"
#include "platform/d3d9.h"

constexpr int32_t tunnelLength = 135;    // segments of the path
constexpr int32_t tunnelBoxFaces = 5;    // floor, two sides, ceiling, closed end
constexpr float tunnelStep = 6.0f;       // distance from one segment to the next, and box edge

// ---- segment box and wall texture (tunnel_box.cpp) ----

extern const TexVertex TunnelQuadTemplate[6];        // the floor square y = -3, two triangles
extern TexVertex tunnelBoxVertices[tunnelBoxFaces * 6];  // the box of one segment; by buildTunnel
extern IDirect3DTexture9* tileTexture;                // 64 x 64 walls; by buildTileTexture, never released

void fillTunnelBox();     // tunnelBoxVertices from TunnelQuadTemplate
void buildTileTexture();  // creates and fills tileTexture
void drawTunnelBox(float scale, float yaw, float pitch, float roll);  // one box about the origin

// ---- random path (tunnel_path.cpp) ----

extern D3DXMATRIX TurnMatrices[5];                     // by turn value: straight, +X, +Y, -X, -Y
extern uint8_t tunnelTurns[tunnelLength];              // 0...4 per step; odd steps always 0
extern D3DXMATRIX segmentMatrices[tunnelLength];       // world matrix per segment; row 4 is P_i
extern D3DXMATRIX segmentOrientations[tunnelLength];   // rotation part of segmentMatrices
extern D3DXVECTOR3 pathTangents[tunnelLength];         // curve tangents 0...132; [133] the last
                                                       // scaled step, [134] the end point P_134

void buildTunnel();  // random path, segment geometry and tile texture; once, from initIntro

// The steps of buildTunnel, for its tests.
void drawTunnelTurns(int32_t start);       // fresh turns at every even step from start on
void walkTunnelPath();                     // tunnelTurns -> segment matrices and tangents
int32_t findTunnelCollision();             // first d with P_d = P_j (j > d) when rounded; -1 if none
int32_t tunnelRestartStep(int32_t d);      // the even step a collision at d redraws from

// ---- camera on the curve (tunnel_camera.cpp) ----

extern int32_t tunnelSegment;  // even start of the current curve piece, 0...132; by tunnelTimeToSegment
extern float tunnelFraction;   // position within the piece, [0, 1); by tunnelTimeToSegment

void tunnelTimeToSegment(uint32_t t);  // t ms since the scene began -> tunnelSegment, tunnelFraction
void tunnelPathPoint(D3DXVECTOR3* out, int32_t segment, float fraction);  // on piece segment / 2
void tunnelObjectMatrix(D3DXMATRIX* out, uint32_t t);  // a translation to the curve at t
void tunnelViewMatrix(D3DXMATRIX* out, uint32_t t);    // eye at t, looking at the curve at t + 1100
void drawTunnelSegments();  // the segments around the last tunnelSegment, in index order
