// soak_player.h: quorbel-soak --player: the player's life looping the whole show for hours of
// show time on the virtual clock, with a key every few seconds, checked for flat memory and flat
// CPU per step.
#pragma once

#include <cstdint>

// Runs it on the device d3dDevice already is (drawing as the caller set it). Prints an hourly
// table; returns whether the run held steady.
bool soakPlayer(double hours, uint32_t fps);
