// replay_d3d9.cpp: replay-d3d9.exe, a frame stream replayed on a real Direct3D 9 (Windows, or
// Wine's): the device made as the show makes it, the stream's state checked against the device's
// own, the frame drawn, and the back buffer (and each render target) written as PNG.
//   replay-d3d9 STREAM.d3ds -o BACK.png [STREAM.d3ds -o BACK.png ...] [--targets PREFIX] [--repeat N]
// --targets writes PREFIX1.png ... for the stream's render-target textures (one stream only),
// --repeat replays each frame N times more and prints the median time of one replay until its
// pixels are read back. Exit 0 when every picture is written; 1, with one line for each, when a
// stream or a file fails, or the device; 2 for a command line it does not understand.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <d3d9.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tools/replay-d3d9/png_store.h"
#include "tools/stream/frame_stream.h"
#include "tools/stream/stream_calls.h"

namespace {

[[noreturn]] void fail(const std::string& line, int status = 1) {
    std::fprintf(stderr, "replay-d3d9: %s\n", line.c_str());
    std::exit(status);
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

// ---- the device, made as the show makes it ----

HWND makeWindow(uint32_t width, uint32_t height) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"replay-d3d9";
    RegisterClassW(&windowClass);
    RECT rect = {0, 0, LONG(width), LONG(height)};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    return CreateWindowW(L"replay-d3d9", L"replay-d3d9", WS_OVERLAPPEDWINDOW, 0, 0, rect.right - rect.left,
                         rect.bottom - rect.top, nullptr, nullptr, windowClass.hInstance, nullptr);
}

// The show's present parameters in a window: one back buffer, discarded, with the automatic
// depth buffer; software vertex processing, the FPU left as the program set it.
IDirect3DDevice9* makeDevice(const FrameStream& stream, HWND window) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (d3d == nullptr) fail("Direct3D 9 is not available");
    D3DPRESENT_PARAMETERS params = {};
    params.BackBufferWidth = stream.backBufferWidth;
    params.BackBufferHeight = stream.backBufferHeight;
    params.BackBufferFormat = D3DFORMAT(stream.backBufferFormat);
    params.BackBufferCount = 1;
    params.MultiSampleType = D3DMULTISAMPLE_NONE;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = window;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFORMAT(stream.depthFormat);
    params.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    IDirect3DDevice9* device = nullptr;
    const HRESULT made = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                           D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &params, &device);
    d3d->Release();
    if (made != D3D_OK) fail("the device cannot be made (CreateDevice: 0x" + hex(uint32_t(made)) + ")");
    return device;
}

// ---- state read back ----

DWORD readState(IDirect3DDevice9* device, const StreamCall& call) {
    DWORD value = 0;
    const std::vector<uint32_t>& a = call.args;
    if (call.op == StreamOp::SetRenderState) device->GetRenderState(D3DRENDERSTATETYPE(a[0]), &value);
    if (call.op == StreamOp::SetTextureStageState) device->GetTextureStageState(a[0], D3DTEXTURESTAGESTATETYPE(a[1]), &value);
    if (call.op == StreamOp::SetSamplerState) device->GetSamplerState(a[0], D3DSAMPLERSTATETYPE(a[1]), &value);
    return value;
}

uint32_t stateValue(const StreamCall& call) { return call.op == StreamOp::SetRenderState ? call.args[1] : call.args[2]; }

bool sameState(const StreamCall& a, const StreamCall& b) {
    return a.op == b.op && a.args[0] == b.args[0] && (a.op == StreamOp::SetRenderState || a.args[1] == b.args[1]);
}

std::string valueText(const std::string& name, DWORD value) {
    char text[64];
    float f;
    std::memcpy(&f, &value, sizeof f);
    const bool isFloat = name.find("POINTSIZE") != std::string::npos || name.find("POINTSCALE_") != std::string::npos ||
                         name.find("FOGSTART") != std::string::npos || name.find("FOGEND") != std::string::npos ||
                         name.find("FOGDENSITY") != std::string::npos;
    if (isFloat) std::snprintf(text, sizeof text, "%g (0x%08lX)", double(f), static_cast<unsigned long>(value));
    else std::snprintf(text, sizeof text, "%lu (0x%08lX)", static_cast<unsigned long>(value), static_cast<unsigned long>(value));
    return text;
}

// Every state the stream assumes, against what the device holds: the defaults before the start
// state is set, then the start state's own values after. Each difference is named.
int checkState(IDirect3DDevice9* device, const FrameStream& stream, const std::vector<StreamCall>& expected, const char* when) {
    int differing = 0;
    for (const StreamCall& call : expected) {
        const StreamCall* last = &call;
        if (&expected == &stream.defaults)
            for (const StreamCall& set : stream.start)
                if (sameState(set, call)) last = nullptr;
        if (last == nullptr || (call.op != StreamOp::SetRenderState && call.op != StreamOp::SetTextureStageState &&
                                call.op != StreamOp::SetSamplerState))
            continue;
        const DWORD held = readState(device, call);
        if (held == stateValue(call)) continue;
        const std::string name = streamStateName(stream, call);
        std::printf("state %s: %s %s, the stream %s\n", name.c_str(), when, valueText(name, held).c_str(),
                    valueText(name, stateValue(call)).c_str());
        ++differing;
    }
    return differing;
}

