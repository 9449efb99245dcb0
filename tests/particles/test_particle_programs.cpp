// test_particle_programs.cpp: the six stored effects against plain models of their listings, and their behaviour over time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/core.h"
#include "particles/particles.h"

namespace {

// ---- plain models of the listings ----

// Comparisons as the machine makes them: greater-than never jumps on NaN, less-than always does.
bool greaterJumps(double b, double a) { return b > a; }
bool lessJumps(double b, double a) { return !(b >= a); }

struct Model {
    Particle& p;
    const Particle& P;  // the parent (ignored by roots)
    double t;
    std::vector<std::pair<int32_t, int32_t>> spawns;  // (count, program) in order

    double r(int k) const { return p.r[k]; }
    double pr(int k) const { return P.r[k]; }
    void set(int k, double v) { p.r[k] = static_cast<float>(v); }
    double rnd() { return nextRandom(); }
    void spawn(double count, double program) {
        spawns.push_back({static_cast<int32_t>(std::nearbyint(count)), static_cast<int32_t>(std::nearbyint(program))});
    }
    void kill() { p.state = particleFree; }
    void zeroPositionAndColour() {
        for (int k = 0; k <= 6; ++k) set(k, 0);
    }
    void copyParentPosition() {
        set(0, pr(0));
        set(1, pr(1));
        set(2, pr(2));
    }
};

using ModelRun = void (*)(Model&);

// System 0: fountain.
void fountainDropNew(Model& m) {
    m.copyParentPosition();
    m.set(3, m.pr(3));
    m.set(10, m.pr(4)); m.set(11, m.pr(5)); m.set(12, m.pr(6));
    m.set(13, m.t); m.set(14, m.t);
    m.set(15, m.rnd() + 0.5f);
    m.set(16, 2 * m.rnd() - 1);
    m.set(17, std::sqrt(1 - m.r(16) * m.r(16)));
    m.set(18, 1.570796f * m.rnd() + 0.785398f);
    m.set(19, std::cos(m.r(18)) * m.r(17));
    m.set(20, std::sin(m.r(18)) * m.r(17));
    m.set(21, m.rnd() * 8 + 2);
    m.set(22, m.r(19) * m.r(21)); m.set(23, m.r(20) * m.r(21)); m.set(24, m.r(16) * m.r(21));
}
void fountainDropLive(Model& m) {
    m.set(25, m.t - m.r(13));
    if (!greaterJumps(m.r(15), m.r(25))) return m.kill();
    for (int c = 0; c < 3; ++c) m.set(4 + c, m.r(10 + c) - (m.r(10 + c) / m.r(15)) * m.r(25));
    m.set(26, m.t - m.r(14));
    m.set(23, m.r(23) + (-9.8f) * m.r(26));
    for (int c = 0; c < 3; ++c) m.set(c, m.r(c) + m.r(22 + c) * m.r(26));
    if (!lessJumps(-2, m.r(1)) && !lessJumps(0, m.r(23))) {
        m.set(1, -2);
        m.set(23, -m.r(23) * 0.5f);
        m.set(22, m.r(22) * 0.5f);
        m.set(24, m.r(24) * 0.5f);
    }
    m.set(14, m.t);
}
void fountainEmitterNew(Model& m) {
    m.set(10, 6.283185f * m.rnd());
    m.set(0, 3.5f * std::cos(m.r(10)));
    m.set(2, 3.5f * std::sin(m.r(10)));
    m.set(1, -2);
    m.set(3, 1);
    m.set(11, m.t);
}
void fountainEmitterLive(Model& m) {
    m.set(10, (m.t - m.r(11)) / 0.298415f);
    m.set(12, m.r(2) * std::sin(m.r(10)) + m.r(0) * std::cos(m.r(10)));
    m.set(2, m.r(2) * std::cos(m.r(10)) - m.r(0) * std::sin(m.r(10)));
    m.set(0, m.r(12));
    m.set(4, std::fabs(std::sin(m.t / 2)));
    m.set(5, std::fabs(std::sin(m.t / 3)));
    m.set(6, std::fabs(std::sin(m.t / 4)));
    m.spawn(125 * (m.t - m.r(11)) + m.rnd() - 0.5f, 0);
    m.set(11, m.t);
}

// System 1: fireworks.
void fireworkChildNew(Model& m, double life, float blueShare) {
    m.set(0, 0); m.set(1, 0); m.set(2, 0);
    for (int k = 3; k <= 6; ++k) m.set(k, 1);
    m.set(10, m.pr(10)); m.set(11, m.pr(11)); m.set(12, m.pr(12));
    m.set(13, m.t + life);
    m.set(14, m.rnd() - 0.5f);
    m.set(15, m.rnd() - 0.5f);
    m.set(16, (m.rnd() - 0.5f) * 4 * 3.1416f);
    m.set(17, m.r(14) * m.r(14) + m.r(15) * m.r(15));
    m.set(18, std::sqrt(m.r(17)));
    m.set(14, m.r(14) / m.r(18));
    m.set(15, m.r(15) / m.r(18));
    m.set(19, 1);
    m.set(21, std::sin(2 * m.r(14)) * std::sin(2 * m.r(20)) * std::sin(2 * m.r(16)) + 0.5f);
    m.set(22, blueShare * m.r(21));
}
void fireworkColours(Model& m) {
    if (!greaterJumps(1, m.r(3))) m.set(3, 1);
    m.set(4, m.r(3) * m.r(19)); m.set(5, m.r(3) * m.r(21)); m.set(6, m.r(3) * m.r(22));
    m.set(3, 1);
    m.set(0, m.r(18) * m.r(14));
    m.set(2, m.r(18) * m.r(15));
}
void sparkNew(Model& m) { fireworkChildNew(m, 2, 0.5f); }
void sparkLive(Model& m) {
    m.set(23, (2 + m.t - m.r(13)) / 2);
    m.set(18, m.r(11) + std::sqrt(m.r(23)) * m.r(12) - std::sin(16 * m.t + m.r(16)) * m.r(11));
    m.set(3, (1 - m.r(23)) * 1.5f);
    fireworkColours(m);
    m.set(1, std::cos(16 * m.t + m.r(16)) * m.r(11) + m.r(10));
    if (!greaterJumps(m.r(13), m.t)) m.kill();
}
void starNew(Model& m) { fireworkChildNew(m, 5, 0.8f); }
void starLive(Model& m) {
    m.set(23, (5 + m.t - m.r(13)) / 5);
    m.set(18, m.r(11) + std::sqrt(m.r(23)) * m.r(12) + std::sin(8 * m.t + m.r(16)) * m.r(11) * std::sqrt(m.r(23)));
    m.set(3, (1 - m.r(23)) * (1 - m.r(23)) * 1.5f);
    fireworkColours(m);
    m.set(1, 4 * std::sqrt(m.r(23)) + std::cos(8 * m.t + m.r(16)) * m.r(11) * std::sqrt(m.r(23)) + m.r(10));
    if (!greaterJumps(m.r(13), m.t)) m.kill();
}
void riserNew(Model& m) {
    m.set(0, m.rnd() - 0.5f);
    m.set(2, m.rnd() - 0.5f);
    m.set(1, -2);
    m.set(10, 2 + m.t + m.rnd() * 0.5f);
    m.set(4, 1); m.set(5, 1); m.set(6, 0.9f); m.set(3, 1); m.set(11, 1); m.set(12, 1);
    m.set(13, std::sin(2 * m.r(0)) * std::sin(2 * m.r(1)) * std::sin(2 * m.t) + 0.5f);
    if (!lessJumps(0, m.r(13))) m.set(13, 0);
    if (!greaterJumps(1, m.r(13))) m.set(13, 1);
}
void riserLive(Model& m) {
    m.set(14, (2.5f + m.t - m.r(10)) / 2.5f);
    m.set(1, 4 * m.r(14) - 2);
    m.set(3, 1 - m.r(14));
    m.set(4, m.r(3) * m.r(11)); m.set(5, m.r(3) * m.r(12)); m.set(6, m.r(3) * m.r(13));
    if (!greaterJumps(1, m.r(3))) m.set(3, 1);
    if (!greaterJumps(m.r(10), m.t)) m.kill();
}
void launcherNew(Model& m) {
    m.zeroPositionAndColour();
    m.set(10, -2); m.set(11, 0.25f); m.set(12, 4);
    m.set(13, m.t); m.set(14, m.t);
    m.set(15, 0); m.set(16, 0); m.set(17, 0);
}
void launcherLive(Model& m) {
    m.set(15, m.t - m.r(14));
    m.set(14, m.t);
    if (!greaterJumps(m.r(13), m.t)) {
        m.set(13, m.t + 5);
        m.set(10, -2); m.set(11, 0.25f); m.set(12, 4); m.spawn(160, 0);
        m.set(10, -2); m.set(11, 1); m.set(12, 0.5f); m.spawn(200, 1);
        m.set(10, -2); m.set(11, 0.5f); m.set(12, 1); m.spawn(200, 1);
        m.set(10, -1); m.set(11, 0.5f); m.set(12, 0.25f); m.spawn(40, 1);
        m.set(16, 0); m.set(17, 0);
        return;
    }
    if (!lessJumps(1, m.r(16)) && !greaterJumps(m.r(13) - 4.25f, m.t)) {
        m.set(10, -1); m.set(11, 0.125f); m.set(12, 2); m.spawn(40, 0); m.set(16, 2);
    }
    if (!lessJumps(1, m.r(17)) && !greaterJumps(m.r(13) - 3, m.t)) {
        m.set(10, -0.25f); m.set(11, 0.125f); m.set(12, 2); m.spawn(40, 0); m.set(17, 2);
    }
    if (!lessJumps(2.5f, (m.t + 5 - m.r(13)) + 0.5f * m.rnd())) m.spawn(40 * m.r(15), 2);
    m.set(4, 0); m.set(5, 0); m.set(6, 0);
}

// System 2: streaks and a ring.
void trailNew(Model& m) {
    m.copyParentPosition();
    m.set(3, 1);
    m.set(10, m.pr(4)); m.set(11, m.pr(5)); m.set(12, m.pr(6));
    m.set(13, m.rnd() + 0.5f);
    m.set(14, m.t); m.set(15, m.t);
    m.set(16, 2 * m.rnd() - 1);
    m.set(17, std::sqrt(1 - m.r(16) * m.r(16)));
    m.set(18, 6.283185f * m.rnd());
    m.set(19, std::cos(m.r(18)) * m.r(17));
    m.set(20, std::sin(m.r(18)) * m.r(17));
    m.set(21, m.rnd() * 2 + 1);
    m.set(22, m.r(19) * m.r(21)); m.set(23, m.r(20) * m.r(21)); m.set(24, m.r(16) * m.r(21));
}
void trailLive(Model& m) {
    if (!greaterJumps(m.r(13), m.t - m.r(14))) return m.kill();
    for (int c = 0; c < 3; ++c) m.set(4 + c, m.r(10 + c) - (m.r(10 + c) / m.r(13)) * (m.t - m.r(14)));
    m.set(25, m.t - m.r(15));
    for (int c = 0; c < 3; ++c) m.set(c, m.r(c) + m.r(22 + c) * m.r(25));
    m.set(15, m.t);
}
void streakNew(Model& m) {
    m.set(0, m.rnd() * 10 - 5);
    m.set(1, m.rnd() * 10 - 5);
    m.set(2, -6);
    m.set(3, 0);
    m.set(4, m.pr(4)); m.set(5, m.pr(5)); m.set(6, m.pr(6));
    m.set(10, m.t);
    m.set(11, m.rnd() * 150 + 20);
    m.set(12, m.t + 2);
}
void streakLive(Model& m) {
    if (!greaterJumps(m.r(12), m.t)) return m.kill();
    m.set(2, m.r(2) + (m.t - m.r(10)) * m.r(11));
    m.spawn(200 * (m.t - m.r(10)) + m.rnd() - 0.5f, 0);
    m.set(10, m.t);
}
void ringNew(Model& m) {
    m.set(2, m.pr(2));
    m.set(4, 0.5f); m.set(5, 0.5f); m.set(6, 0.5f);
    m.set(3, 1);
    m.set(10, m.t);
    m.set(11, 6.2831855f * m.rnd() - 3.1415927f);
    m.set(0, 5 * std::cos(m.r(11)));
    m.set(1, 5 * std::sin(m.r(11)));
    for (int k = 12; k <= 15; ++k) m.set(k, 0);
    m.set(16, 1.1170106f * m.rnd() + 1.1170106f);
    if (!greaterJumps(0.5f, m.rnd())) m.set(16, -m.r(16));
}
void ringLive(Model& m) {
    m.set(15, (m.t - m.r(10)) / m.r(16));
    m.set(17, m.r(0) * std::cos(m.r(15)) - m.r(1) * std::sin(m.r(15)));
    m.set(18, m.r(0) * std::sin(m.r(15)) + m.r(1) * std::cos(m.r(15)));
    m.set(0, m.r(17));
    m.set(1, m.r(18));
    m.set(10, m.t);
}
void streakRootNew(Model& m) {
    m.set(0, 0); m.set(1, 0); m.set(4, 0); m.set(5, 0); m.set(6, 0); m.set(3, 0);
    m.set(10, m.t);
    m.set(2, 0);
    while (!lessJumps(200, m.r(2))) {
        m.spawn(50, 2);
        m.set(2, m.r(2) + 10);
    }
}
void streakRootLive(Model& m) {
    m.set(4, m.rnd()); m.set(5, m.rnd()); m.set(6, m.rnd());
    m.spawn(7 * (m.t - m.r(10)) + m.rnd() - 0.5f, 1);
    m.set(10, m.t);
}

// System 3: sweeping trail.
void dotNew(Model& m) {
    m.copyParentPosition();
    m.set(4, m.rnd()); m.set(5, m.rnd()); m.set(6, m.rnd());
    m.set(3, 1);
    m.set(10, m.t);
}
void dotLive(Model& m) {
    if (!greaterJumps(5, m.t - m.r(10))) return m.kill();
    m.set(1, m.r(1) + std::sin(10 * (m.t - m.r(10))) / 5);
}
void sweeperNew(Model& m) {
    m.zeroPositionAndColour();
    m.set(10, m.t);
}
void sweeperLive(Model& m) {
    if (!greaterJumps(5, m.t - m.r(10))) m.set(10, m.t);
    m.set(0, ((m.t - m.r(10)) - 2.5f) * 2.5f);
    m.spawn(1, 0);
}

// System 4: rising sparks and orbiting dots.
void orbiterNew(Model& m) {
    m.copyParentPosition();
    m.set(3, 1); m.set(4, 0.4f); m.set(5, 1); m.set(6, 0.4f);
    m.set(10, m.pr(10)); m.set(11, m.pr(11));
    m.set(12, m.t);
}
void orbiterLive(Model& m) {
    m.set(0, 3 * std::cos(m.r(11)) * std::cos(m.r(10) + m.t));
    m.set(2, 3 * std::cos(m.r(11)) * std::sin(m.r(10) + m.t));
    m.set(4, 0.4f - 0.1f * (m.t - m.r(12)));
    m.set(5, 0.8f - 0.2f * (m.t - m.r(12)));
    m.set(6, 0.4f - 0.1f * (m.t - m.r(12)));
    if (!greaterJumps(4, m.t - m.r(12))) m.kill();
}
void fragmentNew(Model& m) {
    m.set(0, 0); m.set(1, 0); m.set(2, 0);
    m.set(3, 1); m.set(4, 0.8f); m.set(5, 0.6f); m.set(6, 0.4f);
    m.set(10, 6.28319f * m.rnd());
    m.set(11, 4 * m.rnd());
    m.set(12, 1 + 4 * m.rnd());
    m.set(13, m.t);
}
void fragmentLive(Model& m) {
    const double a = m.t - m.r(13);
    m.set(0, a * m.r(12) * std::cos(m.r(11)) * std::cos(m.r(10) + m.t));
    m.set(2, a * m.r(12) * std::cos(m.r(11)) * std::sin(m.r(10) + m.t));
    m.set(1, a * m.r(12) * std::sin(m.r(11)));
    if (!greaterJumps(3 / m.r(12), a)) {
        m.spawn(1, 0);
        m.kill();
    }
}
void sparkRiseNew(Model& m) {
    m.set(0, 0); m.set(1, -4); m.set(2, 0);
    m.set(3, 1); m.set(4, 0.8f); m.set(5, 0.6f); m.set(6, 0.4f);
    m.set(10, 1 + 9 * m.rnd());
    m.set(11, m.t);
}
void sparkRiseLive(Model& m) {
    m.set(1, (m.t - m.r(11)) * m.r(10) - 4);
    if (!greaterJumps(4 / m.r(10), m.t - m.r(11))) {
        m.spawn(3, 1);
        m.kill();
    }
}
void orbitRootNew(Model& m) {
    m.zeroPositionAndColour();
    m.set(10, m.t);
}
void orbitRootLive(Model& m) {
    if (!greaterJumps(0.025f, m.t - m.r(10))) {
        m.spawn(m.rnd(), 2);
        m.set(10, m.t);
    }
}

// System 5: bursts.
void shardNew(Model& m) {
    m.copyParentPosition();
    m.set(4, m.rnd()); m.set(5, m.rnd()); m.set(6, m.rnd());
    m.set(3, 1);
    m.set(10, m.t); m.set(11, m.t);
    m.set(12, 2 * m.rnd() - 1);
    m.set(13, std::sqrt(1 - m.r(12) * m.r(12)));
    m.set(14, 6.2831855f * m.rnd() - 3.1415927f);
    m.set(15, std::cos(m.r(14)) * m.r(13));
    m.set(16, std::sin(m.r(14)) * m.r(13));
    m.set(14, 4.5f * m.rnd() + 0.5f);
    m.set(17, m.r(15) * m.r(14)); m.set(18, m.r(16) * m.r(14)); m.set(19, m.r(12) * m.r(14));
}
void shardLive(Model& m) {
    if (!greaterJumps(4.9f, m.t - m.r(10))) return m.kill();
    m.set(20, m.t - m.r(11));
    for (int c = 0; c < 3; ++c) m.set(c, m.r(c) + m.r(17 + c) * m.r(20));
    m.set(11, m.t);
}
void burstRootNew(Model& m) {
    m.zeroPositionAndColour();
    m.set(10, m.t);
    m.spawn(250, 0);
}
void burstRootLive(Model& m) {
    if (!greaterJumps(5, m.t - m.r(10))) {
        m.set(10, m.t);
        m.spawn(250, 0);
    }
}

struct SystemModel {
    std::vector<float> constants;
    std::vector<std::pair<ModelRun, ModelRun>> programs;  // (new, live) per program number
};

const SystemModel systemModels[6] = {
    {{0.5f, 2, 1, 1.570796f, 0.785398f, 8, 9.8f, 0, 6.283185f, 3.5f, 0.298415f, 3, 4, 125},
     {{fountainDropNew, fountainDropLive}, {fountainEmitterNew, fountainEmitterLive}}},
    {{0, 1, 2, 0.5f, 4, 3.1416f, 16, 1.5f, 5, 0.8f, 8, 0.9f, 2.5f, 0.25f, 160, 200, 40, 4.25f, 0.125f, 3},
     {{sparkNew, sparkLive}, {starNew, starLive}, {riserNew, riserLive}, {launcherNew, launcherLive}}},
    {{1, 0.5f, 2, 6.283185f, 10, 5, 6, 0, 150, 20, 200, 6.2831855f, 3.1415927f, 1.1170106f, 50, 7},
     {{trailNew, trailLive}, {streakNew, streakLive}, {ringNew, ringLive}, {streakRootNew, streakRootLive}}},
    {{1, 5, 10, 0, 2.5f}, {{dotNew, dotLive}, {sweeperNew, sweeperLive}}},
    {{1, 0.4f, 3, 0.1f, 0.8f, 0.2f, 4, 0, 0.6f, 6.28319f, 9, 0.025f, 2},
     {{orbiterNew, orbiterLive}, {fragmentNew, fragmentLive}, {sparkRiseNew, sparkRiseLive},
      {orbitRootNew, orbitRootLive}}},
    {{1, 2, 6.2831855f, 3.1415927f, 4.5f, 0.5f, 4.9f, 0, 250, 5}, {{shardNew, shardLive}, {burstRootNew, burstRootLive}}},
};

bool sameFloat(float a, float b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, 4) == 0; }

