// particles.h: the six particle systems and the face textures they draw.
#pragma once

void initParticleSystems();  // roots of the six systems and the sprite texture; once, from initIntro
