// d3d9_events.cpp: the profiler's markers, kept as a stack of names for the bench.
#include <algorithm>

#include "platform/d3d9.h"

namespace {

// Deeper events are counted but not named: the innermost named one stands for them.
constexpr int namedDepth = 8;
LPCWSTR openEvents[namedDepth];
int depth = 0;

}  // namespace

int D3DPERF_BeginEvent(D3DCOLOR, LPCWSTR name) {
    if (depth < namedDepth) openEvents[depth] = name;
    return depth++;
}

int D3DPERF_EndEvent() { return depth == 0 ? -1 : --depth; }

LPCWSTR d3dDrawEvent() { return depth == 0 ? nullptr : openEvents[std::min(depth, namedDepth) - 1]; }
