// particle_engine.cpp: the particle storage and the stack machine that runs every particle's program.
//
// Two forms of the machine. The checked interpreter reads the container's bytes as they are and
// checks every step, so any bytes at all are safe: runParticle, emitParticleVerticesChecked and
// every container that does not validate use it. A container that validates once (every path
// from every entry stays inside it, decodes to known instructions, and meets each instruction
// at one stack depth within 0..particleStackDepth) is decoded into a stream of dense
// instructions with their constants in double, their stack slots and their absolute jump
// targets, common runs of two to four fused into one, kept in a small cache compared by content;
// emitParticleVertices runs that stream with only the checks that stay dynamic (a missing
// parent, the step limit, spawned program numbers), and for the six systems of the show stops
// each pass at the highest slot that can be occupied. Both forms do the same arithmetic in the
// same order, so their results are identical to the bit; the tests and the fuzzer compare them.
//
// ---- index ----
//   helpers shared by both forms
//   the checked interpreter
//   the pre-decoded form: validation and decoding
//   the pre-decoded form: running it
//   passes
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/core.h"
#include "particles/particles.h"

Particle particleSystems[particleSystemCount][particleSlots];
ParticleVertices particleVertices;

// ---- helpers shared by both forms ----

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

// Where both operands are NaN, the machine keeps the first one's, quietened, and the compiler may
// swap the operands of + and * (g++ and clang do, differently): both forms pick that NaN
// themselves, so that they agree to the bit whatever the compiler made of each.
inline double firstNaN(double result, double a, double b) {
    if (__builtin_expect(result != result, 0)) return a != a ? a + 0.0 : b != b ? b + 0.0 : result;
    return result;
}
inline double plus(double a, double b) { return firstNaN(a + b, a, b); }
inline double times(double a, double b) { return firstNaN(a * b, a, b); }
inline double minus(double a, double b) { return a - b; }
inline double over(double a, double b) { return a / b; }

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
// pre-decoded passes stop here instead of reading the state of every free slot above: with a few
// thousand particles in 8192 slots, that scan alone took a quarter of a pass.
int32_t occupiedEnd[particleSystemCount] = {particleSlots, particleSlots, particleSlots,
                                            particleSlots, particleSlots, particleSlots};

int32_t* occupiedEndOf(const ParticleSystem& system) {
    for (int32_t k = 0; k < particleSystemCount; ++k)
        if (&system == &particleSystems[k]) return &occupiedEnd[k];
    return nullptr;
}

// Claims up to count free slots (every free one for a negative count) for children of parent,
// lowest first. Every slot below freeFrom is known to be occupied, so the scan starts there and
// leaves freeFrom where it stopped: a program spawning into a full system again and again
// costs one scan, not one per spawn.
void spawnParticles(ParticleSystem& system, int32_t count, int32_t program, int32_t parent, int32_t& freeFrom) {
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

}  // namespace

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

}  // namespace


// ---- the pre-decoded form: validation and decoding ----