uint16_t entryOffset(const ParticleProgram& c, int32_t program, int32_t state) {
    const uint32_t at = 2u * state + 4u * program + 4u * c.bytes[0];
    return static_cast<uint16_t>(c.bytes[at] | c.bytes[at + 1] << 8);
}

// ---- containers ----

TEST(ParticleProgramsTest, ContainersHoldTheConstantsAndProgramCountsInOrder) {
    for (int k = 0; k < 6; ++k) {
        const ParticleProgram& c = particlePrograms[k];
        const SystemModel& model = systemModels[k];
        ASSERT_GE(c.size, 2u) << "system " << k;
        ASSERT_EQ(c.bytes[0], model.constants.size()) << "system " << k;
        for (size_t j = 0; j < model.constants.size(); ++j) {
            float stored;
            std::memcpy(&stored, c.bytes + 1 + 4 * j, 4);
            EXPECT_TRUE(sameFloat(stored, model.constants[j])) << "system " << k << " constant " << j;
        }
        EXPECT_EQ(c.bytes[4 * model.constants.size() + 1], model.programs.size()) << "system " << k;
    }
}

// Walks the code from every entry: only valid bytes, jumps that land inside the container on an
// instruction boundary reached by the walk, and every path ending in an end or a kill.
TEST(ParticleProgramsTest, EveryEntryDecodesToValidInstructions) {
    for (int k = 0; k < 6; ++k) {
        const ParticleProgram& c = particlePrograms[k];
        const int32_t m = c.bytes[4 * c.bytes[0] + 1];
        for (int32_t program = 0; program < m; ++program)
            for (int32_t state = particleNew; state <= particleLive; ++state) {
                std::vector<uint32_t> todo = {entryOffset(c, program, state)};
                std::vector<bool> seen(c.size, false);
                while (!todo.empty()) {
                    uint32_t pc = todo.back();
                    todo.pop_back();
                    for (;;) {
                        ASSERT_LT(pc, c.size) << "system " << k << " program " << program;
                        if (seen[pc]) break;
                        seen[pc] = true;
                        const uint8_t op = c.bytes[pc];
                        if (op == opEnd || op == opKill) break;
                        ASSERT_TRUE(op != 0xF6 && op != 0xF7 && op != 0xFB && (op >= 0xF0 || (op & 7) != 5))
                            << "system " << k << " byte " << pc;
                        if (op < 0xF0 && (op & 7) == kindPushConstant) {
                            ASSERT_LT(op >> 3, c.bytes[0]);
                        }
                        if (op < 0xF0 && (op & 7) == kindJump) {
                            pc = static_cast<uint32_t>(static_cast<int32_t>(pc) + static_cast<int8_t>(c.bytes[pc + 1]));
                            continue;
                        }
                        if (op < 0xF0 && ((op & 7) == kindJumpGreater || (op & 7) == kindJumpLess)) {
                            todo.push_back(pc + c.bytes[pc + 1]);
                            pc += 2;
                            continue;
                        }
                        ++pc;
                    }
                }
            }
    }
}

