// text.h: lines of text drawn as clouds of small wireframe cubes.
#pragma once

void buildEdgeCube();  // the wireframe cube's line list; once, before the first text
void drawText(const char* text, float visibility, float eyeX, float eyeY, float eyeZ, float targetX,
              float targetY, float targetZ);
