// sdl_system.cpp: the system services of the show on SDL2: display check, question box,
// window with its GL context and device, frame pacing, keys, tick count, wave playback, exit.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/gl/gl_device.h"
#include "platform/sdl/wave_chunks.h"
#include "platform/system.h"

namespace {

SDL_Window* window;
GLDevice* device;
bool escapeLatched;   // pressed since the last test
bool windowClosed;    // closing the window ends the show, like Escape

// ---- frame pacing ----

// Where vsync cannot be set (or is set but does not wait, as under Xvfb), swaps are spaced to
// the display's refresh period so the show does not spin a core.
using Clock = std::chrono::steady_clock;
bool pacing;
Clock::duration refreshPeriod;
Clock::time_point nextSwap;
int quickSwaps;          // consecutive swaps that returned at once although vsync was on

void pacedSwap(void*) {
    if (pacing) {
        const Clock::time_point now = Clock::now();
        if (now < nextSwap) std::this_thread::sleep_until(nextSwap);
        nextSwap += refreshPeriod;
        // A slow frame does not earn a burst of fast ones afterwards.
        if (nextSwap < Clock::now()) nextSwap = Clock::now() + refreshPeriod;
        SDL_GL_SwapWindow(window);
        return;
    }
    const Clock::time_point before = Clock::now();
    SDL_GL_SwapWindow(window);
    const bool quick = Clock::now() - before < refreshPeriod / 8;
    quickSwaps = quick ? quickSwaps + 1 : 0;
    if (quickSwaps >= 8) {
        pacing = true;
        nextSwap = Clock::now() + refreshPeriod;
    }
}

void updatePresentTarget() {
    if (device == nullptr) return;
    GLPresentTarget target;
    SDL_GL_GetDrawableSize(window, &target.drawableWidth, &target.drawableHeight);
    target.swap = pacedSwap;
    device->setPresentTarget(target);
}

// ---- events ----

void pumpEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
            case SDL_QUIT:
                windowClosed = true;
                break;
            case SDL_KEYDOWN:
                if (event.key.keysym.sym == SDLK_ESCAPE) escapeLatched = true;
                break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) windowClosed = true;
                if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) updatePresentTarget();
                break;
            default:
                break;
        }
    }
}

// ---- audio ----

SDL_AudioDeviceID audioDevice;
const uint8_t* playData;
uint32_t playBytes;
uint32_t playPosition;  // touched only by the audio thread once playback runs

void feedAudio(void*, Uint8* stream, int length) {
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

bool isNamed(const char* value, const char* name) { return value != nullptr && std::strcmp(value, name) == 0; }

}  // namespace

void systemStart() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool noDisplayNamed = (x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0');
    if (noDisplayNamed && std::getenv("SDL_VIDEODRIVER") == nullptr) {
        systemFail("no display here (DISPLAY and WAYLAND_DISPLAY are unset); record the show to a "
                   "video instead with: build/quorbel-capture --video quorbel.mp4");
    }
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        char line[512];
        std::snprintf(line, sizeof line,
                      "cannot open the display (%s); record the show to a video instead with: "
                      "build/quorbel-capture --video quorbel.mp4",
                      SDL_GetError());
        systemFail(line);
    }
    // SDL falls back to drivers that show nothing; a show nobody can see is not run.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (isNamed(driver, "offscreen") || isNamed(driver, "dummy") || isNamed(driver, "evdev")) {
        char line[512];
        std::snprintf(line, sizeof line,
                      "no display here (SDL chose its '%s' video driver); record the show to a "
                      "video instead with: build/quorbel-capture --video quorbel.mp4",
                      driver);
        systemFail(line);
    }
}

bool systemAskYesNo(const char* text, const char* caption) {
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
    };
    SDL_MessageBoxData box = {};
    box.flags = SDL_MESSAGEBOX_INFORMATION;
    box.title = caption;
    box.message = text;
    box.numbuttons = 2;
    box.buttons = buttons;
    int chosen = 0;
    // A box that cannot be shown keeps the window, as any answer but Yes does.
    if (SDL_ShowMessageBox(&box, &chosen) != 0) return false;
    return chosen == 1;
}

int32_t systemScreenHeight() {
    SDL_DisplayMode mode;
    return SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.h : 480;
}

int32_t systemScreenWidth() {
    SDL_DisplayMode mode;
    return SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.w : 640;
}

IDirect3DDevice9* systemCreateDisplay(int32_t x, int32_t y, int32_t width, int32_t height,
                                      const D3DPRESENT_PARAMETERS* params) {
    char line[512];
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The device draws into framebuffers of its own; the window needs no depth buffer.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN;
    if (params->Windowed == FALSE) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    window = SDL_CreateWindow("Quorbel", x, y, width, height, flags);
    if (window == nullptr) {
        std::snprintf(line, sizeof line, "cannot create the show's window: %s", SDL_GetError());
        systemFail(line);
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
        std::snprintf(line, sizeof line, "no OpenGL 3.3 core context for the window: %s", SDL_GetError());
        systemFail(line);
    }
    SDL_GL_MakeCurrent(window, context);

    int refreshHz = 0;
    SDL_DisplayMode mode;
    if (SDL_GetWindowDisplayMode(window, &mode) == 0) refreshHz = mode.refresh_rate;
    if (refreshHz <= 0 && SDL_GetDesktopDisplayMode(0, &mode) == 0) refreshHz = mode.refresh_rate;
    if (refreshHz <= 0) refreshHz = 60;
    refreshPeriod = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / refreshHz));
    // The default presentation interval is vsync; where it cannot be set, pace by hand.
    pacing = SDL_GL_SetSwapInterval(1) != 0;
    nextSwap = Clock::now();

    device = createGLDevice(line, sizeof line);
    if (device == nullptr) systemFail(line);
    updatePresentTarget();
    return device;
}

void systemHideCursor() { SDL_ShowCursor(SDL_DISABLE); }

uint32_t systemTickCount() {
    // Milliseconds since boot, cut to 32 bits: it wraps every 49.7 days.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

bool systemEscapePressed() {
    pumpEvents();
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    const bool pressed = escapeLatched || windowClosed || (keys != nullptr && keys[SDL_SCANCODE_ESCAPE] != 0);
    escapeLatched = false;
    return pressed;
}

void systemPlayWave(const void* image, uint32_t bytes) {
    const WaveData data = findWaveData(static_cast<const uint8_t*>(image), bytes);
    if (data.bytes == 0) {
        warnSilent("the soundtrack has no playable data chunk");
        return;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        char line[512];
        std::snprintf(line, sizeof line, "no audio (%s)", SDL_GetError());
        warnSilent(line);
        return;
    }
    playData = data.data;
    playBytes = data.bytes;
    playPosition = 0;
    SDL_AudioSpec want = {};
    want.freq = 44100;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = 2048;
    want.callback = feedAudio;
    SDL_AudioSpec have;
    audioDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (audioDevice == 0) {
        char line[512];
        std::snprintf(line, sizeof line, "no audio device (%s)", SDL_GetError());
        warnSilent(line);
        return;
    }
    SDL_PauseAudioDevice(audioDevice, 0);
}

void systemStopWave() {
    if (audioDevice == 0) return;
    SDL_CloseAudioDevice(audioDevice);
    audioDevice = 0;
}

void systemExit(int code) {
    std::fflush(stdout);
    SDL_Quit();
    std::exit(code);
}

void systemFail(const char* message) {
    std::fprintf(stderr, "quorbel: %s\n", message);
    SDL_Quit();
    std::exit(1);
}
