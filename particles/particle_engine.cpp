// particle_engine.cpp: the particle storage and the stack machine that runs every particle's program.
//
// Two forms of the machine. The checked interpreter reads the container's bytes as they are and
// checks every step, so any bytes at all are safe: runParticle, emitParticleVerticesChecked and
// every container but the six of the show use it. The six are compiled at build time
// (particle_compiler.h), entry by entry; their passes stop at the highest slot that can be
// occupied. Both forms do the same arithmetic in the same order, so their results are identical
// to the bit; the tests compare them.
//
// ---- index ----
//   helpers shared by both forms
//   the checked interpreter
//   passes
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "particles/particle_machine.h"
#include "particles/particles.h"

Particle particleSystems[particleSystemCount][particleSlots];
ParticleVertices particleVertices;

// ---- helpers shared by both forms ----

using namespace particle_machine;

namespace {

uint32_t colourByte(float value) {
    return static_cast<uint32_t>(nearestInt(static_cast<double>(value) * 255.0)) & 0xFFu;
}

uint16_t readOffset(const uint8_t* bytes, uint32_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

float readConstant(const uint8_t* bytes, uint32_t at) {
    const uint32_t bits = bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                          (static_cast<uint32_t>(bytes[at + 3]) << 24);
    return d3dBitsFloat(bits);
}

// Byte 4n + 1 when the container holds its header, else 0 (no programs).
int32_t programCount(const ParticleProgram& container) {
    if (container.bytes == nullptr || container.size < 1) return 0;
    const uint32_t at = 4u * container.bytes[0] + 1u;
    return at < container.size ? container.bytes[at] : 0;
}

// One past the highest slot of each of the six systems that may be occupied. Only the engine
// makes their slots occupied (a memset that frees them keeps this an upper bound), so their
// compiled passes stop here instead of reading the state of every free slot above: with a few
// thousand particles in 8192 slots, that scan alone took a quarter of a pass.
int32_t occupiedEnd[particleSystemCount] = {particleSlots, particleSlots, particleSlots,
                                            particleSlots, particleSlots, particleSlots};

int32_t* occupiedEndOf(const ParticleSystem& system) {
    for (int32_t k = 0; k < particleSystemCount; ++k)
        if (&system == &particleSystems[k]) return &occupiedEnd[k];
    return nullptr;
}

}  // namespace

int32_t particleOccupiedEnd(int32_t k) { return occupiedEnd[k]; }
void setParticleOccupiedEnd(int32_t k, int32_t end) { occupiedEnd[k] = end; }

// Every slot below freeFrom is known to be occupied, so a program spawning into a full system
// again and again costs one scan, not one per spawn.
void particle_machine::spawnParticles(ParticleSystem& system, int32_t count, int32_t program, int32_t parent,
                                      int32_t& freeFrom) {
    if (count < 0) count = particleSlots;  // never reaches 0: as many as there are slots
    int32_t slot = freeFrom;
    int32_t claimedEnd = 0;
    for (; slot < particleSlots && count != 0; ++slot) {
        Particle& child = system[slot];
        if (child.state != particleFree) continue;
        child.state = particleNew;
        child.program = program;
        child.parent = parent;
        --count;
        claimedEnd = slot + 1;
    }
    freeFrom = slot;
    if (int32_t* end = occupiedEndOf(system); end != nullptr && *end < claimedEnd) *end = claimedEnd;
}

int32_t resetParticleSystem(const ParticleProgram& container, ParticleSystem& system) {
    const int32_t programs = programCount(container);
    if (programs == 0) return -1;
    system[0].state = particleNew;
    system[0].program = programs - 1;
    system[0].parent = -1;
    if (int32_t* end = occupiedEndOf(system); end != nullptr && *end < 1) *end = 1;
    return 0;
}

// ---- the checked interpreter ----

// Every read of the container, the stack, a register or the system is checked: whatever bytes
// a container holds, a bad one ends the run with -1 and touches nothing outside its arrays.
namespace {

// One run of one particle's program: the container read as it is, the stack, where it is.
struct Machine {
    const uint8_t* bytes;
    uint32_t size, constants;
    int32_t programs;
    Particle& p;
    const Particle* parent;
    uint32_t pc;
    int32_t depth;
    double stack[particleStackDepth];

