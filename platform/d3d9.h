// d3d9.h: the subset of Direct3D 9 the show uses, spelled and numbered as Direct3D 9 does.
// Written for this project; the values follow Direct3D 9's documented numbering. On Windows the
// system's own d3d9.h takes its place, and the show draws through d3d9.dll.
#pragma once

#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <d3d9.h>
#else

// ---- basic types ----

typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef int32_t INT;
typedef int32_t BOOL;
typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef uint32_t D3DCOLOR;  // 0xAARRGGBB; in memory B, G, R, A
typedef void* HWND;
typedef void* HANDLE;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr HRESULT D3D_OK = 0;
constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086C);

struct D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};

struct D3DVECTOR {
    float x, y, z;
};

struct RECT {
    LONG left, top, right, bottom;
};

struct D3DRECT {
    LONG x1, y1, x2, y2;
};

struct D3DLOCKED_RECT {
    INT Pitch;    // bytes from one row to the next
    void* pBits;  // top-left texel of the locked rectangle
};

// ---- formats, pools, usage ----

enum D3DFORMAT : uint32_t {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_D24S8 = 75,
};

enum D3DPOOL : uint32_t {
    D3DPOOL_DEFAULT = 0,
    D3DPOOL_MANAGED = 1,
    D3DPOOL_SYSTEMMEM = 2,
};

constexpr DWORD D3DUSAGE_RENDERTARGET = 0x1;

enum D3DMULTISAMPLE_TYPE : uint32_t { D3DMULTISAMPLE_NONE = 0 };
enum D3DSWAPEFFECT : uint32_t { D3DSWAPEFFECT_DISCARD = 1 };
enum D3DBACKBUFFER_TYPE : uint32_t { D3DBACKBUFFER_TYPE_MONO = 0 };

constexpr UINT D3DPRESENT_INTERVAL_DEFAULT = 0;

struct D3DPRESENT_PARAMETERS {
    UINT BackBufferWidth;
    UINT BackBufferHeight;
    D3DFORMAT BackBufferFormat;
    UINT BackBufferCount;
    D3DMULTISAMPLE_TYPE MultiSampleType;
    DWORD MultiSampleQuality;
    D3DSWAPEFFECT SwapEffect;
    HWND hDeviceWindow;
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    DWORD Flags;
    UINT FullScreen_RefreshRateInHz;
    UINT PresentationInterval;
};

// ---- render states ----

enum D3DRENDERSTATETYPE : uint32_t {
    D3DRS_ZENABLE = 7,
    D3DRS_FILLMODE = 8,
    D3DRS_SHADEMODE = 9,
    D3DRS_ZWRITEENABLE = 14,
    D3DRS_ALPHATESTENABLE = 15,
    D3DRS_LASTPIXEL = 16,
    D3DRS_SRCBLEND = 19,
    D3DRS_DESTBLEND = 20,
    D3DRS_CULLMODE = 22,
    D3DRS_ZFUNC = 23,
    D3DRS_ALPHAREF = 24,
    D3DRS_ALPHAFUNC = 25,
    D3DRS_DITHERENABLE = 26,
    D3DRS_ALPHABLENDENABLE = 27,
    D3DRS_FOGENABLE = 28,
    D3DRS_SPECULARENABLE = 29,
    D3DRS_FOGCOLOR = 34,
    D3DRS_FOGTABLEMODE = 35,
    D3DRS_FOGSTART = 36,
    D3DRS_FOGEND = 37,
    D3DRS_FOGDENSITY = 38,
    D3DRS_RANGEFOGENABLE = 48,
    D3DRS_TEXTUREFACTOR = 60,
    D3DRS_CLIPPING = 136,
    D3DRS_LIGHTING = 137,
    D3DRS_AMBIENT = 139,
    D3DRS_FOGVERTEXMODE = 140,
    D3DRS_COLORVERTEX = 141,
    D3DRS_DIFFUSEMATERIALSOURCE = 145,
    D3DRS_POINTSIZE = 154,
    D3DRS_POINTSIZE_MIN = 155,
    D3DRS_POINTSPRITEENABLE = 156,
    D3DRS_POINTSCALEENABLE = 157,
    D3DRS_POINTSCALE_A = 158,
    D3DRS_POINTSCALE_B = 159,
    D3DRS_POINTSCALE_C = 160,
    D3DRS_POINTSIZE_MAX = 166,
    D3DRS_BLENDOP = 171,
};