TEST(ParticleProgramsTest, TrailDotLiveCodeIsEncodedByteForByte) {
    // unless 5 > t - r10, kill; r1 = r1 + sin(10 (t - r10)) / 5 -- constants 5 and 10 are numbers 1 and 2.
    const uint8_t expected[] = {0x39, 0x51, 0xF9, 0x0A, 0x06, 0x03, 0xFF, 0x09, 0x12, 0x39,
                                0x51, 0xF9, 0xFC, 0xF2, 0x0A, 0xFA, 0xF8, 0x0B, 0xFD};
    const ParticleProgram& c = particlePrograms[3];
    const uint16_t entry = entryOffset(c, 0, particleLive);
    ASSERT_LE(entry + sizeof expected, c.size);
    for (size_t i = 0; i < sizeof expected; ++i) EXPECT_EQ(c.bytes[entry + i], expected[i]) << "byte " << i;
}

// ---- every program against its model ----

Particle modelSystem[particleSlots];

class ParticleModelTest : public ::testing::Test {
protected:
    void SetUp() override { randomSeed = 0; }
};

// Fills a record with values in a range that sends the programs down both sides of their tests.
void scatter(Particle& p, uint32_t& state) {
    for (float& r : p.r) {
        state = state * 747796405u + 2891336453u;
        r = static_cast<float>((state >> 8) * (1.0 / 16777216.0) * 7.0 - 1.0);
    }
}

