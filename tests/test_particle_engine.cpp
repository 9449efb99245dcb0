// test_particle_engine.cpp: the particle stack machine, instruction by instruction, its spawns, vertices and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "core/core.h"
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

// ---- the pre-decoded form against the checked interpreter ----

Particle fastSystem[particleSlots];
ParticleVertices fastVertices;

void startBothFromTestSystem() {
    std::memcpy(fastSystem, testSystem, sizeof testSystem);
    std::memcpy(fastVertices, testVertices, sizeof testVertices);
}

// One pass of testSystem through the interpreter and of fast, its copy, through whatever form
// emitParticleVertices picks, from the same generator state: both must leave every bit the same
// (registers, states, programs, parents, vertices, count and generator).
::testing::AssertionResult samePass(const ParticleProgram& c, float t, ParticleSystem& fast = fastSystem) {
    const uint32_t seed = randomSeed;
    const int32_t checked = emitParticleVerticesChecked(c, testSystem, testVertices, t);
    const uint32_t checkedSeed = randomSeed;
    randomSeed = seed;
    const int32_t count = emitParticleVertices(c, fast, fastVertices, t);
    if (count != checked) return ::testing::AssertionFailure() << "count " << count << " for " << checked;
    if (randomSeed != checkedSeed) return ::testing::AssertionFailure() << "a different number of draws";
    if (std::memcmp(fast, testSystem, sizeof testSystem) != 0)
        for (int32_t i = 0;; ++i)
            if (std::memcmp(&fast[i], &testSystem[i], sizeof(Particle)) != 0)
                return ::testing::AssertionFailure() << "slot " << i << " differs";
    if (std::memcmp(fastVertices, testVertices, sizeof testVertices) != 0)
        return ::testing::AssertionFailure() << "the vertices differ";
    return ::testing::AssertionSuccess();
}

TEST_F(ParticleEngineTest, TheSixSystemsRunPreDecodedToTheBit) {
    // 40 s from the start, and 2 s at 60 passes a second from later times, with other seeds. The
    // pre-decoded side runs in the show's own systems, whose passes stop at their occupied bound.
    struct Run { float start; uint32_t seed; int32_t passes; int32_t perSecond; };
    const Run runs[] = {{0.0f, 1u, 600, 15}, {61.3f, 0xC0FFEEu, 120, 60}, {118.05f, 987654321u, 120, 60}};
    for (int32_t k = 0; k < particleSystemCount; ++k) {
        ASSERT_TRUE(particleProgramDecodes(particlePrograms[k])) << "system " << k;
        for (const Run& run : runs) {
            std::memset(testSystem, 0, sizeof testSystem);
            std::memset(particleSystems[k], 0, sizeof particleSystems[k]);
            ASSERT_EQ(resetParticleSystem(particlePrograms[k], testSystem), 0);
            ASSERT_EQ(resetParticleSystem(particlePrograms[k], particleSystems[k]), 0);
            std::memcpy(fastVertices, testVertices, sizeof testVertices);
            randomSeed = run.seed;
            int32_t peak = 0;
            for (int32_t n = 0; n < run.passes; ++n) {
                const float t = static_cast<float>(run.start + static_cast<double>(n) / run.perSecond);
                ASSERT_TRUE(samePass(particlePrograms[k], t, particleSystems[k])) << "system " << k << " at " << t << " s";
                peak = std::max(peak, occupied());
            }
            EXPECT_GT(peak, 20) << "system " << k << " from " << run.start << " s drew too little to compare";
        }
    }
}