enum D3DZBUFFERTYPE : uint32_t { D3DZB_FALSE = 0, D3DZB_TRUE = 1 };

enum D3DCMPFUNC : uint32_t {
    D3DCMP_NEVER = 1,
    D3DCMP_LESS = 2,
    D3DCMP_EQUAL = 3,
    D3DCMP_LESSEQUAL = 4,
    D3DCMP_GREATER = 5,
    D3DCMP_NOTEQUAL = 6,
    D3DCMP_GREATEREQUAL = 7,
    D3DCMP_ALWAYS = 8,
};

enum D3DCULL : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };

enum D3DBLEND : uint32_t {
    D3DBLEND_ZERO = 1,
    D3DBLEND_ONE = 2,
    D3DBLEND_SRCCOLOR = 3,
    D3DBLEND_INVSRCCOLOR = 4,
    D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6,
    D3DBLEND_DESTALPHA = 7,
    D3DBLEND_INVDESTALPHA = 8,
    D3DBLEND_DESTCOLOR = 9,
    D3DBLEND_INVDESTCOLOR = 10,
    D3DBLEND_SRCALPHASAT = 11,
};

enum D3DBLENDOP : uint32_t {
    D3DBLENDOP_ADD = 1,
    D3DBLENDOP_SUBTRACT = 2,
    D3DBLENDOP_REVSUBTRACT = 3,
    D3DBLENDOP_MIN = 4,
    D3DBLENDOP_MAX = 5,
};

enum D3DFOGMODE : uint32_t { D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3 };

enum D3DSHADEMODE : uint32_t { D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2 };

enum D3DMATERIALCOLORSOURCE : uint32_t { D3DMCS_MATERIAL = 0, D3DMCS_COLOR1 = 1, D3DMCS_COLOR2 = 2 };

// ---- texture stages and samplers ----

enum D3DTEXTURESTAGESTATETYPE : uint32_t {
    D3DTSS_COLOROP = 1,
    D3DTSS_COLORARG1 = 2,
    D3DTSS_COLORARG2 = 3,
    D3DTSS_ALPHAOP = 4,
    D3DTSS_ALPHAARG1 = 5,
    D3DTSS_ALPHAARG2 = 6,
    D3DTSS_TEXCOORDINDEX = 11,
    D3DTSS_TEXTURETRANSFORMFLAGS = 24,
};

enum D3DTEXTUREOP : uint32_t {
    D3DTOP_DISABLE = 1,
    D3DTOP_SELECTARG1 = 2,
    D3DTOP_SELECTARG2 = 3,
    D3DTOP_MODULATE = 4,
    D3DTOP_MODULATE2X = 5,
    D3DTOP_MODULATE4X = 6,
    D3DTOP_ADD = 7,
};

constexpr DWORD D3DTA_DIFFUSE = 0x0;
constexpr DWORD D3DTA_CURRENT = 0x1;
constexpr DWORD D3DTA_TEXTURE = 0x2;
constexpr DWORD D3DTA_TFACTOR = 0x3;
constexpr DWORD D3DTA_SELECTMASK = 0x0F;

enum D3DSAMPLERSTATETYPE : uint32_t {
    D3DSAMP_ADDRESSU = 1,
    D3DSAMP_ADDRESSV = 2,
    D3DSAMP_ADDRESSW = 3,
    D3DSAMP_BORDERCOLOR = 4,
    D3DSAMP_MAGFILTER = 5,
    D3DSAMP_MINFILTER = 6,
    D3DSAMP_MIPFILTER = 7,
};

enum D3DTEXTUREFILTERTYPE : uint32_t {
    D3DTEXF_NONE = 0,
    D3DTEXF_POINT = 1,
    D3DTEXF_LINEAR = 2,
    D3DTEXF_ANISOTROPIC = 3,
};

enum D3DTEXTUREADDRESS : uint32_t {
    D3DTADDRESS_WRAP = 1,
    D3DTADDRESS_MIRROR = 2,
    D3DTADDRESS_CLAMP = 3,
    D3DTADDRESS_BORDER = 4,
};

// ---- vertices, primitives, transforms, clears, locks ----

constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_XYZRHW = 0x004;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_TEX1 = 0x100;