TEST_F(ParticleModelTest, EveryProgramComputesItsListingWithTheSameDraws) {
    constexpr int32_t self = 5, parent = 2;
    uint32_t state = 7;
    for (int k = 0; k < 6; ++k) {
        const ParticleProgram& c = particlePrograms[k];
        const SystemModel& model = systemModels[k];
        for (int32_t program = 0; program < static_cast<int32_t>(model.programs.size()); ++program)
            for (int32_t entry = particleNew; entry <= particleLive; ++entry)
                for (int trial = 0; trial < 48; ++trial) {
                    std::memset(modelSystem, 0, sizeof modelSystem);
                    Particle& p = modelSystem[self];
                    scatter(p, state);
                    scatter(modelSystem[parent], state);
                    modelSystem[parent].state = particleLive;
                    p.state = entry;
                    p.program = program;
                    p.parent = parent;
                    const float t = static_cast<float>((state % 1200) * 0.01);
                    const Particle before = p;
                    randomSeed = state;

                    ASSERT_EQ(runParticle(c, modelSystem, self, t), 0) << k << "/" << program;
                    const uint32_t seedAfter = randomSeed;

                    Particle expected = before;
                    expected.r[particleTime] = t;
                    randomSeed = state;
                    Model run{expected, modelSystem[parent], t, {}};
                    (entry == particleNew ? model.programs[program].first : model.programs[program].second)(run);

                    const std::string where = "system " + std::to_string(k) + " program " + std::to_string(program) +
                                              (entry == particleNew ? " new" : " live") + " trial " +
                                              std::to_string(trial);
                    EXPECT_EQ(seedAfter, randomSeed) << where << ": a different number of draws";
                    EXPECT_EQ(p.state, expected.state) << where;
                    for (int r = 0; r < particleRegisters; ++r)
                        EXPECT_TRUE(sameFloat(p.r[r], expected.r[r]))
                            << where << " r" << r << ": " << p.r[r] << " vs " << expected.r[r];

                    // Children: the model's spawns fill the free slots in order.
                    int32_t freeSlots = particleSlots - 2;
                    std::vector<int32_t> wanted(model.programs.size(), 0);
                    for (auto [count, childProgram] : run.spawns) {
                        if (count == 0) continue;
                        const int32_t made = count < 0 ? freeSlots : std::min(count, freeSlots);
                        wanted[childProgram] += made;
                        freeSlots -= made;
                    }
                    std::vector<int32_t> made(model.programs.size(), 0);
                    for (int32_t i = 0; i < particleSlots; ++i)
                        if (i != self && i != parent && modelSystem[i].state != particleFree) {
                            ASSERT_EQ(modelSystem[i].parent, self) << where;
                            ++made[modelSystem[i].program];
                        }
                    EXPECT_EQ(made, wanted) << where;
                }
    }
}

