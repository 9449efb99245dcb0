// sdl_system.cpp: the system services of the show on SDL2: display check, question box,
// window with its GL context and device, frame pacing, keys, tick count, wave playback, exit.
#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/draw_scale.h"
#include "platform/gl/gl_api.h"
#include "platform/gl/gl_device.h"
#include "platform/sdl/sound_start.h"
#include "platform/sdl/wave_chunks.h"
#include "platform/sdl/window_options.h"
#include "platform/system.h"

namespace {

SDL_Window* window;
GLDevice* device;
bool escapeLatched;                 // pressed since the last test
PlayerKey keyQueue[32];             // the player's keys pressed since it last asked
uint32_t keysQueued, keysTaken;
std::atomic<bool> windowClosed;     // closing the window ends the show, like Escape
bool windowLost;                    // another client destroyed the window under the show
int leavingCode = -1;               // the exit code once the show is on its way out
WindowOptions windowOptions;
bool resolutionRefused;             // warned once: the drawable is larger than GL can draw

// The capture tool is built beside the show: name it as it is typed from here.
std::string captureHint() {
    std::error_code error;
    std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error || dir.empty()) dir = "build";
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (!error && dir.is_absolute()) {
        const std::filesystem::path relative = dir.lexically_relative(here);
        if (!relative.empty() && *relative.begin() != "..") dir = relative;
    }
    return "record the show to a video instead with: " + (dir / "quorbel-capture").string() +
           " --video quorbel.mp4";
}

// ---- display faults ----

void releaseXErrors();

#if defined(SDL_VIDEO_DRIVER_X11) && defined(QUORBEL_HAVE_X11)
Window showWindow;           // the X window of the show, once it exists
bool xErrorReported;         // the first unexpected X error is reported, the rest ignored
bool holdingXErrors;         // while window and context are made: errors explain a failure
char heldXError[200];        // the first error, until reported or taken

// Xlib's default handler ends the process on any error. Errors naming the show's window mean
// another client destroyed it: that is a close. Anything else is reported once and survived.
int onXError(Display* display, XErrorEvent* error) {
    if (windowLost) return 0;
    if (showWindow != 0 && error->resourceid == showWindow) {
        windowClosed = true;
        windowLost = true;
        return 0;
    }
    if (xErrorReported || heldXError[0] != '\0') return 0;
    char text[160];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::snprintf(heldXError, sizeof heldXError, "the X server refused request %d.%d: %s", error->request_code,
                  error->minor_code, text);
    if (!holdingXErrors) releaseXErrors();
    return 0;
}

// The connection is gone (the window was killed, or the server ended): nothing can be drawn any
// more, and Xlib allows no return from here. The show ends as with Escape.
int onXConnectionLost(Display*) {
    if (leavingCode < 0)
        std::fputs("quorbel: the display closed the show's connection; the show ends\n", stderr);
    systemStopWave();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(leavingCode < 0 ? 0 : leavingCode);
}

void watchDisplay() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "x11") != 0) return;
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXConnectionLost);
}

void watchWindow() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11)
        showWindow = info.info.x11.window;
}

void holdXErrors() { holdingXErrors = true; }

// The error held back, or an empty text; a failure message takes it, so it counts as reported.
std::string takeHeldXError() {
    holdingXErrors = false;
    if (heldXError[0] == '\0') return "";
    xErrorReported = true;
    const std::string text = heldXError;
    heldXError[0] = '\0';
    return "; " + text;
}

void releaseXErrors() {
    const std::string text = takeHeldXError();
    if (!text.empty()) std::fprintf(stderr, "quorbel: warning: %s\n", text.c_str() + 2);
}
#else
void watchDisplay() {}
void watchWindow() {}
void holdXErrors() {}
std::string takeHeldXError() { return ""; }
void releaseXErrors() {}
#endif

// ---- the player's progress bar ----

// Drawn into the window after the picture was put there, so it is never part of the picture;
// scissored clears, with the GL state they touch put back for the device's cache.
struct ProgressBar {
    uint32_t ms = 0, lengthMs = 1, untilTick = 0;
    uint32_t marks[16] = {};
    int32_t markCount = 0;
} progressBar;

