// test_particle_engine.cpp: the particle stack machine, instruction by instruction, its spawns, vertices and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "core/core.h"
#include "particles/particle_compiler.h"
#include "particles/particles.h"

namespace {

// Instruction bytes spelled out by hand, so these tests do not lean on the assembler.
constexpr uint8_t P(int a) { return static_cast<uint8_t>(a * 8 + 0); }  // push parent register
constexpr uint8_t R(int a) { return static_cast<uint8_t>(a * 8 + 1); }  // push own register
constexpr uint8_t K(int a) { return static_cast<uint8_t>(a * 8 + 2); }  // push constant
constexpr uint8_t S(int a) { return static_cast<uint8_t>(a * 8 + 3); }  // pop into register
constexpr uint8_t JMP = 4, JGT = 6, JLT = 7;

using Code = std::vector<uint8_t>;

// A container built from constants and (new, live) code pairs, laid out as the engine reads it.
struct Container {
    std::vector<uint8_t> bytes;
    ParticleProgram view() const { return {bytes.data(), static_cast<uint32_t>(bytes.size())}; }
};

Container makeContainer(const std::vector<float>& constants, const std::vector<std::pair<Code, Code>>& programs) {
    Container c;
    c.bytes.push_back(static_cast<uint8_t>(constants.size()));
    for (float f : constants) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        for (int b = 0; b < 4; ++b) c.bytes.push_back(static_cast<uint8_t>(bits >> (8 * b)));
    }
    c.bytes.push_back(static_cast<uint8_t>(programs.size()));
    const size_t table = c.bytes.size();
    c.bytes.resize(table + 4 * programs.size());
    for (size_t k = 0; k < programs.size(); ++k) {
        for (int which = 0; which < 2; ++which) {
            const Code& code = which == 0 ? programs[k].first : programs[k].second;
            const size_t entry = c.bytes.size();
            c.bytes[table + 4 * k + 2 * which] = static_cast<uint8_t>(entry);
            c.bytes[table + 4 * k + 2 * which + 1] = static_cast<uint8_t>(entry >> 8);
            c.bytes.insert(c.bytes.end(), code.begin(), code.end());
        }
    }
    return c;
}

// One program whose new entry is the code under test.
Container single(const std::vector<float>& constants, const Code& code) {
    return makeContainer(constants, {{code, {opEnd}}});
}

Particle testSystem[particleSlots];
ParticleVertices testVertices;

class ParticleEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(testSystem, 0, sizeof testSystem);
        randomSeed = 0;
    }

    // Particle i becomes new with the given program and parent.
    void place(int32_t i, int32_t program = 0, int32_t parent = -1) {
        testSystem[i].state = particleNew;
        testSystem[i].program = program;
        testSystem[i].parent = parent;
    }

    int32_t run(const Container& c, int32_t i = 0, float t = 1.0f) {
        const ParticleProgram view = c.view();
        return runParticle(view, testSystem, i, t);
    }

    int32_t pass(const Container& c, float t = 1.0f) {
        const ParticleProgram view = c.view();
        return emitParticleVertices(view, testSystem, testVertices, t);
    }

    int32_t occupied() const {
        int32_t n = 0;
        for (const Particle& p : testSystem) n += p.state != particleFree;
        return n;
    }
};

// ---- values: registers, constants, parent, arithmetic ----

TEST_F(ParticleEngineTest, PushPopAndTheEngineWrittenTime) {
    const Container c = single({2.5f, -4.0f}, {K(1), S(12), K(0), S(29), R(7), S(8), opEnd});
    place(0);
    ASSERT_EQ(run(c, 0, 3.25f), 0);
    EXPECT_EQ(testSystem[0].r[7], 3.25f);
    EXPECT_EQ(testSystem[0].r[12], -4.0f);
    EXPECT_EQ(testSystem[0].r[29], 2.5f);
    EXPECT_EQ(testSystem[0].r[8], 3.25f) << "r7 holds t before the first instruction";
    EXPECT_EQ(testSystem[0].state, particleNew) << "runParticle alone does not promote to live";
}

TEST_F(ParticleEngineTest, BinaryOperatorsTakeAFirstAndBOnTop) {
    const Container c = single({7.0f, 2.0f},
                               {K(0), K(1), opAdd, S(10), K(0), K(1), opSubtract, S(11),
                                K(0), K(1), opDivide, S(12), K(0), K(1), opMultiply, S(13), opEnd});
    place(0);
    ASSERT_EQ(run(c), 0);
    EXPECT_EQ(testSystem[0].r[10], 9.0f);
    EXPECT_EQ(testSystem[0].r[11], 5.0f);
    EXPECT_EQ(testSystem[0].r[12], 3.5f);
    EXPECT_EQ(testSystem[0].r[13], 14.0f);
}

TEST_F(ParticleEngineTest, UnaryOperatorsReplaceTheTop) {
    const Container c = single({0.5f, -9.0f, 9.0f},
                               {K(0), opCos, S(10), K(0), opSin, S(11), K(2), opSqrt, S(12),
                                K(1), opAbs, S(13), K(1), opNegate, S(14), K(1), opSqrt, S(15), opEnd});
    place(0);
    ASSERT_EQ(run(c), 0);
    EXPECT_EQ(testSystem[0].r[10], static_cast<float>(std::cos(0.5)));
    EXPECT_EQ(testSystem[0].r[11], static_cast<float>(std::sin(0.5)));
    EXPECT_EQ(testSystem[0].r[12], 3.0f);
    EXPECT_EQ(testSystem[0].r[13], 9.0f);
    EXPECT_EQ(testSystem[0].r[14], 9.0f);
    EXPECT_TRUE(std::isnan(testSystem[0].r[15])) << "the square root of a negative is NaN, not a fault";
}