TEST_F(ParticleModelTest, DrawCountsPerRun) {
    // Draws per run of each program's entries (new, live), read off the listings; for the two
    // roots whose live draws depend on time, the run is set up to reach its draw.
    const int expected[6][4][2] = {
        {{4, 0}, {1, 1}},
        {{3, 0}, {3, 0}, {3, 0}, {0, 1}},
        {{4, 0}, {3, 1}, {3, 0}, {0, 4}},
        {{3, 0}, {0, 0}},
        {{0, 0}, {3, 0}, {1, 0}, {0, 1}},
        {{6, 0}, {0, 0}},
    };
    for (int k = 0; k < 6; ++k)
        for (int32_t program = 0; program < static_cast<int32_t>(systemModels[k].programs.size()); ++program)
            for (int32_t entry = particleNew; entry <= particleLive; ++entry) {
                std::memset(modelSystem, 0, sizeof modelSystem);
                Particle& p = modelSystem[1];
                p.state = entry;
                p.program = program;
                p.parent = 0;
                p.r[13] = 100.0f;  // system 1's root: next burst still ahead
                p.r[15] = 1.0f;
                p.r[12] = 100.0f;
                p.r[10] = 0.0f;
                randomSeed = 0;
                ASSERT_EQ(runParticle(particlePrograms[k], modelSystem, 1, 50.0f), 0);
                int draws = 0;
                for (uint32_t s = 0; s != randomSeed && draws < 100; ++draws) s = s * 1664525u + 1013904223u;
                EXPECT_EQ(draws, expected[k][program][entry - 1])
                    << "system " << k << " program " << program << (entry == particleNew ? " new" : " live");
            }
}

