// particle_fuzz.cpp: libFuzzer entry that feeds arbitrary bytes to the particle machine as a program container.
//
// Every input runs through the checked interpreter; one that validates runs again, pre-decoded,
// from the same state, and any bit of difference between the two is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "particles/particles.h"

static Particle fuzzSystem[particleSlots];
static ParticleVertices fuzzVertices;
static Particle fastSystem[particleSlots];
static ParticleVertices fastVertices;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::memset(fuzzSystem, 0, sizeof fuzzSystem);
    randomSeed = 1;
    const ParticleProgram container = {data, static_cast<uint32_t>(size)};
    if (resetParticleSystem(container, fuzzSystem) != 0) return 0;
    const bool decodes = particleProgramDecodes(container);
    if (decodes) {
        std::memcpy(fastSystem, fuzzSystem, sizeof fuzzSystem);
        std::memcpy(fastVertices, fuzzVertices, sizeof fuzzVertices);
    }
    // Uneven steps, a pause among them, as the show's frames give.
    const float times[] = {0.0f, 0.016f, 0.5f, 6.0f};
    for (float t : times) {
        const uint32_t seed = randomSeed;
        const int32_t count = emitParticleVerticesChecked(container, fuzzSystem, fuzzVertices, t);
        if (count < -1 || count > particleSlots) std::abort();
        for (const Particle& p : fuzzSystem)
            if (p.state < particleFree || p.state > particleLive) std::abort();
        if (decodes) {
            const uint32_t checkedSeed = randomSeed;
            randomSeed = seed;
            if (emitParticleVertices(container, fastSystem, fastVertices, t) != count || randomSeed != checkedSeed ||
                std::memcmp(fastSystem, fuzzSystem, sizeof fuzzSystem) != 0 ||
                std::memcmp(fastVertices, fuzzVertices, sizeof fuzzVertices) != 0)
                std::abort();
        }
        if (count == -1) break;
    }
    return 0;
}
