// timeline.h: the scene script, its clear colour and its line tables.
#pragma once

#include <cstdint>

extern uint32_t backgroundColor;        // ARGB clear colour, 0xFF104864 at start; written by the timeline
extern const char openingLines[4][28];  // [0] is the title the loading screen dissolves in

void updateBackgroundColor();  // chooses the clear colour for demoTimeMs
void renderTimeline();         // draws the frame for demoTimeMs, or sets endReached