// ---- the replay ----

struct Replay {
    const FrameStream& stream;
    IDirect3DDevice9* device;
    std::vector<IDirect3DTexture9*> textures;
    std::vector<uint8_t> backBuffer;  // RGBA, read at Present
    bool read = false;
    std::map<std::tuple<UINT, UINT, D3DFORMAT>, IDirect3DSurface9*> copies;

    void writeTexels(uint32_t texture, uint32_t level, const std::vector<int32_t>& rect, DWORD flags,
                     const std::vector<uint8_t>& texels) {
        RECT r = {};
        if (!rect.empty()) r = RECT{rect[0], rect[1], rect[2], rect[3]};
        const uint32_t rowBytes = rect.empty() ? streamLevelSize(stream.textures[texture - 1].width, level) * 4
                                               : uint32_t(rect[2] - rect[0]) * 4;
        D3DLOCKED_RECT locked = {};
        if (textures[texture - 1]->LockRect(level, &locked, rect.empty() ? nullptr : &r, flags) != D3D_OK)
            fail("texture " + std::to_string(texture) + " level " + std::to_string(level) + " cannot be locked");
        for (size_t row = 0; row * rowBytes < texels.size(); ++row)
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + row * size_t(locked.Pitch), &texels[row * rowBytes], rowBytes);
        textures[texture - 1]->UnlockRect(level);
    }

    void makeTextures() {
        for (size_t i = 0; i < stream.textures.size(); ++i) {
            const StreamTexture& t = stream.textures[i];
            IDirect3DTexture9* texture = nullptr;
            if (device->CreateTexture(t.width, t.height, t.levels, t.usage, D3DFORMAT(t.format), D3DPOOL(t.pool), &texture,
                                      nullptr) != D3D_OK)
                fail("the device refuses texture " + std::to_string(i + 1));
            textures.push_back(texture);
            for (uint32_t level = 0; level < t.levels; ++level)
                if (!t.texels[level].empty()) writeTexels(uint32_t(i + 1), level, {}, 0, t.texels[level]);
        }
    }

    // A surface's pixels through a system-memory copy (one per size and format, made once, as a
    // program that reads back every frame keeps it); locking it waits until the device drew.
    std::vector<uint8_t> readSurface(IDirect3DSurface9* surface) {
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        IDirect3DSurface9*& copy = copies[{desc.Width, desc.Height, desc.Format}];
        std::vector<uint8_t> rgba(size_t(desc.Width) * desc.Height * 4);
        if ((copy == nullptr &&
             device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr) != D3D_OK) ||
            device->GetRenderTargetData(surface, copy) != D3D_OK)
            fail("a render target cannot be read back");
        D3DLOCKED_RECT locked = {};
        copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        for (uint32_t y = 0; y < desc.Height; ++y)
            for (uint32_t x = 0; x < desc.Width; ++x) {
                const uint8_t* p = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch + x * 4;
                uint8_t* q = &rgba[(size_t(y) * desc.Width + x) * 4];
                q[0] = p[2], q[1] = p[1], q[2] = p[0], q[3] = 255;  // B, G, R in memory; opaque as the screen shows it
            }
        copy->UnlockRect();
        return rgba;
    }

    std::vector<uint8_t> readBackBuffer() {
        IDirect3DSurface9* surface = nullptr;
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface);
        std::vector<uint8_t> rgba = readSurface(surface);
        surface->Release();
        return rgba;
    }

    HRESULT call(const StreamCall& c) {
        HRESULT result = D3D_OK;
        if (makeStreamStateCall(device, textures, c, result)) return result;
        const std::vector<uint32_t>& a = c.args;
        switch (c.op) {
            case StreamOp::Present:
                // The back buffer is discarded by Present: its pixels are read before.
                backBuffer = readBackBuffer();
                read = true;
                return device->Present(nullptr, nullptr, nullptr, nullptr);
            case StreamOp::LockRect: writeTexels(a[0], a[1], c.rects, a[2], c.data); return D3D_OK;
            default: return D3D_OK;
        }
    }

    // A call the device refuses ends the program, naming it: what would be drawn after it is
    // not the stream's picture.
    void callOrFail(const StreamCall& c, const char* list, size_t index) {
        const HRESULT result = call(c);
        if (result != D3D_OK)
            fail(streamRefusal(list, index, c.op) + " (0x" + hex(uint32_t(result)) + ")");
    }

    void run() {
        read = false;
        for (size_t i = 0; i < stream.start.size(); ++i) callOrFail(stream.start[i], "start", i);
        for (size_t i = 0; i < stream.calls.size(); ++i) callOrFail(stream.calls[i], "frame", i);
        if (!read) backBuffer = readBackBuffer();
    }
};