TEST_F(ParticleEngineTest, IntermediatesStayInDoublePrecision) {
    // 1e8 + 1 - 1e8 is 1 in double; in float it would be 0.
    const Container c = single({1e8f, 1.0f}, {K(0), K(1), opAdd, K(0), opSubtract, S(10), opEnd});
    place(0);
    ASSERT_EQ(run(c), 0);
    EXPECT_EQ(testSystem[0].r[10], 1.0f);
}

TEST_F(ParticleEngineTest, RandomPushesTheNextDrawOfTheSharedGenerator) {
    const Container c = single({}, {opRandom, S(10), opRandom, S(11), opEnd});
    place(0);
    randomSeed = 99;
    ASSERT_EQ(run(c), 0);
    randomSeed = 99;
    const float first = static_cast<float>(nextRandom());
    const float second = static_cast<float>(nextRandom());
    EXPECT_EQ(testSystem[0].r[10], first);
    EXPECT_EQ(testSystem[0].r[11], second);
}

TEST_F(ParticleEngineTest, ParentRegistersAndTheMissingParent) {
    const Container c = single({}, {P(4), S(10), P(29), S(11), opEnd});
    testSystem[5].r[4] = 0.75f;
    testSystem[5].r[29] = -3.0f;
    place(9, 0, 5);
    ASSERT_EQ(run(c, 9), 0);
    EXPECT_EQ(testSystem[9].r[10], 0.75f);
    EXPECT_EQ(testSystem[9].r[11], -3.0f);
    place(0, 0, -1);
    EXPECT_EQ(run(c, 0), -1);
    place(1, 0, particleSlots);  // a parent index outside the system counts as none
    EXPECT_EQ(run(c, 1), -1);
}

// ---- control flow ----

TEST_F(ParticleEngineTest, EndKeepsTheParticleAndKillFreesIt) {
    const Container c = makeContainer({1.0f}, {{{K(0), S(10), opKill, K(0), S(11), opEnd}, {opEnd}}});
    place(0);
    ASSERT_EQ(run(c), 0);
    EXPECT_EQ(testSystem[0].state, particleFree);
    EXPECT_EQ(testSystem[0].r[10], 1.0f);
    EXPECT_EQ(testSystem[0].r[11], 0.0f) << "nothing runs after a kill";
}

TEST_F(ParticleEngineTest, StateSelectsTheNewOrTheLiveEntry) {
    const Container c = makeContainer({1.0f, 2.0f}, {{{K(0), S(10), opEnd}, {K(1), S(10), opEnd}},
                                                     {{K(1), S(11), opEnd}, {K(0), S(11), opEnd}}});
    place(0, 1);
    ASSERT_EQ(run(c), 0);
    EXPECT_EQ(testSystem[0].r[11], 2.0f);
    testSystem[0].state = particleLive;
    ASSERT_EQ(run(c), 0);
    EXPECT_EQ(testSystem[0].r[11], 1.0f);
    testSystem[0].program = 0;
    ASSERT_EQ(run(c), 0);
    EXPECT_EQ(testSystem[0].r[10], 2.0f);
}

TEST_F(ParticleEngineTest, PlainJumpOffsetIsSignedAndIgnoresItsRegisterBits) {
    // 0: jump +5 (register bits set); 2: r10 = 1; 4: end; 5: r11 = 2; 7: jump -3 to the end at 4.
    const Code code = {static_cast<uint8_t>(JMP | (17 << 3)), 5, K(0), S(10), opEnd, K(1), S(11), JMP, 0xFD};
    const Container c = single({1.0f, 2.0f}, code);
    place(0);
    ASSERT_EQ(run(c), 0);
    EXPECT_EQ(testSystem[0].r[10], 0.0f);
    EXPECT_EQ(testSystem[0].r[11], 2.0f);
}

TEST_F(ParticleEngineTest, ComparisonJumpsCompareTopOverSecond) {
    // With A = 1 pushed first and B = 2 on top: B > A jumps over the store, B < A does not.
    const Container greater = single({1.0f, 2.0f}, {K(0), K(1), JGT, 4, K(0), S(10), opEnd});
    const Container less = single({1.0f, 2.0f}, {K(0), K(1), JLT, 4, K(0), S(10), opEnd});
    const Container lessSwapped = single({1.0f, 2.0f}, {K(1), K(0), JLT, 4, K(0), S(10), opEnd});
    const Container equal = single({1.0f, 2.0f}, {K(0), K(0), JLT, 4, K(0), S(10), opEnd});
    place(0);
    ASSERT_EQ(run(greater), 0);
    EXPECT_EQ(testSystem[0].r[10], 0.0f) << "2 > 1 jumps";
    ASSERT_EQ(run(less), 0);
    EXPECT_EQ(testSystem[0].r[10], 1.0f) << "2 < 1 falls through";
    testSystem[0].r[10] = 0;
    ASSERT_EQ(run(lessSwapped), 0);
    EXPECT_EQ(testSystem[0].r[10], 0.0f) << "1 < 2 jumps";
    ASSERT_EQ(run(equal), 0);
    EXPECT_EQ(testSystem[0].r[10], 1.0f) << "equal values fall through";
}

