// timeline.h: the scene script, its clear colour and its line tables.
#pragma once

#include <cstdint>

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
