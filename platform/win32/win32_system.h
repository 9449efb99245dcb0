// win32_system.h: controls of the Windows services for the frame writer (tools/frame-d3d9/):
// a clock that stands still and no sound, so that its pictures are those of a virtual clock.
#pragma once

#include <cstdint>

// From now on systemTickCount answers tick, and the soundtrack is not played.
void win32UseStillClock(uint32_t tick);
