// pending_parts.cpp: empty stand-ins, linked weakly, for the subsystems not written yet; a real
// definition anywhere in the show replaces its stand-in. Delete an entry once it has one.
#include <cstdint>

#include "cube/cube.h"
#include "overlays/overlays.h"
#include "particles/particles.h"
#include "synth/synth.h"
#include "text/text.h"
#include "timeline/timeline.h"
#include "tunnel/tunnel.h"

#define PENDING __attribute__((weak))

PENDING void initWaveBuffer() {}
PENDING void renderSongStep() {}
PENDING void startMusic() {}
PENDING void stopMusic() {}
PENDING void buildTunnel() {}
PENDING void scrambleCube(int32_t) {}
PENDING void initParticleSystems() {}
PENDING void createNoiseTexture() {}
PENDING void buildEdgeCube() {}
PENDING void drawText(const char*, float, float, float, float, float, float, float) {}
PENDING uint32_t backgroundColor = 0xFF104864u;
extern PENDING const char openingLines[4][28] = {"Quorbel", "in his quest to perfection", "man finds a sphere",
                                          "the sphere is dull"};
PENDING void updateBackgroundColor() {}
PENDING void renderTimeline() {}
