// particle_programs.cpp: the six particle effects as listings, assembled at compile time into their containers.
//
// Each line computes one statement of an effect, in the order the effect is defined, random
// draws in place; the comment is the statement. Conditions: "unless X > Y" pushes Y then X and
// jumps over what follows with the greater-than test; "if not (X < Y)" pushes Y then X and
// jumps over what follows with the less-than test (which also jumps on NaN).
//
// ---- index ----
//   system 0: fountain from an orbiting emitter
//   system 1: fireworks every 5 seconds
//   system 2: coloured streaks flying away, and a ring
//   system 3: a sweeping trail of bobbing dots
//   system 4: rising sparks that burst into orbiting dots
//   system 5: a burst of 250 coloured particles every 5 seconds
//   the containers
#include "particles/particle_assembler.h"
#include "particles/particle_compiler.h"
#include "particles/particles.h"

namespace {

using namespace particle_asm;

// ---- system 0: fountain from an orbiting emitter ----

constexpr float fountainConstants[] = {0.5f, 2, 1, 1.570796f, 0.785398f, 8, 9.8f,
                                       0,    6.283185f, 3.5f, 0.298415f, 3, 4, 125};

constexpr Token fountainDropNew[] = {
    par(0), to(0), par(1), to(1), par(2), to(2),             // r0, r1, r2 = P.r0, P.r1, P.r2
    par(3), to(3),                                           // r3 = P.r3
    par(4), to(10), par(5), to(11), par(6), to(12),          // r10, r11, r12 = P.r4, P.r5, P.r6
    t, to(13),                                               // r13 = t
    t, to(14),                                               // r14 = t
    rnd, k(0.5f), add, to(15),                               // r15 = rand + 0.5 (life)
    k(2), rnd, mul, k(1), sub, to(16),                       // r16 = 2 rand - 1
    k(1), reg(16), reg(16), mul, sub, root, to(17),          // r17 = sqrt(1 - r16 r16)
    k(1.570796f), rnd, mul, k(0.785398f), add, to(18),       // r18 = 1.570796 rand + 0.785398
    reg(18), cosine, reg(17), mul, to(19),                   // r19 = cos(r18) r17
    reg(18), sine, reg(17), mul, to(20),                     // r20 = sin(r18) r17
    rnd, k(8), mul, k(2), add, to(21),                       // r21 = rand x 8 + 2 (speed)
    reg(19), reg(21), mul, to(22),                           // r22 = r19 r21
    reg(20), reg(21), mul, to(23),                           // r23 = r20 r21
    reg(16), reg(21), mul, to(24),                           // r24 = r16 r21
    end,
};

constexpr Token fountainDropLive[] = {
    t, reg(13), sub, to(25),                                 // r25 = t - r13
    reg(25), reg(15), jumpGreater(0), kill, at(0),           // unless r15 > r25, kill
    reg(10), reg(10), reg(15), divide, reg(25), mul, sub, to(4),  // r4 = r10 - (r10 / r15) r25
    reg(11), reg(11), reg(15), divide, reg(25), mul, sub, to(5),  // r5 = r11 - (r11 / r15) r25
    reg(12), reg(12), reg(15), divide, reg(25), mul, sub, to(6),  // r6 = r12 - (r12 / r15) r25
    t, reg(14), sub, to(26),                                 // r26 = t - r14
    reg(23), k(9.8f), neg, reg(26), mul, add, to(23),        // r23 = r23 + (-9.8) r26
    reg(0), reg(22), reg(26), mul, add, to(0),               // r0 = r0 + r22 r26
    reg(1), reg(23), reg(26), mul, add, to(1),               // r1 = r1 + r23 r26
    reg(2), reg(24), reg(26), mul, add, to(2),               // r2 = r2 + r24 r26
    reg(1), k(2), neg, jumpLess(1),                          // if not (-2 < r1)
    reg(23), k(0), jumpLess(1),                              // and not (0 < r23): bounce
    k(2), neg, to(1),                                        //   r1 = -2
    reg(23), neg, k(0.5f), mul, to(23),                      //   r23 = -r23 x 0.5
    reg(22), k(0.5f), mul, to(22),                           //   r22 = r22 x 0.5
    reg(24), k(0.5f), mul, to(24),                           //   r24 = r24 x 0.5
    at(1),
    t, to(14),                                               // r14 = t
    end,
};

constexpr Token fountainEmitterNew[] = {
    k(6.283185f), rnd, mul, to(10),                          // r10 = 6.283185 x rand
    k(3.5f), reg(10), cosine, mul, to(0),                    // r0 = 3.5 cos r10
    k(3.5f), reg(10), sine, mul, to(2),                      // r2 = 3.5 sin r10
    k(2), neg, to(1),                                        // r1 = -2
    k(1), to(3),                                             // r3 = 1
    t, to(11),                                               // r11 = t
    end,
};

constexpr Token fountainEmitterLive[] = {
    t, reg(11), sub, k(0.298415f), divide, to(10),           // r10 = (t - r11) / 0.298415
    reg(2), reg(10), sine, mul, reg(0), reg(10), cosine, mul, add, to(12),  // r12 = r2 sin r10 + r0 cos r10
    reg(2), reg(10), cosine, mul, reg(0), reg(10), sine, mul, sub, to(2),   // r2 = r2 cos r10 - r0 sin r10
    reg(12), to(0),                                          // r0 = r12
    t, k(2), divide, sine, absolute, to(4),                  // r4 = |sin(t / 2)|
    t, k(3), divide, sine, absolute, to(5),                  // r5 = |sin(t / 3)|
    t, k(4), divide, sine, absolute, to(6),                  // r6 = |sin(t / 4)|
    k(125), t, reg(11), sub, mul, rnd, add, k(0.5f), sub, k(0), spawn,  // spawn(125 (t - r11) + rand - 0.5, 0)
    t, to(11),                                               // r11 = t
    end,
};

constexpr ProgramListing fountainPrograms[] = {
    {code(fountainDropNew), code(fountainDropLive)},          // 0: a drop
    {code(fountainEmitterNew), code(fountainEmitterLive)},    // 1: the root
};

// ---- system 1: fireworks every 5 seconds ----

constexpr float fireworkConstants[] = {0,   1,    2,     0.5f,  4,     3.1416f, 16,    1.5f, 5,   0.8f,
                                       8,   0.9f, 2.5f,  0.25f, 160,   200,     40,    4.25f, 0.125f, 3};

constexpr Token sparkNew[] = {  // program 0 new
    k(0), to(0), k(0), to(1), k(0), to(2),                   // r0, r1, r2 = 0
    k(1), to(3), k(1), to(4), k(1), to(5), k(1), to(6),      // r3 to r6 = 1
    par(10), to(10), par(11), to(11), par(12), to(12),       // r10, r11, r12 = P.r10, P.r11, P.r12
    t, k(2), add, to(13),                                    // r13 = t + 2 (time of death)
    rnd, k(0.5f), sub, to(14),                               // r14 = rand - 0.5
    rnd, k(0.5f), sub, to(15),                               // r15 = rand - 0.5
    rnd, k(0.5f), sub, k(4), mul, k(3.1416f), mul, to(16),   // r16 = (rand - 0.5) x 4 x 3.1416
    reg(14), reg(14), mul, reg(15), reg(15), mul, add, to(17),  // r17 = r14 r14 + r15 r15
    reg(17), root, to(18),                                   // r18 = sqrt r17
    reg(14), reg(18), divide, to(14),                        // r14 = r14 / r18
    reg(15), reg(18), divide, to(15),                        // r15 = r15 / r18
    k(1), to(19),                                            // r19 = 1
    k(2), reg(14), mul, sine, k(2), reg(20), mul, sine, mul,
    k(2), reg(16), mul, sine, mul, k(0.5f), add, to(21),     // r21 = sin(2 r14) sin(2 r20) sin(2 r16) + 0.5
    k(0.5f), reg(21), mul, to(22),                           // r22 = 0.5 r21
    end,
};

constexpr Token sparkLive[] = {  // program 0 live
    k(2), t, add, reg(13), sub, k(2), divide, to(23),        // r23 = (2 + t - r13) / 2
    reg(11), reg(23), root, reg(12), mul, add,
    k(16), t, mul, reg(16), add, sine, reg(11), mul, sub, to(18),  // r18 = r11 + sqrt(r23) r12 - sin(16 t + r16) r11
    k(1), reg(23), sub, k(1.5f), mul, to(3),                 // r3 = (1 - r23) x 1.5
    reg(3), k(1), jumpGreater(0), k(1), to(3), at(0),        // r3 = 1 unless 1 > r3
    reg(3), reg(19), mul, to(4),                             // r4 = r3 r19
    reg(3), reg(21), mul, to(5),                             // r5 = r3 r21
    reg(3), reg(22), mul, to(6),                             // r6 = r3 r22
    k(1), to(3),                                             // r3 = 1
    reg(18), reg(14), mul, to(0),                            // r0 = r18 r14
    reg(18), reg(15), mul, to(2),                            // r2 = r18 r15
    k(16), t, mul, reg(16), add, cosine, reg(11), mul, reg(10), add, to(1),  // r1 = cos(16 t + r16) r11 + r10
    t, reg(13), jumpGreater(1), kill, at(1),                 // unless r13 > t, kill
    end,
};

constexpr Token starNew[] = {  // program 1 new
    k(0), to(0), k(0), to(1), k(0), to(2),                   // r0, r1, r2 = 0
    k(1), to(3), k(1), to(4), k(1), to(5), k(1), to(6),      // r3 to r6 = 1
    par(10), to(10), par(11), to(11), par(12), to(12),       // r10, r11, r12 = P.r10, P.r11, P.r12
    t, k(5), add, to(13),                                    // r13 = t + 5 (time of death)
    rnd, k(0.5f), sub, to(14),                               // r14 = rand - 0.5
    rnd, k(0.5f), sub, to(15),                               // r15 = rand - 0.5
    rnd, k(0.5f), sub, k(4), mul, k(3.1416f), mul, to(16),   // r16 = (rand - 0.5) x 4 x 3.1416
    reg(14), reg(14), mul, reg(15), reg(15), mul, add, to(17),  // r17 = r14 r14 + r15 r15
    reg(17), root, to(18),                                   // r18 = sqrt r17
    reg(14), reg(18), divide, to(14),                        // r14 = r14 / r18
    reg(15), reg(18), divide, to(15),                        // r15 = r15 / r18
    k(1), to(19),                                            // r19 = 1
    k(2), reg(14), mul, sine, k(2), reg(20), mul, sine, mul,
    k(2), reg(16), mul, sine, mul, k(0.5f), add, to(21),     // r21 = sin(2 r14) sin(2 r20) sin(2 r16) + 0.5
    k(0.8f), reg(21), mul, to(22),                           // r22 = 0.8 r21
    end,
};

constexpr Token starLive[] = {  // program 1 live
    k(5), t, add, reg(13), sub, k(5), divide, to(23),        // r23 = (5 + t - r13) / 5
    reg(11), reg(23), root, reg(12), mul, add,
    k(8), t, mul, reg(16), add, sine, reg(11), mul, reg(23), root, mul, add, to(18),
                                                             // r18 = r11 + sqrt(r23) r12 + sin(8 t + r16) r11 sqrt(r23)
    k(1), reg(23), sub, k(1), reg(23), sub, mul, k(1.5f), mul, to(3),  // r3 = (1 - r23)(1 - r23) x 1.5
    reg(3), k(1), jumpGreater(0), k(1), to(3), at(0),        // r3 = 1 unless 1 > r3
    reg(3), reg(19), mul, to(4),                             // r4 = r3 r19
    reg(3), reg(21), mul, to(5),                             // r5 = r3 r21
    reg(3), reg(22), mul, to(6),                             // r6 = r3 r22
    k(1), to(3),                                             // r3 = 1
    reg(18), reg(14), mul, to(0),                            // r0 = r18 r14
    reg(18), reg(15), mul, to(2),                            // r2 = r18 r15
    k(4), reg(23), root, mul,
    k(8), t, mul, reg(16), add, cosine, reg(11), mul, reg(23), root, mul, add,
    reg(10), add, to(1),                                     // r1 = 4 sqrt(r23) + cos(8 t + r16) r11 sqrt(r23) + r10
    t, reg(13), jumpGreater(1), kill, at(1),                 // unless r13 > t, kill
    end,
};

constexpr Token riserNew[] = {  // program 2 new
    rnd, k(0.5f), sub, to(0),                                // r0 = rand - 0.5
    rnd, k(0.5f), sub, to(2),                                // r2 = rand - 0.5
    k(2), neg, to(1),                                        // r1 = -2
    k(2), t, add, rnd, k(0.5f), mul, add, to(10),            // r10 = 2 + t + rand x 0.5 (time of death)
    k(1), to(4), k(1), to(5), k(0.9f), to(6), k(1), to(3),   // r4 = 1; r5 = 1; r6 = 0.9; r3 = 1
    k(1), to(11), k(1), to(12),                              // r11 = 1; r12 = 1
    k(2), reg(0), mul, sine, k(2), reg(1), mul, sine, mul,
    k(2), t, mul, sine, mul, k(0.5f), add, to(13),           // r13 = sin(2 r0) sin(2 r1) sin(2 t) + 0.5
    reg(13), k(0), jumpLess(0), k(0), to(13), at(0),         // r13 = 0 unless 0 < r13
    reg(13), k(1), jumpGreater(1), k(1), to(13), at(1),      // r13 = 1 unless 1 > r13
    end,
};

constexpr Token riserLive[] = {  // program 2 live
    k(2.5f), t, add, reg(10), sub, k(2.5f), divide, to(14),  // r14 = (2.5 + t - r10) / 2.5
    k(4), reg(14), mul, k(2), sub, to(1),                    // r1 = 4 r14 - 2
    k(1), reg(14), sub, to(3),                               // r3 = 1 - r14
    reg(3), reg(11), mul, to(4),                             // r4 = r3 r11
    reg(3), reg(12), mul, to(5),                             // r5 = r3 r12
    reg(3), reg(13), mul, to(6),                             // r6 = r3 r13
    reg(3), k(1), jumpGreater(0), k(1), to(3), at(0),        // r3 = 1 unless 1 > r3
    t, reg(10), jumpGreater(1), kill, at(1),                 // unless r10 > t, kill
    end,
};

constexpr Token launcherNew[] = {  // program 3 new
    k(0), to(0), k(0), to(1), k(0), to(2), k(0), to(3),
    k(0), to(4), k(0), to(5), k(0), to(6),                   // r0 to r6 = 0
    k(2), neg, to(10), k(0.25f), to(11), k(4), to(12),       // r10 = -2; r11 = 0.25; r12 = 4
    t, to(13), t, to(14),                                    // r13 = t; r14 = t
    k(0), to(15), k(0), to(16), k(0), to(17),                // r15 = r16 = r17 = 0
    end,
};

constexpr Token launcherLive[] = {  // program 3 live
    t, reg(14), sub, to(15),                                 // r15 = t - r14
    t, to(14),                                               // r14 = t
    t, reg(13), jumpGreater(0),                              // if not (r13 > t): a burst
    t, k(5), add, to(13),                                    //   r13 = t + 5
    k(2), neg, to(10), k(0.25f), to(11), k(4), to(12),       //   r10 = -2, r11 = 0.25, r12 = 4
    k(160), k(0), spawn,                                     //   spawn(160, 0)
    k(2), neg, to(10), k(1), to(11), k(0.5f), to(12),        //   r10 = -2, r11 = 1, r12 = 0.5
    k(200), k(1), spawn,                                     //   spawn(200, 1)
    k(2), neg, to(10), k(0.5f), to(11), k(1), to(12),        //   r10 = -2, r11 = 0.5, r12 = 1
    k(200), k(1), spawn,                                     //   spawn(200, 1)
    k(1), neg, to(10), k(0.5f), to(11), k(0.25f), to(12),    //   r10 = -1, r11 = 0.5, r12 = 0.25
    k(40), k(1), spawn,                                      //   spawn(40, 1)
    k(0), to(16), k(0), to(17),                              //   r16 = 0; r17 = 0
    end,
    at(0),
    reg(16), k(1), jumpLess(1),                              // if not (1 < r16)
    t, reg(13), k(4.25f), sub, jumpGreater(1),               // and not (r13 - 4.25 > t):
    k(1), neg, to(10), k(0.125f), to(11), k(2), to(12),      //   r10 = -1, r11 = 0.125, r12 = 2
    k(40), k(0), spawn,                                      //   spawn(40, 0)
    k(2), to(16),                                            //   r16 = 2
    at(1),
    reg(17), k(1), jumpLess(2),                              // if not (1 < r17)
    t, reg(13), k(3), sub, jumpGreater(2),                   // and not (r13 - 3 > t):
    k(0.25f), neg, to(10), k(0.125f), to(11), k(2), to(12),  //   r10 = -0.25, r11 = 0.125, r12 = 2
    k(40), k(0), spawn,                                      //   spawn(40, 0)
    k(2), to(17),                                            //   r17 = 2
    at(2),
    t, k(5), add, reg(13), sub, k(0.5f), rnd, mul, add,
    k(2.5f), jumpLess(3),                                    // if not (2.5 < (t + 5 - r13) + 0.5 rand):
    k(40), reg(15), mul, k(2), spawn,                        //   spawn(40 r15, 2)
    at(3),
    k(0), to(4), k(0), to(5), k(0), to(6),                   // r4 = r5 = r6 = 0
    end,
};

constexpr ProgramListing fireworkPrograms[] = {
    {code(sparkNew), code(sparkLive)},        // 0: a short-lived spark of a burst
    {code(starNew), code(starLive)},          // 1: a long-lived star of a burst
    {code(riserNew), code(riserLive)},        // 2: a rising ember
    {code(launcherNew), code(launcherLive)},  // 3: the root
};

// ---- system 2: coloured streaks flying away, and a ring ----

constexpr float streakConstants[] = {1,   0.5f, 2,   6.283185f,  10,         5,          6,          0,
                                     150, 20,   200, 6.2831855f, 3.1415927f, 1.1170106f, 50,         7};

constexpr Token trailNew[] = {  // program 0 new
    par(0), to(0), par(1), to(1), par(2), to(2),             // r0, r1, r2 = P.r0, P.r1, P.r2
    k(1), to(3),                                             // r3 = 1
    par(4), to(10), par(5), to(11), par(6), to(12),          // r10, r11, r12 = P.r4, P.r5, P.r6
    rnd, k(0.5f), add, to(13),                               // r13 = rand + 0.5 (life)
    t, to(14), t, to(15),                                    // r14 = t; r15 = t
    k(2), rnd, mul, k(1), sub, to(16),                       // r16 = 2 rand - 1
    k(1), reg(16), reg(16), mul, sub, root, to(17),          // r17 = sqrt(1 - r16 r16)
    k(6.283185f), rnd, mul, to(18),                          // r18 = 6.283185 rand
    reg(18), cosine, reg(17), mul, to(19),                   // r19 = cos(r18) r17
    reg(18), sine, reg(17), mul, to(20),                     // r20 = sin(r18) r17
    rnd, k(2), mul, k(1), add, to(21),                       // r21 = rand x 2 + 1
    reg(19), reg(21), mul, to(22),                           // r22 = r19 r21
    reg(20), reg(21), mul, to(23),                           // r23 = r20 r21
    reg(16), reg(21), mul, to(24),                           // r24 = r16 r21
    end,
};

constexpr Token trailLive[] = {  // program 0 live
    t, reg(14), sub, reg(13), jumpGreater(0), kill, at(0),   // unless r13 > t - r14, kill
    reg(10), reg(10), reg(13), divide, t, reg(14), sub, mul, sub, to(4),  // r4 = r10 - (r10 / r13)(t - r14)
    reg(11), reg(11), reg(13), divide, t, reg(14), sub, mul, sub, to(5),  // r5 = r11 - (r11 / r13)(t - r14)
    reg(12), reg(12), reg(13), divide, t, reg(14), sub, mul, sub, to(6),  // r6 = r12 - (r12 / r13)(t - r14)
    t, reg(15), sub, to(25),                                 // r25 = t - r15
    reg(0), reg(22), reg(25), mul, add, to(0),               // r0 = r0 + r22 r25
    reg(1), reg(23), reg(25), mul, add, to(1),               // r1 = r1 + r23 r25
    reg(2), reg(24), reg(25), mul, add, to(2),               // r2 = r2 + r24 r25
    t, to(15),                                               // r15 = t
    end,
};

constexpr Token streakNew[] = {  // program 1 new
    rnd, k(10), mul, k(5), sub, to(0),                       // r0 = rand x 10 - 5
    rnd, k(10), mul, k(5), sub, to(1),                       // r1 = rand x 10 - 5
    k(6), neg, to(2),                                        // r2 = -6
    k(0), to(3),                                             // r3 = 0
    par(4), to(4), par(5), to(5), par(6), to(6),             // r4, r5, r6 = P.r4, P.r5, P.r6
    t, to(10),                                               // r10 = t
    rnd, k(150), mul, k(20), add, to(11),                    // r11 = rand x 150 + 20 (speed along z)
    t, k(2), add, to(12),                                    // r12 = t + 2 (time of death)
    end,
};

constexpr Token streakLive[] = {  // program 1 live
    t, reg(12), jumpGreater(0), kill, at(0),                 // unless r12 > t, kill
    reg(2), t, reg(10), sub, reg(11), mul, add, to(2),       // r2 = r2 + (t - r10) r11
    k(200), t, reg(10), sub, mul, rnd, add, k(0.5f), sub, k(0), spawn,  // spawn(200 (t - r10) + rand - 0.5, 0)
    t, to(10),                                               // r10 = t
    end,
};

constexpr Token ringNew[] = {  // program 2 new
    par(2), to(2),                                           // r2 = P.r2
    k(0.5f), to(4), k(0.5f), to(5), k(0.5f), to(6),          // r4 = r5 = r6 = 0.5
    k(1), to(3),                                             // r3 = 1
    t, to(10),                                               // r10 = t
    k(6.2831855f), rnd, mul, k(3.1415927f), sub, to(11),     // r11 = 6.2831855 rand - 3.1415927
    k(5), reg(11), cosine, mul, to(0),                       // r0 = 5 cos r11
    k(5), reg(11), sine, mul, to(1),                         // r1 = 5 sin r11
    k(0), to(12), k(0), to(13), k(0), to(14), k(0), to(15),  // r12 = r13 = r14 = r15 = 0
    k(1.1170106f), rnd, mul, k(1.1170106f), add, to(16),     // r16 = 1.1170106 rand + 1.1170106
    rnd, k(0.5f), jumpGreater(0), reg(16), neg, to(16), at(0),  // unless 0.5 > rand, r16 = -r16
    end,
};

constexpr Token ringLive[] = {  // program 2 live: never dies
    t, reg(10), sub, reg(16), divide, to(15),                // r15 = (t - r10) / r16
    reg(0), reg(15), cosine, mul, reg(1), reg(15), sine, mul, sub, to(17),  // r17 = r0 cos r15 - r1 sin r15
    reg(0), reg(15), sine, mul, reg(1), reg(15), cosine, mul, add, to(18),  // r18 = r0 sin r15 + r1 cos r15
    reg(17), to(0),                                          // r0 = r17
    reg(18), to(1),                                          // r1 = r18
    t, to(10),                                               // r10 = t
    end,
};

constexpr Token streakRootNew[] = {  // program 3 new
    k(0), to(0), k(0), to(1),                                // r0 = r1 = 0
    k(0), to(4), k(0), to(5), k(0), to(6),                   // r4 = r5 = r6 = 0
    k(0), to(3),                                             // r3 = 0
    t, to(10),                                               // r10 = t
    k(0), to(2),                                             // r2 = 0
    at(0),                                                   // repeat:
    reg(2), k(200), jumpLess(1),                             //   leave the loop if 200 < r2
    k(50), k(2), spawn,                                      //   spawn(50, 2)
    reg(2), k(10), add, to(2),                               //   r2 = r2 + 10
    jump(0),
    at(1),
    end,
};

constexpr Token streakRootLive[] = {  // program 3 live
    rnd, to(4), rnd, to(5), rnd, to(6),                      // r4 = rand; r5 = rand; r6 = rand
    k(7), t, reg(10), sub, mul, rnd, add, k(0.5f), sub, k(1), spawn,  // spawn(7 (t - r10) + rand - 0.5, 1)
    t, to(10),                                               // r10 = t
    end,
};

constexpr ProgramListing streakPrograms[] = {
    {code(trailNew), code(trailLive)},              // 0: a fading dot left by a streak
    {code(streakNew), code(streakLive)},            // 1: a streak flying along z
    {code(ringNew), code(ringLive)},                // 2: a ring particle
    {code(streakRootNew), code(streakRootLive)},    // 3: the root
};

// ---- system 3: a sweeping trail of bobbing dots ----

constexpr float trailConstants[] = {1, 5, 10, 0, 2.5f};

constexpr Token dotNew[] = {  // program 0 new
    par(0), to(0), par(1), to(1), par(2), to(2),             // r0, r1, r2 = P.r0, P.r1, P.r2
    rnd, to(4), rnd, to(5), rnd, to(6),                      // r4 = rand; r5 = rand; r6 = rand
    k(1), to(3),                                             // r3 = 1
    t, to(10),                                               // r10 = t
    end,
};

constexpr Token dotLive[] = {  // program 0 live
    t, reg(10), sub, k(5), jumpGreater(0), kill, at(0),      // unless 5 > t - r10, kill
    reg(1), k(10), t, reg(10), sub, mul, sine, k(5), divide, add, to(1),  // r1 = r1 + sin(10 (t - r10)) / 5
    end,
};

constexpr Token sweeperNew[] = {  // program 1 new
    k(0), to(0), k(0), to(1), k(0), to(2), k(0), to(3),
    k(0), to(4), k(0), to(5), k(0), to(6),                   // r0 to r6 = 0
    t, to(10),                                               // r10 = t
    end,
};

constexpr Token sweeperLive[] = {  // program 1 live
    t, reg(10), sub, k(5), jumpGreater(0), t, to(10), at(0), // unless 5 > t - r10, r10 = t
    t, reg(10), sub, k(2.5f), sub, k(2.5f), mul, to(0),      // r0 = ((t - r10) - 2.5) x 2.5
    k(1), k(0), spawn,                                       // spawn(1, 0)
    end,
};

constexpr ProgramListing trailPrograms[] = {
    {code(dotNew), code(dotLive)},          // 0: a dot
    {code(sweeperNew), code(sweeperLive)},  // 1: the root
};

// ---- system 4: rising sparks that burst into orbiting dots ----

constexpr float orbitConstants[] = {1, 0.4f, 3, 0.1f, 0.8f, 0.2f, 4, 0, 0.6f, 6.28319f, 9, 0.025f, 2};

constexpr Token orbiterNew[] = {  // program 0 new
    par(0), to(0), par(1), to(1), par(2), to(2),             // r0, r1, r2 = P.r0, P.r1, P.r2
    k(1), to(3),                                             // r3 = 1
    k(0.4f), to(4), k(1), to(5), k(0.4f), to(6),             // r4 = 0.4; r5 = 1; r6 = 0.4
    par(10), to(10), par(11), to(11),                        // r10 = P.r10; r11 = P.r11
    t, to(12),                                               // r12 = t
    end,
};

constexpr Token orbiterLive[] = {  // program 0 live
    k(3), reg(11), cosine, mul, reg(10), t, add, cosine, mul, to(0),  // r0 = 3 cos(r11) cos(r10 + t)
    k(3), reg(11), cosine, mul, reg(10), t, add, sine, mul, to(2),    // r2 = 3 cos(r11) sin(r10 + t)
    k(0.4f), k(0.1f), t, reg(12), sub, mul, sub, to(4),      // r4 = 0.4 - 0.1 (t - r12)
    k(0.8f), k(0.2f), t, reg(12), sub, mul, sub, to(5),      // r5 = 0.8 - 0.2 (t - r12)
    k(0.4f), k(0.1f), t, reg(12), sub, mul, sub, to(6),      // r6 = 0.4 - 0.1 (t - r12)
    t, reg(12), sub, k(4), jumpGreater(0), kill, at(0),      // unless 4 > t - r12, kill
    end,
};

constexpr Token fragmentNew[] = {  // program 1 new
    k(0), to(0), k(0), to(1), k(0), to(2),                   // r0 = r1 = r2 = 0
    k(1), to(3),                                             // r3 = 1
    k(0.8f), to(4), k(0.6f), to(5), k(0.4f), to(6),          // r4 = 0.8; r5 = 0.6; r6 = 0.4
    k(6.28319f), rnd, mul, to(10),                           // r10 = 6.28319 rand
    k(4), rnd, mul, to(11),                                  // r11 = 4 rand
    k(1), k(4), rnd, mul, add, to(12),                       // r12 = 1 + 4 rand
    t, to(13),                                               // r13 = t
    end,
};

constexpr Token fragmentLive[] = {  // program 1 live, a = t - r13
    t, reg(13), sub, reg(12), mul, reg(11), cosine, mul, reg(10), t, add, cosine, mul, to(0),
                                                             // r0 = a r12 cos(r11) cos(r10 + t)
    t, reg(13), sub, reg(12), mul, reg(11), cosine, mul, reg(10), t, add, sine, mul, to(2),
                                                             // r2 = a r12 cos(r11) sin(r10 + t)
    t, reg(13), sub, reg(12), mul, reg(11), sine, mul, to(1),  // r1 = a r12 sin(r11)
    t, reg(13), sub, k(3), reg(12), divide, jumpGreater(0),  // unless 3 / r12 > a:
    k(1), k(0), spawn, kill,                                 //   spawn(1, 0), kill (stops at distance 3)
    at(0),
    end,
};

constexpr Token sparkRiseNew[] = {  // program 2 new
    k(0), to(0), k(4), neg, to(1), k(0), to(2),              // r0 = 0; r1 = -4; r2 = 0
    k(1), to(3),                                             // r3 = 1
    k(0.8f), to(4), k(0.6f), to(5), k(0.4f), to(6),          // r4 = 0.8; r5 = 0.6; r6 = 0.4
    k(1), k(9), rnd, mul, add, to(10),                       // r10 = 1 + 9 rand (rising speed)
    t, to(11),                                               // r11 = t
    end,
};

constexpr Token sparkRiseLive[] = {  // program 2 live
    t, reg(11), sub, reg(10), mul, k(4), sub, to(1),         // r1 = (t - r11) r10 - 4
    t, reg(11), sub, k(4), reg(10), divide, jumpGreater(0),  // unless 4 / r10 > t - r11:
    k(3), k(1), spawn, kill,                                 //   spawn(3, 1), kill (bursts at y = 0)
    at(0),
    end,
};

constexpr Token orbitRootNew[] = {  // program 3 new
    k(0), to(0), k(0), to(1), k(0), to(2), k(0), to(3),
    k(0), to(4), k(0), to(5), k(0), to(6),                   // r0 to r6 = 0
    t, to(10),                                               // r10 = t
    end,
};

constexpr Token orbitRootLive[] = {  // program 3 live
    t, reg(10), sub, k(0.025f), jumpGreater(0),              // unless 0.025 > t - r10:
    rnd, k(2), spawn,                                        //   spawn(rand, 2): 0 or 1 particle
    t, to(10),                                               //   r10 = t
    at(0),
    end,
};

constexpr ProgramListing orbitPrograms[] = {
    {code(orbiterNew), code(orbiterLive)},      // 0: an orbiting dot
    {code(fragmentNew), code(fragmentLive)},    // 1: a fragment flying out of a burst
    {code(sparkRiseNew), code(sparkRiseLive)},  // 2: a rising spark
    {code(orbitRootNew), code(orbitRootLive)},  // 3: the root
};

// ---- system 5: a burst of 250 coloured particles every 5 seconds ----

constexpr float burstConstants[] = {1, 2, 6.2831855f, 3.1415927f, 4.5f, 0.5f, 4.9f, 0, 250, 5};

constexpr Token shardNew[] = {  // program 0 new
    par(0), to(0), par(1), to(1), par(2), to(2),             // r0, r1, r2 = P.r0, P.r1, P.r2
    rnd, to(4), rnd, to(5), rnd, to(6),                      // r4 = rand; r5 = rand; r6 = rand
    k(1), to(3),                                             // r3 = 1
    t, to(10), t, to(11),                                    // r10 = t; r11 = t
    k(2), rnd, mul, k(1), sub, to(12),                       // r12 = 2 rand - 1
    k(1), reg(12), reg(12), mul, sub, root, to(13),          // r13 = sqrt(1 - r12 r12)
    k(6.2831855f), rnd, mul, k(3.1415927f), sub, to(14),     // r14 = 6.2831855 rand - 3.1415927
    reg(14), cosine, reg(13), mul, to(15),                   // r15 = cos(r14) r13
    reg(14), sine, reg(13), mul, to(16),                     // r16 = sin(r14) r13
    k(4.5f), rnd, mul, k(0.5f), add, to(14),                 // r14 = 4.5 rand + 0.5 (speed)
    reg(15), reg(14), mul, to(17),                           // r17 = r15 r14
    reg(16), reg(14), mul, to(18),                           // r18 = r16 r14
    reg(12), reg(14), mul, to(19),                           // r19 = r12 r14
    end,
};

constexpr Token shardLive[] = {  // program 0 live
    t, reg(10), sub, k(4.9f), jumpGreater(0), kill, at(0),   // unless 4.9 > t - r10, kill
    t, reg(11), sub, to(20),                                 // r20 = t - r11
    reg(0), reg(17), reg(20), mul, add, to(0),               // r0 = r0 + r17 r20
    reg(1), reg(18), reg(20), mul, add, to(1),               // r1 = r1 + r18 r20
    reg(2), reg(19), reg(20), mul, add, to(2),               // r2 = r2 + r19 r20
    t, to(11),                                               // r11 = t
    end,
};

constexpr Token burstRootNew[] = {  // program 1 new
    k(0), to(0), k(0), to(1), k(0), to(2), k(0), to(3),
    k(0), to(4), k(0), to(5), k(0), to(6),                   // r0 to r6 = 0
    t, to(10),                                               // r10 = t
    k(250), k(0), spawn,                                     // spawn(250, 0)
    end,
};

constexpr Token burstRootLive[] = {  // program 1 live
    t, reg(10), sub, k(5), jumpGreater(0),                   // unless 5 > t - r10:
    t, to(10),                                               //   r10 = t
    k(250), k(0), spawn,                                     //   spawn(250, 0)
    at(0),
    end,
};

constexpr ProgramListing burstPrograms[] = {
    {code(shardNew), code(shardLive)},          // 0: a particle of a burst
    {code(burstRootNew), code(burstRootLive)},  // 1: the root
};

// ---- the containers ----

constexpr SystemListing fountainListing = listing(fountainConstants, fountainPrograms);
constexpr SystemListing fireworkListing = listing(fireworkConstants, fireworkPrograms);
constexpr SystemListing streakListing = listing(streakConstants, streakPrograms);
constexpr SystemListing trailListing = listing(trailConstants, trailPrograms);
constexpr SystemListing orbitListing = listing(orbitConstants, orbitPrograms);
constexpr SystemListing burstListing = listing(burstConstants, burstPrograms);

constexpr auto fountainBytes = assemble<assembledSize(fountainListing)>(fountainListing);
constexpr auto fireworkBytes = assemble<assembledSize(fireworkListing)>(fireworkListing);
constexpr auto streakBytes = assemble<assembledSize(streakListing)>(streakListing);
constexpr auto trailBytes = assemble<assembledSize(trailListing)>(trailListing);
constexpr auto orbitBytes = assemble<assembledSize(orbitListing)>(orbitListing);
constexpr auto burstBytes = assemble<assembledSize(burstListing)>(burstListing);

static_assert(fountainBytes[0] == 14 && fireworkBytes[0] == 20 && streakBytes[0] == 16 &&
              trailBytes[0] == 5 && orbitBytes[0] == 13 && burstBytes[0] == 10);
static_assert(fountainBytes[4 * 14 + 1] == 2 && fireworkBytes[4 * 20 + 1] == 4 &&
              streakBytes[4 * 16 + 1] == 4 && trailBytes[4 * 5 + 1] == 2 &&
              orbitBytes[4 * 13 + 1] == 4 && burstBytes[4 * 10 + 1] == 2);

constexpr auto fountainRuns = particle_machine::compileContainer<fountainBytes>();
constexpr auto fireworkRuns = particle_machine::compileContainer<fireworkBytes>();
constexpr auto streakRuns = particle_machine::compileContainer<streakBytes>();
constexpr auto trailRuns = particle_machine::compileContainer<trailBytes>();
constexpr auto orbitRuns = particle_machine::compileContainer<orbitBytes>();
constexpr auto burstRuns = particle_machine::compileContainer<burstBytes>();

}  // namespace