TEST_F(ParticleEngineTest, ComparisonOffsetsAreUnsigned) {
    // An operand of 0x84 goes 132 bytes forward (as a signed byte it would go back).
    Code code = {K(0), K(1), JGT, 0x84};
    code.resize(2 + 132, opKill);
    code.push_back(opEnd);
    const Container c = single({1.0f, 2.0f}, code);
    place(0);
    ASSERT_EQ(run(c), 0);
    EXPECT_EQ(testSystem[0].state, particleNew) << "the jump landed on the end, past every kill";
}

TEST_F(ParticleEngineTest, NaNNeverJumpsGreaterAndAlwaysJumpsLess) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int nanOnTop = 0; nanOnTop < 2; ++nanOnTop) {
        const uint8_t a = nanOnTop ? K(0) : K(1), b = nanOnTop ? K(1) : K(0);
        const Container greater = single({1.0f, nan}, {a, b, JGT, 4, K(0), S(10), opEnd});
        const Container less = single({1.0f, nan}, {a, b, JLT, 4, K(0), S(11), opEnd});
        std::memset(testSystem, 0, sizeof(Particle));
        place(0);
        ASSERT_EQ(run(greater), 0);
        ASSERT_EQ(run(less), 0);
        EXPECT_EQ(testSystem[0].r[10], 1.0f) << "greater-than with NaN fell through, NaN on top: " << nanOnTop;
        EXPECT_EQ(testSystem[0].r[11], 0.0f) << "less-than with NaN jumped, NaN on top: " << nanOnTop;
    }
}

// ---- spawns ----

TEST_F(ParticleEngineTest, SpawnCountRoundsToNearestWithHalvesToEven) {
    const float cases[][2] = {{2.5f, 2}, {3.5f, 4}, {0.5f, 0}, {-0.5f, 0}, {0.4f, 0}, {1.5f, 2}, {2.49f, 2}, {0.0f, 0}};
    for (const auto& [count, expected] : cases) {
        std::memset(testSystem, 0, sizeof testSystem);
        const Container c = makeContainer({count, 1.0f}, {{{K(0), K(1), opSpawn, opEnd}, {opEnd}},
                                                          {{opEnd}, {opEnd}}});
        place(0);
        ASSERT_EQ(run(c), 0);
        EXPECT_EQ(occupied() - 1, expected) << "count " << count;
    }
}

TEST_F(ParticleEngineTest, SpawnFillsTheLowestFreeSlotsWithNewChildren) {
    // program number 0.6 rounds to 1
    const Container c = makeContainer({3.0f, 0.6f}, {{{opEnd}, {opEnd}}, {{K(0), K(1), opSpawn, opEnd}, {opEnd}}});
    place(2, 1);
    testSystem[4].state = particleLive;
    testSystem[1].r[10] = 42.0f;  // a previous occupant's value
    ASSERT_EQ(run(c, 2), 0);
    for (int32_t slot : {0, 1, 3}) {
        EXPECT_EQ(testSystem[slot].state, particleNew) << slot;
        EXPECT_EQ(testSystem[slot].program, 1) << slot;
        EXPECT_EQ(testSystem[slot].parent, 2) << slot;
    }
    EXPECT_EQ(testSystem[5].state, particleFree);
    EXPECT_EQ(testSystem[1].r[10], 42.0f) << "registers are not cleared for a new occupant";
}

TEST_F(ParticleEngineTest, NegativeCountClaimsEveryFreeSlotAndAFullSystemSpawnsNothing) {
    const Container c = makeContainer({-1.0f, 0.0f, 5.0f},
                                      {{{K(0), K(1), opSpawn, K(2), K(1), opSpawn, K(2), S(10), opEnd}, {opEnd}}});
    place(7);
    ASSERT_EQ(run(c, 7), 0);
    EXPECT_EQ(occupied(), particleSlots);
    EXPECT_EQ(testSystem[7].parent, -1) << "the running particle is not its own child";
    EXPECT_EQ(testSystem[8191].parent, 7);
    EXPECT_EQ(testSystem[7].r[10], 5.0f) << "the run goes on after spawning into a full system";
}

TEST_F(ParticleEngineTest, WildSpawnCountsClaimEverythingWithoutFault) {
    for (float count : {std::numeric_limits<float>::quiet_NaN(), 1e30f, std::numeric_limits<float>::infinity()}) {
        std::memset(testSystem, 0, sizeof testSystem);
        const Container c = single({count, 0.0f}, {K(0), K(1), opSpawn, opEnd});
        place(0);
        ASSERT_EQ(run(c), 0) << count;
        EXPECT_EQ(occupied(), particleSlots) << count;
    }
}

