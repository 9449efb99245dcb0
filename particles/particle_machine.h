// particle_machine.h: what the particle engine's forms of the machine share (rounding, the NaN
// rule of + and *, spawning), and the form compiled from a container's bytes at build time.
#pragma once

#include <cmath>
#include <cstdint>

#include "particles/particles.h"

namespace particle_machine {

// Nearest integer, halves to even, as the FPU's store does; NaN and values beyond 32 bits give
// the integer indefinite 0x80000000 (so a wild spawn count claims every free slot). Adding and
// taking away 1.5 x 2^52 rounds to an integer, halves to even, in the default rounding mode,
// without the libm call that saves and restores it (IEEE arithmetic: no compiler folds it).
inline int32_t nearestInt(double v) {
    if (!(v >= -2147483648.0 && v < 2147483647.5)) return INT32_MIN;
    constexpr double roundingShift = 6755399441055744.0;
    return static_cast<int32_t>((v + roundingShift) - roundingShift);
}

// Where both operands are NaN, the machine keeps the first one's, quietened, and the compiler may
// swap the operands of + and * (g++ and clang do, differently): every form picks that NaN itself,
// so that they agree to the bit whatever the compiler made of each.
inline double firstNaN(double result, double a, double b) {
    if (__builtin_expect(result != result, 0)) return a != a ? a + 0.0 : b != b ? b + 0.0 : result;
    return result;
}
inline double plus(double a, double b) { return firstNaN(a + b, a, b); }
inline double times(double a, double b) { return firstNaN(a * b, a, b); }

// Claims up to count free slots (every free one for a negative count) for children of parent,
// lowest first, scanning from freeFrom (every slot below it is occupied) and leaving it where the
// scan stopped.
void spawnParticles(ParticleSystem& system, int32_t count, int32_t program, int32_t parent, int32_t& freeFrom);

// One entry of one program compiled into a function: the run of particle i, whose time register,
// state and program the engine has set and checked. 0, or -1 on error, as the interpreter.
using CompiledRun = int32_t (*)(ParticleSystem& system, int32_t i, int32_t& freeFrom);

// A container and its entries compiled: per program the new, then the live entry; null where
// the entry runs through the interpreter (a path from it may loop).
struct CompiledContainer {
    const uint8_t* bytes;  // the container it was compiled from
    uint32_t size;
    int32_t programs;
    const CompiledRun* runs;
};

// The six systems' containers, compiled (particle_programs.cpp).
extern const CompiledContainer compiledParticlePrograms[particleSystemCount];

// emitParticleVertices through the compiled container, whose bytes are the container's: its
// entries where it has them, the checked interpreter for the others (a path that may loop, a
// state or program no entry serves).
int32_t emitParticleVerticesCompiled(const ParticleProgram& container, const CompiledContainer& compiled,
                                     ParticleSystem& system, ParticleVertices& out, float t);

}  // namespace particle_machine
