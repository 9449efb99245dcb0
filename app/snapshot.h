// snapshot.h: the whole state of the show between two frames, as one value that can be taken
// and restored: what makes seeking a short run-up from the nearest earlier snapshot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/player_device.h"

// What the frames write and later frames read, in the order of the pieces table in
// snapshot.cpp, then the particle systems (only the slots ever taken) and the device's state.
struct ShowSnapshot {
    uint32_t showMs = 0;  // demoTimeMs when it was taken: the time of the frame before it
    std::vector<uint8_t> bytes;
};

// The state as it is now; device is the PlayerDevice in front of the show's device (its kept
// state is part of the show), or null where no device state needs keeping.
ShowSnapshot takeSnapshot(const PlayerDevice* device);
// The same into a snapshot kept for the purpose, whose storage is reused.
void takeSnapshot(const PlayerDevice* device, ShowSnapshot& into);
// Everything back as it was when the snapshot was taken.
void restoreSnapshot(const ShowSnapshot& snapshot, PlayerDevice* device);

// The pieces, by the design's names, for tests and reports.
struct ShowStatePiece {
    const char* name;
    void* data;
    size_t size;
};
extern const ShowStatePiece showStatePieces[];
extern const size_t showStatePieceCount;
