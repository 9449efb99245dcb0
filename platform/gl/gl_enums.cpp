// gl_enums.cpp: Direct3D 9 values to GL enums and shader codes, one aligned switch each; a
// value the show never uses maps to 0 (or -1) and is refused by the state setter.
#include <cstdio>

#include "platform/d3d9_names.h"
#include "platform/gl/gl_internal.h"

GLenum blendFactorToGl(DWORD d3dBlend) {
    switch (d3dBlend) {
        case D3DBLEND_ZERO:         return GL_ZERO;
        case D3DBLEND_ONE:          return GL_ONE;
        case D3DBLEND_SRCCOLOR:     return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR:  return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA:     return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA:  return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA:    return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR:    return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT:  return GL_SRC_ALPHA_SATURATE;
    }
    return 0;
}

GLenum blendOpToGl(DWORD d3dBlendOp) {
    switch (d3dBlendOp) {
        case D3DBLENDOP_ADD:         return GL_FUNC_ADD;
        case D3DBLENDOP_SUBTRACT:    return GL_FUNC_SUBTRACT;
        case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case D3DBLENDOP_MIN:         return GL_MIN;
        case D3DBLENDOP_MAX:         return GL_MAX;
    }
    return 0;
}

GLenum compareToGl(DWORD d3dCmp) {
    switch (d3dCmp) {
        case D3DCMP_NEVER:        return GL_NEVER;
        case D3DCMP_LESS:         return GL_LESS;
        case D3DCMP_EQUAL:        return GL_EQUAL;
        case D3DCMP_LESSEQUAL:    return GL_LEQUAL;
        case D3DCMP_GREATER:      return GL_GREATER;
        case D3DCMP_NOTEQUAL:     return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
        case D3DCMP_ALWAYS:       return GL_ALWAYS;
    }
    return 0;
}

// Mip filtering is always off (only level 0 is ever filled), so POINT and LINEAR suffice.
GLenum filterToGl(DWORD d3dFilter) {
    switch (d3dFilter) {
        case D3DTEXF_POINT:  return GL_NEAREST;
        case D3DTEXF_LINEAR: return GL_LINEAR;
    }
    return 0;
}

GLenum addressToGl(DWORD d3dAddress) {
    switch (d3dAddress) {
        case D3DTADDRESS_WRAP:   return GL_REPEAT;
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP:  return GL_CLAMP_TO_EDGE;
    }
    return 0;
}

// Codes of the fragment shader's stage function.
int shaderTextureOp(DWORD d3dTextureOp) {
    switch (d3dTextureOp) {
        case D3DTOP_DISABLE:    return 0;
        case D3DTOP_SELECTARG1: return 1;
        case D3DTOP_SELECTARG2: return 2;
        case D3DTOP_MODULATE:   return 3;
        case D3DTOP_MODULATE2X: return 4;
        case D3DTOP_MODULATE4X: return 5;
        case D3DTOP_ADD:        return 6;
    }
    return -1;
}

// At stage 0, CURRENT is the diffuse colour.
int shaderTextureArg(DWORD d3dTextureArg) {
    switch (d3dTextureArg) {
        case D3DTA_DIFFUSE: return 0;
        case D3DTA_CURRENT: return 0;
        case D3DTA_TEXTURE: return 1;
        case D3DTA_TFACTOR: return 2;
    }
    return -1;
}

void reportUnsupported(const char* what, DWORD value) {
    static const char* reported[64];
    static int reportedCount = 0;
    for (int i = 0; i < reportedCount; ++i)
        if (reported[i] == what) return;
    if (reportedCount < 64) reported[reportedCount++] = what;
    std::fprintf(stderr, "quorbel: the OpenGL device cannot reproduce %s = %u; the call is refused\n",
                 what, static_cast<unsigned>(value));
}
