// win32_window.cpp: the clock, the window's messages and keys (the show has no message loop of
// its own), and the way out: the end, a warning, a failure told in a box.
#include <cstdio>
#include <cstdlib>

#include "platform/system.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_system.h"

namespace {

bool clockStill;
uint32_t stillTick;
bool tickTraced;            // the next read is not traced
bool clockTraced;           // the read after the music started is (or was) the next
bool escapeLatched;         // Escape's key message came since the last test
bool windowGone;            // closed or destroyed: counts as Escape
PlayerKeyQueue pressedKeys;  // held keys repeat at their own rate, not the keyboard's

// The player's keys by Windows' virtual-key codes, named as the key table names them.
const char* keyName(WPARAM key) {
    switch (key) {
        case VK_SPACE:     return "Space";
        case VK_LEFT:      return "Left";
        case VK_RIGHT:     return "Right";
        case VK_OEM_COMMA: return ",";
        case VK_OEM_PERIOD: return ".";
        case VK_HOME:      return "Home";
        case VK_PRIOR:     return "PageUp";
        case VK_NEXT:      return "PageDown";
    }
    return nullptr;
}

void keyDown(WPARAM key, LPARAM flags) {
    if (key == VK_ESCAPE) {
        escapeLatched = true;
        return;
    }
    // Bit 30: the key was down already (the keyboard's repeat).
    if ((flags & (1 << 30)) != 0) return;
    const char* name = keyName(key);
    if (name == nullptr) return;
    const PlayerKeyBinding* row = playerKeyBySdlName(name, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
    if (row == nullptr) return;
    pressedKeys.press(*row, static_cast<int32_t>(key), systemTickCount());
}

// A program of the desktop (no console of its own, so that none opens beside the show) started
// from a command prompt writes its --help, warnings and end line there; before main.
struct CallersConsole {
    CallersConsole() {
        const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
        if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
} callersConsole;

}  // namespace

void win32UseStillClock(uint32_t tick) {
    clockStill = true;
    stillTick = tick;
}

bool virtualClock() { return clockStill; }

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) keyDown(message.wParam, message.lParam);
        if (message.message == WM_KEYUP) pressedKeys.release(static_cast<int32_t>(message.wParam));
        if (message.message == WM_QUIT) windowGone = true;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (showWindow != nullptr && !IsWindow(showWindow)) windowGone = true;
}

uint32_t systemTickCount() {
    const uint32_t tick = clockStill ? stillTick : static_cast<uint32_t>(GetTickCount());
    // The first read (the random skip) and the first after the music started (the show's clock);
    // the player's own reads between them are not the design's.
    if (musicStarted && !clockTraced) {
        clockTraced = true;
        tickTraced = false;
    }
    if (!tickTraced) {
        traceCall("GetTickCount -> %u%s", tick, musicStarted ? " (after the music started)" : "");
        tickTraced = true;
    }
    return tick;
}

// The design's test, GetAsyncKeyState; the key's message as well, so that a press between two
// frames that the asynchronous state no longer shows still counts.
bool systemEscapePressed() {
    pumpMessages();
    const SHORT state = GetAsyncKeyState(VK_ESCAPE);
    const bool pressed = state != 0 || escapeLatched || windowGone;
    escapeLatched = false;
    return pressed;
}

bool systemQuitAsked() {
    pumpMessages();
    return windowGone;
}

bool systemNextKey(PlayerKey* key) { return pressedKeys.next(systemTickCount(), key); }

// ---- the way out ----

void systemExit(int code) {
    finishPresenting();
    std::fflush(stdout);
    std::fflush(stderr);
    traceCall("ExitProcess %d", code);
    ExitProcess(static_cast<UINT>(code));
}

void systemWarn(const char* message) { std::fprintf(stderr, "quorbel: warning: %s\n", message); }

// Started from a console (or with its output taken), the line is read there; started from the
// desktop, nobody would see it, so a box says it.
void showFailure(const char* line) {
    std::fprintf(stderr, "quorbel: %s\n", line);
    std::fflush(stderr);
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE || GetFileType(error) == FILE_TYPE_UNKNOWN)
        MessageBoxA(nullptr, line, "Quorbel", MB_OK | MB_ICONERROR);
}

void systemFail(const char* message) {
    showFailure(message);
    std::fflush(stdout);
    ExitProcess(1);
}
