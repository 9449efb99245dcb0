// particles.h: the six particle systems, the stack machine that runs them, and the face textures they draw.
#pragma once

#include <cstdint>

#include "core/vertices.h"
#include "platform/d3d9.h"

constexpr int32_t particleSystemCount = 6;
constexpr int32_t particleSlots = 8192;   // capacity of one system
constexpr int32_t particleRegisters = 31; // r0..r30; the encoding reaches r0..r29
constexpr int32_t particleStackDepth = 8;

// Register meanings shared by every program.
constexpr int32_t particleX = 0, particleY = 1, particleZ = 2;
constexpr int32_t particleAlpha = 3, particleRed = 4, particleGreen = 5, particleBlue = 6;
constexpr int32_t particleTime = 7;  // seconds, written by the engine before every run

// Slot states.
constexpr int32_t particleFree = 0;
constexpr int32_t particleNew = 1;   // created; its new program has not run yet
constexpr int32_t particleLive = 2;

struct Particle {
    float r[particleRegisters];
    int32_t state;    // particleFree, particleNew or particleLive
    int32_t program;  // program number within the system's container
    int32_t parent;   // slot of the creator in the same system, -1 for none
};
static_assert(sizeof(Particle) == 31 * 4 + 3 * 4);

using ParticleSystem = Particle[particleSlots];
using ParticleVertices = ColorVertex[particleSlots];

// One system's program container: the bytes in their stored layout, and how many there are
// (the engine never reads past size). Layout, little-endian: byte 0 n constants; n floats from
// byte 1; byte 4n + 1 m programs; per program k two 16-bit entry offsets from byte 0, new at
// 4n + 2 + 4k and live at 4n + 4 + 4k; then the instruction bytes.
struct ParticleProgram {
    const uint8_t* bytes;
    uint32_t size;
};

// Instruction bytes. Below 0xF0: register or constant number * 8 + kind.
enum ParticleKind : uint8_t {
    kindPushParent = 0,  // push parent's register
    kindPush = 1,        // push own register
    kindPushConstant = 2,
    kindPop = 3,         // pop into own register
    kindJump = 4,        // operand: signed offset from this instruction
    kindInvalid = 5,
    kindJumpGreater = 6, // pop B, A; jump if B > A (unsigned offset; NaN falls through)
    kindJumpLess = 7,    // pop B, A; jump if B < A (unsigned offset; NaN jumps)
};

enum ParticleOp : uint8_t {
    opRandom = 0xF0,
    opCos = 0xF1,
    opSin = 0xF2,
    opSqrt = 0xF3,
    opAbs = 0xF4,
    opNegate = 0xF5,
    opAdd = 0xF8,
    opSubtract = 0xF9,
    opDivide = 0xFA,
    opMultiply = 0xFC,
    opEnd = 0xFD,
    opSpawn = 0xFE,
    opKill = 0xFF,
};

// A run that executes this many instructions without ending is an error: no container, however
// malformed, may stall the frame. The six programs need under 300 (system 2's root loop).
constexpr int32_t particleStepLimit = 1024;

// All zero at start; the engine writes them. Only the engine may make a slot occupied (it keeps
// a bound of the occupied slots of each); freeing slots, as a memset does, is fine.
extern Particle particleSystems[particleSystemCount][particleSlots];
extern const ParticleProgram particlePrograms[particleSystemCount];   // the six containers, in face order
extern ParticleVertices particleVertices;  // scratch output, overwritten by each system's pass
extern IDirect3DTexture9* spriteTexture;  // 64 x 64 white disc, set by createSpriteTexture

// One past the highest slot of system k that may be occupied: what a snapshot of the system
// keeps, and what restoring one sets back.
int32_t particleOccupiedEnd(int32_t k);
void setParticleOccupiedEnd(int32_t k, int32_t end);

void initParticleSystems();  // roots of the six systems and the sprite texture; once, from initIntro

// Particle 0 becomes the root: state new, the container's last program, no parent. 0, or -1 when
// the container has no programs (nothing is touched then).
int32_t resetParticleSystem(const ParticleProgram& container, ParticleSystem& system);

void createSpriteTexture();

// One program step of particle i at time t (seconds): 0, or -1 on error (the registers keep
// what the run wrote so far).
int32_t runParticle(const ParticleProgram& container, ParticleSystem& system, int32_t i, float t);

// Runs every occupied slot once in slot order and writes the survivors' vertices to out:
// their count, or -1 when a run failed (the slots after it are not run). The six containers of
// particlePrograms run compiled, all others through the checked interpreter, with identical results.
int32_t emitParticleVertices(const ParticleProgram& container, ParticleSystem& system,
                             ParticleVertices& out, float t);

// The same pass through the checked interpreter alone, whatever the container: for the tests,
// which compare it with the compiled form that emitParticleVertices runs.
int32_t emitParticleVerticesChecked(const ParticleProgram& container, ParticleSystem& system,
                                    ParticleVertices& out, float t);

// Advances the six systems to t (seconds, demoTimeSec) and draws system k into faceTextures[k]
// on a clear of clearColour. Called by the cube scenes before they draw the cube.
void renderFaceTextures(float t, D3DCOLOR clearColour);
