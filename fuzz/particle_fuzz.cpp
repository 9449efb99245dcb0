// particle_fuzz.cpp: libFuzzer entry that feeds arbitrary bytes to the particle machine as a program container.
//
// Every input runs through the checked interpreter, which must stay inside its arrays and leave
// every slot in a valid state, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "particles/particles.h"

static Particle fuzzSystem[particleSlots];
static ParticleVertices fuzzVertices;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::memset(fuzzSystem, 0, sizeof fuzzSystem);
    randomSeed = 1;
    const ParticleProgram container = {data, static_cast<uint32_t>(size)};
    if (resetParticleSystem(container, fuzzSystem) != 0) return 0;
    // Uneven steps, a pause among them, as the show's frames give.
    const float times[] = {0.0f, 0.016f, 0.5f, 6.0f};
    for (float t : times) {
        const int32_t count = emitParticleVerticesChecked(container, fuzzSystem, fuzzVertices, t);
        if (count < -1 || count > particleSlots) std::abort();
        for (const Particle& p : fuzzSystem)
            if (p.state < particleFree || p.state > particleLive) std::abort();
        if (count == -1) break;
    }
    return 0;
}