// ---- behaviour of the whole systems ----

class ParticleSystemsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(particleSystems, 0, sizeof particleSystems);
        for (int k = 0; k < 6; ++k) ASSERT_EQ(resetParticleSystem(particlePrograms[k], particleSystems[k]), 0);
        randomSeed = 12345;
    }

    int32_t pass(int k, float t) { return emitParticleVertices(particlePrograms[k], particleSystems[k], particleVertices, t); }

    int32_t countProgram(int k, int32_t program) const {
        int32_t n = 0;
        for (const Particle& p : particleSystems[k]) n += p.state != particleFree && p.program == program;
        return n;
    }
};

TEST_F(ParticleSystemsTest, RootsTakeTheLastProgram) {
    const int32_t roots[6] = {1, 3, 3, 1, 3, 1};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(particleSystems[k][0].program, roots[k]);
        EXPECT_EQ(particleSystems[k][0].state, particleNew);
        EXPECT_EQ(particleSystems[k][0].parent, -1);
    }
}

TEST_F(ParticleSystemsTest, FirstPassOfTheBurstDrawsTheRootAndItsFirst250) {
    ASSERT_EQ(pass(5, 2.0f), 251);
    EXPECT_EQ(countProgram(5, 0), 250);
    for (int32_t i = 1; i <= 250; ++i) EXPECT_EQ(particleSystems[5][i].state, particleLive) << i;
}

TEST_F(ParticleSystemsTest, RingParticlesAllStartAtZ210) {
    ASSERT_EQ(pass(2, 2.0f), 1051);
    EXPECT_EQ(countProgram(2, 2), 1050);
    for (int32_t i = 1; i <= 1050; ++i) {
        EXPECT_EQ(particleSystems[2][i].r[2], 210.0f) << i;
        EXPECT_NEAR(std::hypot(particleSystems[2][i].r[0], particleSystems[2][i].r[1]), 5.0, 1e-5) << i;
    }
    // The root: a point at (0, 0, 210) of alpha 0, in a colour drawn anew every pass.
    EXPECT_EQ(particleVertices[0].x, 0.0f);
    EXPECT_EQ(particleVertices[0].z, 210.0f);
    EXPECT_EQ(particleVertices[0].color >> 24, 0u);
    ASSERT_GT(pass(2, 2.5f), 1051);
    const uint32_t colourA = particleVertices[0].color;
    pass(2, 3.0f);
    EXPECT_EQ(particleVertices[0].color >> 24, 0u);
    EXPECT_NE(particleVertices[0].color, colourA);
}

