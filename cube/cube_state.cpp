// cube_state.cpp: the puzzle cube's sticker state, its recorded scramble and the timed solve.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "cube/cube.h"
#include "platform/system.h"

int8_t slotSticker[cubeStickers];
D3DXMATRIX stickerTurn[cubeStickers];
D3DXMATRIX stickerPose[cubeStickers];
int32_t scrambleMoves[scrambleCapacity];
int32_t scrambleDirections[scrambleCapacity];
int32_t scrambleLength;
int32_t solvedMoves;
int32_t currentMove = -1;
int32_t currentDirection;

namespace {

constexpr float solveTurnRate = 0.0016361459f;  // radians per ms: just short of a quarter per step

// Z moves turn the other way round from X and Y; the slot tables follow that sense.
const D3DXMATRIX* quarterTurnOf(int32_t m, int32_t flag) {
    switch (m / 3) {
        case 0:  return flag != 0 ? &quarterTurnYPos : &quarterTurnYNeg;
        case 1:  return flag != 0 ? &quarterTurnXPos : &quarterTurnXNeg;
        default: return flag != 0 ? &quarterTurnZNeg : &quarterTurnZPos;
    }
}

int32_t nearestInteger(double value) { return static_cast<int32_t>(std::lrint(value)); }

}  // namespace

// The record holds 256 moves: a larger count is cut to that, a negative one scrambles nothing.
void scrambleCube(int32_t n) {
    if (n > scrambleCapacity) {
        char message[96];
        std::snprintf(message, sizeof message, "a scramble of %d moves asked for; the record holds %d", n,
                      scrambleCapacity);
        systemWarn(message);
        n = scrambleCapacity;
    }
    if (n < 0) n = 0;

    currentMove = -1;
    scrambleLength = n;
    solvedMoves = 0;
    for (int32_t i = 0; i < cubeStickers; ++i) {
        slotSticker[i] = static_cast<int8_t>(i);
        MathApi.D3DXMatrixIdentity(&stickerTurn[i]);
        MathApi.D3DXMatrixIdentity(&stickerPose[i]);
    }

    // Direction first, then the move: 0 and 8 come half as often as the others.
    for (int32_t j = 0; j < n; ++j) {
        scrambleDirections[j] = nearestInteger(nextRandom());
        scrambleMoves[j] = nearestInteger(8.0 * nextRandom());
        applyCubeMove(scrambleMoves[j], scrambleDirections[j]);
    }
}

void applyCubeMove(int32_t m, int32_t flag) {
    if (m < 0 || m >= cubeMoves) return;
    const D3DXMATRIX* turn = quarterTurnOf(m, flag);

    for (int32_t e = 0; e < 21 && CubeMoveStickers[m][e] != 255; ++e) {
        const int32_t k = slotSticker[CubeMoveStickers[m][e]];
        MathApi.D3DXMatrixMultiply(&stickerTurn[k], &stickerTurn[k], turn);
        stickerPose[k] = stickerTurn[k];
    }

    // Every read comes from the old map, so the cycles may be listed in any order.
    int8_t moved[cubeStickers];
    std::memcpy(moved, slotSticker, sizeof moved);
    for (int32_t p = 0; p < 20 && CubeMoveCycles[m][2 * p] != -1; ++p) {
        const int32_t from = CubeMoveCycles[m][2 * p];
        const int32_t to = CubeMoveCycles[m][2 * p + 1];
        if (flag != 0)
            moved[to] = slotSticker[from];
        else
            moved[from] = slotSticker[to];
    }
    std::memcpy(slotSticker, moved, sizeof moved);
}

// One recorded move undone per step, in reverse order, each animated during the step after it
// is taken from the record; the turn snaps to the exact quarter when the next step applies it.
void updateCubeSolve(int32_t t) {
    int32_t d = t / cubeSolveStepMs;
    // Before the clock's start counts as its start: a negative time must not re-scramble.
    if (d < 0) d = 0;
    if (d > scrambleLength + 1) d = scrambleLength + 1;

    if (solvedMoves > d) scrambleCube(scrambleLength);  // the clock went back: a fresh scramble

    while (solvedMoves < d) {
        if (currentMove >= 0) applyCubeMove(currentMove, currentDirection == 0 ? 1 : 0);
        if (solvedMoves < scrambleLength) {
            const int32_t k = scrambleLength - solvedMoves - 1;
            currentMove = scrambleMoves[k];
            currentDirection = scrambleDirections[k];
        } else {
            currentMove = -1;
        }
        ++solvedMoves;
    }

    if (d >= scrambleLength + 1) return;
    const float angle = static_cast<float>(double(t - d * cubeSolveStepMs) * double(solveTurnRate));
    if (currentMove < 0) return;

    // Signs chosen so the animation ends where the inverse quarter turn puts the stickers.
    const float g = currentDirection == 0 ? angle : -angle;
    D3DXMATRIX partial;
    switch (currentMove / 3) {
        case 0:  MathApi.D3DXMatrixRotationY(&partial, g); break;
        case 1:  MathApi.D3DXMatrixRotationX(&partial, g); break;
        default: MathApi.D3DXMatrixRotationZ(&partial, -g); break;
    }
    for (int32_t e = 0; e < 21 && CubeMoveStickers[currentMove][e] != 255; ++e) {
        const int32_t k = slotSticker[CubeMoveStickers[currentMove][e]];
        MathApi.D3DXMatrixMultiply(&stickerPose[k], &stickerTurn[k], &partial);
    }
}