enum D3DPRIMITIVETYPE : uint32_t {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

enum D3DTRANSFORMSTATETYPE : uint32_t {
    D3DTS_VIEW = 2,
    D3DTS_PROJECTION = 3,
    D3DTS_WORLD = 256,
};

constexpr DWORD D3DCLEAR_TARGET = 0x1;
constexpr DWORD D3DCLEAR_ZBUFFER = 0x2;
constexpr DWORD D3DCLEAR_STENCIL = 0x4;

constexpr DWORD D3DLOCK_READONLY = 0x10;
constexpr DWORD D3DLOCK_NOSYSLOCK = 0x800;

#endif  // _WIN32

typedef D3DMATRIX D3DXMATRIX;
typedef D3DVECTOR D3DXVECTOR3;

// Float-valued states travel as the float's 32-bit pattern.
inline DWORD d3dFloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

inline float d3dBitsFloat(DWORD d) {
    float f;
    std::memcpy(&f, &d, sizeof f);
    return f;
}

// The most primitives one draw may hold: the count Direct3D 9 devices commonly report as
// MaxPrimitiveCount (2^20 - 1). It keeps every vertex count and index below within 32 bits.
constexpr UINT d3dMaxPrimitiveCount = 0xFFFFF;

// Vertices read by DrawPrimitiveUP for a primitive count (0 for an unknown type, or for more
// primitives than a draw may hold).
constexpr UINT d3dVertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
    if (primitives > d3dMaxPrimitiveCount) return 0;
    switch (type) {
        case D3DPT_POINTLIST:     return primitives;
        case D3DPT_LINELIST:      return primitives * 2;
        case D3DPT_LINESTRIP:     return primitives + 1;
        case D3DPT_TRIANGLELIST:  return primitives * 3;
        case D3DPT_TRIANGLESTRIP: return primitives + 2;
        case D3DPT_TRIANGLEFAN:   return primitives + 2;
        default:                  break;  // Windows' enum holds one more, its size marker
    }
    return 0;
}

// The vertices each primitive of a draw is made of, in Direct3D's order: point(i), line(a, b),
// triangle(a, b, c). Odd triangles of a strip swap their first two vertices, so that the whole
// strip keeps one winding. Every device reads a draw's vertices through this, so that none
// reads past what d3dVertexCount asked of the caller.
template <typename Point, typename Line, typename Triangle>
void d3dForEachPrimitive(D3DPRIMITIVETYPE type, UINT primitives, Point point, Line line, Triangle triangle) {
    if (d3dVertexCount(type, primitives) == 0) return;
    switch (type) {
        case D3DPT_POINTLIST:
            for (UINT i = 0; i < primitives; ++i) point(i);
            break;
        case D3DPT_LINELIST:
            for (UINT i = 0; i < primitives; ++i) line(2 * i, 2 * i + 1);
            break;
        case D3DPT_LINESTRIP:
            for (UINT i = 0; i < primitives; ++i) line(i, i + 1);
            break;
        case D3DPT_TRIANGLELIST:
            for (UINT i = 0; i < primitives; ++i) triangle(3 * i, 3 * i + 1, 3 * i + 2);
            break;
        case D3DPT_TRIANGLESTRIP:
            for (UINT i = 0; i < primitives; ++i) triangle((i & 1) ? i + 1 : i, (i & 1) ? i : i + 1, i + 2);
            break;
        case D3DPT_TRIANGLEFAN:
            for (UINT i = 0; i < primitives; ++i) triangle(0, i + 1, i + 2);
            break;
        default:
            break;
    }
}

// ---- a profiler's markers (on Windows, d3d9.dll's own) ----

#ifndef _WIN32
typedef const wchar_t* LPCWSTR;

// The draws between a begin and its end belong to the named event, as PIX shows them on Windows;
// they draw nothing. The returned level is the event's depth (from 0), -1 for an end without a
// begin. The bench's table of where a frame goes reads the innermost name (d3dDrawEvent).
int D3DPERF_BeginEvent(D3DCOLOR colour, LPCWSTR name);
int D3DPERF_EndEvent();
// The innermost open event's name, nullptr outside every event (ours, not Direct3D's).
LPCWSTR d3dDrawEvent();

// ---- interfaces: exactly the methods the show calls ----

struct IDirect3DSurface9 {
    virtual ULONG Release() = 0;

protected:
    virtual ~IDirect3DSurface9() = default;
};

