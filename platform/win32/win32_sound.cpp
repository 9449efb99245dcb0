// win32_sound.cpp: the soundtrack on Windows: PlaySoundA playing the wave image from memory, as
// the design plays it, and stopped the same way. PlaySoundA can neither start inside the image
// nor pause nor seek, so where the player asks for any of these (--start, --loop, the keys) the
// sound moves to waveOut, which plays the same data from any sample and pauses where it is.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>

#include "platform/sound/wave_chunks.h"
#include "platform/system.h"
#include "platform/win32/win32_internal.h"

bool musicStarted;

namespace {

const uint8_t* waveImage;
WaveData waveData;
uint32_t positionMs;   // where the sound starts, before it has
bool silent;           // no device, or the frame writer's still clock
bool playingSound;     // PlaySoundA holds the image
HWAVEOUT waveOut;      // open once the player moved the sound
WAVEHDR waveBlock;
bool waveBlockOut;     // written to waveOut and not yet taken back
bool paused;

void warnSilent(const char* why) {
    std::fprintf(stderr, "quorbel: warning: %s; the show plays silently\n", why);
    silent = true;
}

void takeBack() {
    if (!waveBlockOut) return;
    waveOutReset(waveOut);
    waveOutUnprepareHeader(waveOut, &waveBlock, sizeof waveBlock);
    waveBlockOut = false;
}

// The data from show time ms on, through waveOut (opened on first use).
void playFrom(uint32_t ms) {
    if (playingSound) {
        PlaySoundA(nullptr, nullptr, 0);
        playingSound = false;
    }
    if (waveOut == nullptr) {
        WAVEFORMATEX format = {};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 2;
        format.nSamplesPerSec = waveFramesPerSecond;
        format.wBitsPerSample = 16;
        format.nBlockAlign = waveFrameBytes;
        format.nAvgBytesPerSec = waveFramesPerSecond * waveFrameBytes;
        const MMRESULT opened = waveOutOpen(&waveOut, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
        if (opened != MMSYSERR_NOERROR) {
            waveOut = nullptr;
            char why[96];
            std::snprintf(why, sizeof why, "the sound device cannot be opened (waveOutOpen: error %u)", opened);
            warnSilent(why);
            return;
        }
    }
    takeBack();
    const uint64_t offset = uint64_t(waveFrameAtMs(ms)) * waveFrameBytes;
    if (offset >= waveData.bytes) return;
    waveBlock = {};
    waveBlock.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(waveData.data + offset));
    waveBlock.dwBufferLength = static_cast<DWORD>(waveData.bytes - offset);
    waveOutPrepareHeader(waveOut, &waveBlock, sizeof waveBlock);
    if (paused) waveOutPause(waveOut);
    waveBlockOut = waveOutWrite(waveOut, &waveBlock, sizeof waveBlock) == MMSYSERR_NOERROR;
}

}  // namespace

void systemPlayWave(const void* image, uint32_t bytes) {
    musicStarted = true;
    showStarted();
    if (virtualClock()) {
        silent = true;
        return;
    }
    waveImage = static_cast<const uint8_t*>(image);
    waveData = findWaveData(waveImage, bytes);
    if (waveData.bytes == 0) return warnSilent("the soundtrack has no playable data chunk");
    if (waveOutGetNumDevs() == 0) return warnSilent("no sound device");
    if (positionMs != 0) return playFrom(positionMs);
    playingSound = PlaySoundA(static_cast<LPCSTR>(image), nullptr, SND_MEMORY | SND_ASYNC) != FALSE;
    traceCall("PlaySoundA image SND_MEMORY|SND_ASYNC -> %d", playingSound ? 1 : 0);
    if (!playingSound) warnSilent("the sound device does not play the soundtrack (PlaySoundA failed)");
}

// The clock starts with the call: PlaySoundA and waveOut start at once or not at all.
bool systemWaveHeard() { return true; }

void systemSetWavePosition(uint32_t ms) {
    positionMs = ms;
    if (!musicStarted || silent) return;
    playFrom(ms);
}

void systemPauseWave(bool pause) {
    if (silent || !musicStarted || pause == paused) return;
    paused = pause;
    if (playingSound) return playFrom(lastShownMs());
    if (waveOut == nullptr) return;
    if (pause) waveOutPause(waveOut);
    else waveOutRestart(waveOut);
}

void systemStopWave() {
    if (playingSound) {
        PlaySoundA(nullptr, nullptr, 0);
        traceCall("PlaySoundA null 0");
        playingSound = false;
    }
    if (waveOut != nullptr) {
        takeBack();
        waveOutClose(waveOut);
        waveOut = nullptr;
    }
}