const ParticleProgram particlePrograms[particleSystemCount] = {
    {fountainBytes.data(), fountainBytes.size()},  // face 0
    {fireworkBytes.data(), fireworkBytes.size()},  // face 1
    {streakBytes.data(), streakBytes.size()},      // face 2
    {trailBytes.data(), trailBytes.size()},        // face 3
    {orbitBytes.data(), orbitBytes.size()},        // face 4
    {burstBytes.data(), burstBytes.size()},        // face 5
};

// The same containers compiled: every entry but system 2's root loop (run once, interpreted).
const particle_machine::CompiledContainer particle_machine::compiledParticlePrograms[particleSystemCount] = {
    {fountainBytes.data(), fountainBytes.size(), fountainRuns.size() / 2, fountainRuns.data()},
    {fireworkBytes.data(), fireworkBytes.size(), fireworkRuns.size() / 2, fireworkRuns.data()},
    {streakBytes.data(), streakBytes.size(), streakRuns.size() / 2, streakRuns.data()},
    {trailBytes.data(), trailBytes.size(), trailRuns.size() / 2, trailRuns.data()},
    {orbitBytes.data(), orbitBytes.size(), orbitRuns.size() / 2, orbitRuns.data()},
    {burstBytes.data(), burstBytes.size(), burstRuns.size() / 2, burstRuns.data()},
};
