// particle_compiler.h: a program container compiled into C++ at build time, one function per
// entry, from its bytes as they stand.
//
// Each instruction is a template instance of (container, offset, stack depth): the compiler
// follows every path from an entry, so the stack lives in registers, jumps are branches, and
// every check the interpreter makes at run time on the bytes (stack bounds, constants, invalid
// bytes, the end of the container) is made here once, leaving only the run-time ones (a missing
// parent, a spawned program number). The arithmetic is the interpreter's, in its order, so the
// results are the same to the bit. Only entries whose every reachable jump goes forward are
// compiled: their runs end within the container's length, so no step counter is needed either.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/core.h"
#include "particles/particle_machine.h"

namespace particle_machine {

template <std::size_t N>
constexpr uint32_t compiledProgramCount(const std::array<uint8_t, N>& b) {
    const uint32_t at = 4u * b[0] + 1u;
    return at < N ? b[at] : 0;
}

// Entry e: program e / 2, the new entry for an even e, the live one for an odd e. N (no entry)
// where its offset lies outside the container.
template <std::size_t N>
constexpr uint32_t compiledEntryOffset(const std::array<uint8_t, N>& b, uint32_t e) {
    const uint32_t at = 2u * (particleNew + e % 2) + 4u * (e / 2) + 4u * b[0];
    return at + 2 > N ? uint32_t(N) : uint32_t(b[at] | b[at + 1] << 8);
}

// Whether every jump reachable from the entry goes forward, and no path is longer than the step
// limit allows.
template <std::size_t N>
constexpr bool compiledEntryTerminates(const std::array<uint8_t, N>& b, uint32_t entry) {
    if (entry >= N || N - entry > uint32_t(particleStepLimit)) return false;
    std::array<bool, N> seen{};
    std::array<uint32_t, 2 * N + 2> work{};
    uint32_t pending = 0;
    work[pending++] = entry;
    while (pending > 0) {
        const uint32_t pc = work[--pending];
        if (pc >= N || seen[pc]) continue;  // beyond the end: an error, which ends the run
        seen[pc] = true;
        const uint8_t op = b[pc];
        if (op >= 0xF0) {
            if (op != opEnd && op != opKill && op != 0xF6 && op != 0xF7 && op != 0xFB) work[pending++] = pc + 1;
            continue;
        }
        const uint32_t kind = op & 7u;
        if (kind == kindInvalid) continue;
        if (kind != kindJump && kind != kindJumpGreater && kind != kindJumpLess) {
            work[pending++] = pc + 1;
            continue;
        }
        if (pc + 1 >= N) continue;
        const int32_t d = kind == kindJump ? static_cast<int8_t>(b[pc + 1]) : b[pc + 1];
        if (d <= 0) return false;
        work[pending++] = pc + uint32_t(d);
        if (kind != kindJump) work[pending++] = pc + 2;
    }
    return true;
}

struct CompiledParticle {
    Particle& p;
    const Particle* parent;  // null when the particle has none
    ParticleSystem& system;
    int32_t i;
    int32_t& freeFrom;
};

template <const auto& B, uint32_t Pc, int D>
[[gnu::always_inline]] inline int32_t compiledFrom(CompiledParticle& x, double* s);

// An opcode below 0xF0 at Pc: the kind in its low 3 bits, a register or constant above them.
template <const auto& B, uint32_t Pc, int D>
[[gnu::always_inline]] inline int32_t compiledRegisterOp(CompiledParticle& x, double* s) {
    constexpr uint32_t size = B.size();
    constexpr uint8_t op = B[Pc];
    constexpr uint32_t a = op >> 3;
    constexpr bool full = D == particleStackDepth;
    constexpr uint32_t kind = op & 7u;
    if constexpr (kind == kindPushParent) {
        if constexpr (full) return -1;
        else {
            if (x.parent == nullptr) return -1;
            s[D] = x.parent->r[a];
            return compiledFrom<B, Pc + 1, D + 1>(x, s);
        }
    } else if constexpr (kind == kindPush) {
        if constexpr (full) return -1;
        else {
            s[D] = x.p.r[a];
            return compiledFrom<B, Pc + 1, D + 1>(x, s);
        }
    } else if constexpr (kind == kindPushConstant) {
        if constexpr (full || a >= B[0]) return -1;
        else {
            constexpr uint32_t at = 1 + 4 * a;
            s[D] = std::bit_cast<float>(uint32_t(B[at] | B[at + 1] << 8 | B[at + 2] << 16 | uint32_t(B[at + 3]) << 24));
            return compiledFrom<B, Pc + 1, D + 1>(x, s);
        }
    } else if constexpr (kind == kindPop) {
        if constexpr (D == 0) return -1;
        else {
            x.p.r[a] = static_cast<float>(s[D - 1]);
            return compiledFrom<B, Pc + 1, D - 1>(x, s);
        }
    } else if constexpr (kind == kindJump) {
        if constexpr (Pc + 1 >= size) return -1;
        else return compiledFrom<B, Pc + static_cast<int8_t>(B[Pc + 1]), D>(x, s);
    } else if constexpr (kind == kindJumpGreater || kind == kindJumpLess) {
        if constexpr (Pc + 1 >= size || D < 2) return -1;
        else {
            // Greater: NaN falls through. Less: NaN jumps.
            const bool jumps = kind == kindJumpGreater ? s[D - 1] > s[D - 2] : !(s[D - 1] >= s[D - 2]);
            if (jumps) return compiledFrom<B, Pc + B[Pc + 1], D - 2>(x, s);
            return compiledFrom<B, Pc + 2, D - 2>(x, s);
        }
    } else {  // kind 5
        return -1;
    }
}

// An opcode from 0xF0 at Pc: the random number, the arithmetic, and the particle's life.
template <const auto& B, uint32_t Pc, int D>
[[gnu::always_inline]] inline int32_t compiledStackOp(CompiledParticle& x, double* s) {
    constexpr uint8_t op = B[Pc];
    constexpr bool full = D == particleStackDepth;
    if constexpr (op == opRandom) {
        if constexpr (full) return -1;
        else {
            s[D] = nextRandom();
            return compiledFrom<B, Pc + 1, D + 1>(x, s);
        }
    } else if constexpr (op == opCos || op == opSin || op == opSqrt || op == opAbs || op == opNegate) {
        if constexpr (D == 0) return -1;
        else {
            double& top = s[D - 1];
            if constexpr (op == opCos) top = std::cos(top);
            else if constexpr (op == opSin) top = std::sin(top);
            else if constexpr (op == opSqrt) top = std::sqrt(top);
            else if constexpr (op == opAbs) top = std::fabs(top);
            else top = -top;
            return compiledFrom<B, Pc + 1, D>(x, s);
        }
    } else if constexpr (op == opAdd || op == opSubtract || op == opDivide || op == opMultiply) {
        if constexpr (D < 2) return -1;
        else {
            double& first = s[D - 2];
            if constexpr (op == opAdd) first = plus(first, s[D - 1]);
            else if constexpr (op == opSubtract) first = first - s[D - 1];
            else if constexpr (op == opDivide) first = first / s[D - 1];
            else first = times(first, s[D - 1]);
            return compiledFrom<B, Pc + 1, D - 1>(x, s);
        }
    } else if constexpr (op == opEnd) {
        return 0;
    } else if constexpr (op == opSpawn) {
        if constexpr (D < 2) return -1;
        else {
            const int32_t program = nearestInt(s[D - 1]);
            const int32_t count = nearestInt(s[D - 2]);
            if (count != 0) {
                if (program < 0 || program >= int32_t(compiledProgramCount(B))) return -1;
                spawnParticles(x.system, count, program, x.i, x.freeFrom);
            }
            return compiledFrom<B, Pc + 1, D - 2>(x, s);
        }
    } else if constexpr (op == opKill) {
        x.p.state = particleFree;
        return 0;
    } else {  // 0xF6, 0xF7, 0xFB
        return -1;
    }
}

// The run from offset Pc with D values on the stack s.
template <const auto& B, uint32_t Pc, int D>
[[gnu::always_inline]] inline int32_t compiledFrom(CompiledParticle& x, double* s) {
    if constexpr (Pc >= B.size()) return -1;
    else if constexpr (B[Pc] < 0xF0) return compiledRegisterOp<B, Pc, D>(x, s);
    else return compiledStackOp<B, Pc, D>(x, s);
}

template <const auto& B, uint32_t Entry>
int32_t compiledRun(ParticleSystem& system, int32_t i, int32_t& freeFrom) {
    Particle& p = system[i];
    const Particle* parent = (p.parent >= 0 && p.parent < particleSlots) ? &system[p.parent] : nullptr;
    CompiledParticle x{p, parent, system, i, freeFrom};
    double stack[particleStackDepth];
    return compiledFrom<B, Entry, 0>(x, stack);
}

template <const auto& B, uint32_t E>
constexpr CompiledRun compiledEntry() {
    constexpr uint32_t entry = compiledEntryOffset(B, E);
    if constexpr (compiledEntryTerminates(B, entry)) return &compiledRun<B, entry>;
    else return nullptr;
}

template <const auto& B, std::size_t... E>
constexpr auto compiledEntries(std::index_sequence<E...>) {
    return std::array<CompiledRun, sizeof...(E)>{compiledEntry<B, E>()...};
}

// Every entry of the container B (a constexpr std::array of its bytes), new and live per program.
template <const auto& B>
constexpr auto compileContainer() {
    return compiledEntries<B>(std::make_index_sequence<2 * compiledProgramCount(B)>());
}

}  // namespace particle_machine