#endif  // !_WIN32

// The texture's and the device's methods, one list each: the interface declares them from it,
// and each device (the OpenGL one, the recording one, the player's) declares its overrides from
// it, so the compiler holds every device to the interface and no device repeats the list.
#define D3D9_TEXTURE_METHODS(METHOD)                                                                        \
    METHOD(HRESULT, GetSurfaceLevel, (UINT level, IDirect3DSurface9 * *surface))                             \
    METHOD(HRESULT, LockRect, (UINT level, D3DLOCKED_RECT * locked, const RECT* rect, DWORD flags))          \
    METHOD(HRESULT, UnlockRect, (UINT level))                                                                \
    METHOD(ULONG, Release, ())

#define D3D9_DEVICE_METHODS(METHOD)                                                                         \
    METHOD(HRESULT, BeginScene, ())                                                                          \
    METHOD(HRESULT, EndScene, ())                                                                            \
    METHOD(HRESULT, Present, (const RECT* source, const RECT* dest, HWND window, const void* dirty))          \
    METHOD(HRESULT, Clear, (DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,         \
                            DWORD stencil))                                                                  \
    METHOD(HRESULT, SetRenderState, (D3DRENDERSTATETYPE state, DWORD value))                                 \
    METHOD(HRESULT, SetSamplerState, (DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value))                 \
    METHOD(HRESULT, SetTextureStageState, (DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value))         \
    METHOD(HRESULT, SetTransform, (D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix))                    \
    METHOD(HRESULT, SetTexture, (DWORD stage, IDirect3DTexture9* texture))                                   \
    METHOD(HRESULT, SetFVF, (DWORD fvf))                                                                     \
    METHOD(HRESULT, DrawPrimitiveUP, (D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,      \
                                      UINT stride))                                                          \
    METHOD(HRESULT, CreateTexture, (UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,     \
                                    D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle))        \
    METHOD(HRESULT, GetBackBuffer, (UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,                \
                                    IDirect3DSurface9** surface))                                            \
    METHOD(HRESULT, SetRenderTarget, (DWORD index, IDirect3DSurface9* surface))                              \
    METHOD(ULONG, Release, ())
#define D3D9_DECLARE_PURE(type, name, parameters) virtual type name parameters = 0;
#define D3D9_DECLARE_OVERRIDE(type, name, parameters) type name parameters override;

#ifndef _WIN32
struct IDirect3DTexture9 {
    D3D9_TEXTURE_METHODS(D3D9_DECLARE_PURE)

protected:
    virtual ~IDirect3DTexture9() = default;
};

struct IDirect3DDevice9 {
    D3D9_DEVICE_METHODS(D3D9_DECLARE_PURE)

protected:
    virtual ~IDirect3DDevice9() = default;
};

// A device of this program's own that the show draws through (the player's, in front of the
// system's): here every device is an IDirect3DDevice9 already.
typedef IDirect3DDevice9 D3D9Methods;
inline IDirect3DDevice9* d3dDeviceOf(D3D9Methods* device) { return device; }
// Present's dirty region as the device in front passes it on (on Windows, the system's type).
inline const void* d3dDirtyRegion(const void* dirty) { return dirty; }
#else
// On Windows IDirect3DDevice9 is the system's COM interface, of which the show calls only the
// list's methods; a device of this program's own (the player's, in front of the system's) is one
// of these, and d3dDeviceOf gives the show an IDirect3DDevice9 whose calls reach it
// (platform/win32/win32_device_front.cpp).
class D3D9Methods;
// Laid out as a COM object: its table's entries for the list's methods call methods' own.
struct D3D9Front {
    void* const* table;
    D3D9Methods* methods;
};
class D3D9Methods {
public:
    D3D9_DEVICE_METHODS(D3D9_DECLARE_PURE)

    D3D9Methods(const D3D9Methods&) = delete;
    D3D9Methods& operator=(const D3D9Methods&) = delete;

protected:
    D3D9Methods();
    virtual ~D3D9Methods() = default;

private:
    friend IDirect3DDevice9* d3dDeviceOf(D3D9Methods* device);
    D3D9Front front;
};
IDirect3DDevice9* d3dDeviceOf(D3D9Methods* device);
inline const RGNDATA* d3dDirtyRegion(const void* dirty) { return static_cast<const RGNDATA*>(dirty); }
#endif
