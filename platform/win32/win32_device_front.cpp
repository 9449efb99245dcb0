// win32_device_front.cpp: a device of this program's own (D3D9Methods) shown to the show as an
// IDirect3DDevice9: a COM object whose table sends the list's methods to it. The show calls no
// other method; every other entry answers D3DERR_INVALIDCALL.
#include <cstddef>
#include <cstring>
#include <iterator>

#include "platform/d3d9.h"

namespace {

// GCC's C++ ABI, on Windows as elsewhere: a pointer to a virtual member function holds one more
// than the byte offset of the function's entry in the table. COM's tables are C++ tables, so the
// entry of each method is read from the system's own header, never counted by hand.
template <typename Method>
size_t entryOf(Method method) {
    struct {
        uintptr_t offsetPlusOne;
        ptrdiff_t adjust;
    } raw;
    static_assert(sizeof raw == sizeof method);
    std::memcpy(&raw, &method, sizeof raw);
    return (raw.offsetPlusOne - 1) / sizeof(void*);
}

D3D9Methods* to(IDirect3DDevice9* self) { return reinterpret_cast<D3D9Front*>(self)->methods; }

HRESULT STDMETHODCALLTYPE unused(IDirect3DDevice9*) { return D3DERR_INVALIDCALL; }

HRESULT STDMETHODCALLTYPE beginScene(IDirect3DDevice9* self) { return to(self)->BeginScene(); }
HRESULT STDMETHODCALLTYPE endScene(IDirect3DDevice9* self) { return to(self)->EndScene(); }
HRESULT STDMETHODCALLTYPE present(IDirect3DDevice9* self, const RECT* source, const RECT* dest, HWND window,
                                  const RGNDATA* dirty) {
    return to(self)->Present(source, dest, window, dirty);
}
HRESULT STDMETHODCALLTYPE clear(IDirect3DDevice9* self, DWORD count, const D3DRECT* rects, DWORD flags,
                                D3DCOLOR color, float z, DWORD stencil) {
    return to(self)->Clear(count, rects, flags, color, z, stencil);
}
HRESULT STDMETHODCALLTYPE setRenderState(IDirect3DDevice9* self, D3DRENDERSTATETYPE state, DWORD value) {
    return to(self)->SetRenderState(state, value);
}
HRESULT STDMETHODCALLTYPE setSamplerState(IDirect3DDevice9* self, DWORD sampler, D3DSAMPLERSTATETYPE type,
                                          DWORD value) {
    return to(self)->SetSamplerState(sampler, type, value);
}
HRESULT STDMETHODCALLTYPE setTextureStageState(IDirect3DDevice9* self, DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                               DWORD value) {
    return to(self)->SetTextureStageState(stage, type, value);
}
HRESULT STDMETHODCALLTYPE setTransform(IDirect3DDevice9* self, D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
    return to(self)->SetTransform(state, m);
}
// The show sets only its textures (or none) on a stage.
HRESULT STDMETHODCALLTYPE setTexture(IDirect3DDevice9* self, DWORD stage, IDirect3DBaseTexture9* texture) {
    return to(self)->SetTexture(stage, static_cast<IDirect3DTexture9*>(texture));
}
HRESULT STDMETHODCALLTYPE setFVF(IDirect3DDevice9* self, DWORD fvf) { return to(self)->SetFVF(fvf); }
HRESULT STDMETHODCALLTYPE drawPrimitiveUP(IDirect3DDevice9* self, D3DPRIMITIVETYPE type, UINT count,
                                          const void* vertices, UINT stride) {
    return to(self)->DrawPrimitiveUP(type, count, vertices, stride);
}
HRESULT STDMETHODCALLTYPE createTexture(IDirect3DDevice9* self, UINT width, UINT height, UINT levels, DWORD usage,
                                        D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                        HANDLE* shared) {
    return to(self)->CreateTexture(width, height, levels, usage, format, pool, texture, shared);
}
HRESULT STDMETHODCALLTYPE getBackBuffer(IDirect3DDevice9* self, UINT swapChain, UINT backBuffer,
                                        D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
    return to(self)->GetBackBuffer(swapChain, backBuffer, type, surface);
}
HRESULT STDMETHODCALLTYPE setRenderTarget(IDirect3DDevice9* self, DWORD index, IDirect3DSurface9* surface) {
    return to(self)->SetRenderTarget(index, surface);
}
ULONG STDMETHODCALLTYPE release(IDirect3DDevice9* self) { return to(self)->Release(); }

template <typename Function>
void* entry(Function function) {
    return reinterpret_cast<void*>(function);
}

struct FrontTable {
    void* entries[160];

    FrontTable() {
        const size_t count = entryOf(&IDirect3DDevice9::CreateQuery) + 1;  // the interface's last method
        for (size_t i = 0; i < count && i < std::size(entries); ++i) entries[i] = entry(unused);
        entries[entryOf(&IDirect3DDevice9::BeginScene)] = entry(beginScene);
        entries[entryOf(&IDirect3DDevice9::EndScene)] = entry(endScene);
        entries[entryOf(&IDirect3DDevice9::Present)] = entry(present);
        entries[entryOf(&IDirect3DDevice9::Clear)] = entry(clear);
        entries[entryOf(&IDirect3DDevice9::SetRenderState)] = entry(setRenderState);
        entries[entryOf(&IDirect3DDevice9::SetSamplerState)] = entry(setSamplerState);
        entries[entryOf(&IDirect3DDevice9::SetTextureStageState)] = entry(setTextureStageState);
        entries[entryOf(&IDirect3DDevice9::SetTransform)] = entry(setTransform);
        entries[entryOf(&IDirect3DDevice9::SetTexture)] = entry(setTexture);
        entries[entryOf(&IDirect3DDevice9::SetFVF)] = entry(setFVF);
        entries[entryOf(&IDirect3DDevice9::DrawPrimitiveUP)] = entry(drawPrimitiveUP);
        entries[entryOf(&IDirect3DDevice9::CreateTexture)] = entry(createTexture);
        entries[entryOf(&IDirect3DDevice9::GetBackBuffer)] = entry(getBackBuffer);
        entries[entryOf(&IDirect3DDevice9::SetRenderTarget)] = entry(setRenderTarget);
        entries[entryOf(&IDirect3DDevice9::Release)] = entry(release);
    }
};

const FrontTable frontTable;

}  // namespace

D3D9Methods::D3D9Methods() : front{frontTable.entries, this} {}

IDirect3DDevice9* d3dDeviceOf(D3D9Methods* device) { return reinterpret_cast<IDirect3DDevice9*>(&device->front); }
