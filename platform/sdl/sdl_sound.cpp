// sdl_sound.cpp: the show's sound: the wave image played from memory through SDL's audio device,
// moved for seeks and paused with the show, or a silent show where there is no sound to be had.
#include <SDL.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/sdl/sdl_internal.h"
#include "platform/sdl/sound_start.h"
#include "platform/sdl/wave_chunks.h"
#include "platform/switches.h"
#include "platform/system.h"

namespace {

SDL_AudioDeviceID audioDevice;
const uint8_t* playData;
uint32_t playBytes;
uint32_t playPosition;  // the audio thread's; others move it only under the device's lock
uint64_t startFrame;    // where playback starts: a position named before the sound was opened
SoundStart soundStart;  // the device's first request for samples

void feedAudio(void*, Uint8* stream, int length) {
    soundStart.taken();
    const uint32_t wanted = static_cast<uint32_t>(length);
    const uint32_t left = playBytes - playPosition;
    const uint32_t take = wanted < left ? wanted : left;
    std::memcpy(stream, playData + playPosition, take);
    std::memset(stream + take, 0, wanted - take);
    playPosition += take;
}

void warnSilent(const char* why) {
    std::fprintf(stderr, "quorbel: warning: %s; the show plays silently\n", why);
}

void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

// Without a sound card ALSA prints a screen of lines before SDL reports the failure; the show
// says it in one. The library stays loaded so that SDL's own load finds the handler set.
void quietAlsa() {
    const char* wanted = switchValue(Switch::AudioDriver);
    if (wanted != nullptr && *wanted != '\0' && std::strstr(wanted, "alsa") == nullptr) return;
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (alsa == nullptr) return;
    using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(ErrorHandler);
    auto setHandler = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler != nullptr) setHandler(ignoreAlsaMessage);
}

// The show reports the state of its sound itself (the disk driver's two CRITICAL lines become
// one that says where the file is); every other SDL message passes through unchanged.
SDL_LogOutputFunction sdlLogOutput;
void* sdlLogData;

void filterSdlLog(void* data, int category, SDL_LogPriority priority, const char* message) {
    if (category == SDL_LOG_CATEGORY_AUDIO) return;
    if (sdlLogOutput != nullptr) sdlLogOutput(data, category, priority, message);
}

}  // namespace

void quietSdlAudioLog() {
    SDL_LogGetOutputFunction(&sdlLogOutput, &sdlLogData);
    SDL_LogSetOutputFunction(filterSdlLog, sdlLogData);
}

void systemPlayWave(const void* image, uint32_t bytes) {
    showStarted();
    const WaveData data = findWaveData(static_cast<const uint8_t*>(image), bytes);
    if (data.bytes == 0) {
        warnSilent("the soundtrack has no playable data chunk");
        return;
    }
    quietAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        char line[512];
        std::snprintf(line, sizeof line, "no audio (%s)", SDL_GetError());
        warnSilent(line);
        return;
    }
    playData = data.data;
    playBytes = data.bytes;
    playPosition = static_cast<uint32_t>(startFrame * 4 < playBytes ? startFrame * 4 : playBytes);
    SDL_AudioSpec want = {};
    want.freq = 44100;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    // A small buffer: what the callback hands over reaches the speaker one buffer later.
    want.samples = 512;
    want.callback = feedAudio;
    SDL_AudioSpec have;
    audioDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (audioDevice == 0) {
        char line[512];
        std::snprintf(line, sizeof line, "no audio device (%s)", SDL_GetError());
        warnSilent(line);
        return;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    if (driver != nullptr && std::strcmp(driver, "disk") == 0) {
        std::fprintf(stderr,
                     "quorbel: the sound is written to the file %s as raw PCM, not played (SDL_AUDIODRIVER=disk)\n",
                     switchNamed(Switch::DiskAudioFile) ? switchValue(Switch::DiskAudioFile) : "sdlaudio.raw");
    }
    SDL_PauseAudioDevice(audioDevice, 0);
    // The show's clock starts when this returns: when the first samples are heard, one buffer
    // after the device took them, so that no flash on a beat comes before its beat.
    const auto latency = std::chrono::duration_cast<SoundStart::Clock::duration>(
        std::chrono::duration<double>(double(have.samples) / double(have.freq > 0 ? have.freq : 44100)));
    if (!soundStart.waitUntilAudible(latency, std::chrono::seconds(1)))
        systemWarn("the audio device took no sound within a second; the show starts without waiting for it");
}

// The callback reads the position under the device's lock, so it never sees half a move.
void systemSetWavePosition(uint32_t ms) {
    const uint64_t frame = uint64_t(ms) * 44100 / 1000;
    if (audioDevice == 0) {
        startFrame = frame;
        return;
    }
    SDL_LockAudioDevice(audioDevice);
    playPosition = static_cast<uint32_t>(frame * 4 < playBytes ? frame * 4 : playBytes);
    SDL_UnlockAudioDevice(audioDevice);
}

void systemPauseWave(bool paused) {
    if (audioDevice != 0) SDL_PauseAudioDevice(audioDevice, paused ? 1 : 0);
}

void systemStopWave() {
    if (audioDevice == 0) return;
    SDL_CloseAudioDevice(audioDevice);
    audioDevice = 0;
}

bool systemWaveHeard() { return true; }