void fillWindowRect(int x, int y, int width, int height, float grey) {
    glScissor(x, y, width, height);
    glClearColor(grey, grey, grey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void drawProgressBar() {
    if (window == nullptr || int32_t(progressBar.untilTick - systemTickCount()) <= 0) return;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window, &width, &height);
    GLint scissorBox[4];
    GLfloat clearColour[4];
    GLboolean writeMask[4];
    const GLboolean scissorOn = glIsEnabled(GL_SCISSOR_TEST);
    glGetIntegerv(GL_SCISSOR_BOX, scissorBox);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glGetBooleanv(GL_COLOR_WRITEMASK, writeMask);
    glEnable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    const int thickness = height / 120 > 3 ? height / 120 : 3;
    const int played = int(int64_t(width) * progressBar.ms / progressBar.lengthMs);
    fillWindowRect(0, 0, width, thickness, 0.25f);
    fillWindowRect(0, 0, played, thickness, 0.9f);
    for (int32_t i = 0; i < progressBar.markCount; ++i)
        fillWindowRect(int(int64_t(width) * progressBar.marks[i] / progressBar.lengthMs), 0, 2, thickness, 0.0f);
    glScissor(scissorBox[0], scissorBox[1], scissorBox[2], scissorBox[3]);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    glColorMask(writeMask[0], writeMask[1], writeMask[2], writeMask[3]);
    if (!scissorOn) glDisable(GL_SCISSOR_TEST);
}

// ---- frame pacing ----

// Where vsync cannot be set (or is set but does not wait, as under Xvfb), swaps are spaced to
// the display's refresh period so the show does not spin a core.
using Clock = std::chrono::steady_clock;
bool pacing;
Clock::duration refreshPeriod;
Clock::time_point nextSwap;
int quickSwaps;          // consecutive swaps that returned at once although vsync was on

// ---- the drawing scale ----

// Sized to the window from the start; fed with the show's frames only (systemShowFrameAt marks
// them): not the loading screen's, which are the synthesiser's time, nor a paused picture shown
// again, so that the scale holds still while paused.
std::unique_ptr<DrawScaleController> scaler;
bool showPresenting;                // the sound has started: the end line reports the frames
bool scaleChanged;
bool pictureLost;                   // the back buffer was cleared at a new size
Clock::time_point lastPresented;
bool showFrameNext;                 // the next swap presents a show frame
uint32_t showFrameMs;               // the show time it draws
enum class Again { No, Paced, AtOnce } presentingAgain = Again::No;

// QUORBEL_FRAME_LOG names a file for bench/live_fps.sh: per show frame the time it was presented
// (ms after the first), the height it was drawn at and the show time it drew; written as the
// frames come, so a long run keeps nothing of them in memory.
FILE* frameLog;
bool frameLogTried;
Clock::time_point firstShowFrameAt;

void logShowFrame(Clock::time_point now, int height, uint32_t showMs) {
    if (!frameLogTried) {
        frameLogTried = true;
        const char* path = std::getenv("QUORBEL_FRAME_LOG");
        if (path == nullptr || *path == '\0') return;
        frameLog = std::fopen(path, "w");
        if (frameLog == nullptr) std::fprintf(stderr, "quorbel: warning: cannot write the frame log %s\n", path);
        firstShowFrameAt = now;
    }
    if (frameLog == nullptr) return;
    const double at = std::chrono::duration<double, std::milli>(now - firstShowFrameAt).count();
    std::fprintf(frameLog, "%.1f %d %u\n", at, height, showMs);
}

// After a swap: the interval since the last show frame and, when paced, the time not spent waiting.
void showFramePresented(Clock::duration slept, bool paced) {
    const Clock::time_point now = Clock::now();
    logShowFrame(now, scaler->size().height, showFrameMs);
    if (lastPresented != Clock::time_point{}) {
        const double interval = std::chrono::duration<double, std::milli>(now - lastPresented).count();
        const double busy = paced ? interval - std::chrono::duration<double, std::milli>(slept).count() : 0.0;
        scaleChanged = scaler->framePresented(interval, busy) || scaleChanged;
    }
    lastPresented = now;
}

void applyDrawSize() {
    const DrawSize size = scaler->size();
    if (windowOptions.fixedScale || size.width <= 0) return;
    int oldWidth = 0, oldHeight = 0;
    device->backBufferSize(oldWidth, oldHeight);
    if (!device->setResolution(size.width, size.height) && !resolutionRefused) {
        resolutionRefused = true;
        std::fprintf(stderr, "quorbel: warning: OpenGL cannot draw the picture at %d x %d; it is drawn smaller and "
                             "scaled up\n", size.width, size.height);
    }
    int width = 0, height = 0;
    device->backBufferSize(width, height);
    pictureLost = pictureLost || width != oldWidth || height != oldHeight;
}

void pacedSwap(void*) {
    drawProgressBar();
    const bool showFrame = showFrameNext && presentingAgain == Again::No;
    if (showFrame) showFrameNext = false;
    // A run-up's progress is shown at once: it is no frame the display waits for.
    if (presentingAgain == Again::AtOnce) {
        SDL_GL_SwapWindow(window);
        return;
    }
    if (pacing) {
        const Clock::time_point now = Clock::now();
        Clock::duration slept{};
        if (now < nextSwap) {
            std::this_thread::sleep_until(nextSwap);
            slept = Clock::now() - now;
        }
        nextSwap += refreshPeriod;
        // A slow frame does not earn a burst of fast ones afterwards.
        if (nextSwap < Clock::now()) nextSwap = Clock::now() + refreshPeriod;
        SDL_GL_SwapWindow(window);
        if (showFrame) showFramePresented(slept, true);
        return;
    }
    const Clock::time_point before = Clock::now();
    SDL_GL_SwapWindow(window);
    if (showFrame) showFramePresented({}, false);
    const bool quick = Clock::now() - before < refreshPeriod / 8;
    quickSwaps = quick ? quickSwaps + 1 : 0;
    if (quickSwaps >= 8) {
        pacing = true;
        nextSwap = Clock::now() + refreshPeriod;
    }
}

// The picture is drawn at the size it is shown at: the largest 4:3 rectangle of the drawable
// (in pixels, so HiDPI screens get theirs), or lower while frames run late, unless --scale 1
// keeps it at 640 x 480.
void updatePresentTarget() {
    if (device == nullptr) return;
    GLPresentTarget target;
    SDL_GL_GetDrawableSize(window, &target.drawableWidth, &target.drawableHeight);
    target.swap = pacedSwap;
    device->setPresentTarget(target);
    const GLPresentRect fit = presentRectangle(target.drawableWidth, target.drawableHeight);
    if (fit.width <= 0 || fit.height <= 0) return;
    scaler->setTop(windowOptions.fixedScale ? DrawSize{640, 480} : DrawSize{fit.width, fit.height});
    applyDrawSize();
}

// ---- events ----

void queuePlayerKey(const SDL_Keysym& key) {
    const PlayerKeyBinding* row = playerKeyBySdlName(SDL_GetKeyName(key.sym), (key.mod & KMOD_SHIFT) != 0);
    if (row == nullptr || row->key == PlayerKey::Escape) return;
    const PlayerKey playerKey = row->key;
    // A full queue drops the key: nobody presses 32 keys within one frame.
    if (keysQueued - keysTaken < 32) keyQueue[keysQueued++ % 32] = playerKey;
}

void pumpEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
            case SDL_QUIT:
                windowClosed = true;
                break;
            case SDL_KEYDOWN:
                if (event.key.keysym.sym == SDLK_ESCAPE) escapeLatched = true;
                else queuePlayerKey(event.key.keysym);
                break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) windowClosed = true;
                if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) updatePresentTarget();
                break;
            default:
                break;
        }
    }
    if (scaleChanged) applyDrawSize();
    scaleChanged = false;
}

