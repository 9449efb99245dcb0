// snapshot.cpp: the pieces of the show's state and their packing into one snapshot.
#include "app/snapshot.h"

#include <cstring>

#include "core/core.h"
#include "core/frame_state.h"
#include "cube/cube.h"
#include "overlays/overlays.h"
#include "particles/particles.h"
#include "timeline/timeline.h"
#include "tunnel/tunnel.h"

#define PIECE(x) {#x, &(x), sizeof(x)}

// Everything a frame writes that a later frame can read. Left out, as no frame writes them:
// the tunnel's path and box, the edge cube, the maths table and matrices, the textures' handles
// (all made once by initIntro), the song and its voice (done by the loading screen), the
// screen copy's held surfaces (held only inside a frame) and the particles' vertex scratch
// (written before every read). The clock's start (startTick) is the player's, which sets it
// after every seek. Some pieces are written before they are read in every frame as the show
// stands (fogEnabled, backgroundColor, the noise arrays, the tunnel's camera); they are kept
// all the same, so that a change of a scene cannot make a snapshot silently incomplete.
const ShowStatePiece showStatePieces[] = {
    // the frame state and the generator
    PIECE(demoTimeMs), PIECE(demoTimeSec), PIECE(endReached), PIECE(randomSeed),
    // the remembered render state
    PIECE(RenderMode), PIECE(fogEnabled), PIECE(backgroundColor),
    // the cube: stickers, the record of the scramble, the solve, the explosion's seeds
    PIECE(slotSticker), PIECE(stickerTurn), PIECE(stickerPose), PIECE(scrambleMoves),
    PIECE(scrambleDirections), PIECE(scrambleLength), PIECE(solvedMoves), PIECE(currentMove),
    PIECE(currentDirection), PIECE(stickerExplode), PIECE(stickerCentre), PIECE(stickerSpin),
    PIECE(stickersSeeded),
    // the tunnel's camera
    PIECE(tunnelSegment), PIECE(tunnelFraction),
    // the overlays' arrays
    PIECE(noiseBase), PIECE(noiseLevels), PIECE(ColorQuad), PIECE(TexturedQuad),
};
const size_t showStatePieceCount = sizeof showStatePieces / sizeof showStatePieces[0];

#undef PIECE

namespace {

void put(std::vector<uint8_t>& out, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

const uint8_t* get(const uint8_t* from, void* data, size_t size) {
    std::memcpy(data, from, size);
    return from + size;
}

// The slots of a system that were ever taken: one past the last that is not all zero, as
// every slot of a fresh process is.
int32_t touchedEnd(const ParticleSystem& system) {
    static const Particle untouched = {};
    int32_t end = particleSlots;
    while (end > 0 && std::memcmp(&system[end - 1], &untouched, sizeof untouched) == 0) --end;
    return end;
}

}  // namespace

// Per system: the bound of occupied slots, then every slot ever taken, free ones too: a spawn
// that takes a free slot starts from the registers its last particle left, and the programs
// read some of them before writing them. That is what the show needs, and far below 6 x 8192.
ShowSnapshot takeSnapshot(const PlayerDevice* device) {
    ShowSnapshot snapshot;
    takeSnapshot(device, snapshot);
    return snapshot;
}

// Sized exactly before it is filled: dozens are kept, and a buffer grown by doubling would hold
// up to twice its bytes.
void takeSnapshot(const PlayerDevice* device, ShowSnapshot& snapshot) {
    snapshot.showMs = demoTimeMs;
    int32_t touched[particleSystemCount];
    size_t size = device != nullptr ? sizeof(KeptDeviceState) : 0;
    for (size_t i = 0; i < showStatePieceCount; ++i) size += showStatePieces[i].size;
    for (int32_t k = 0; k < particleSystemCount; ++k) {
        touched[k] = touchedEnd(particleSystems[k]);
        size += 2 * sizeof(int32_t) + sizeof(Particle) * size_t(touched[k]);
    }
    std::vector<uint8_t>& out = snapshot.bytes;
    out.clear();
    if (out.capacity() < size || out.capacity() > 2 * size) {
        out.shrink_to_fit();
        out.reserve(size);
    }
    for (size_t i = 0; i < showStatePieceCount; ++i) put(out, showStatePieces[i].data, showStatePieces[i].size);
    for (int32_t k = 0; k < particleSystemCount; ++k) {
        const int32_t occupied = particleOccupiedEnd(k);
        put(out, &occupied, sizeof occupied);
        put(out, &touched[k], sizeof touched[k]);
        put(out, particleSystems[k], sizeof(Particle) * size_t(touched[k]));
    }
    if (device != nullptr) put(out, &device->kept(), sizeof(KeptDeviceState));
}

void restoreSnapshot(const ShowSnapshot& snapshot, PlayerDevice* device) {
    const uint8_t* at = snapshot.bytes.data();
    for (size_t i = 0; i < showStatePieceCount; ++i) at = get(at, showStatePieces[i].data, showStatePieces[i].size);
    for (int32_t k = 0; k < particleSystemCount; ++k) {
        ParticleSystem& system = particleSystems[k];
        int32_t occupied = 0, touched = 0;
        at = get(at, &occupied, sizeof occupied);
        at = get(at, &touched, sizeof touched);
        const int32_t touchedNow = touchedEnd(system);
        at = get(at, system, sizeof(Particle) * size_t(touched));
        if (touchedNow > touched) std::memset(&system[touched], 0, sizeof(Particle) * size_t(touchedNow - touched));
        setParticleOccupiedEnd(k, occupied);
    }
    if (device != nullptr && at < snapshot.bytes.data() + snapshot.bytes.size()) {
        KeptDeviceState state;
        std::memcpy(&state, at, sizeof state);
        device->restoreKept(state);
    }
}
