// win32_display.cpp: the design's start-up on Windows: the question box, the screen, the "Static"
// window, the cursor, and Direct3D 9 from the system's own d3d9.dll.
#include <cstdio>
#include <cstring>

#include "platform/command_line.h"
#include "platform/system.h"
#include "platform/win32/win32_internal.h"

HWND showWindow;
WindowOptions windowOptions;

namespace {

// d3d9.dll is loaded at run time, as the design loads its maths library: where it is missing or
// disabled the show says so, where an import would stop the process before it could.
HMODULE d3d9Library;

template <typename Function>
Function d3d9Entry(const char* name) {
    if (d3d9Library == nullptr) d3d9Library = LoadLibraryA("d3d9.dll");
    if (d3d9Library == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(d3d9Library, name)));
}

// Windows' own words for its last error, on one line.
void lastErrorText(char* text, size_t size) {
    const DWORD code = GetLastError();
    if (code == 0) {
        std::snprintf(text, size, "Windows gives no reason");
        return;
    }
    char words[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, words,
                   sizeof words, nullptr);
    for (char* c = words; *c != '\0'; ++c)
        if (*c == '\r' || *c == '\n') *c = ' ';
    size_t end = std::strlen(words);
    while (end > 0 && (words[end - 1] == ' ' || words[end - 1] == '.')) words[--end] = '\0';
    std::snprintf(text, size, "Windows error %lu%s%s", static_cast<unsigned long>(code), words[0] ? ": " : "", words);
}

}  // namespace

// The profiler's markers go to d3d9.dll's, where there is one.
int WINAPI D3DPERF_BeginEvent(D3DCOLOR colour, LPCWSTR name) {
    using Begin = int(WINAPI*)(D3DCOLOR, LPCWSTR);
    static const Begin begin = d3d9Entry<Begin>("D3DPERF_BeginEvent");
    return begin != nullptr ? begin(colour, name) : 0;
}

int WINAPI D3DPERF_EndEvent() {
    using End = int(WINAPI*)();
    static const End end = d3d9Entry<End>("D3DPERF_EndEvent");
    return end != nullptr ? end() : 0;
}

void systemStart() {}

bool systemAskYesNo(const char* text, const char* caption) {
    const int answer = MessageBoxA(nullptr, text, caption, MB_YESNO | MB_ICONQUESTION);
    traceCall("MessageBoxA \"%s\" \"%s\" 0x%x -> %d", text, caption, unsigned(MB_YESNO | MB_ICONQUESTION), answer);
    return answer == IDYES;
}

int32_t systemScreenHeight() {
    const int height = GetSystemMetrics(SM_CYSCREEN);
    traceCall("GetSystemMetrics SM_CYSCREEN -> %d", height);
    return height;
}

int32_t systemScreenWidth() {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    traceCall("GetSystemMetrics SM_CXSCREEN -> %d", width);
    return width;
}

IDirect3DDevice9* systemCreateDisplay(int32_t x, int32_t y, int32_t width, int32_t height,
                                      const D3DPRESENT_PARAMETERS* params) {
    char line[512], why[320];
    // The design's window; one of a size asked on the command line is a window like any other,
    // with a frame, its inside that size. Direct3D draws the 640 x 480 picture and Present
    // stretches it over the inside.
    DWORD style = WS_POPUP | WS_VISIBLE;
    if (windowOptions.width > 0 && params->Windowed != FALSE) {
        style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
        RECT outside = {0, 0, windowOptions.width, windowOptions.height};
        AdjustWindowRect(&outside, style, FALSE);
        x += (width - windowOptions.width) / 2;
        y += (height - windowOptions.height) / 2;
        width = outside.right - outside.left;
        height = outside.bottom - outside.top;
    }
    showWindow = CreateWindowExA(0, "Static", nullptr, style, x, y, width, height, nullptr, nullptr, nullptr, nullptr);
    traceCall("CreateWindowExA 0 \"Static\" 0x%lx %d %d %d %d -> %s", static_cast<unsigned long>(style), int(x), int(y),
              int(width), int(height), showWindow != nullptr ? "window" : "null");
    if (showWindow == nullptr) {
        lastErrorText(why, sizeof why);
        std::snprintf(line, sizeof line, "cannot create the show's window (%s)", why);
        systemFail(line);
    }
    if (style != (WS_POPUP | WS_VISIBLE)) SetWindowTextA(showWindow, "Quorbel");
    // Here, between the window and Direct3D, as the design hides it.
    ShowCursor(FALSE);
    traceCall("ShowCursor FALSE");

    using Create = IDirect3D9*(WINAPI*)(UINT);
    const Create create = d3d9Entry<Create>("Direct3DCreate9");
    if (create == nullptr) {
        lastErrorText(why, sizeof why);
        std::snprintf(line, sizeof line, "Direct3D 9 is not available: d3d9.dll cannot be loaded (%s)", why);
        systemFail(line);
    }
    IDirect3D9* direct3d = create(31);
    traceCall("Direct3DCreate9 31 -> %s", direct3d != nullptr ? "object" : "null");
    if (direct3d == nullptr) systemFail("Direct3D 9 is not available: Direct3DCreate9 gave nothing");

    D3DPRESENT_PARAMETERS present = *params;
    IDirect3DDevice9* device = nullptr;
    const DWORD behaviour = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
    const HRESULT made =
        direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, showWindow, behaviour, &present, &device);
    traceCall("CreateDevice 0 HAL 0x%lx %ux%u windowed %d -> 0x%08lx", static_cast<unsigned long>(behaviour),
              present.BackBufferWidth, present.BackBufferHeight, present.Windowed, static_cast<unsigned long>(made));
    if ((FAILED(made) || device == nullptr) && params->Windowed == FALSE) {
        std::snprintf(line, sizeof line,
                      "no full-screen Direct3D 9 device at 640 x 480 (CreateDevice failed with 0x%08lx); answer No "
                      "to the question, or start with --window, to play in a window",
                      static_cast<unsigned long>(made));
        systemFail(line);
    }
    if (FAILED(made) || device == nullptr) {
        std::snprintf(line, sizeof line,
                      "no Direct3D 9 device for the show (CreateDevice failed with 0x%08lx); the show needs a "
                      "graphics driver with Direct3D 9",
                      static_cast<unsigned long>(made));
        systemFail(line);
    }
    return device;
}

// Direct3D draws the show's 640 x 480 and Present scales it to the window: --scale 1 is what
// Windows does anyway, --min-scale has nothing to lower, and --fixed-size cannot be done.
void setWindowOptions(const WindowOptions& options) {
    if (options.fixedSize)
        refuseCommandLine("quorbel", "--fixed-size: on Windows Direct3D draws the picture at 640 x 480 and scales it "
                                     "to the window");
    windowOptions = options;
}

// Hidden already, with the window: ShowCursor counts, and one call is the design's.
void systemHideCursor() {}
