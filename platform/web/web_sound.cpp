// web_sound.cpp: the soundtrack through Web Audio: the wave image's samples into one buffer,
// which the page plays from a moment and keeps running as the player wants (page/sound.js).
#include <emscripten.h>

#include <cstdint>

#include "platform/headless/headless_system.h"
#include "platform/sound/wave_chunks.h"
#include "platform/system.h"
#include "platform/web/page.h"
#include "platform/web/web_state.h"

bool systemWaveHeard() {
    if (webSystem.playedAt < 0.0) return true;  // nothing plays
    const int heard = pageHeard();
    if (heard > 0) return true;
    if (emscripten_get_now() - webSystem.playedAt < 1000.0) return false;
    if (!webSystem.warnedSilent) systemWarn("the page's audio did not start within a second; the show goes on without waiting");
    webSystem.warnedSilent = true;
    return true;
}

void systemPlayWave(const void* image, uint32_t bytes) {
    if (webSystem.virtualClock) {
        headlessSystem.waveImage = image;
        headlessSystem.waveBytes = bytes;
        headlessSystem.waveStopped = false;
        return;
    }
    webSystem.showPresenting = webSystem.scaler != nullptr;
    const WaveData data = findWaveData(static_cast<const uint8_t*>(image), bytes);
    if (data.data == nullptr) {
        systemWarn("the wave image has no sample data; the show plays silently");
        return;
    }
    if (!pagePlay(reinterpret_cast<const int16_t*>(data.data), static_cast<int>(data.bytes / 4))) {
        systemWarn("the page has no audio; the show plays silently");
        return;
    }
    webSystem.playedAt = emscripten_get_now();
}

void systemStopWave() {
    if (webSystem.virtualClock) {
        headlessSystem.waveStopped = true;
        return;
    }
    pageStop();
    webSystem.playedAt = -1.0;
    if (webSystem.showPresenting) reportFrames();
}

void systemSetWavePosition(uint32_t ms) {
    if (!webSystem.virtualClock) pageSeekAudio(static_cast<double>(ms));
}

void systemPauseWave(bool paused) {
    if (!webSystem.virtualClock) pagePauseAudio(paused ? 1 : 0);
}
