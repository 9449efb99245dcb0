// d3d9_names.cpp: name tables of the Direct3D 9 constants the show uses.
#include "platform/d3d9_names.h"

#include <cstdio>

namespace {

struct Name {
    DWORD value;
    const char* name;
};

template <size_t N>
const char* lookup(const Name (&table)[N], DWORD value) {
    for (const Name& entry : table)
        if (entry.value == value) return entry.name;
    return nullptr;
}

#define N(x) {x, #x}

const Name renderStates[] = {
    N(D3DRS_ZENABLE),          N(D3DRS_FILLMODE),         N(D3DRS_SHADEMODE),
    N(D3DRS_ZWRITEENABLE),     N(D3DRS_ALPHATESTENABLE),  N(D3DRS_LASTPIXEL),
    N(D3DRS_SRCBLEND),         N(D3DRS_DESTBLEND),        N(D3DRS_CULLMODE),
    N(D3DRS_ZFUNC),            N(D3DRS_ALPHAREF),         N(D3DRS_ALPHAFUNC),
    N(D3DRS_DITHERENABLE),     N(D3DRS_ALPHABLENDENABLE), N(D3DRS_FOGENABLE),
    N(D3DRS_SPECULARENABLE),   N(D3DRS_FOGCOLOR),         N(D3DRS_FOGTABLEMODE),
    N(D3DRS_FOGSTART),         N(D3DRS_FOGEND),           N(D3DRS_FOGDENSITY),
    N(D3DRS_RANGEFOGENABLE),   N(D3DRS_TEXTUREFACTOR),    N(D3DRS_CLIPPING),
    N(D3DRS_LIGHTING),         N(D3DRS_AMBIENT),          N(D3DRS_FOGVERTEXMODE),
    N(D3DRS_COLORVERTEX),      N(D3DRS_DIFFUSEMATERIALSOURCE), N(D3DRS_POINTSIZE),
    N(D3DRS_POINTSIZE_MIN),    N(D3DRS_POINTSPRITEENABLE), N(D3DRS_POINTSCALEENABLE),
    N(D3DRS_POINTSCALE_A),     N(D3DRS_POINTSCALE_B),     N(D3DRS_POINTSCALE_C),
    N(D3DRS_POINTSIZE_MAX),    N(D3DRS_BLENDOP),
};

const Name stageStates[] = {
    N(D3DTSS_COLOROP),  N(D3DTSS_COLORARG1), N(D3DTSS_COLORARG2),     N(D3DTSS_ALPHAOP),
    N(D3DTSS_ALPHAARG1), N(D3DTSS_ALPHAARG2), N(D3DTSS_TEXCOORDINDEX), N(D3DTSS_TEXTURETRANSFORMFLAGS),
};

const Name samplerStates[] = {
    N(D3DSAMP_ADDRESSU),  N(D3DSAMP_ADDRESSV),  N(D3DSAMP_ADDRESSW), N(D3DSAMP_BORDERCOLOR),
    N(D3DSAMP_MAGFILTER), N(D3DSAMP_MINFILTER), N(D3DSAMP_MIPFILTER),
};

const Name transforms[] = {N(D3DTS_VIEW), N(D3DTS_PROJECTION), N(D3DTS_WORLD)};

const Name primitives[] = {
    N(D3DPT_POINTLIST),    N(D3DPT_LINELIST),      N(D3DPT_LINESTRIP),
    N(D3DPT_TRIANGLELIST), N(D3DPT_TRIANGLESTRIP), N(D3DPT_TRIANGLEFAN),
};

const Name formats[] = {N(D3DFMT_UNKNOWN), N(D3DFMT_A8R8G8B8), N(D3DFMT_X8R8G8B8), N(D3DFMT_D24S8)};
const Name pools[] = {N(D3DPOOL_DEFAULT), N(D3DPOOL_MANAGED), N(D3DPOOL_SYSTEMMEM)};
const Name culls[] = {N(D3DCULL_NONE), N(D3DCULL_CW), N(D3DCULL_CCW)};
const Name blends[] = {
    N(D3DBLEND_ZERO),      N(D3DBLEND_ONE),         N(D3DBLEND_SRCCOLOR),  N(D3DBLEND_INVSRCCOLOR),
    N(D3DBLEND_SRCALPHA),  N(D3DBLEND_INVSRCALPHA), N(D3DBLEND_DESTALPHA), N(D3DBLEND_INVDESTALPHA),
    N(D3DBLEND_DESTCOLOR), N(D3DBLEND_INVDESTCOLOR), N(D3DBLEND_SRCALPHASAT),
};
const Name blendOps[] = {N(D3DBLENDOP_ADD), N(D3DBLENDOP_SUBTRACT), N(D3DBLENDOP_REVSUBTRACT),
                         N(D3DBLENDOP_MIN), N(D3DBLENDOP_MAX)};
const Name compares[] = {N(D3DCMP_NEVER),   N(D3DCMP_LESS),     N(D3DCMP_EQUAL),
                         N(D3DCMP_LESSEQUAL), N(D3DCMP_GREATER), N(D3DCMP_NOTEQUAL),
                         N(D3DCMP_GREATEREQUAL), N(D3DCMP_ALWAYS)};
const Name fogModes[] = {N(D3DFOG_NONE), N(D3DFOG_EXP), N(D3DFOG_EXP2), N(D3DFOG_LINEAR)};
const Name zBuffers[] = {N(D3DZB_FALSE), N(D3DZB_TRUE)};
const Name textureOps[] = {N(D3DTOP_DISABLE), N(D3DTOP_SELECTARG1), N(D3DTOP_SELECTARG2),
                           N(D3DTOP_MODULATE), N(D3DTOP_MODULATE2X), N(D3DTOP_MODULATE4X),
                           N(D3DTOP_ADD)};
const Name textureArgs[] = {N(D3DTA_DIFFUSE), N(D3DTA_CURRENT), N(D3DTA_TEXTURE), N(D3DTA_TFACTOR)};
const Name filters[] = {N(D3DTEXF_NONE), N(D3DTEXF_POINT), N(D3DTEXF_LINEAR), N(D3DTEXF_ANISOTROPIC)};
const Name addresses[] = {N(D3DTADDRESS_WRAP), N(D3DTADDRESS_MIRROR), N(D3DTADDRESS_CLAMP),
                          N(D3DTADDRESS_BORDER)};

#undef N

std::string floatText(DWORD bits) {
    char text[32];
    std::snprintf(text, sizeof text, "%gf", static_cast<double>(d3dBitsFloat(bits)));
    return text;
}

std::string hexText(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string boolText(DWORD value) {
    return value == TRUE ? "TRUE" : value == FALSE ? "FALSE" : std::to_string(value);
}

std::string flagsText(DWORD value, const Name* flags, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if ((value & flags[i].value) == 0) continue;
        if (!text.empty()) text += " | ";
        text += flags[i].name;
        value &= ~flags[i].value;
    }
    if (value != 0 || text.empty()) {
        if (!text.empty()) text += " | ";
        text += hexText(value);
    }
    return text;
}

}  // namespace

