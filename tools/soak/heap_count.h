// heap_count.h: quorbel-soak's two measures of memory. The program's own count is exact and the
// same on every run; the whole heap also holds what Mesa's renderer keeps, which moves with its
// threads and its shader cache, so it is shown and bounded only against runaway.
#pragma once

#include <cstddef>

// Bytes the program's own code holds from operator new and new[] (the soak replaces both):
// blocks asked for by the program's code, or by the C++ runtime on its behalf. What Mesa asks
// for (its C allocations, and the C++ of its shader compilers, LLVM's included) is not counted.
size_t ownHeapBytes();

// Every byte allocated in the process, the renderer's included.
size_t wholeHeapBytes();