TEST_F(ParticleEngineTest, ChildrenAboveRunInThisPassAndSeeTheParentsFinalRegisters) {
    // Parent (program 1) at slot 5: r10 = 1, spawn 1; r10 = 2, spawn 1 more; end. Children copy P.r10.
    const Container c = makeContainer({1.0f, 2.0f, 0.0f},
                                      {{{P(10), S(11), opEnd}, {opEnd}},
                                       {{opEnd}, {K(0), S(10), K(0), K(2), opSpawn, K(1), S(10), K(0), K(2),
                                                  opSpawn, opEnd}}});
    place(5, 1);
    testSystem[5].state = particleLive;
    for (int32_t i = 0; i < 5; ++i) testSystem[i].state = particleLive, testSystem[i].program = 0;
    ASSERT_EQ(pass(c), 8);
    EXPECT_EQ(testSystem[6].state, particleLive);
    EXPECT_EQ(testSystem[7].state, particleLive);
    EXPECT_EQ(testSystem[6].r[11], 2.0f) << "both children read r10 as the run left it";
    EXPECT_EQ(testSystem[7].r[11], 2.0f);
}

TEST_F(ParticleEngineTest, ChildrenBelowWaitForTheNextPass) {
    const Container c = makeContainer({1.0f, 0.0f, 3.0f},
                                      {{{P(10), S(11), P(10), S(0), opEnd}, {opEnd}},
                                       {{opEnd}, {K(2), S(10), K(0), K(1), opSpawn, opEnd}}});
    place(3, 1);
    testSystem[3].state = particleLive;
    ASSERT_EQ(pass(c), 1) << "the child in slot 0 is not drawn in the pass that made it";
    EXPECT_EQ(testSystem[0].state, particleNew);
    EXPECT_EQ(testSystem[0].r[11], 0.0f);
    ASSERT_EQ(pass(c), 2) << "the second child, in slot 1, waits again";
    EXPECT_EQ(testSystem[0].r[11], 3.0f);
    EXPECT_EQ(testSystem[1].state, particleNew);
    EXPECT_EQ(testVertices[0].x, 3.0f) << "vertex order is slot order: the newer child first";
    EXPECT_EQ(testVertices[1].x, 0.0f);
}

TEST_F(ParticleEngineTest, SlotsFreedEarlierInThePassAreClaimedFirst) {
    // Slot 3 spawns twice into a system whose slots 0..3 are taken, after slot 1 died in this pass.
    const Container c = makeContainer({1.0f, 0.0f, 2.0f},
                                      {{{opEnd}, {opEnd}}, {{opKill}, {opKill}},
                                       {{opEnd}, {K(0), K(1), opSpawn, K(0), K(1), opSpawn, opEnd}}});
    for (int32_t i = 0; i < 4; ++i) place(i), testSystem[i].state = particleLive;
    testSystem[1].program = 1;
    testSystem[3].program = 2;
    ASSERT_EQ(pass(c), 4) << "slots 0, 2, 3 and the child above";
    EXPECT_EQ(testSystem[1].state, particleNew) << "the slot freed by the kill is the lowest free";
    EXPECT_EQ(testSystem[1].parent, 3);
    EXPECT_EQ(testSystem[4].state, particleLive) << "the second child went above and ran at once";
    EXPECT_EQ(testSystem[4].parent, 3);
}

// ---- vertices ----

TEST_F(ParticleEngineTest, VertexColourBytesRoundAndWrap) {
    const Container c = single({1.2f, 1.0f, 0.5f, -0.1f, 0.3f, -1.5f, 2.0f},
                               {K(0), S(3), K(1), S(4), K(2), S(5), K(3), S(6),
                                K(4), S(0), K(5), S(1), K(6), S(2), opEnd});
    place(0);
    ASSERT_EQ(pass(c), 1);
    // alpha 1.2 x 255 = 306 -> 50; red 255; green 127.5 -> 128 (even); blue -25.5 -> -26 -> 0xE6.
    EXPECT_EQ(testVertices[0].color, 0x32FF80E6u);
    EXPECT_EQ(testVertices[0].x, 0.3f);
    EXPECT_EQ(testVertices[0].y, -1.5f);
    EXPECT_EQ(testVertices[0].z, 2.0f);
    EXPECT_EQ(testSystem[0].state, particleLive);
}

TEST_F(ParticleEngineTest, PassSkipsFreeSlotsAndDropsTheKilled) {
    const Container c = makeContainer({}, {{{opEnd}, {opEnd}}, {{opKill}, {opKill}}});
    for (int32_t i : {10, 20, 30}) place(i, 0), testSystem[i].r[0] = static_cast<float>(i);
    place(15, 1);
    ASSERT_EQ(pass(c), 3);
    EXPECT_EQ(testVertices[0].x, 10.0f);
    EXPECT_EQ(testVertices[1].x, 20.0f);
    EXPECT_EQ(testVertices[2].x, 30.0f);
    EXPECT_EQ(testSystem[15].state, particleFree);
}

TEST_F(ParticleEngineTest, AnErrorEndsThePassAtOnce) {
    const Container c = makeContainer({}, {{{opEnd}, {opEnd}}, {{0xF6}, {0xF6}}});
    place(1);
    place(2, 1);
    place(3);
    EXPECT_EQ(pass(c, 4.0f), -1);
    EXPECT_EQ(testSystem[1].state, particleLive);
    EXPECT_EQ(testSystem[3].state, particleNew) << "particles after the failing one do not run";
    EXPECT_EQ(testSystem[3].r[7], 0.0f);
}