const char* d3dRenderStateName(DWORD state) { return lookup(renderStates, state); }
const char* d3dStageStateName(DWORD type) { return lookup(stageStates, type); }
const char* d3dSamplerStateName(DWORD type) { return lookup(samplerStates, type); }
const char* d3dTransformName(DWORD state) { return lookup(transforms, state); }
const char* d3dPrimitiveName(DWORD type) { return lookup(primitives, type); }
const char* d3dFormatName(DWORD format) { return lookup(formats, format); }
const char* d3dPoolName(DWORD pool) { return lookup(pools, pool); }

std::string d3dNumberOr(const char* name, DWORD value) {
    return name != nullptr ? std::string(name) : std::to_string(value);
}

std::string d3dRenderStateValue(DWORD state, DWORD value) {
    switch (state) {
        case D3DRS_ZENABLE:          return d3dNumberOr(lookup(zBuffers, value), value);
        case D3DRS_CULLMODE:         return d3dNumberOr(lookup(culls, value), value);
        case D3DRS_SRCBLEND:
        case D3DRS_DESTBLEND:        return d3dNumberOr(lookup(blends, value), value);
        case D3DRS_BLENDOP:          return d3dNumberOr(lookup(blendOps, value), value);
        case D3DRS_ZFUNC:
        case D3DRS_ALPHAFUNC:        return d3dNumberOr(lookup(compares, value), value);
        case D3DRS_FOGTABLEMODE:
        case D3DRS_FOGVERTEXMODE:    return d3dNumberOr(lookup(fogModes, value), value);
        case D3DRS_FOGSTART:
        case D3DRS_FOGEND:
        case D3DRS_FOGDENSITY:
        case D3DRS_POINTSIZE:
        case D3DRS_POINTSIZE_MIN:
        case D3DRS_POINTSIZE_MAX:
        case D3DRS_POINTSCALE_A:
        case D3DRS_POINTSCALE_B:
        case D3DRS_POINTSCALE_C:     return floatText(value);
        case D3DRS_FOGCOLOR:
        case D3DRS_TEXTUREFACTOR:
        case D3DRS_AMBIENT:          return hexText(value);
        case D3DRS_ALPHAREF:
        case D3DRS_FILLMODE:
        case D3DRS_SHADEMODE:
        case D3DRS_DIFFUSEMATERIALSOURCE: return std::to_string(value);
    }
    return boolText(value);
}

std::string d3dStageStateValue(DWORD type, DWORD value) {
    switch (type) {
        case D3DTSS_COLOROP:
        case D3DTSS_ALPHAOP:   return d3dNumberOr(lookup(textureOps, value), value);
        case D3DTSS_COLORARG1:
        case D3DTSS_COLORARG2:
        case D3DTSS_ALPHAARG1:
        case D3DTSS_ALPHAARG2: return d3dNumberOr(lookup(textureArgs, value), value);
    }
    return std::to_string(value);
}

std::string d3dSamplerStateValue(DWORD type, DWORD value) {
    switch (type) {
        case D3DSAMP_MAGFILTER:
        case D3DSAMP_MINFILTER:
        case D3DSAMP_MIPFILTER: return d3dNumberOr(lookup(filters, value), value);
        case D3DSAMP_ADDRESSU:
        case D3DSAMP_ADDRESSV:
        case D3DSAMP_ADDRESSW:  return d3dNumberOr(lookup(addresses, value), value);
    }
    return hexText(value);
}

std::string d3dFvfText(DWORD fvf) {
    static const Name bits[] = {{D3DFVF_XYZ, "D3DFVF_XYZ"}, {D3DFVF_XYZRHW, "D3DFVF_XYZRHW"},
                                {D3DFVF_DIFFUSE, "D3DFVF_DIFFUSE"}, {D3DFVF_TEX1, "D3DFVF_TEX1"}};
    return flagsText(fvf, bits, 4);
}

std::string d3dClearFlagsText(DWORD flags) {
    static const Name bits[] = {{D3DCLEAR_TARGET, "D3DCLEAR_TARGET"},
                                {D3DCLEAR_ZBUFFER, "D3DCLEAR_ZBUFFER"},
                                {D3DCLEAR_STENCIL, "D3DCLEAR_STENCIL"}};
    return flagsText(flags, bits, 3);
}
