// line_tables.cpp: the show's lines of text, in fixed-size slots as the script indexes them.
#include "timeline/timeline.h"

const char openingLines[4][28] = {
    "Quorbel",                     // 0: also the loading screen's title
    "in his quest to perfection",  // 1
    "man finds a sphere",          // 2
    "the sphere is dull",          // 3
};

const char boxedCubeLines[4][28] = {
    "a cube is superior",        // 0
    "too preternatural",         // 1
    "the cube does not exist",   // 2
    "the cube must be created",  // 3
};

const char natureLines[4][24] = {
    "man looks at nature",  // 0
    "nature is imperfect",  // 1
    "cruel",                // 2
    "organic",              // 3
};

// Lines 1 to 3 start with 18 spaces so that their word stands where "led" stands in line 0.
const char synthesisLines[5][32] = {
    "man finds himself led",       // 0
    "                  drawn",     // 1
    "                  driven",    // 2
    "                  compelled", // 3
    "toward synthesis",            // 4
};

const char puzzleLines[4][32] = {
    "at the base of synthesis",       // 0
    "there is a cube",                // 1
    "the cube that makes you think",  // 2
    "a puzzle to be solved",          // 3
};

const char solvedLines[2][28] = {
    "the quest has ended",         // 0
    "the puzzle has been solved",  // 1
};

const char closingLines[8][34] = {
    "from the cube",                     // 0
    "man will create more cubes",        // 1
    "and from the cubes",                // 2
    "will rise synthetic beauty",        // 3
    "",                                  // 4
    "you have experienced Quorbel",      // 5
    "12 kilobytes of synthetic beauty",  // 6
    "by the Vantreli",                   // 7
};
