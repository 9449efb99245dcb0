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

int32_t runProgram(const ParticleProgram& container, ParticleSystem& system, int32_t i, float t, int32_t& freeFrom) {
    if (i < 0 || i >= particleSlots || container.bytes == nullptr) return -1;
    Particle& p = system[i];
    p.r[particleTime] = t;
    if (p.state != particleNew && p.state != particleLive) return -1;

    const uint8_t* bytes = container.bytes;
    const uint32_t size = container.size;
    if (size < 1) return -1;
    const uint32_t constants = bytes[0];
    const int32_t programs = programCount(container);
    if (p.program < 0 || p.program >= programs) return -1;
    const uint32_t entryAt = 2u * p.state + 4u * p.program + 4u * constants;
    if (entryAt + 2 > size) return -1;

    const Particle* parent = (p.parent >= 0 && p.parent < particleSlots) ? &system[p.parent] : nullptr;
    double stack[particleStackDepth];
    int32_t depth = 0;
    uint32_t pc = readOffset(bytes, entryAt);

    // One dense switch: kinds 0-7 for bytes below 0xF0, 8 + (byte - 0xF0) for the rest.
    for (int32_t steps = 0; steps < particleStepLimit; ++steps) {
        if (pc >= size) return -1;
        const uint32_t op = bytes[pc];
        const uint32_t a = op >> 3;
        switch (op < 0xF0 ? (op & 7u) : 8u + (op - 0xF0u)) {
            case kindPushParent:
                if (parent == nullptr || depth == particleStackDepth) return -1;
                stack[depth++] = parent->r[a];
                break;
            case kindPush:
                if (depth == particleStackDepth) return -1;
                stack[depth++] = p.r[a];
                break;
            case kindPushConstant:
                if (a >= constants || depth == particleStackDepth) return -1;
                stack[depth++] = readConstant(bytes, 1u + 4u * a);  // inside: byte 4n + 1 exists
                break;
            case kindPop:
                if (depth == 0) return -1;
                p.r[a] = static_cast<float>(stack[--depth]);
                break;
            case kindJump:
                if (pc + 1 >= size) return -1;
                pc = static_cast<uint32_t>(static_cast<int32_t>(pc) + static_cast<int8_t>(bytes[pc + 1]));
                continue;
            case kindJumpGreater: {
                if (pc + 1 >= size || depth < 2) return -1;
                depth -= 2;
                pc += (stack[depth + 1] > stack[depth]) ? bytes[pc + 1] : 2u;  // NaN falls through
                continue;
            }
            case kindJumpLess: {
                if (pc + 1 >= size || depth < 2) return -1;
                depth -= 2;
                pc += (stack[depth + 1] >= stack[depth]) ? 2u : bytes[pc + 1];  // NaN jumps
                continue;
            }
            case 8 + (opRandom - 0xF0):
                if (depth == particleStackDepth) return -1;
                stack[depth++] = nextRandom();
                break;
            case 8 + (opCos - 0xF0):
                if (depth == 0) return -1;
                stack[depth - 1] = std::cos(stack[depth - 1]);
                break;
            case 8 + (opSin - 0xF0):
                if (depth == 0) return -1;
                stack[depth - 1] = std::sin(stack[depth - 1]);
                break;
            case 8 + (opSqrt - 0xF0):
                if (depth == 0) return -1;
                stack[depth - 1] = std::sqrt(stack[depth - 1]);
                break;
            case 8 + (opAbs - 0xF0):
                if (depth == 0) return -1;
                stack[depth - 1] = std::fabs(stack[depth - 1]);
                break;
            case 8 + (opNegate - 0xF0):
                if (depth == 0) return -1;
                stack[depth - 1] = -stack[depth - 1];
                break;
            case 8 + (opAdd - 0xF0):
                if (depth < 2) return -1;
                --depth;
                stack[depth - 1] = plus(stack[depth - 1], stack[depth]);
                break;
            case 8 + (opSubtract - 0xF0):
                if (depth < 2) return -1;
                --depth;
                stack[depth - 1] -= stack[depth];
                break;
            case 8 + (opDivide - 0xF0):
                if (depth < 2) return -1;
                --depth;
                stack[depth - 1] /= stack[depth];
                break;
            case 8 + (opMultiply - 0xF0):
                if (depth < 2) return -1;
                --depth;
                stack[depth - 1] = times(stack[depth - 1], stack[depth]);
                break;
            case 8 + (opEnd - 0xF0):
                return 0;
            case 8 + (opSpawn - 0xF0): {
                if (depth < 2) return -1;
                const int32_t program = nearestInt(stack[--depth]);
                const int32_t count = nearestInt(stack[--depth]);
                if (count != 0) {
                    if (program < 0 || program >= programs) return -1;
                    spawnParticles(system, count, program, i, freeFrom);
                }
                break;
            }
            case 8 + (opKill - 0xF0):
                p.state = particleFree;
                return 0;
            default:  // kind 5, 0xF6, 0xF7, 0xFB
                return -1;
        }
        ++pc;
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
