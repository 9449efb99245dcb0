// sdl_window.cpp: the show's window with its GL context and device, its events (Escape, the
// player's keys, a close, a resize), the tick count, and the way out.
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/command_line.h"
#include "platform/memory_budget.h"
#include "platform/sdl/sdl_internal.h"
#include "platform/system.h"

SDL_Window* sdlWindow;
GLDevice* sdlDevice;
WindowOptions windowOptions;
std::atomic<bool> windowClosed;
bool windowLost;
int leavingCode = -1;

namespace {

bool escapeLatched;                 // pressed since the last test
volatile sig_atomic_t quitSignalled; // the number of the SIGINT or SIGTERM that came; 0 before
timer_t quitDeadline;               // armed by the signal: the process ends when it runs out
PlayerKeyQueue pressedKeys;         // held keys repeat at their own rate, not the keyboard's

// The display's refresh rate where SDL knows it, else 60 Hz.
int refreshRateHz() {
    SDL_DisplayMode mode;
    if (SDL_GetWindowDisplayMode(sdlWindow, &mode) == 0 && mode.refresh_rate > 0) return mode.refresh_rate;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0) return mode.refresh_rate;
    return 60;
}

// ---- events ----

void queuePlayerKey(const SDL_Keysym& key) {
    const PlayerKeyBinding* row = playerKeyBySdlName(SDL_GetKeyName(key.sym), (key.mod & KMOD_SHIFT) != 0);
    if (row == nullptr || row->key == PlayerKey::Escape) return;
    pressedKeys.press(*row, key.sym, systemTickCount());
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
                else if (event.key.repeat == 0) queuePlayerKey(event.key.keysym);
                break;
            case SDL_KEYUP:
                pressedKeys.release(event.key.keysym.sym);
                break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) windowClosed = true;
                if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) updatePresentTarget();
                break;
            default:
                break;
        }
    }
    applyScaleChange();
    followVisibility();
}

}  // namespace

// ---- the window ----

namespace {

// A --size the display cannot show is the command line's fault: its status, in its two lines.
void refuseWindow(const std::string& why) {
    if (why.empty()) return;
    leavingCode = 2;
    SDL_Quit();
    refuseCommandLine("quorbel", why);
}

}  // namespace

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
    SDL_Rect screen;
    if (windowOptions.width > 0 && params->Windowed != FALSE && SDL_GetDisplayBounds(0, &screen) == 0)
        refuseWindow(windowSizeRefusal(windowOptions.width, windowOptions.height, 0, 0, {screen.w, screen.h}));
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
    sdlWindow = SDL_CreateWindow("Quorbel", x, y, width, height, flags);
    if (sdlWindow == nullptr) {
        // Nearly always the display has no OpenGL at all ("GLX is not supported").
        std::snprintf(line, sizeof line,
                      "cannot create the show's OpenGL window (%s%s); the show needs OpenGL 3.3 core",
                      SDL_GetError(), takeHeldXError().c_str());
        systemFail(line);
    }
    watchWindow();
    SDL_GLContext context = SDL_GL_CreateContext(sdlWindow);
    if (context == nullptr) {
        std::snprintf(line, sizeof line, "this display offers no OpenGL 3.3 core context (%s%s)", SDL_GetError(),
                      takeHeldXError().c_str());
        systemFail(line);
    }
    releaseXErrors();
    SDL_GL_MakeCurrent(sdlWindow, context);
    // SDL loads libEGL privately (Wayland, or X11 forced to EGL); the device looks for the
    // current context among the global symbols, so make the loaded library's symbols global.
    dlopen("libEGL.so.1", RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);

    sdlDevice = createGLDevice(line, sizeof line);
    if (sdlDevice == nullptr) systemFail(line);
    // GL can be asked only now; the picture is drawn at the size asked only after this.
    if (windowOptions.width > 0)
        refuseWindow(windowSizeRefusal(windowOptions.width, windowOptions.height, 0, sdlDevice->largestResolution()));
    startPresenting(refreshRateHz());
    return sdlDevice;
}

void setWindowOptions(const WindowOptions& options) { windowOptions = options; }

void systemHideCursor() { SDL_ShowCursor(SDL_DISABLE); }

// ---- time and keys ----

