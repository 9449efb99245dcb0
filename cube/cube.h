// cube.h: the puzzle cube's state, scramble and solve, and its scenes.
#pragma once

#include <cstdint>

void scrambleCube(int32_t n);  // resets the cube and applies n recorded random moves
