// synth_internal.h: helpers the synth's own files share and nothing outside them reads.
#pragma once

#include <cmath>
#include <cstdint>

// Float to integer, nearest with ties to even; a value no integer can hold (never produced by
// the stored tables) gives 0 rather than undefined behaviour.
inline int64_t roundToInteger(double x) {
    if (!(std::fabs(x) < 9.0e18)) return 0;
    return static_cast<int64_t>(std::nearbyint(x));
}

// modulatorValue(0 ... count - 1) for the selector in force, from tables that are filled once
// (selectors 2 and 3) or once per writePos (selector 1); nullptr for selector 0, whose value is
// 0 everywhere. count is at most workBufferLength.
const int16_t* modulatorRun(int32_t count);