namespace {

// Dense codes of the decoded stream: first one per instruction the bytes can hold, then fused
// runs of two or three within a block. R, K, P: the run starts with a push of an own register,
// a constant or a parent's register, which the fused code takes as its top operand instead;
// RR: with pushes of two own registers, reg and reg2, as both operands; Pop: it ends by popping
// into register dst. The order is what fuseStream computes codes from.
#define QUORBEL_FAST_BINARY(X, name)                                                         \
    X(name##R) X(name##K) X(name##P) X(name##Pop) X(name##RPop) X(name##KPop) X(name##PPop) \
    X(name##RR) X(name##RRPop)
#define QUORBEL_FAST_CODES(X)                                                                      \
    X(PushParent) X(Push) X(PushConstant) X(Pop) X(Jump) X(JumpGreater) X(JumpLess) X(Random)     \
    X(Cos) X(Sin) X(Sqrt) X(Abs) X(Negate) X(Add) X(Subtract) X(Divide) X(Multiply) X(End)        \
    X(Spawn) X(Kill) QUORBEL_FAST_BINARY(X, Add) QUORBEL_FAST_BINARY(X, Subtract)                  \
    QUORBEL_FAST_BINARY(X, Divide) QUORBEL_FAST_BINARY(X, Multiply) X(JumpGreaterR) X(JumpGreaterK) \
    X(JumpGreaterP) X(JumpLessR) X(JumpLessK) X(JumpLessP) X(MoveK) X(PushRR)                    \
    X(MultiplyAddPop) X(MultiplySubtractPop) X(MultiplyRAddPop) X(MultiplyRSubtractPop)          \
    X(SubtractRRMultiply)
#define QUORBEL_FAST_ENUM(name) fast##name,
enum FastCode : uint8_t { QUORBEL_FAST_CODES(QUORBEL_FAST_ENUM) fastCodeCount };
#undef QUORBEL_FAST_ENUM

struct FastOp {
    uint8_t code;      // FastCode
    uint8_t reg;       // register of a push or pop, or of the push a fused code starts with
    uint8_t top;       // stack depth before the instruction, the same on every path to it
    uint8_t dst;       // fused codes ending in a pop: its register
    uint8_t count;     // instructions this one stands for: the steps it takes
    uint8_t reg2;      // fused codes starting with two pushes of own registers: the second
    uint8_t unused[2];
    uint32_t target;   // jumps: index of the destination in the stream
    double constant;   // a pushed constant, as the stack holds it
};
static_assert(sizeof(FastOp) == 24);

struct FastContainer {
    const uint8_t* bytes = nullptr;  // the container decoded, and a copy of its bytes: an address
    std::vector<uint8_t> copy;       // may be reused for other bytes (tests, the fuzzer)
    bool valid = false;
    int32_t programs = 0;
    std::vector<FastOp> code;        // the reachable instructions in byte order, runs fused
    std::vector<uint32_t> entries;   // per program the new, then the live entry: index into code
    std::vector<bool> counted;       // per entry: whether a run from it can reach the step limit
};

bool twoBytes(uint8_t op) {
    return op < 0xF0 && ((op & 7u) == kindJump || (op & 7u) == kindJumpGreater || (op & 7u) == kindJumpLess);
}

// Follows every path from every entry, all branches taken or not, noting the stack depth on
// arrival at each byte; false for whatever could fail a run there. Steps and the spawned program
// numbers stay for the run to check, as does the parent.
bool validateContainer(const uint8_t* bytes, uint32_t size, std::vector<int8_t>& depthAt) {
    if (bytes == nullptr || size < 1) return false;
    const uint32_t constants = bytes[0];
    const int32_t programs = programCount({bytes, size});
    if (programs == 0) return false;
    depthAt.assign(size, -1);
    std::vector<uint32_t> work;
    const auto reach = [&](int64_t pc, int32_t depth) {
        if (pc < 0 || pc >= size || depth < 0 || depth > particleStackDepth) return false;
        if (depthAt[pc] < 0) {
            depthAt[pc] = static_cast<int8_t>(depth);
            work.push_back(static_cast<uint32_t>(pc));
            return true;
        }
        return depthAt[pc] == depth;
    };
    for (int32_t k = 0; k < programs; ++k)
        for (uint32_t state = particleNew; state <= particleLive; ++state) {
            const uint32_t entryAt = 2u * state + 4u * k + 4u * constants;
            if (entryAt + 2 > size || !reach(readOffset(bytes, entryAt), 0)) return false;
        }
    while (!work.empty()) {
        const uint32_t pc = work.back();
        work.pop_back();
        const int32_t d = depthAt[pc];
        const uint8_t op = bytes[pc];
        const int64_t next = int64_t{pc} + 1;
        bool ok = false;
        if (op < 0xF0) {
            switch (op & 7u) {
                case kindPushParent:
                case kindPush: ok = reach(next, d + 1); break;
                case kindPushConstant: ok = (op >> 3) < constants && reach(next, d + 1); break;
                case kindPop: ok = reach(next, d - 1); break;
                case kindJump: ok = next < size && reach(pc + int64_t{static_cast<int8_t>(bytes[next])}, d); break;
                case kindJumpGreater:
                case kindJumpLess: ok = next < size && reach(next + 1, d - 2) && reach(pc + int64_t{bytes[next]}, d - 2); break;
                default: break;  // kind 5
            }
        } else {
            switch (op) {
                case opRandom: ok = reach(next, d + 1); break;
                case opCos:
                case opSin:
                case opSqrt:
                case opAbs:
                case opNegate: ok = d >= 1 && reach(next, d); break;
                case opAdd:
                case opSubtract:
                case opDivide:
                case opMultiply: ok = d >= 2 && reach(next, d - 1); break;
                case opSpawn: ok = reach(next, d - 2); break;
                case opEnd:
                case opKill: ok = true; break;
                default: break;  // 0xF6, 0xF7, 0xFB
            }
        }
        if (!ok) return false;
    }
    // Jump targets must be instruction starts: no path may land on an operand byte.
    for (uint32_t pc = 0; pc + 1 < size; ++pc)
        if (depthAt[pc] >= 0 && twoBytes(bytes[pc]) && depthAt[pc + 1] >= 0) return false;
    return true;
}

// The validated container as a stream: as nothing starts inside an instruction, every
// instruction that goes on is followed in the stream by the one it goes on to.
void decodeContainer(const uint8_t* bytes, uint32_t size, const std::vector<int8_t>& depthAt, FastContainer& f,
                     std::vector<FastOp>& plain) {
    std::vector<uint32_t> index(size);
    uint32_t count = 0;
    for (uint32_t pc = 0; pc < size; ++pc)
        if (depthAt[pc] >= 0) index[pc] = count++;
    plain.assign(count, FastOp{});
    for (uint32_t pc = 0; pc < size; ++pc) {
        if (depthAt[pc] < 0) continue;
        FastOp& o = plain[index[pc]];
        o.count = 1;
        const uint8_t op = bytes[pc];
        o.top = static_cast<uint8_t>(depthAt[pc]);
        o.reg = static_cast<uint8_t>(op >> 3);
        if (op < 0xF0) {
            switch (op & 7u) {
                case kindPushParent: o.code = fastPushParent; break;
                case kindPush: o.code = fastPush; break;
                case kindPushConstant:
                    o.code = fastPushConstant;
                    o.constant = readConstant(bytes, 1u + 4u * o.reg);
                    break;
                case kindPop: o.code = fastPop; break;
                case kindJump:
                    o.code = fastJump;
                    o.target = index[static_cast<uint32_t>(static_cast<int32_t>(pc) + static_cast<int8_t>(bytes[pc + 1]))];
                    break;
                case kindJumpGreater:
                case kindJumpLess:
                    o.code = (op & 7u) == kindJumpGreater ? fastJumpGreater : fastJumpLess;
                    o.target = index[pc + bytes[pc + 1]];
                    break;
            }
            continue;
        }
        switch (op) {
            case opRandom: o.code = fastRandom; break;
            case opCos: o.code = fastCos; break;
            case opSin: o.code = fastSin; break;
            case opSqrt: o.code = fastSqrt; break;
            case opAbs: o.code = fastAbs; break;
            case opNegate: o.code = fastNegate; break;
            case opAdd: o.code = fastAdd; break;
            case opSubtract: o.code = fastSubtract; break;
            case opDivide: o.code = fastDivide; break;
            case opMultiply: o.code = fastMultiply; break;
            case opEnd: o.code = fastEnd; break;
            case opSpawn: o.code = fastSpawn; break;
            case opKill: o.code = fastKill; break;
        }
    }
    f.programs = programCount({bytes, size});
    const uint32_t constants = bytes[0];
    f.entries.clear();
    for (int32_t k = 0; k < f.programs; ++k)
        for (uint32_t state = particleNew; state <= particleLive; ++state)
            f.entries.push_back(index[readOffset(bytes, 2u * state + 4u * k + 4u * constants)]);
}

bool jumps(uint8_t code) {
    return code == fastJump || code == fastJumpGreater || code == fastJumpLess ||
           (code >= fastJumpGreaterR && code <= fastJumpLessP);
}

// Fuses runs that no jump or entry enters but at their start: one or two pushes followed by a
// binary operation, and by a pop; a binary operation followed by a pop; two pushes of own
// registers; a push followed by a comparison; a constant popped. Then, the products the
// effects' motion is made of: a product added to or taken from the value below and popped, and a
// difference of two registers multiplied into the top.
void fuseStream(const std::vector<FastOp>& plain, FastContainer& f) {
    const uint32_t n = static_cast<uint32_t>(plain.size());
    std::vector<bool> leader(n, false);
    for (uint32_t e : f.entries) leader[e] = true;
    for (const FastOp& o : plain)
        if (jumps(o.code)) leader[o.target] = true;
    const auto inside = [&](uint32_t j, uint8_t from, uint8_t to) {
        return j < n && !leader[j] && plain[j].code >= from && plain[j].code <= to;
    };
    std::vector<uint32_t> fusedAt(n);
    f.code.clear();
    for (uint32_t k = 0; k < n; k += f.code.back().count) {
        fusedAt[k] = static_cast<uint32_t>(f.code.size());
        FastOp o = plain[k];
        const int32_t source = o.code == fastPush ? 0 : o.code == fastPushConstant ? 1 : o.code == fastPushParent ? 2 : -1;
        if (source == 0 && inside(k + 1, fastPush, fastPush) && inside(k + 2, fastAdd, fastMultiply)) {
            const int32_t binary = 9 * (plain[k + 2].code - fastAdd);
            const bool pops = inside(k + 3, fastPop, fastPop);
            o.code = static_cast<uint8_t>(fastAddRR + binary + (pops ? 1 : 0));
            o.reg2 = plain[k + 1].reg;
            o.dst = pops ? plain[k + 3].reg : 0;
            o.count = pops ? 4 : 3;
        } else if (source >= 0 && inside(k + 1, fastAdd, fastMultiply)) {
            const int32_t binary = 9 * (plain[k + 1].code - fastAdd);
            const bool pops = inside(k + 2, fastPop, fastPop);
            o.code = static_cast<uint8_t>(fastAddR + binary + (pops ? 4 : 0) + source);
            o.dst = pops ? plain[k + 2].reg : 0;
            o.count = pops ? 3 : 2;
        } else if (o.code >= fastAdd && o.code <= fastMultiply && inside(k + 1, fastPop, fastPop)) {
            o.code = static_cast<uint8_t>(fastAddPop + 9 * (o.code - fastAdd));
            o.dst = plain[k + 1].reg;
            o.count = 2;
        } else if (source >= 0 && inside(k + 1, fastJumpGreater, fastJumpLess)) {
            o.code = static_cast<uint8_t>((plain[k + 1].code == fastJumpGreater ? fastJumpGreaterR : fastJumpLessR) + source);
            o.target = plain[k + 1].target;
            o.count = 2;
        } else if (source == 0 && inside(k + 1, fastPush, fastPush)) {
            o.code = fastPushRR;
            o.reg2 = plain[k + 1].reg;
            o.count = 2;
        } else if (source == 1 && inside(k + 1, fastPop, fastPop)) {
            o.code = fastMoveK;
            o.dst = plain[k + 1].reg;
            o.count = 2;
        }
        const uint32_t next = k + o.count;
        const bool multiplies = o.code == fastMultiply || o.code == fastMultiplyR;
        if (multiplies && (inside(next, fastAdd, fastAdd) || inside(next, fastSubtract, fastSubtract)) &&
            inside(next + 1, fastPop, fastPop)) {
            const bool adds = plain[next].code == fastAdd;
            o.code = o.code == fastMultiply ? (adds ? fastMultiplyAddPop : fastMultiplySubtractPop)
                                            : (adds ? fastMultiplyRAddPop : fastMultiplyRSubtractPop);
            o.dst = plain[next + 1].reg;
            o.count = static_cast<uint8_t>(o.count + 2);
        } else if (o.code == fastSubtractRR && inside(next, fastMultiply, fastMultiply)) {
            o.code = fastSubtractRRMultiply;
            o.count = 4;
        }
        f.code.push_back(o);
    }
    for (FastOp& o : f.code)
        if (jumps(o.code)) o.target = fusedAt[o.target];
    for (uint32_t& e : f.entries) e = fusedAt[e];
}

// Marks the entries from which a run can take more steps than the limit: a loop on their paths,
// or a path longer than the limit. Runs from the others need no step counter. Longest paths by
// a depth-first walk shared by all entries; meeting an instruction still on the walk is a loop.
void markCountedEntries(FastContainer& f) {
    const int32_t unseen = -1, onWalk = -2, tooLong = particleStepLimit + 1;
    std::vector<int32_t> longest(f.code.size(), unseen);
    const auto successor = [&](uint32_t k, uint32_t j) -> int64_t {
        const FastOp& o = f.code[k];
        if (o.code == fastEnd || o.code == fastKill) return -1;
        if (o.code == fastJump) return j == 0 ? int64_t{o.target} : -1;
        if (jumps(o.code)) return j == 0 ? int64_t{k} + 1 : j == 1 ? int64_t{o.target} : -1;
        return j == 0 ? int64_t{k} + 1 : -1;
    };
    std::vector<std::pair<uint32_t, uint32_t>> walk;  // instruction, next successor to look at
    for (uint32_t e : f.entries) {
        if (longest[e] != unseen) continue;
        longest[e] = onWalk;
        walk.push_back({e, 0});
        while (!walk.empty()) {
            const uint32_t k = walk.back().first;
            const int64_t next = successor(k, walk.back().second++);
            if (next >= 0) {
                if (longest[next] == unseen) {
                    longest[next] = onWalk;
                    walk.push_back({static_cast<uint32_t>(next), 0});
                }
                continue;
            }
            int32_t most = 0;
            for (uint32_t j = 0; successor(k, j) >= 0; ++j) {
                const int32_t after = longest[successor(k, j)];
                most = std::max(most, after == onWalk ? tooLong : after);
            }
            longest[k] = std::min(tooLong, f.code[k].count + most);
            walk.pop_back();
        }
    }
    f.counted.clear();
    for (uint32_t e : f.entries) f.counted.push_back(longest[e] == tooLong);
}

// Enough for the six systems and a few containers of the tests; the six are decoded during the
// loading screen (initParticleSystems), so the show never decodes, nor allocates, later.
FastContainer fastCache[8];
uint32_t fastCacheNext = 0;

const FastContainer* fastForm(const ParticleProgram& container) {
    if (container.bytes == nullptr) return nullptr;
    for (const FastContainer& f : fastCache)
        if (f.bytes == container.bytes && f.copy.size() == container.size &&
            std::memcmp(f.copy.data(), container.bytes, container.size) == 0)
            return f.valid ? &f : nullptr;
    FastContainer& f = fastCache[fastCacheNext];
    fastCacheNext = (fastCacheNext + 1) % (sizeof fastCache / sizeof fastCache[0]);
    f.bytes = container.bytes;
    f.copy.assign(container.bytes, container.bytes + container.size);
    std::vector<int8_t> depthAt;
    f.valid = validateContainer(container.bytes, container.size, depthAt);
    if (f.valid) {
        std::vector<FastOp> plain;
        decodeContainer(container.bytes, container.size, depthAt, f, plain);
        fuseStream(plain, f);
        markCountedEntries(f);
    }
    return f.valid ? &f : nullptr;
}

// ---- the pre-decoded form: running it ----

// GCC merges the identical tails of the handlers into one indirect jump, which predicts badly;
// and a product and a sum fused into one multiply-add would round once where the machine rounds
// twice (clang fuses only within one expression, which no handler has).
#if defined(__GNUC__) && !defined(__clang__)
#define QUORBEL_KEEP_DISPATCHES __attribute__((optimize("no-crossjumping", "no-gcse", "fp-contract=off")))
#else
#define QUORBEL_KEEP_DISPATCHES
#endif

// runProgram for a validated container: the same effects in the same order, without the checks
// that validation made once. Threaded with labels as values (g++ and clang take them without
// -pedantic): one indirect jump per instruction, each predicted on its own. A fused run that
// would cross the step limit ends the run at once: only its last instruction (a pop, a jump)
// has an effect that outlives the run, so stopping inside it is stopping before it.
template <bool counted>
QUORBEL_KEEP_DISPATCHES int32_t runFast(const FastContainer& f, ParticleSystem& system, int32_t i, uint32_t entry,
                                        int32_t& freeFrom) {
    Particle& p = system[i];
    const Particle* parent = (p.parent >= 0 && p.parent < particleSlots) ? &system[p.parent] : nullptr;
    float* const r = p.r;
#define QUORBEL_FAST_LABEL(name) &&name,
    static const void* const handlers[] = {QUORBEL_FAST_CODES(QUORBEL_FAST_LABEL)};
#undef QUORBEL_FAST_LABEL
    static_assert(sizeof handlers / sizeof handlers[0] == fastCodeCount);
    double stack[particleStackDepth];
    double* s;  // s[0] the next free entry, s[-1] the top: the depth is known per instruction
    const FastOp* const code = f.code.data();
    const FastOp* op = code + f.entries[entry];
    int32_t steps = particleStepLimit;
#define QUORBEL_NEXT(to)                \
    op = (to);                          \
    if constexpr (counted) {            \
        steps -= op->count;             \
        if (steps < 0) return -1;       \
    }                                   \
    s = stack + op->top;                \
    goto* handlers[op->code]
#define QUORBEL_R static_cast<double>(r[op->reg])
#define QUORBEL_K op->constant
#define QUORBEL_P static_cast<double>(parent->r[op->reg])
#define QUORBEL_R2 static_cast<double>(r[op->reg2])
#define QUORBEL_BINARY(name, OPER)                                                                    \
    name:                                                                                              \
    s[-2] = OPER(s[-2], s[-1]);                                                                          \
    QUORBEL_NEXT(op + 1);                                                                              \
    name##R:                                                                                           \
    s[-1] = OPER(s[-1], QUORBEL_R);                                                                      \
    QUORBEL_NEXT(op + 1);                                                                              \
    name##K:                                                                                           \
    s[-1] = OPER(s[-1], QUORBEL_K);                                                                      \
    QUORBEL_NEXT(op + 1);                                                                              \
    name##P:                                                                                           \
    if (parent == nullptr) return -1;                                                                  \
    s[-1] = OPER(s[-1], QUORBEL_P);                                                                      \
    QUORBEL_NEXT(op + 1);                                                                              \
    name##Pop:                                                                                         \
    r[op->dst] = static_cast<float>(OPER(s[-2], s[-1]));                                               \
    QUORBEL_NEXT(op + 1);                                                                              \
    name##RPop:                                                                                        \
    r[op->dst] = static_cast<float>(OPER(s[-1], QUORBEL_R));                                           \
    QUORBEL_NEXT(op + 1);                                                                              \
    name##KPop:                                                                                        \
    r[op->dst] = static_cast<float>(OPER(s[-1], QUORBEL_K));                                           \
    QUORBEL_NEXT(op + 1);                                                                              \
    name##PPop:                                                                                        \
    if (parent == nullptr) return -1;                                                                  \
    r[op->dst] = static_cast<float>(OPER(s[-1], QUORBEL_P));                                           \
    QUORBEL_NEXT(op + 1);                                                                              \
    name##RR:                                                                                          \
    s[0] = OPER(QUORBEL_R, QUORBEL_R2);                                                                  \
    QUORBEL_NEXT(op + 1);                                                                              \
    name##RRPop:                                                                                       \
    r[op->dst] = static_cast<float>(OPER(QUORBEL_R, QUORBEL_R2));                                      \
    QUORBEL_NEXT(op + 1)

    QUORBEL_NEXT(op);
PushParent:
    if (parent == nullptr) return -1;
    s[0] = QUORBEL_P;
    QUORBEL_NEXT(op + 1);
Push:
    s[0] = QUORBEL_R;
    QUORBEL_NEXT(op + 1);
PushRR:
    s[0] = QUORBEL_R;
    s[1] = QUORBEL_R2;
    QUORBEL_NEXT(op + 1);
PushConstant:
    s[0] = QUORBEL_K;
    QUORBEL_NEXT(op + 1);
Pop:
    r[op->reg] = static_cast<float>(s[-1]);
    QUORBEL_NEXT(op + 1);
MoveK:
    r[op->dst] = static_cast<float>(QUORBEL_K);
    QUORBEL_NEXT(op + 1);
Jump:
    QUORBEL_NEXT(code + op->target);
JumpGreater:  // NaN falls through
    QUORBEL_NEXT(s[-1] > s[-2] ? code + op->target : op + 1);
JumpGreaterR:
    QUORBEL_NEXT(QUORBEL_R > s[-1] ? code + op->target : op + 1);
JumpGreaterK:
    QUORBEL_NEXT(QUORBEL_K > s[-1] ? code + op->target : op + 1);
JumpGreaterP:
    if (parent == nullptr) return -1;
    QUORBEL_NEXT(QUORBEL_P > s[-1] ? code + op->target : op + 1);
JumpLess:  // NaN jumps
    QUORBEL_NEXT(s[-1] >= s[-2] ? op + 1 : code + op->target);
JumpLessR:
    QUORBEL_NEXT(QUORBEL_R >= s[-1] ? op + 1 : code + op->target);
JumpLessK:
    QUORBEL_NEXT(QUORBEL_K >= s[-1] ? op + 1 : code + op->target);
JumpLessP:
    if (parent == nullptr) return -1;
    QUORBEL_NEXT(QUORBEL_P >= s[-1] ? op + 1 : code + op->target);
Random:
    s[0] = nextRandom();
    QUORBEL_NEXT(op + 1);
Cos:
    s[-1] = std::cos(s[-1]);
    QUORBEL_NEXT(op + 1);
Sin:
    s[-1] = std::sin(s[-1]);
    QUORBEL_NEXT(op + 1);
Sqrt:
    s[-1] = std::sqrt(s[-1]);
    QUORBEL_NEXT(op + 1);
Abs:
    s[-1] = std::fabs(s[-1]);
    QUORBEL_NEXT(op + 1);
Negate:
    s[-1] = -s[-1];
    QUORBEL_NEXT(op + 1);
    QUORBEL_BINARY(Add, plus);
    QUORBEL_BINARY(Subtract, minus);
    QUORBEL_BINARY(Divide, over);
    QUORBEL_BINARY(Multiply, times);
MultiplyAddPop: {
    const double product = times(s[-2], s[-1]);
    r[op->dst] = static_cast<float>(plus(s[-3], product));
    QUORBEL_NEXT(op + 1);
}
MultiplySubtractPop: {
    const double product = times(s[-2], s[-1]);
    r[op->dst] = static_cast<float>(s[-3] - product);
    QUORBEL_NEXT(op + 1);
}
MultiplyRAddPop: {
    const double product = times(s[-1], QUORBEL_R);
    r[op->dst] = static_cast<float>(plus(s[-2], product));
    QUORBEL_NEXT(op + 1);
}
MultiplyRSubtractPop: {
    const double product = times(s[-1], QUORBEL_R);
    r[op->dst] = static_cast<float>(s[-2] - product);
    QUORBEL_NEXT(op + 1);
}
SubtractRRMultiply: {
    const double difference = QUORBEL_R - QUORBEL_R2;
    s[-1] = times(s[-1], difference);
    QUORBEL_NEXT(op + 1);
}
End:
    return 0;
Spawn: {
    const int32_t program = nearestInt(s[-1]);
    const int32_t count = nearestInt(s[-2]);
    if (count != 0) {
        if (program < 0 || program >= f.programs) return -1;
        spawnParticles(system, count, program, i, freeFrom);
    }
    QUORBEL_NEXT(op + 1);
}
Kill:
    p.state = particleFree;
    return 0;
#undef QUORBEL_BINARY
#undef QUORBEL_R2
#undef QUORBEL_P
#undef QUORBEL_K
#undef QUORBEL_R
#undef QUORBEL_NEXT
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

bool particleProgramDecodes(const ParticleProgram& container) {
    return fastForm(container) != nullptr;
}

int32_t emitParticleVerticesChecked(const ParticleProgram& container, ParticleSystem& system,
                                    ParticleVertices& out, float t) {
    return passOfSystem(system, out, t, nullptr, [&](ParticleSystem& s, int32_t i, float time, int32_t& freeFrom) {
        return runProgram(container, s, i, time, freeFrom);
    });
}

int32_t emitParticleVertices(const ParticleProgram& container, ParticleSystem& system,
                             ParticleVertices& out, float t) {
    const FastContainer* fast = fastForm(container);
    if (fast == nullptr) return emitParticleVerticesChecked(container, system, out, t);
    return passOfSystem(system, out, t, occupiedEndOf(system), [fast](ParticleSystem& s, int32_t i, float time, int32_t& freeFrom) {
        Particle& p = s[i];
        p.r[particleTime] = time;
        if (p.state != particleNew && p.state != particleLive) return -1;
        if (p.program < 0 || p.program >= fast->programs) return -1;
        const uint32_t entry = static_cast<uint32_t>(2 * p.program + (p.state - particleNew));
        return fast->counted[entry] ? runFast<true>(*fast, s, i, entry, freeFrom) : runFast<false>(*fast, s, i, entry, freeFrom);
    });
}