// ---- audio ----

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
    const char* wanted = std::getenv("SDL_AUDIODRIVER");
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

bool isNamed(const char* value, const char* name) { return value != nullptr && std::strcmp(value, name) == 0; }

}  // namespace

void systemStart() {
    SDL_LogGetOutputFunction(&sdlLogOutput, &sdlLogData);
    SDL_LogSetOutputFunction(filterSdlLog, sdlLogData);
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool x11Named = x11 != nullptr && *x11 != '\0';
    const bool waylandNamed = wayland != nullptr && *wayland != '\0';
    char line[512];
    if (std::getenv("SDL_VIDEODRIVER") == nullptr) {
        if (!x11Named && !waylandNamed) {
            std::snprintf(line, sizeof line, "no display here (DISPLAY and WAYLAND_DISPLAY are unset); %s",
                          captureHint().c_str());
            systemFail(line);
        }
        // Only the display the environment names: otherwise a wrong DISPLAY falls through to
        // SDL's offscreen driver and the real reason is lost.
        SDL_SetHint(SDL_HINT_VIDEODRIVER, waylandNamed ? (x11Named ? "wayland,x11" : "wayland") : "x11");
    }
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::snprintf(line, sizeof line, "cannot open the display %s (%s); %s",
                      x11Named ? x11 : (waylandNamed ? wayland : "SDL_VIDEODRIVER names"), SDL_GetError(),
                      captureHint().c_str());
        systemFail(line);
    }
    // SDL_VIDEODRIVER may ask for drivers that show nothing; a show nobody can see is not run.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (isNamed(driver, "offscreen") || isNamed(driver, "dummy") || isNamed(driver, "evdev")) {
        std::snprintf(line, sizeof line, "no display here (SDL chose its '%s' video driver); %s", driver,
                      captureHint().c_str());
        systemFail(line);
    }
    watchDisplay();
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
    if (SDL_ShowMessageBox(&box, &chosen) != 0) {
        std::fprintf(stderr, "quorbel: warning: the full-screen question cannot be shown (SDL: %s); the show "
                             "plays in a window (--fullscreen or --window skip the question)\n",
                     SDL_GetError());
        return false;
    }
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

    // The show's own window is borderless; one of a size asked on the command line is a
    // window like any other, which the user may resize (the picture follows).
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_RESIZABLE;
    if (windowOptions.width > 0) {
        x += (width - windowOptions.width) / 2;
        y += (height - windowOptions.height) / 2;
        width = windowOptions.width;
        height = windowOptions.height;
    } else {
        flags |= SDL_WINDOW_BORDERLESS;
    }
    if (params->Windowed == FALSE) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    holdXErrors();
    window = SDL_CreateWindow("Quorbel", x, y, width, height, flags);
    if (window == nullptr) {
        // Nearly always the display has no OpenGL at all ("GLX is not supported").
        std::snprintf(line, sizeof line,
                      "cannot create the show's OpenGL window (%s%s); the show needs OpenGL 3.3 core",
                      SDL_GetError(), takeHeldXError().c_str());
        systemFail(line);
    }
    watchWindow();
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
        std::snprintf(line, sizeof line, "this display offers no OpenGL 3.3 core context (%s%s)", SDL_GetError(),
                      takeHeldXError().c_str());
        systemFail(line);
    }
    releaseXErrors();
    SDL_GL_MakeCurrent(window, context);
    // SDL loads libEGL privately (Wayland, or X11 forced to EGL); the device looks for the
    // current context among the global symbols, so make the loaded library's symbols global.
    dlopen("libEGL.so.1", RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);

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
    const bool adapting = !windowOptions.fixedScale && !windowOptions.fixedSize;
    scaler = std::make_unique<DrawScaleController>(1000.0 / refreshHz,
                                                   static_cast<int>(std::lround(480 * windowOptions.minScale)), adapting);
    updatePresentTarget();
    return device;
}