TEST_F(ParticleEngineTest, WhatValidationCannotProveRunsThroughTheInterpreter) {
    struct Case {
        const char* what;
        Container c;
        bool decodes;
    };
    Container farEntry = single({}, {opEnd});
    farEntry.bytes[2] = 0xFF;
    // Constants 1, 1: the comparisons below never jump, so their targets are never run.
    const Case cases[] = {
        {"arithmetic, draws, the parent", single({2.0f, 1.0f}, {K(0), R(3), opMultiply, P(3), opDivide, S(10),
                                                               opRandom, opSin, S(11), opEnd}), true},
        {"a missing parent", single({}, {P(3), S(10), opEnd}), true},
        {"NaNs of other payloads met", single({std::bit_cast<float>(0x7FC00001u), std::bit_cast<float>(0xFFC00002u)},
                                             {K(0), S(1), K(1), R(1), opMultiply, S(2), K(1), R(1), opAdd, S(4),
                                              R(1), R(2), opMultiply, S(5), K(0), K(1), R(1), opMultiply, opAdd, S(6),
                                              opEnd}), true},
        {"a loop the step limit ends mid-way", single({}, {opRandom, S(10), JMP, 0xFE}), true},
        {"a loop the step limit ends inside a fused run",  // 1024 = 7 x 146 + 2: inside K(0), opAdd, S(1)
         single({1.0f}, {R(1), K(0), opAdd, S(1), opRandom, S(10), JMP, 0xFA}), true},
        {"a jump onto the operation after a push",  // it jumps: r3 = 1 + 1, not through the push
         single({1.0f, 2.0f}, {K(0), K(0), K(0), K(1), JGT, 6, S(2), JMP, 2, R(1), opAdd, S(3), opEnd}), true},
        {"a straight run longer than the step limit", [] {
             Code moves;
             for (int n = 0; n < 600; ++n) moves.insert(moves.end(), {R(3), S(10 + n % 8)});
             moves.push_back(opEnd);
             return single({}, moves);
         }(), true},
        {"a spawn of a program beyond the container", single({1.0f, 5.0f}, {K(0), K(1), opSpawn, opEnd}), true},
        {"a jump past the end", single({}, {JMP, 100, opEnd}), false},
        {"an overflow on a path not taken", single({1.0f}, {K(0), K(0), JGT, 3, opEnd, R(0), R(0), R(0), R(0),
                                                            R(0), R(0), R(0), R(0), R(0), opEnd}), false},
        {"two depths where paths meet", single({1.0f}, {K(0), K(0), K(0), JGT, 3, R(0), S(1), opEnd}), false},
        {"a jump onto an operand byte", single({}, {JMP, R(0), S(1), opEnd}), false},
        {"an invalid byte on a path not taken", single({1.0f}, {K(0), K(0), JGT, 3, opEnd, 0xFB}), false},
        {"a constant beyond the list", single({1.0f}, {K(1), S(1), opEnd}), false},
        {"an entry beyond the end", farEntry, false},
    };
    for (const Case& test : cases) {
        std::memset(testSystem, 0, sizeof testSystem);
        place(0, 0, 1);  // slot 0 has a parent, slot 1 none
        place(1, 0, -1);
        testSystem[0].r[3] = 3.0f;
        testSystem[1].r[3] = 0.75f;
        startBothFromTestSystem();
        randomSeed = 7;
        EXPECT_EQ(particleProgramDecodes(test.c.view()), test.decodes) << test.what;
        for (float t : {1.0f, 2.0f}) EXPECT_TRUE(samePass(test.c.view(), t)) << test.what;
    }
}

}  // namespace

namespace {

// A random program the validator accepts, of the shapes the six are made of: pushes of own,
// parent's and constant values and of random numbers, operations, pops, comparisons that skip a push-and-pop, a spawn
// of two children now and then, and sometimes a kill at the end.
Code randomProgram(std::mt19937& random) {
    auto pick = [&](int n) { return static_cast<int>(random() % uint32_t(n)); };
    static const uint8_t unary[] = {opCos, opSin, opSqrt, opAbs, opNegate};
    static const uint8_t binary[] = {opAdd, opSubtract, opMultiply, opDivide};
    Code code;
    int depth = 0;
    for (int step = 0, steps = 8 + pick(24); step < steps; ++step) {
        const int choice = pick(10);
        if (depth < particleStackDepth && (depth == 0 || choice < 4)) {
            const int kind = pick(4), a = pick(kind == 2 ? 6 : 12);
            code.push_back(kind == 0 ? P(a) : kind == 1 ? R(a) : kind == 2 ? K(a) : uint8_t(opRandom));
            ++depth;
        } else if (choice < 5) {
            code.push_back(unary[pick(5)]);
        } else if (choice < 7 && depth >= 2) {
            code.push_back(binary[pick(4)]);
            --depth;
        } else if (choice < 8 && depth >= 2) {
            code.insert(code.end(), {pick(2) ? JGT : JLT, 4, R(pick(12)), S(8 + pick(8))});
            depth -= 2;
        } else if (choice < 9 && depth < particleStackDepth - 1 && pick(4) == 0) {
            code.insert(code.end(), {K(1), K(0), opSpawn});  // two children of program 0
        } else {
            code.push_back(S(pick(16)));
            --depth;
        }
    }
    while (depth-- > 0) code.push_back(S(pick(16)));
    code.push_back(pick(8) == 0 ? opKill : opEnd);
    return code;
}

// Equal registers (all start at zero) meet the comparisons' equal cases as often as the others.
TEST_F(ParticleEngineTest, RandomValidProgramsRunPreDecodedToTheBit) {
    std::mt19937 random(20261209);
    const std::vector<float> constants = {0.0f, 2.0f, 0.5f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 1e30f};
    for (int n = 0; n < 200; ++n) {
        const Container c = makeContainer(constants, {{randomProgram(random), randomProgram(random)}});
        ASSERT_TRUE(particleProgramDecodes(c.view())) << "program " << n;
        std::memset(testSystem, 0, sizeof testSystem);
        place(0, 0, 1);
        place(1, 0, n % 2 == 0 ? 0 : -1);  // every other program meets a missing parent
        startBothFromTestSystem();
        randomSeed = uint32_t(n);
        for (float t : {0.5f, 1.0f, 1.5f}) ASSERT_TRUE(samePass(c.view(), t)) << "program " << n << " at " << t;
    }
}

}  // namespace
