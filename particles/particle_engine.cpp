// particle_engine.cpp: the particle storage and the stack machine that runs every particle's program.
#include <cmath>

#include "core/core.h"
#include "particles/particles.h"

Particle particleSystems[particleSystemCount][particleSlots];
ParticleVertices particleVertices;

namespace {

// Nearest integer, halves to even, as the FPU's store does; NaN and values beyond 32 bits give
// the integer indefinite 0x80000000 (so a wild spawn count claims every free slot).
int32_t nearestInt(double v) {
    if (!(v >= -2147483648.0 && v < 2147483647.5)) return INT32_MIN;
    return static_cast<int32_t>(std::nearbyint(v));
}

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

// Claims up to count free slots (every free one for a negative count) for children of parent.
void spawnParticles(ParticleSystem& system, int32_t count, int32_t program, int32_t parent) {
    for (int32_t slot = 0; slot < particleSlots && count != 0; ++slot) {
        Particle& child = system[slot];
        if (child.state != particleFree) continue;
        child.state = particleNew;
        child.program = program;
        child.parent = parent;
        --count;
    }
}

}  // namespace

int32_t resetParticleSystem(const ParticleProgram& container, ParticleSystem& system) {
    const int32_t programs = programCount(container);
    if (programs == 0) return -1;
    system[0].state = particleNew;
    system[0].program = programs - 1;
    system[0].parent = -1;
    return 0;
}

// Every read of the container, the stack, a register or the system is checked: whatever bytes
// a container holds, a bad one ends the run with -1 and touches nothing outside its arrays.
int32_t runParticle(const ParticleProgram& container, ParticleSystem& system, int32_t i, float t) {
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

    for (int32_t steps = 0; steps < particleStepLimit; ++steps) {
        if (pc >= size) return -1;
        const uint8_t op = bytes[pc];
        if (op < 0xF0) {
            const uint32_t a = op >> 3;
            switch (op & 7u) {
                case kindPushParent:
                    if (parent == nullptr || depth == particleStackDepth) return -1;
                    stack[depth++] = parent->r[a];
                    ++pc;
                    continue;
                case kindPush:
                    if (depth == particleStackDepth) return -1;
                    stack[depth++] = p.r[a];
                    ++pc;
                    continue;
                case kindPushConstant:
                    if (a >= constants || 1u + 4u * a + 4u > size || depth == particleStackDepth) return -1;
                    stack[depth++] = readConstant(bytes, 1u + 4u * a);
                    ++pc;
                    continue;
                case kindPop:
                    if (depth == 0) return -1;
                    p.r[a] = static_cast<float>(stack[--depth]);
                    ++pc;
                    continue;
                case kindJump:
                    if (pc + 1 >= size) return -1;
                    pc = static_cast<uint32_t>(static_cast<int32_t>(pc) + static_cast<int8_t>(bytes[pc + 1]));
                    continue;
                case kindJumpGreater: {
                    if (pc + 1 >= size || depth < 2) return -1;
                    const double b = stack[--depth];
                    const double av = stack[--depth];
                    pc += (b > av) ? bytes[pc + 1] : 2u;
                    continue;
                }
                case kindJumpLess: {
                    if (pc + 1 >= size || depth < 2) return -1;
                    const double b = stack[--depth];
                    const double av = stack[--depth];
                    pc += (b >= av) ? 2u : bytes[pc + 1];  // NaN jumps
                    continue;
                }
                default:
                    return -1;
            }
        }
        switch (op) {
            case opRandom:
                if (depth == particleStackDepth) return -1;
                stack[depth++] = nextRandom();
                break;
            case opCos:
                if (depth == 0) return -1;
                stack[depth - 1] = std::cos(stack[depth - 1]);
                break;
            case opSin:
                if (depth == 0) return -1;
                stack[depth - 1] = std::sin(stack[depth - 1]);
                break;
            case opSqrt:
                if (depth == 0) return -1;
                stack[depth - 1] = std::sqrt(stack[depth - 1]);
                break;
            case opAbs:
                if (depth == 0) return -1;
                stack[depth - 1] = std::fabs(stack[depth - 1]);
                break;
            case opNegate:
                if (depth == 0) return -1;
                stack[depth - 1] = -stack[depth - 1];
                break;
            case opAdd:
                if (depth < 2) return -1;
                --depth;
                stack[depth - 1] += stack[depth];
                break;
            case opSubtract:
                if (depth < 2) return -1;
                --depth;
                stack[depth - 1] -= stack[depth];
                break;
            case opDivide:
                if (depth < 2) return -1;
                --depth;
                stack[depth - 1] /= stack[depth];
                break;
            case opMultiply:
                if (depth < 2) return -1;
                --depth;
                stack[depth - 1] *= stack[depth];
                break;
            case opEnd:
                return 0;
            case opSpawn: {
                if (depth < 2) return -1;
                const int32_t program = nearestInt(stack[--depth]);
                const int32_t count = nearestInt(stack[--depth]);
                if (count != 0) {
                    if (program < 0 || program >= programs) return -1;
                    spawnParticles(system, count, program, i);
                }
                break;
            }
            case opKill:
                p.state = particleFree;
                return 0;
            default:
                return -1;
        }
        ++pc;
    }
    return -1;
}

int32_t emitParticleVertices(const ParticleProgram& container, ParticleSystem& system,
                             ParticleVertices& out, float t) {
    int32_t count = 0;
    for (int32_t i = 0; i < particleSlots; ++i) {
        if (system[i].state == particleFree) continue;
        if (runParticle(container, system, i, t) != 0) return -1;
        Particle& p = system[i];
        if (p.state == particleFree) continue;
        p.state = particleLive;
        ColorVertex& v = out[count++];
        v.x = p.r[particleX];
        v.y = p.r[particleY];
        v.z = p.r[particleZ];
        v.color = colourByte(p.r[particleAlpha]) << 24 | colourByte(p.r[particleRed]) << 16 |
                  colourByte(p.r[particleGreen]) << 8 | colourByte(p.r[particleBlue]);
    }
    return count;
}
