// sdl_sound.cpp: the show's sound: the wave image played from memory through SDL's audio device,
// held to the show's clock and paused with it (wave_sync.h); the device opened, watched and opened
// again on a thread of its own, so that a sound server that hangs or goes away never holds the
// show; or a silent show where there is no sound to be had.
#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/sdl/sdl_internal.h"
#include "platform/sound/wave_chunks.h"
#include "platform/sound/wave_sync.h"
#include "platform/switches.h"
#include "platform/system.h"

namespace {

using Clock = WaveSync::Clock;

// A server that does not answer (PulseAudio stopped) holds SDL's open for as long as it does not:
// the show waits this long for the first samples, then plays silently until they come.
constexpr auto startDeadline = std::chrono::seconds(1);
constexpr auto watchPeriod = std::chrono::milliseconds(100);
constexpr auto retryPeriod = std::chrono::seconds(2);

WaveSync waveSync;
Clock::time_point playAsked;  // when systemPlayWave started the device's thread
bool startWarned;             // the show's thread gave up waiting for the first samples

// The device's thread, as the show's sees it. The show's thread calls nothing of SDL's audio: a
// server that hangs can only hold the device's.
enum class Device { Idle, Opening, Playing, Silent, Closed };
std::atomic<Device> soundDevice{Device::Idle};
std::mutex stopLock;
std::condition_variable stopChanged;
bool stopAsked;

void feedAudio(void*, Uint8* stream, int length) {
    waveSync.fill(reinterpret_cast<int16_t*>(stream), static_cast<uint32_t>(length) / 4, Clock::now());
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

// ---- the device's thread ----

namespace {

// True once the show asked the sound to stop, after waiting up to span for it.
bool stopWithin(Clock::duration span) {
    std::unique_lock<std::mutex> held(stopLock);
    return stopChanged.wait_for(held, span, [] { return stopAsked; });
}

SDL_AudioDeviceID openDevice() {
    SDL_AudioSpec want = {};
    want.freq = waveFramesPerSecond;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    // A small buffer: what the callback hands over reaches the speaker one buffer later.
    want.samples = 512;
    want.callback = feedAudio;
    SDL_AudioSpec have;
    const SDL_AudioDeviceID opened = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (opened == 0) return 0;
    const double rate = have.freq > 0 ? double(have.freq) : double(waveFramesPerSecond);
    waveSync.setLatency(
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(have.samples) / rate)));
    SDL_PauseAudioDevice(opened, 0);
    return opened;
}

void sayWhereDiskSoundGoes() {
    const char* driver = SDL_GetCurrentAudioDriver();
    if (driver == nullptr || std::strcmp(driver, "disk") != 0) return;
    std::fprintf(stderr, "quorbel: the sound is written to the file %s as raw PCM, not played (SDL_AUDIODRIVER=disk)\n",
                 switchNamed(Switch::DiskAudioFile) ? switchValue(Switch::DiskAudioFile) : "sdlaudio.raw");
}

// Opens the device, then watches it until the show stops the sound: a device that went away (the
// sound server killed or restarted) is closed and opened again every retryPeriod; the sound comes
// back where the show's clock is.
void runDevice() {
    quietAlsa();
    char line[512];
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::snprintf(line, sizeof line, "no audio (%s)", SDL_GetError());
        warnSilent(line);
        soundDevice = Device::Silent;
        return;
    }
    SDL_AudioDeviceID opened = openDevice();
    if (opened == 0) {
        std::snprintf(line, sizeof line, "no audio device (%s)", SDL_GetError());
        warnSilent(line);
        soundDevice = Device::Silent;
        return;
    }
    sayWhereDiskSoundGoes();
    soundDevice = Device::Playing;
    while (!stopWithin(watchPeriod)) {
        if (SDL_GetAudioDeviceStatus(opened) != SDL_AUDIO_STOPPED) continue;
        SDL_CloseAudioDevice(opened);
        systemWarn("the audio device went away; the show plays silently and tries it again every 2 s");
        opened = 0;
        while (opened == 0 && !stopWithin(retryPeriod)) opened = openDevice();
        if (opened != 0) std::fprintf(stderr, "quorbel: the audio device is back; the sound plays in step again\n");
    }
    if (opened != 0) SDL_CloseAudioDevice(opened);
    soundDevice = Device::Closed;
}

}  // namespace

// ---- the show's side ----

void systemPlayWave(const void* image, uint32_t bytes) {
    showStarted();
    const WaveData data = findWaveData(static_cast<const uint8_t*>(image), bytes);
    if (data.bytes == 0) {
        warnSilent("the soundtrack has no playable data chunk");
        soundDevice = Device::Silent;
        return;
    }
    waveSync.setWave(data.data, data.bytes / 4);
    playAsked = Clock::now();
    soundDevice = Device::Opening;
    std::thread(runDevice).detach();
}

// The show's clock starts when the first samples are heard: one buffer after the device took
// them, so that no flash on a beat comes before its beat; or, where the device has not started
// within the deadline, at once, the sound joining in step whenever it does.
bool systemWaveHeard() {
    const Device state = soundDevice;
    if (state != Device::Opening && state != Device::Playing) return true;
    const Clock::time_point now = Clock::now();
    if (waveSync.heard(now)) return true;
    if (now < playAsked + startDeadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return false;
    }
    if (!startWarned)
        systemWarn("the audio device took no sound within a second (a sound server that does not answer?); "
                   "the show plays silently until it does");
    startWarned = true;
    return true;
}

void systemSetWavePosition(uint32_t ms) { waveSync.moveTo(ms, Clock::now()); }

void followShowClock(uint32_t ms) { waveSync.showAt(ms, Clock::now()); }

void systemPauseWave(bool paused) { waveSync.pause(paused, Clock::now()); }

// The device closes on its own thread; one that a server holds is left to the process's end.
void systemStopWave() {
    {
        std::lock_guard<std::mutex> held(stopLock);
        stopAsked = true;
    }
    stopChanged.notify_all();
    const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(500);
    while (soundHeldBySdl() && Clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

bool soundHeldBySdl() {
    const Device state = soundDevice;
    return state == Device::Opening || state == Device::Playing;
}