    bool full() const { return depth == particleStackDepth; }
};

// After a step: on to the next byte, already moved (a jump), or the run over.
enum class Flow { Next, Moved, Ended, Fault };

// Opcodes below 0xF0: the kind in the low 3 bits, a register or constant above them.
[[gnu::always_inline]] inline Flow registerStep(Machine& m, uint32_t op) {
    const uint32_t a = op >> 3;
    double* const stack = m.stack;
    switch (op & 7u) {
        case kindPushParent:
            if (m.parent == nullptr || m.full()) return Flow::Fault;
            stack[m.depth++] = m.parent->r[a];
            return Flow::Next;
        case kindPush:
            if (m.full()) return Flow::Fault;
            stack[m.depth++] = m.p.r[a];
            return Flow::Next;
        case kindPushConstant:
            if (a >= m.constants || m.full()) return Flow::Fault;
            stack[m.depth++] = readConstant(m.bytes, 1u + 4u * a);  // inside: byte 4n + 1 exists
            return Flow::Next;
        case kindPop:
            if (m.depth == 0) return Flow::Fault;
            m.p.r[a] = static_cast<float>(stack[--m.depth]);
            return Flow::Next;
        case kindJump:
            if (m.pc + 1 >= m.size) return Flow::Fault;
            m.pc = static_cast<uint32_t>(static_cast<int32_t>(m.pc) + static_cast<int8_t>(m.bytes[m.pc + 1]));
            return Flow::Moved;
        case kindJumpGreater:
            if (m.pc + 1 >= m.size || m.depth < 2) return Flow::Fault;
            m.depth -= 2;
            m.pc += (stack[m.depth + 1] > stack[m.depth]) ? m.bytes[m.pc + 1] : 2u;  // NaN falls through
            return Flow::Moved;
        case kindJumpLess:
            if (m.pc + 1 >= m.size || m.depth < 2) return Flow::Fault;
            m.depth -= 2;
            m.pc += (stack[m.depth + 1] >= stack[m.depth]) ? 2u : m.bytes[m.pc + 1];  // NaN jumps
            return Flow::Moved;
        default:  // kind 5
            return Flow::Fault;
    }
}

// The arithmetic on the top of the stack, in the order and precision the compiled form keeps.
template <class F>
[[gnu::always_inline]] inline Flow unary(Machine& m, F f) {
    if (m.depth == 0) return Flow::Fault;
    m.stack[m.depth - 1] = f(m.stack[m.depth - 1]);
    return Flow::Next;
}

template <class F>
[[gnu::always_inline]] inline Flow binary(Machine& m, F f) {
    if (m.depth < 2) return Flow::Fault;
    --m.depth;
    m.stack[m.depth - 1] = f(m.stack[m.depth - 1], m.stack[m.depth]);
    return Flow::Next;
}

// Opcodes from 0xF0: the random number, the particle's life and the arithmetic.
[[gnu::always_inline]] inline Flow stackStep(Machine& m, uint32_t op, ParticleSystem& system, int32_t i, int32_t& freeFrom) {
    switch (op) {
        case opRandom:
            if (m.full()) return Flow::Fault;
            m.stack[m.depth++] = nextRandom();
            return Flow::Next;
        case opEnd:
            return Flow::Ended;
        case opSpawn: {
            if (m.depth < 2) return Flow::Fault;
            const int32_t program = nearestInt(m.stack[--m.depth]);
            const int32_t count = nearestInt(m.stack[--m.depth]);
            if (count != 0) {
                if (program < 0 || program >= m.programs) return Flow::Fault;
                spawnParticles(system, count, program, i, freeFrom);
            }
            return Flow::Next;
        }
        case opKill:
            m.p.state = particleFree;
            return Flow::Ended;
        case opCos: return unary(m, [](double v) { return std::cos(v); });
        case opSin: return unary(m, [](double v) { return std::sin(v); });
        case opSqrt: return unary(m, [](double v) { return std::sqrt(v); });
        case opAbs: return unary(m, [](double v) { return std::fabs(v); });
        case opNegate: return unary(m, [](double v) { return -v; });
        case opAdd: return binary(m, [](double a, double b) { return plus(a, b); });
        case opSubtract: return binary(m, [](double a, double b) { return a - b; });
        case opDivide: return binary(m, [](double a, double b) { return a / b; });
        case opMultiply: return binary(m, [](double a, double b) { return times(a, b); });
        default:  // 0xF6, 0xF7, 0xFB
            return Flow::Fault;
    }
}

int32_t runProgram(const ParticleProgram& container, ParticleSystem& system, int32_t i, float t, int32_t& freeFrom) {
    if (i < 0 || i >= particleSlots || container.bytes == nullptr) return -1;
    Particle& p = system[i];
    p.r[particleTime] = t;
    if (p.state != particleNew && p.state != particleLive) return -1;
    if (container.size < 1) return -1;
    const uint32_t constants = container.bytes[0];
    const int32_t programs = programCount(container);
    if (p.program < 0 || p.program >= programs) return -1;
    const uint32_t entryAt = 2u * p.state + 4u * p.program + 4u * constants;
    if (entryAt + 2 > container.size) return -1;

    const Particle* parent = (p.parent >= 0 && p.parent < particleSlots) ? &system[p.parent] : nullptr;
    Machine m{container.bytes, container.size, constants, programs, p, parent, readOffset(container.bytes, entryAt), 0, {}};
    for (int32_t steps = 0; steps < particleStepLimit; ++steps) {
        if (m.pc >= m.size) return -1;
        const uint32_t op = m.bytes[m.pc];
        switch (op < 0xF0 ? registerStep(m, op) : stackStep(m, op, system, i, freeFrom)) {
            case Flow::Next: ++m.pc; break;
            case Flow::Moved: break;
            case Flow::Ended: return 0;
            case Flow::Fault: return -1;
        }
    }
    return -1;
}

// ---- passes ----

// Runs every occupied slot once in slot order, by whichever form run is, up to *end (which
// spawns move up as they go), or all slots without one; a pass that ends well moves *end down to
// the last slot it left occupied.
template <typename Run>
int32_t passOfSystem(ParticleSystem& system, ParticleVertices& out, float t, int32_t* end, Run run) {
    int32_t count = 0;
    int32_t freeFrom = 0;  // slots only free up by kills, which move it back
    const int32_t allSlots = particleSlots;
    const int32_t* const stop = end != nullptr ? end : &allSlots;
    for (int32_t i = 0; i < *stop; ++i) {
        if (system[i].state == particleFree) continue;
        if (run(system, i, t, freeFrom) != 0) return -1;
        Particle& p = system[i];
        if (p.state == particleFree) {
            if (i < freeFrom) freeFrom = i;
            continue;
        }
        p.state = particleLive;
        ColorVertex& v = out[count++];
        v.x = p.r[particleX];
        v.y = p.r[particleY];
        v.z = p.r[particleZ];
        v.color = colourByte(p.r[particleAlpha]) << 24 | colourByte(p.r[particleRed]) << 16 |
                  colourByte(p.r[particleGreen]) << 8 | colourByte(p.r[particleBlue]);
    }
    if (end != nullptr)
        while (*end > 0 && system[*end - 1].state == particleFree) --*end;
    return count;
}

}  // namespace

int32_t runParticle(const ParticleProgram& container, ParticleSystem& system, int32_t i, float t) {
    int32_t freeFrom = 0;
    return runProgram(container, system, i, t, freeFrom);
}

int32_t emitParticleVerticesChecked(const ParticleProgram& container, ParticleSystem& system,
                                    ParticleVertices& out, float t) {
    return passOfSystem(system, out, t, nullptr, [&](ParticleSystem& s, int32_t i, float time, int32_t& freeFrom) {
        return runProgram(container, s, i, time, freeFrom);
    });
}

int32_t particle_machine::emitParticleVerticesCompiled(const ParticleProgram& container, const CompiledContainer& compiled,
                                                      ParticleSystem& system, ParticleVertices& out, float t) {
    return passOfSystem(system, out, t, occupiedEndOf(system), [&](ParticleSystem& s, int32_t i, float time, int32_t& freeFrom) {
        Particle& p = s[i];
        const bool served = p.program >= 0 && p.program < compiled.programs && (p.state == particleNew || p.state == particleLive);
        const CompiledRun run = served ? compiled.runs[2 * p.program + (p.state - particleNew)] : nullptr;
        if (run == nullptr) return runProgram(container, s, i, time, freeFrom);
        p.r[particleTime] = time;
        return run(s, i, freeFrom);
    });
}

int32_t emitParticleVertices(const ParticleProgram& container, ParticleSystem& system,
                             ParticleVertices& out, float t) {
    for (const CompiledContainer& compiled : compiledParticlePrograms)
        if (container.bytes == compiled.bytes && container.size == compiled.size)
            return emitParticleVerticesCompiled(container, compiled, system, out, t);
    return emitParticleVerticesChecked(container, system, out, t);
}