TEST_F(ParticleSystemsTest, FireworkBurstChildrenTakeTheValuesSetLast) {
    ASSERT_EQ(pass(1, 10.0f), 1);
    EXPECT_EQ(particleVertices[0].color, 0x00000000u) << "the root is drawn with colour 0 and alpha 0";
    ASSERT_EQ(pass(1, 10.5f), 601) << "the first live run of the root bursts";
    EXPECT_EQ(countProgram(1, 0), 160);
    EXPECT_EQ(countProgram(1, 1), 440);
    for (int32_t i = 1; i <= 600; ++i) {
        EXPECT_EQ(particleSystems[1][i].r[10], -1.0f) << i;
        EXPECT_EQ(particleSystems[1][i].r[11], 0.5f) << i;
        EXPECT_EQ(particleSystems[1][i].r[12], 0.25f) << i;
    }
    EXPECT_EQ(particleVertices[0].color, 0x00000000u);
}

TEST_F(ParticleSystemsTest, DelayedFireworkBurstsTakeTheirOwnValuesOrTheLaterOnesTogether) {
    pass(1, 10.0f);
    pass(1, 10.0f);  // the burst; the next is due at 15, delayed ones at 10.75 and 12
    pass(1, 11.0f);
    int32_t firstDelayed = 0;
    for (const Particle& p : particleSystems[1])
        if (p.state != particleFree && p.program == 0 && p.r[13] == 13.0f) {
            ++firstDelayed;
            EXPECT_EQ(p.r[10], -1.0f);
            EXPECT_EQ(p.r[11], 0.125f);
            EXPECT_EQ(p.r[12], 2.0f);
        }
    EXPECT_EQ(firstDelayed, 40);

    SetUp();
    pass(1, 10.0f);
    pass(1, 10.0f);
    pass(1, 12.5f);  // both delayed bursts in one run: all 80 take the values set last
    int32_t both = 0;
    for (const Particle& p : particleSystems[1])
        if (p.state != particleFree && p.program == 0 && p.r[13] == 14.5f) {
            ++both;
            EXPECT_EQ(p.r[10], -0.25f);
        }
    EXPECT_EQ(both, 80);
}

TEST_F(ParticleSystemsTest, FountainRootIsDrawnInItsCyclingColour) {
    pass(0, 1.0f);
    EXPECT_EQ(particleVertices[0].color, 0xFF000000u) << "before its first live run the root has no colour";
    pass(0, 3.0f);
    auto byte = [](double v) { return static_cast<uint32_t>(std::nearbyint(static_cast<double>(static_cast<float>(v)) * 255.0)); };
    const uint32_t expected = 0xFF000000u | byte(std::fabs(std::sin(1.5))) << 16 | byte(std::fabs(std::sin(1.0))) << 8 |
                              byte(std::fabs(std::sin(0.75)));
    EXPECT_EQ(particleVertices[0].color, expected);
}

// The generator state whose next draw is exactly 0.5: 2^30 reached in one step.
uint32_t seedBefore(uint32_t target) {
    uint32_t inverse = 1664525u;
    for (int i = 0; i < 5; ++i) inverse *= 2u - 1664525u * inverse;
    return (target - 1013904223u) * inverse;
}

TEST_F(ParticleSystemsTest, OrbitRootSpawnsZeroOrOneAtMostEvery25ms) {
    pass(4, 1.0f);  // root new: r10 = 1
    randomSeed = seedBefore(0x40000000u);  // next draw exactly 0.5: rounds to 0
    ASSERT_EQ(pass(4, 1.03f), 1);
    EXPECT_EQ(particleSystems[4][0].r[10], 1.03f) << "the interval restarts even without a child";
    randomSeed = seedBefore(0x60000000u);  // 0.75: one child
    ASSERT_EQ(pass(4, 1.06f), 2);
    EXPECT_EQ(countProgram(4, 2), 1);
    const uint32_t seed = randomSeed;
    ASSERT_EQ(pass(4, 1.07f), 2) << "within 0.025 s of the last: no draw, no child";
    EXPECT_EQ(randomSeed, seed);
}

// ---- several simulated seconds at 60 passes a second ----