TEST_F(ParticleEngineTest, ResetMakesTheLastProgramTheRootAndTouchesNothingElse) {
    const Container c = makeContainer({}, {{{opEnd}, {opEnd}}, {{opEnd}, {opEnd}}, {{opEnd}, {opEnd}}});
    testSystem[0].r[5] = 9.0f;
    testSystem[1].state = particleLive;
    EXPECT_EQ(resetParticleSystem(c.view(), testSystem), 0);
    EXPECT_EQ(testSystem[0].state, particleNew);
    EXPECT_EQ(testSystem[0].program, 2);
    EXPECT_EQ(testSystem[0].parent, -1);
    EXPECT_EQ(testSystem[0].r[5], 9.0f);
    EXPECT_EQ(testSystem[1].state, particleLive);

    std::memset(testSystem, 0, sizeof(Particle));
    const Container none = makeContainer({1.0f}, {});
    EXPECT_EQ(resetParticleSystem(none.view(), testSystem), -1);
    const uint8_t truncated[] = {3, 0, 0};
    EXPECT_EQ(resetParticleSystem({truncated, sizeof truncated}, testSystem), -1);
    EXPECT_EQ(testSystem[0].state, particleFree);
}

// ---- bad input: every way out of bounds is an error, never an access ----

TEST_F(ParticleEngineTest, InvalidBytesAreErrors) {
    for (uint8_t op : {uint8_t(0xF6), uint8_t(0xF7), uint8_t(0xFB), uint8_t(5), uint8_t(5 + 8 * 29)}) {
        const Container c = single({}, {R(0), op, opEnd});
        place(0);
        EXPECT_EQ(run(c), -1) << int(op);
    }
}

TEST_F(ParticleEngineTest, StackLimitsAreErrors) {
    Code nine(9, R(0));
    nine.push_back(opEnd);
    Code eight(8, R(0));
    for (int i = 0; i < 7; ++i) eight.push_back(opAdd);
    eight.push_back(S(10));
    eight.push_back(opEnd);
    place(0);
    testSystem[0].r[0] = 1.0f;
    EXPECT_EQ(run(single({}, nine)), -1) << "a ninth entry";
    ASSERT_EQ(run(single({}, eight)), 0) << "eight entries fit";
    EXPECT_EQ(testSystem[0].r[10], 8.0f);
    for (uint8_t op : std::initializer_list<uint8_t>{S(1), opCos, opSin, opSqrt, opAbs, opNegate})
        EXPECT_EQ(run(single({}, {op, opEnd})), -1) << "pop from empty by " << int(op);
    for (uint8_t op : std::initializer_list<uint8_t>{opAdd, opSubtract, opDivide, opMultiply, opSpawn, JGT, JLT})
        EXPECT_EQ(run(single({}, {R(0), op, 0, opEnd})), -1) << "one value for two by " << int(op);
}

TEST_F(ParticleEngineTest, ConstantsBeyondTheListAreErrors) {
    place(0);
    EXPECT_EQ(run(single({1.0f, 2.0f}, {K(2), S(10), opEnd})), -1);
    EXPECT_EQ(run(single({}, {K(0), S(10), opEnd})), -1);
    // A count byte claiming more constants than the container holds leaves no program table.
    const uint8_t bytes[] = {40, 1, 0, 0};
    EXPECT_EQ(runParticle({bytes, sizeof bytes}, testSystem, 0, 0.0f), -1);
}

TEST_F(ParticleEngineTest, JumpsAndEntriesOutsideTheContainerAreErrors) {
    place(0);
    EXPECT_EQ(run(single({}, {JMP, 0x80, opEnd})), -1) << "backward past byte 0";
    EXPECT_EQ(run(single({}, {JMP, 100, opEnd})), -1) << "forward past the end";
    EXPECT_EQ(run(single({1.0f, 2.0f}, {K(0), K(1), JGT, 200, opEnd})), -1);
    // Live code is the last in these containers: nothing follows it.
    testSystem[0].state = particleLive;
    EXPECT_EQ(run(makeContainer({}, {{{opEnd}, {R(0)}}})), -1) << "running off the end";
    EXPECT_EQ(run(makeContainer({}, {{{opEnd}, {JMP}}})), -1) << "a jump without its operand byte";
    EXPECT_EQ(run(makeContainer({}, {{{opEnd}, {}}})), -1) << "an entry at the very end";
    testSystem[0].state = particleNew;
    Container c = single({}, {opEnd});
    c.bytes[2] = 0xFF;  // new entry of program 0 far beyond the end
    EXPECT_EQ(run(c), -1);
    c = single({}, {opEnd});
    c.bytes.resize(3);  // the entry table itself cut short
    EXPECT_EQ(run(c), -1);
}

TEST_F(ParticleEngineTest, ProgramNumbersStatesAndSlotsOutOfRangeAreErrors) {
    const Container c = makeContainer({2.0f, 1.0f}, {{{K(1), K(0), opSpawn, opEnd}, {opEnd}}, {{opEnd}, {opEnd}}});
    place(0, 2);
    EXPECT_EQ(run(c), -1) << "program 2 of 2";
    place(0, -1);
    EXPECT_EQ(run(c), -1);
    place(0, 0);
    EXPECT_EQ(run(c), -1) << "spawning program 2 of 2";
    EXPECT_EQ(occupied(), 1);
    testSystem[0].state = 3;
    EXPECT_EQ(run(c), -1);
    testSystem[0].state = particleFree;
    EXPECT_EQ(run(c), -1) << "a free slot has no program to run";
    EXPECT_EQ(run(c, -1), -1);
    EXPECT_EQ(run(c, particleSlots), -1);
    EXPECT_EQ(runParticle({nullptr, 0}, testSystem, 0, 0.0f), -1);
}

