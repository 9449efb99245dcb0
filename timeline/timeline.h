// timeline.h: the scene script: its table of phases, its clear colour and its line tables.
#pragma once

#include <cstdint>

constexpr uint32_t showBarMs = 3840;       // the script's bar: every phase is a whole number of them
constexpr uint32_t showLengthMs = 161280;  // 42 bars; from here on renderTimeline sets endReached

// The script's phases in order; each starts where the one before it ends, the first at 0 and
// the last ends at showLengthMs. The rows are the only place a phase's times are written: its
// draw and its clear colour get the time since its start, and the row for its start and end.
struct ShowPhase {
    const char* name;  // as the capture tool's benchmark prints it
    uint32_t startMs, endMs;
    void (*draw)(const ShowPhase& phase, uint32_t t, double s);  // t ms into the phase, s demoTimeSec
    uint32_t (*clearColor)(const ShowPhase& phase, uint32_t t);  // ARGB background t ms into the phase
};
constexpr int32_t showPhaseCount = 7;
extern const ShowPhase showPhases[showPhaseCount];

// The index into showPhases of the phase demo time ms falls in; showPhaseCount from showLengthMs on.
int32_t showPhaseAt(uint32_t ms);

extern uint32_t backgroundColor;  // ARGB clear colour, 0xFF104864 at start; written by updateBackgroundColor

// The lines of each phase, in zero-terminated slots of fixed size.
extern const char openingLines[4][28];  // [0] is also the title the loading screen dissolves in
extern const char boxedCubeLines[4][28];
extern const char natureLines[4][24];
extern const char synthesisLines[5][32];
extern const char puzzleLines[4][32];
extern const char solvedLines[2][28];
extern const char closingLines[8][34];

void updateBackgroundColor();  // chooses the clear colour for demoTimeMs
void renderTimeline();         // draws the frame for demoTimeMs, or sets endReached
