// cube.h: the puzzle cube's state, scramble and solve, its drawing and its explosion (the scenes
// it appears in are in scenes/).
#pragma once

#include <cstdint>

#include "core/vertices.h"
#include "platform/d3d9.h"

constexpr int32_t cubeStickers = 54;        // sticker and slot index a = 9 f + 3 r + c
constexpr int32_t cubeMoves = 9;            // move m turns layer m % 3 about axis m / 3 (Y, X, Z)
constexpr int32_t scrambleCapacity = 256;   // moves the record holds
constexpr int32_t cubeSolveStepMs = 960;    // one solve turn per step of the show clock

// ---- move tables (cube_moves.cpp) ----

extern const uint8_t CubeMoveStickers[cubeMoves][21];  // slots a move turns; 255 ends a short row
extern const int8_t CubeMoveCycles[cubeMoves][40];     // (from, to) slot pairs; -1 ends a row

// ---- state, scramble and solve (cube_state.cpp) ----

extern int8_t slotSticker[cubeStickers];          // sticker in each slot; identity after a reset
extern D3DXMATRIX stickerTurn[cubeStickers];      // completed quarter turns, per sticker
extern D3DXMATRIX stickerPose[cubeStickers];      // what the drawing uses: turn x turn in progress
extern int32_t scrambleMoves[scrambleCapacity];       // recorded moves 0...8
extern int32_t scrambleDirections[scrambleCapacity];  // recorded direction flags 0 or 1
extern int32_t scrambleLength;    // recorded moves n, 0...256
extern int32_t solvedMoves;       // solve steps taken, 0...n + 1
extern int32_t currentMove;       // move whose inverse is animating; -1 for none
extern int32_t currentDirection;  // recorded flag of currentMove

void scrambleCube(int32_t n);  // resets the cube and applies n recorded random moves
void applyCubeMove(int32_t m, int32_t flag);  // one quarter turn; flag set: the table's sense
void updateCubeSolve(int32_t t);  // brings the solve to t ms of the show clock; sets stickerPose

// ---- drawing and explosion (cube_draw.cpp) ----

extern D3DXMATRIX stickerExplode[cubeStickers];  // explosion per sticker; identity until explodeCube
extern D3DXVECTOR3 stickerCentre[cubeStickers];  // jittered home centre: pivot and flight direction
extern D3DXVECTOR3 stickerSpin[cubeStickers];    // unit tumbling weights
extern int32_t stickersSeeded;                   // sticker draws that seeded the three above, 0...54

void stickerQuad(int32_t a, TexVertex* quad);  // the four corners of sticker a's home square
void drawSticker(int32_t a, const D3DXMATRIX* world);
void drawCube(const D3DXMATRIX* world);
void explodeCube(float amount, float scale);