TEST_F(ParticleEngineTest, ARunThatNeverEndsIsStoppedAsAnError) {
    place(0);
    EXPECT_EQ(run(single({}, {JMP, 0})), -1);
    EXPECT_EQ(run(single({}, {opRandom, S(10), JMP, 0xFE})), -1);
}

TEST_F(ParticleEngineTest, ErrorsKeepWhatTheRunWroteSoFar) {
    const Container c = single({6.0f}, {K(0), S(12), 0xFB, K(0), S(13), opEnd});
    place(0);
    EXPECT_EQ(run(c), -1);
    EXPECT_EQ(testSystem[0].r[12], 6.0f);
    EXPECT_EQ(testSystem[0].r[13], 0.0f);
}

// ---- the compiled form against the checked interpreter ----

Particle compiledSystem[particleSlots];
ParticleVertices compiledVertices;

void startBothFromTestSystem() {
    std::memcpy(compiledSystem, testSystem, sizeof testSystem);
    std::memcpy(compiledVertices, testVertices, sizeof testVertices);
}

// One pass of testSystem through the interpreter and of other, its copy, through emit, from the
// same generator state: both must leave every bit the same (registers, states, programs,
// parents, vertices, count and generator).
template <typename Emit>
::testing::AssertionResult samePass(const ParticleProgram& c, float t, ParticleSystem& other, Emit emit) {
    const uint32_t seed = randomSeed;
    const int32_t checked = emitParticleVerticesChecked(c, testSystem, testVertices, t);
    const uint32_t checkedSeed = randomSeed;
    randomSeed = seed;
    const int32_t count = emit(other, t);
    if (count != checked) return ::testing::AssertionFailure() << "count " << count << " for " << checked;
    if (randomSeed != checkedSeed) return ::testing::AssertionFailure() << "a different number of draws";
    if (std::memcmp(other, testSystem, sizeof testSystem) != 0)
        for (int32_t i = 0;; ++i)
            if (std::memcmp(&other[i], &testSystem[i], sizeof(Particle)) != 0)
                return ::testing::AssertionFailure() << "slot " << i << " differs";
    if (std::memcmp(compiledVertices, testVertices, sizeof testVertices) != 0)
        return ::testing::AssertionFailure() << "the vertices differ";
    return ::testing::AssertionSuccess();
}

TEST_F(ParticleEngineTest, TheSixSystemsRunCompiledToTheBit) {
    // 40 s from the start, and 2 s at 60 passes a second from later times, with other seeds. The
    // compiled side runs in the show's own systems, whose passes stop at their occupied bound.
    struct Run { float start; uint32_t seed; int32_t passes; int32_t perSecond; };
    const Run runs[] = {{0.0f, 1u, 600, 15}, {61.3f, 0xC0FFEEu, 120, 60}, {118.05f, 987654321u, 120, 60}};
    for (int32_t k = 0; k < particleSystemCount; ++k) {
        // Every entry is compiled but the one whose loop runs once, system 2's root.
        const particle_machine::CompiledContainer& compiled = particle_machine::compiledParticlePrograms[k];
        ASSERT_EQ(compiled.bytes, particlePrograms[k].bytes);
        for (int32_t e = 0; e < 2 * compiled.programs; ++e)
            EXPECT_EQ(compiled.runs[e] == nullptr, k == 2 && e == 2 * (compiled.programs - 1)) << "system " << k << " entry " << e;
        for (const Run& run : runs) {
            std::memset(testSystem, 0, sizeof testSystem);
            std::memset(particleSystems[k], 0, sizeof particleSystems[k]);
            ASSERT_EQ(resetParticleSystem(particlePrograms[k], testSystem), 0);
            ASSERT_EQ(resetParticleSystem(particlePrograms[k], particleSystems[k]), 0);
            std::memcpy(compiledVertices, testVertices, sizeof testVertices);
            randomSeed = run.seed;
            int32_t peak = 0;
            for (int32_t n = 0; n < run.passes; ++n) {
                const float t = static_cast<float>(run.start + static_cast<double>(n) / run.perSecond);
                ASSERT_TRUE(samePass(particlePrograms[k], t, particleSystems[k], [k](ParticleSystem& s, float time) {
                    return emitParticleVertices(particlePrograms[k], s, compiledVertices, time);
                })) << "system " << k << " at " << t << " s";
                peak = std::max(peak, occupied());
            }
            EXPECT_GT(peak, 20) << "system " << k << " from " << run.start << " s drew too little to compare";
        }
    }
}

}  // namespace

// ---- containers compiled here, at build time, as the six are ----

