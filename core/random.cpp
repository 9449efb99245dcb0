// random.cpp: the shared linear congruential generator of the visuals.
#include "core/core.h"

#include <cstdlib>

uint32_t randomSeed;

namespace {
constexpr uint32_t randomMultiplier = 1664525u;
constexpr uint32_t randomIncrement = 1013904223u;
constexpr double randomScale = 1.0 / 2147483648.0;  // 2^-31, the float 0x30000000
}  // namespace

double nextRandom() {
    randomSeed = randomSeed * randomMultiplier + randomIncrement;
    // The magnitude of the state read as signed; 0x80000000 gives exactly 1.
    const int64_t magnitude = std::llabs(static_cast<int64_t>(static_cast<int32_t>(randomSeed)));
    return static_cast<double>(magnitude) * randomScale;
}

// x -> a x + c applied n times is x -> A x + C; square the step while walking n's bits.
void advanceRandom(uint32_t steps) {
    uint32_t stepMul = randomMultiplier, stepAdd = randomIncrement;
    uint32_t totalMul = 1, totalAdd = 0;
    for (; steps != 0; steps >>= 1) {
        if (steps & 1u) {
            totalMul *= stepMul;
            totalAdd = totalAdd * stepMul + stepAdd;
        }
        stepAdd = (stepMul + 1u) * stepAdd;
        stepMul *= stepMul;
    }
    randomSeed = randomSeed * totalMul + totalAdd;
}

// Only the low byte counts. A low byte of 0 asks for 2^32 - 1 calls, a whole period less one;
// the jump reaches the same state without the stall of calling the generator that often.
void skipRandom(uint32_t n) {
    const uint32_t calls = (n & 0xFFu) - 1u;
    advanceRandom(calls);
}
