// sdl_display.cpp: the display the show runs on: the check that there is one that shows
// something, Xlib's errors handled instead of ending the process, the question box, the screen.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/sdl/sdl_internal.h"
#include "platform/switches.h"
#include "platform/system.h"

namespace {

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

bool isNamed(const char* value, const char* name) { return value != nullptr && std::strcmp(value, name) == 0; }

}  // namespace

// ---- X errors ----

#if defined(SDL_VIDEO_DRIVER_X11) && defined(QUORBEL_HAVE_X11)
namespace {

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

}  // namespace

void watchDisplay() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "x11") != 0) return;
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXConnectionLost);
}

void watchWindow() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(sdlWindow, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11)
        showWindow = info.info.x11.window;
}

void holdXErrors() { holdingXErrors = true; }

// A failure message takes the error held back, so it counts as reported.
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

namespace {

// SDL's box is as wide as its text and buttons, so the window manager cuts a longer title
// ("Quorb...antreli"). Spaces after the question widen it to the title in a bolder font than the
// box's own, beside four buttons of the title bar.
std::string questionWideEnough(const char* text, const char* caption) {
    std::string message = text;
    Display* x = XOpenDisplay(nullptr);
    if (x == nullptr) return message;
    char** missing = nullptr;
    int missingCount = 0;
    char* fallback = nullptr;
    // SDL's own box font.
    XFontSet fonts = XCreateFontSet(x, "-*-*-medium-r-normal--*-120-*-*-*-*-*-*", &missing, &missingCount, &fallback);
    if (missing != nullptr) XFreeStringList(missing);
    if (fonts != nullptr) {
        auto width = [fonts](const std::string& line) {
            XRectangle ink, logical;
            XmbTextExtents(fonts, line.c_str(), static_cast<int>(line.size()), &ink, &logical);
            return static_cast<int>(logical.width);
        };
        const int wanted = width(caption) * 5 / 4 + 4 * 24;
        while (width(message) < wanted && message.size() < 256) message += ' ';
        XFreeFontSet(x, fonts);
    }
    XCloseDisplay(x);
    return message;
}

}  // namespace
#else
namespace {
std::string questionWideEnough(const char* text, const char*) { return text; }
}  // namespace
void watchDisplay() {}
void watchWindow() {}
void holdXErrors() {}
std::string takeHeldXError() { return ""; }
void releaseXErrors() {}
#endif

// ---- the display ----

void systemStart() {
    quietSdlAudioLog();
    watchQuitSignals();
    const char* x11 = switchValue(Switch::Display);
    const char* wayland = switchValue(Switch::WaylandDisplay);
    const bool x11Named = switchNamed(Switch::Display);
    const bool waylandNamed = switchNamed(Switch::WaylandDisplay);
    char line[512];
    if (switchValue(Switch::VideoDriver) == nullptr) {
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
    const std::string message = questionWideEnough(text, caption);
    box.message = message.c_str();
    box.numbuttons = 2;
    box.buttons = buttons;
    int chosen = 0;
    const int shown = SDL_ShowMessageBox(&box, &chosen);
    // A signal closed the box: no answer, no show.
    endIfSignalled();
    // A box that cannot be shown keeps the window, as any answer but Yes does.
    if (shown != 0) {
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