namespace {

// A container of constants and (new, live) code pairs as constexpr bytes, N in all: what the
// code does not fill is invalid bytes, so a run that strays there is an error in both forms.
template <std::size_t N>
constexpr std::array<uint8_t, N> compileTimeContainer(std::initializer_list<float> constants,
                                                      std::initializer_list<std::initializer_list<uint8_t>> codes) {
    std::array<uint8_t, N> b{};
    b.fill(0xFB);
    uint32_t at = 0;
    b[at++] = static_cast<uint8_t>(constants.size());
    for (float f : constants)
        for (int byte = 0; byte < 4; ++byte) b[at++] = static_cast<uint8_t>(std::bit_cast<uint32_t>(f) >> (8 * byte));
    b[at++] = static_cast<uint8_t>(codes.size() / 2);
    uint32_t table = at, code = at + 2 * static_cast<uint32_t>(codes.size());
    for (const auto& entry : codes) {
        b[table++] = static_cast<uint8_t>(code);
        b[table++] = static_cast<uint8_t>(code >> 8);
        for (uint8_t byte : entry) b[code++] = byte;
    }
    return b;
}

// A compiled container of the tests and its pass, beside the interpreter's.
struct CompiledCase {
    const char* what;
    ParticleProgram container;
    particle_machine::CompiledContainer compiled;
};

template <const auto& B>
CompiledCase compiledCase(const char* what) {
    static constexpr auto runs = particle_machine::compileContainer<B>();
    const ParticleProgram container = {B.data(), static_cast<uint32_t>(B.size())};
    return {what, container, {B.data(), container.size, static_cast<int32_t>(runs.size() / 2), runs.data()}};
}

::testing::AssertionResult sameCompiledPass(const CompiledCase& c, float t) {
    return samePass(c.container, t, compiledSystem, [&c](ParticleSystem& s, float time) {
        return particle_machine::emitParticleVerticesCompiled(c.container, c.compiled, s, compiledVertices, time);
    });
}

constexpr float nanA = std::bit_cast<float>(0x7FC00001u), nanB = std::bit_cast<float>(0xFFC00002u);
constexpr auto arithmetic = compileTimeContainer<64>({2.0f, 1.0f}, {{K(0), R(3), opMultiply, P(3), opDivide, S(10), opRandom, opSin, S(11),
                                                                    R(11), opCos, opSqrt, opAbs, opNegate, S(12), opEnd}, {opEnd}});
constexpr auto nans = compileTimeContainer<64>({nanA, nanB}, {{K(0), S(1), K(1), R(1), opMultiply, S(2), K(1), R(1), opAdd, S(4), R(1), R(2),
                                                              opMultiply, S(5), K(0), K(1), R(1), opMultiply, opAdd, S(6), opEnd}, {opEnd}});
constexpr auto loop = compileTimeContainer<64>({}, {{opRandom, S(10), JMP, 0xFE}, {opEnd}});
constexpr auto jumpAfterPush = compileTimeContainer<64>({1.0f, 2.0f}, {{K(0), K(0), K(0), K(1), JGT, 6, S(2), JMP, 2, R(1), opAdd, S(3), opEnd}, {opEnd}});
constexpr auto spawnBeyond = compileTimeContainer<64>({1.0f, 5.0f}, {{K(0), K(1), opSpawn, opEnd}, {opEnd}});
constexpr auto spawns = compileTimeContainer<64>({2.0f, 0.0f, 1.0f, -3.0f}, {{K(0), K(1), opSpawn, R(3), S(10), opEnd}, {K(2), K(2), opSpawn, opKill},
                                                                     {K(3), K(1), opSpawn, opEnd}, {opKill}});
constexpr auto pastTheEnd = compileTimeContainer<20>({}, {{JMP, 100, opEnd}, {opEnd}});
constexpr auto overflowNotTaken = compileTimeContainer<64>({1.0f}, {{K(0), K(0), JGT, 3, opEnd, R(0), R(0), R(0), R(0), R(0), R(0), R(0), R(0), R(0), opEnd}, {opEnd}});
constexpr auto twoDepths = compileTimeContainer<64>({1.0f}, {{K(0), K(0), K(0), JGT, 3, R(0), S(1), opEnd}, {opEnd}});
constexpr auto ontoAnOperand = compileTimeContainer<64>({}, {{JMP, R(0), S(1), opEnd}, {opEnd}});
constexpr auto underflow = compileTimeContainer<64>({1.0f}, {{K(0), S(1), S(2), opEnd}, {R(3), opAdd, S(1), opEnd}});
constexpr auto constantBeyond = compileTimeContainer<64>({1.0f}, {{K(1), S(1), opEnd}, {opEnd}});
constexpr auto longRun = [] {  // a new entry 647 moves long, a live entry of one end
    std::array<uint8_t, 1302> b = compileTimeContainer<1302>({}, {{}, {}});
    for (uint32_t at = 6; at < 1300; at += 2) b[at] = R(3), b[at + 1] = S(10 + at % 8);
    b[1300] = b[1301] = opEnd;
    b[4] = 1301 & 0xFF, b[5] = 1301 >> 8;
    return b;
}();

TEST_F(ParticleEngineTest, CompiledContainersRunAsTheInterpreterRunsThem) {
    const CompiledCase cases[] = {
        compiledCase<arithmetic>("arithmetic, draws, the parent and a missing one"),
        compiledCase<nans>("NaNs of other payloads met"),
        compiledCase<loop>("a loop, left to the interpreter"),
        compiledCase<jumpAfterPush>("a jump onto the operation after a push"),
        compiledCase<spawnBeyond>("a spawn of a program beyond the container"),
        compiledCase<spawns>("spawns above and below, one of every free slot, and kills"),
        compiledCase<pastTheEnd>("a jump past the end"),
        compiledCase<overflowNotTaken>("an overflow on a path not taken"),
        compiledCase<twoDepths>("two depths where paths meet"),
        compiledCase<ontoAnOperand>("a jump onto an operand byte"),
        compiledCase<underflow>("pops and an operation on too short a stack"),
        compiledCase<constantBeyond>("a constant beyond the list"),
        compiledCase<longRun>("a straight run longer than the step limit, left to the interpreter"),
    };
    for (const CompiledCase& test : cases) {
        std::memset(testSystem, 0, sizeof testSystem);
        place(0, 0, 1);  // slot 0 has a parent, slot 1 none
        place(1, 0, -1);
        place(2, 0, 0);
        place(3, 1, 0);
        testSystem[0].r[3] = 3.0f;
        testSystem[1].r[3] = 0.75f;
        startBothFromTestSystem();
        randomSeed = 7;
        for (float t : {1.0f, 2.0f, 3.0f}) EXPECT_TRUE(sameCompiledPass(test, t)) << test.what << " at " << t;
    }
    EXPECT_EQ(compiledCase<loop>("").compiled.runs[0], nullptr);
    EXPECT_EQ(compiledCase<longRun>("").compiled.runs[0], nullptr);
    EXPECT_NE(compiledCase<longRun>("").compiled.runs[1], nullptr);
}

// Random programs of the shapes the six are made of, made at build time: pushes of own, parent's
// and constant values and of random numbers, operations, pops, comparisons that skip a
// push-and-pop, a spawn of two children now and then, and sometimes a kill at the end. Equal
// registers (all start at zero) meet the comparisons' equal cases as often as the others.
constexpr uint32_t nextDraw(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

constexpr uint32_t codeBytes = 160;  // the longest random code is 134 bytes

constexpr std::array<uint8_t, codeBytes> randomCode(uint32_t& random) {
    std::array<uint8_t, codeBytes> code{};
    uint32_t size = 0;
    auto pick = [&](uint32_t n) { return nextDraw(random) % n; };
    constexpr uint8_t unary[] = {opCos, opSin, opSqrt, opAbs, opNegate};
    constexpr uint8_t binary[] = {opAdd, opSubtract, opMultiply, opDivide};
    int depth = 0;
    for (uint32_t step = 0, steps = 8 + pick(24); step < steps; ++step) {
        const uint32_t choice = pick(10);
        if (depth < particleStackDepth && (depth == 0 || choice < 4)) {
            const uint32_t kind = pick(4), a = pick(kind == 2 ? 6 : 12);
            code[size++] = kind == 0 ? P(int(a)) : kind == 1 ? R(int(a)) : kind == 2 ? K(int(a)) : uint8_t(opRandom);
            ++depth;
        } else if (choice < 5) {
            code[size++] = unary[pick(5)];
        } else if (choice < 7 && depth >= 2) {
            code[size++] = binary[pick(4)];
            --depth;
        } else if (choice < 8 && depth >= 2) {
            code[size++] = pick(2) ? JGT : JLT;
            code[size++] = 4;
            code[size++] = R(int(pick(12)));
            code[size++] = S(int(8 + pick(8)));
            depth -= 2;
        } else if (choice < 9 && depth < particleStackDepth - 1 && pick(4) == 0) {
            code[size++] = K(1);  // two children of program 0
            code[size++] = K(0);
            code[size++] = opSpawn;
        } else {
            code[size++] = S(int(pick(16)));
            --depth;
        }
    }
    while (depth-- > 0) code[size++] = S(int(pick(16)));
    code[size++] = pick(8) == 0 ? opKill : opEnd;
    return code;
}

constexpr std::array<uint8_t, 30 + 2 * codeBytes> randomContainer(uint32_t seed) {
    std::array<uint8_t, 30 + 2 * codeBytes> b{};
    uint32_t random = seed * 2654435761u + 1;
    const std::array<uint8_t, codeBytes> first = randomCode(random), second = randomCode(random);
    b[0] = 6;
    const float constants[] = {0.0f, 2.0f, 0.5f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 1e30f};
    for (uint32_t j = 0; j < 6; ++j)
        for (uint32_t byte = 0; byte < 4; ++byte) b[1 + 4 * j + byte] = static_cast<uint8_t>(std::bit_cast<uint32_t>(constants[j]) >> (8 * byte));
    b[25] = 1;
    b[26] = 30, b[28] = 30 + codeBytes;  // new and live entries
    for (uint32_t at = 0; at < codeBytes; ++at) b[30 + at] = first[at], b[30 + codeBytes + at] = second[at];
    return b;
}

template <uint32_t Seed>
constexpr auto randomBytes = randomContainer(Seed);

template <uint32_t... Seeds>
std::vector<CompiledCase> randomCases(std::integer_sequence<uint32_t, Seeds...>) {
    return {compiledCase<randomBytes<Seeds>>("a random program")...};
}

TEST_F(ParticleEngineTest, RandomProgramsRunCompiledToTheBit) {
    const std::vector<CompiledCase> cases = randomCases(std::make_integer_sequence<uint32_t, 48>());
    for (uint32_t n = 0; n < cases.size(); ++n) {
        std::memset(testSystem, 0, sizeof testSystem);
        place(0, 0, 1);
        place(1, 0, n % 2 == 0 ? 0 : -1);  // every other program meets a missing parent
        startBothFromTestSystem();
        randomSeed = n;
        for (float t : {0.5f, 1.0f, 1.5f}) ASSERT_TRUE(sameCompiledPass(cases[n], t)) << "program " << n << " at " << t;
    }
}

}  // namespace