double now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// One stream: read, checked, replayed on a device of its own, written; false, with one line on
// stderr, where the stream or a file fails (the device's own failures end the program).
bool replayStream(const std::wstring& input, const std::wstring& output, const std::wstring& targets, unsigned long repeat,
                  HWND window) {
    const std::string name = narrow(input);
    std::vector<uint8_t> bytes;
    FrameStream stream;
    std::string error;
    if (!readFrameStreamFile(std::filesystem::path(input), bytes, error) || !decodeFrameStream(bytes, stream, error))
        return std::fprintf(stderr, "replay-d3d9: %s: %s\n", name.c_str(), error.c_str()), false;
    // Texels the stream does not hold would be whatever the device had: a black replay, never a picture.
    if (const std::string why = streamSamplesUndrawnTarget(stream); !why.empty())
        return std::fprintf(stderr, "replay-d3d9: %s: refused: %s\n", name.c_str(), why.c_str()), false;

    IDirect3DDevice9* device = makeDevice(stream, window);
    Replay replay{stream, device, {}, {}, false, {}};
    replay.makeTextures();
    std::printf("%s:\n", name.c_str());
    int differing = checkState(device, stream, stream.defaults, "the device starts with");
    for (size_t i = 0; i < stream.start.size(); ++i) replay.callOrFail(stream.start[i], "start", i);
    differing += checkState(device, stream, stream.start, "after the start state the device holds");
    std::printf("%d states differ from the stream\n", differing);
    replay.run();

    bool written = writeStoredPng(output, replay.backBuffer.data(), stream.backBufferWidth, stream.backBufferHeight);
    if (!written) std::fprintf(stderr, "replay-d3d9: cannot write %s\n", narrow(output).c_str());
    for (size_t i = 0; written && !targets.empty() && i < stream.textures.size(); ++i) {
        if (!(stream.textures[i].usage & D3DUSAGE_RENDERTARGET)) continue;
        IDirect3DSurface9* surface = nullptr;
        replay.textures[i]->GetSurfaceLevel(0, &surface);
        const std::vector<uint8_t> rgba = replay.readSurface(surface);
        surface->Release();
        const std::wstring path = targets + std::to_wstring(i + 1) + L".png";
        written = writeStoredPng(path, rgba.data(), stream.textures[i].width, stream.textures[i].height);
        if (!written) std::fprintf(stderr, "replay-d3d9: cannot write %s\n", narrow(path).c_str());
    }
    std::vector<double> times;
    for (unsigned long i = 0; written && i < repeat; ++i) {
        const double begin = now();
        replay.run();
        times.push_back(now() - begin);
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        std::printf("replayed %zu times: median %.2f ms, fastest %.2f ms, slowest %.2f ms\n", times.size(),
                    times[times.size() / 2], times.front(), times.back());
    }
    for (IDirect3DTexture9* texture : replay.textures) texture->Release();
    for (const auto& [size, copy] : replay.copies) copy->Release();
    device->Release();
    return written;
}

}  // namespace

// Several streams in one run share the process, its window and Wine's start-up, which costs
// seconds; each gets a device of its own.
int wmain(int argc, wchar_t** argv) {
    const char usage[] = "usage: replay-d3d9 STREAM.d3ds -o BACK.png [STREAM.d3ds -o BACK.png ...] [--targets PREFIX] [--repeat N]";
    std::vector<std::pair<std::wstring, std::wstring>> jobs;  // stream, picture
    std::wstring targets;
    unsigned long repeat = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"-o" && hasValue && !jobs.empty() && jobs.back().second.empty()) jobs.back().second = argv[++i];
        else if (arg == L"--targets" && hasValue) targets = argv[++i];
        else if (arg == L"--repeat" && hasValue) repeat = std::wcstoul(argv[++i], nullptr, 10);
        else if (!arg.empty() && arg[0] != L'-' && (jobs.empty() || !jobs.back().second.empty())) jobs.push_back({arg, L""});
        else fail("unknown argument '" + narrow(arg) + "'\n" + usage, 2);
    }
    if (jobs.empty() || jobs.back().second.empty()) fail(usage, 2);
    if (!targets.empty() && jobs.size() > 1) fail("--targets goes with one stream", 2);

    const HWND window = makeWindow(640, 480);
    bool allWritten = true;
    for (const auto& [input, output] : jobs) allWritten &= replayStream(input, output, targets, repeat, window);
    DestroyWindow(window);
    return allWritten ? 0 : 1;
}