class ParticleRunTest : public ParticleSystemsTest {
protected:
    // Runs system k for seconds at 60 passes a second, slot by slot as a pass does, and calls
    // check after each pass with the time and, per occupied slot, the time of its new run (a
    // slot freed and claimed again within one pass counts from its new occupant's run).
    template <typename Check>
    void simulate(int k, double seconds, Check check) {
        static float born[particleSlots];
        const int passes = static_cast<int>(seconds * 60);
        for (int n = 0; n <= passes; ++n) {
            const float t = static_cast<float>(20.0 + n / 60.0);
            int32_t survivors = 0;
            for (int32_t i = 0; i < particleSlots; ++i) {
                Particle& p = particleSystems[k][i];
                if (p.state == particleFree) continue;
                if (p.state == particleNew) born[i] = t;
                ASSERT_EQ(runParticle(particlePrograms[k], particleSystems[k], i, t), 0) << "system " << k;
                if (p.state == particleFree) continue;
                p.state = particleLive;
                ++survivors;
            }
            ASSERT_GE(survivors, 1) << "the root never dies";
            check(t, static_cast<const float*>(born));
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
};

constexpr float pass60 = 1.0f / 60.0f;

TEST_F(ParticleRunTest, FountainDropsBounceAboveTheFloorAndDieWithin1500ms) {
    int32_t most = 0;
    simulate(0, 6.0, [&](float t, const float* born) {
        int32_t drops = 0;
        for (int32_t i = 1; i < particleSlots; ++i) {
            const Particle& p = particleSystems[0][i];
            if (p.state != particleLive) continue;
            ++drops;
            ASSERT_GE(p.r[1], -2.0f) << "drop " << i << " below the floor";
            ASSERT_LT(t - born[i], 1.5f + 2 * pass60) << "drop " << i;
        }
        most = std::max(most, drops);
    });
    EXPECT_GT(most, 100) << "about 125 drops a second living 0.5 to 1.5 s";
    EXPECT_LT(most, 260);
    EXPECT_NEAR(std::hypot(particleSystems[0][0].r[0], particleSystems[0][0].r[2]), 3.5, 1e-3) << "the emitter's orbit";
    EXPECT_EQ(particleSystems[0][0].r[1], -2.0f);
}

TEST_F(ParticleRunTest, FireworksComeEvery5sAndEveryChildDiesWithin5s) {
    int32_t bursts = 0;
    float lastBurstTime = -1.0f;
    simulate(1, 11.0, [&](float t, const float* born) {
        int32_t children = 0;
        for (int32_t i = 1; i < particleSlots; ++i) {
            const Particle& p = particleSystems[1][i];
            if (p.state != particleLive) continue;
            ++children;
            ASSERT_LT(t - born[i], 5.0f + 2 * pass60) << "child " << i << " program " << p.program;
            if (p.program == 2) {
                ASSERT_LE(p.r[1], 2.0f + 1e-4f);  // embers rise from -2 to 2
            }
        }
        // r13 of the root is the time of its next burst; it moves on at every burst.
        const float next = particleSystems[1][0].r[13];
        if (lastBurstTime >= 0 && next != lastBurstTime) {
            ++bursts;
            ASSERT_GE(children, 600);
        }
        lastBurstTime = next;
        ASSERT_LT(children, 1200);
    });
    EXPECT_EQ(bursts, 3) << "at 0, 5 and 10 s";
}

TEST_F(ParticleRunTest, StreaksDieWithin2sTrailsWithin1500msAndTheRingStays) {
    simulate(2, 6.0, [&](float t, const float* born) {
        int32_t ring = 0;
        for (int32_t i = 1; i < particleSlots; ++i) {
            const Particle& p = particleSystems[2][i];
            if (p.state != particleLive) continue;
            if (p.program == 2) {
                ++ring;
                ASSERT_EQ(p.r[2], 210.0f);
                ASSERT_NEAR(std::hypot(p.r[0], p.r[1]), 5.0, 1e-3);
            } else if (p.program == 1) {
                ASSERT_LT(t - born[i], 2.0f + 2 * pass60);
                ASSERT_EQ(p.r[3], 0.0f) << "streak heads are drawn with alpha 0";
            } else {
                ASSERT_LT(t - born[i], 1.5f + 2 * pass60);
            }
        }
        ASSERT_EQ(ring, 1050) << "ring particles never die";
    });
    EXPECT_GT(countProgram(2, 0), 500) << "the streaks leave trails";
}

TEST_F(ParticleRunTest, TrailSweepsAndKeeps300Dots) {
    simulate(3, 6.0, [&](float t, const float* born) {
        const Particle& root = particleSystems[3][0];
        ASSERT_GE(root.r[0], -6.25f);
        ASSERT_LE(root.r[0], 6.25f);
        for (int32_t i = 1; i < particleSlots; ++i)
            if (particleSystems[3][i].state == particleLive) {
                ASSERT_LT(t - born[i], 5.0f + 2 * pass60);
            }
    });
    EXPECT_NEAR(countProgram(3, 0), 300, 1) << "one dot a pass, each living 5 s";
}

TEST_F(ParticleRunTest, SparksRiseBurstAndOrbitWithinRadius3) {
    simulate(4, 8.0, [&](float t, const float* born) {
        for (int32_t i = 1; i < particleSlots; ++i) {
            const Particle& p = particleSystems[4][i];
            if (p.state != particleLive) continue;
            if (p.program == 2) {
                ASSERT_GE(p.r[1], -4.0f);
                ASSERT_LE(p.r[1], 0.0f) << "a spark bursts on reaching y = 0";
            } else if (p.program == 1) {
                ASSERT_LT(std::sqrt(p.r[0] * p.r[0] + p.r[1] * p.r[1] + p.r[2] * p.r[2]), 3.0f + 1e-3f);
            } else {
                // Until its first live run an orbiter stands where its fragment ended, a step past 3.
                if (t > born[i]) {
                    ASSERT_LE(std::hypot(p.r[0], p.r[2]), 3.0f + 1e-3f);
                }
                ASSERT_LT(t - born[i], 4.0f + 2 * pass60);
            }
        }
    });
    EXPECT_GT(countProgram(4, 0), 0) << "orbiting dots after 8 s";
}

TEST_F(ParticleRunTest, BurstsOf250LiveUnder4_9s) {
    simulate(5, 11.0, [&](float t, const float* born) {
        int32_t shards = 0;
        for (int32_t i = 1; i < particleSlots; ++i) {
            const Particle& p = particleSystems[5][i];
            if (p.state != particleLive) continue;
            ++shards;
            ASSERT_LT(t - born[i], 4.9f + pass60);
            ASSERT_LT(std::sqrt(p.r[0] * p.r[0] + p.r[1] * p.r[1] + p.r[2] * p.r[2]), 5.0f * 4.9f + 1e-2f);
        }
        ASSERT_TRUE(shards == 0 || shards == 250) << shards;
    });
}

}  // namespace
