// frame_main.cpp: quorbel-frame.exe, the show's frames drawn by Windows' Direct3D 9 and written as
// PNG files: the show itself (the Windows services, the real device, the player's seek), on a
// clock that stands still at the capture tool's start tick, so that each picture is the one
// quorbel-capture --frame draws on its virtual clock.
//   quorbel-frame.exe MS -o FILE.png [MS -o FILE.png ...]     MS: show time, or Lk for loading frame k
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/player.h"
#include "app/show_life.h"
#include "platform/system.h"
#include "platform/win32/win32_system.h"
#include "tools/replay-d3d9/png_store.h"

namespace {

constexpr uint32_t captureStartTick = 1;  // quorbel-capture's default --start-tick

struct Wanted {
    bool loading;
    uint32_t at;  // show time, or the loading frame's index
    std::wstring path;
};

[[noreturn]] void refuse(const std::string& why) {
    std::fprintf(stderr, "quorbel-frame: %s\nUsage: quorbel-frame.exe MS -o FILE.png [MS -o FILE.png ...] "
                         "(MS: a show time in ms, or Lk for loading frame k, 0 to 63)\n", why.c_str());
    std::exit(2);
}

std::string narrow(const wchar_t* text) {
    std::string out;
    for (const wchar_t* c = text; *c != 0; ++c) out += *c < 128 ? char(*c) : '?';
    return out;
}

Wanted wantedFrom(const std::string& time, const wchar_t* path) {
    Wanted wanted{false, 0, path};
    std::string why;
    if (!time.empty() && time[0] == 'L') {
        unsigned index = 0;
        char end = 0;
        if (std::sscanf(time.c_str() + 1, "%u%c", &index, &end) != 1 || index >= uint32_t(loadingFrameCount))
            refuse("'" + time + "' is no loading frame (L0 to L63)");
        wanted.loading = true;
        wanted.at = index;
    } else if (!parseShowTime(time.c_str(), wanted.at, why)) {
        refuse(why);
    }
    return wanted;
}

// In front of the system's device: every call passed on, and the back buffer read before the
// Present that an armed frame ends with, while it still holds the picture.
class CaptureDevice final : public D3D9Methods {
public:
    explicit CaptureDevice(IDirect3DDevice9* device) : inner(device) {}

    void arm(const std::wstring& path) { armedPath = path; }
    bool failed() const { return writeFailed; }

    HRESULT BeginScene() override { return inner->BeginScene(); }
    HRESULT EndScene() override { return inner->EndScene(); }
    HRESULT Present(const RECT* source, const RECT* dest, HWND window, const void* dirty) override {
        if (!armedPath.empty()) writeBackBuffer();
        return inner->Present(source, dest, window, d3dDirtyRegion(dirty));
    }
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override {
        return inner->Clear(count, rects, flags, color, z, stencil);
    }
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override { return inner->SetRenderState(state, value); }
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
        return inner->SetSamplerState(sampler, type, value);
    }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        return inner->SetTextureStageState(stage, type, value);
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        return inner->SetTransform(state, matrix);
    }
    HRESULT SetTexture(DWORD stage, IDirect3DTexture9* texture) override { return inner->SetTexture(stage, texture); }
    HRESULT SetFVF(DWORD fvf) override { return inner->SetFVF(fvf); }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* vertices, UINT stride) override {
        return inner->DrawPrimitiveUP(type, count, vertices, stride);
    }
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* shared) override {
        return inner->CreateTexture(width, height, levels, usage, format, pool, texture, shared);
    }
    HRESULT GetBackBuffer(UINT chain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override {
        return inner->GetBackBuffer(chain, index, type, surface);
    }
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override {
        return inner->SetRenderTarget(index, surface);
    }
    ULONG Release() override { return inner->Release(); }

private:
    void writeBackBuffer() {
        const std::wstring path = armedPath;
        armedPath.clear();
        IDirect3DSurface9* back = nullptr;
        IDirect3DSurface9* copy = nullptr;
        D3DSURFACE_DESC desc = {};
        D3DLOCKED_RECT locked = {};
        const bool read = inner->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) == D3D_OK &&
                          back->GetDesc(&desc) == D3D_OK &&
                          inner->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                             &copy, nullptr) == D3D_OK &&
                          inner->GetRenderTargetData(back, copy) == D3D_OK &&
                          copy->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK;
        std::vector<uint8_t> rgba(size_t(desc.Width) * desc.Height * 4);
        if (read) {
            for (uint32_t y = 0; y < desc.Height; ++y)
                for (uint32_t x = 0; x < desc.Width; ++x) {
                    const uint8_t* p = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch + x * 4;
                    uint8_t* q = &rgba[(size_t(y) * desc.Width + x) * 4];
                    q[0] = p[2], q[1] = p[1], q[2] = p[0], q[3] = 255;  // B, G, R in memory; opaque as shown
                }
            copy->UnlockRect();
        }
        if (copy != nullptr) copy->Release();
        if (back != nullptr) back->Release();
        if (!read || !writeStoredPng(path, rgba.data(), desc.Width, desc.Height)) {
            std::fprintf(stderr, "quorbel-frame: %s: %s\n", narrow(path.c_str()).c_str(),
                         read ? "cannot be written" : "the back buffer cannot be read");
            writeFailed = true;
        }
    }

    IDirect3DDevice9* inner;
    std::wstring armedPath;
    bool writeFailed = false;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<Wanted> wanted;
    for (int i = 1; i < argc; i += 3) {
        if (i + 2 >= argc || std::wcscmp(argv[i + 1], L"-o") != 0) refuse("each time needs -o FILE.png after it");
        wanted.push_back(wantedFrom(narrow(argv[i]), argv[i + 2]));
    }
    if (wanted.empty()) refuse("no frame asked for");
    // Loading frames first, in their order; then the show's times, each by a seek.
    std::stable_sort(wanted.begin(), wanted.end(), [](const Wanted& a, const Wanted& b) {
        return a.loading != b.loading ? a.loading : a.loading && a.at < b.at;
    });

    win32UseStillClock(captureStartTick);
    systemStart();
    openDisplay(ScreenChoice::Window);
    CaptureDevice capture(d3dDevice);
    d3dDevice = d3dDeviceOf(&capture);
    Player player;
    ShowLife life(ScreenChoice::Window, &player);
    size_t next = 0;
    while (life.stage() == LifeStage::Opening || life.stage() == LifeStage::Loading) {
        if (life.stage() == LifeStage::Loading && next < wanted.size() && wanted[next].loading &&
            wanted[next].at == uint32_t(life.loadingFramesDone()))
            capture.arm(wanted[next++].path);
        life.step();
    }
    for (; next < wanted.size(); ++next) {
        capture.arm(wanted[next].path);
        player.seek(wanted[next].at);
    }
    std::fflush(stdout);
    ExitProcess(capture.failed() ? 1 : 0);
}