uint32_t systemTickCount() {
    // Milliseconds since boot, cut to 32 bits: it wraps every 49.7 days.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

bool systemEscapePressed() {
    pumpEvents();
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    const bool pressed = escapeLatched || windowClosed || quitSignalled != 0 ||
                         (keys != nullptr && keys[SDL_SCANCODE_ESCAPE] != 0);
    escapeLatched = false;
    return pressed;
}

// The events stay queued (keys before the first frame are dropped by the player, a resize is
// applied with them); only whether the window was closed is looked at.
bool systemQuitAsked() {
    SDL_PumpEvents();
    return quitSignalled != 0 || windowClosed || SDL_HasEvent(SDL_QUIT) == SDL_TRUE;
}

bool systemNextKey(PlayerKey* key) { return pressedKeys.next(systemTickCount(), key); }

// ---- the way out ----

namespace {

// The processes this one started: SDL's question box runs in a child of its own, which would stay
// on the screen, waiting for an answer nobody needs, after the show ended. Only calls that are
// safe in a signal handler.
void killChildren() {
    char path[64] = "/proc/self/task/";
    char digits[16];
    int n = 0;
    for (int pid = getpid(); pid > 0; pid /= 10) digits[n++] = char('0' + pid % 10);
    size_t at = 16;
    for (int i = n - 1; i >= 0; --i) path[at++] = digits[i];
    const char tail[] = "/children";
    for (char c : tail) path[at++] = c;
    const int file = open(path, O_RDONLY);
    if (file < 0) return;
    char list[512];
    const ssize_t got = read(file, list, sizeof list - 1);
    close(file);
    int pid = 0;
    for (ssize_t i = 0; i <= got; ++i) {
        if (i < got && list[i] >= '0' && list[i] <= '9') {
            pid = pid * 10 + (list[i] - '0');
        } else if (pid > 0) {
            kill(pid, SIGKILL);
            pid = 0;
        }
    }
}

// Ends the process as the signal would have without a handler, so that whoever sent it sees
// that it ended by it (a shell shows 143 for SIGTERM, 130 for SIGINT).
[[noreturn]] void endBySignal() {
    killChildren();
    signal(quitSignalled, SIG_DFL);
    raise(quitSignalled);
    _exit(128 + quitSignalled);
}

// The show sees the signal between its steps and ends as with Escape, then by the signal. A step
// can take seconds (a frame at a huge size on a software renderer): half a second after the
// signal the deadline ends the process itself, so that a signal is answered within a second.
// The question box is waited for in SDL: it is closed at once.
void onQuitSignal(int number) {
    quitSignalled = number;
    killChildren();
    const itimerspec half = {{0, 0}, {0, 500000000}};
    timer_settime(quitDeadline, 0, &half, nullptr);
}

void onQuitDeadline(int) {
    if (leavingCode > 0) _exit(leavingCode);
    endBySignal();
}

}  // namespace

void watchQuitSignals() {
    // A write to the connection a window manager's kill closed must fail and reach Xlib's error
    // handler (one line, then the end as with Escape), not end the show by SIGPIPE: which comes
    // first, a read or a write, is chance.
    signal(SIGPIPE, SIG_IGN);
    sigevent expiry = {};
    expiry.sigev_notify = SIGEV_SIGNAL;
    expiry.sigev_signo = SIGALRM;
    if (timer_create(CLOCK_MONOTONIC, &expiry, &quitDeadline) != 0) return;  // SDL's handlers then
    // SDL's own would turn the signal into a quit event, seen only when the events are read.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = onQuitDeadline;
    sigaction(SIGALRM, &action, nullptr);
    action.sa_handler = onQuitSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void endIfSignalled() {
    if (quitSignalled != 0) endBySignal();
}

void systemExit(int code) {
    leavingCode = code;
    finishPresenting();
    std::fflush(stdout);
    // SDL_Quit would destroy the window again and, having put Xlib's fatal error handler back by
    // then, die of the error; the server frees what is left when the process ends. Nor would it
    // return while a sound server that does not answer holds the audio device.
    if (!windowLost && !soundHeldBySdl()) SDL_Quit();
    endIfSignalled();
    std::exit(code);
}

void systemWarn(const char* message) { std::fprintf(stderr, "quorbel: warning: %s\n", message); }

void systemFail(const char* message) {
    leavingCode = 1;
    std::fprintf(stderr, "quorbel: %s\n", message);
    SDL_Quit();
    std::exit(1);
}
