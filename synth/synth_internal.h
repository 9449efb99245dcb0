// synth_internal.h: helpers the synth's own files share and nothing outside them reads.
#pragma once

#include <cmath>
#include <cstdint>

// Float to integer, nearest with ties to even; a value no integer can hold (never produced by
// the stored tables) gives 0 rather than undefined behaviour.
inline int64_t roundToInteger(double x) {
    // Adding and taking away 1.5 x 2^52 leaves x rounded to an integer in the default rounding
    // mode (nearest, ties to even), without a library call.
    constexpr double shifter = 6755399441055744.0;
    if (!(std::fabs(x) < 1.0e15)) return 0;
    return static_cast<int64_t>((x + shifter) - shifter);
}

// a / b truncated toward zero, for |a| < 2^40 and 0 < b < 2^18: a quotient just short of an
// integer stays at least 1/b short of it, far more than the double division's rounding, so
// this equals the integer division and costs less.
inline int32_t quotient(int64_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<double>(a) / static_cast<double>(b));
}

// modulatorValue(0 ... count - 1) for the selector in force, from tables that are filled once
// (selectors 2 and 3) or once per writePos (selector 1); nullptr for selector 0, whose value is
// 0 everywhere. count is at most workBufferLength.
const int16_t* modulatorRun(int32_t count);