void setWindowOptions(const WindowOptions& options) { windowOptions = options; }

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

bool systemNextKey(PlayerKey* key) {
    if (keysTaken == keysQueued) return false;
    *key = keyQueue[keysTaken++ % 32];
    return true;
}

void systemShowProgress(uint32_t ms, uint32_t lengthMs, const uint32_t* marks, int32_t markCount, uint32_t untilTick) {
    progressBar.ms = ms;
    // A seek or a pause is no frame the renderer was late with: the scale does not see its gap.
    lastPresented = Clock::time_point{};
    progressBar.lengthMs = lengthMs > 0 ? lengthMs : 1;
    progressBar.untilTick = untilTick;
    progressBar.markCount = markCount < 16 ? markCount : 16;
    for (int32_t i = 0; i < progressBar.markCount; ++i) progressBar.marks[i] = marks[i];
}

void systemPlayWave(const void* image, uint32_t bytes) {
    showPresenting = scaler != nullptr;
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
    if (isNamed(driver, "disk")) {
        const char* file = std::getenv("SDL_DISKAUDIOFILE");
        std::fprintf(stderr,
                     "quorbel: the sound is written to the file %s as raw PCM, not played (SDL_AUDIODRIVER=disk)\n",
                     file != nullptr && *file != '\0' ? file : "sdlaudio.raw");
    }
    SDL_PauseAudioDevice(audioDevice, 0);
    // The show's clock starts when this returns: when the first samples are heard, one buffer
    // after the device took them, so that no flash on a beat comes before its beat.
    const auto latency = std::chrono::duration_cast<Clock::duration>(
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

void systemShowFrameAt(uint32_t ms) {
    showFrameNext = true;
    showFrameMs = ms;
}

void systemPresentAgain(bool paced) {
    if (device == nullptr) return;
    presentingAgain = paced ? Again::Paced : Again::AtOnce;
    device->Present(nullptr, nullptr, nullptr, nullptr);
    presentingAgain = Again::No;
}

// The window's show never stops by itself: no context to lose, and the sound plays on its own.
bool systemHeld() { return false; }

bool systemPictureLost() {
    const bool lost = pictureLost;
    pictureLost = false;
    return lost;
}

void systemExit(int code) {
    leavingCode = code;
    if (showPresenting) std::fprintf(stderr, "quorbel: %s\n", frameReportLine(scaler->report()).c_str());
    if (frameLog != nullptr) std::fclose(frameLog);
    std::fflush(stdout);
    // SDL_Quit would destroy the window again and, having put Xlib's fatal error handler back by
    // then, die of the error; the server frees what is left when the process ends.
    if (!windowLost) SDL_Quit();
    std::exit(code);
}

void systemWarn(const char* message) { std::fprintf(stderr, "quorbel: warning: %s\n", message); }

void systemFail(const char* message) {
    leavingCode = 1;
    std::fprintf(stderr, "quorbel: %s\n", message);
    SDL_Quit();
    std::exit(1);
}
