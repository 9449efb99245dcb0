// overlays.h: full-screen noise, flashes, letterbox bars, screen copy and zoom streaks.
#pragma once

void createNoiseTexture();  // once, from initIntro
