// text.h: lines of text drawn as clouds of small wireframe cubes.
#pragma once

#include <array>
#include <cstdint>

#include "core/vertices.h"
#include "platform/d3d9.h"

// ---- the font ----

constexpr int fontGlyphCount = 65;    // 'A'-'Z', 'a'-'z', then the codes '0' to '<'
constexpr int fontGlyphColumns = 8;   // column 0 leftmost
constexpr int fontGlyphRows = 14;     // row 0 lowest
constexpr int fontGlyphBytes = fontGlyphColumns * fontGlyphRows;

// One byte a pixel (1 lit, 0 dark); pixel (col, row) of glyph g is byte g * 112 + col * 14 + row.
extern const std::array<uint8_t, fontGlyphCount * fontGlyphBytes> FontGlyphs;

// The glyph a character code draws, or -1 when it draws nothing (space and every code the font
// does not carry).
int32_t glyphIndex(char ch);

// ---- the unit wireframe cube ----

extern const float EdgeCubeCorners[8][3];  // corner k: x = bit 1, y = bit 0, z = bit 2 of k
extern const uint16_t EdgeCubeEdges[24];   // the twelve edges as pairs of corner indices
extern ColorVertex edgeCubeLines[24];      // line list of the twelve edges; filled by buildEdgeCube

// ---- drawing ----

void buildEdgeCube();  // the wireframe cube's line list; once, before the first text

// Each lit pixel is shown when its own nextRandom() draw is not above visibility; 1 shows all.
void drawText(const char* text, float visibility, float eyeX, float eyeY, float eyeZ, float targetX,
              float targetY, float targetZ);
void drawTextLine(const char* text, float visibility);
void drawGlyph(int32_t position, char ch, float visibility);  // position: character number in the line
void drawPixelCube(int32_t x, int32_t y, float visibility);   // the unit cube at (x, y, 0)
