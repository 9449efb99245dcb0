// gl_enums.cpp: Direct3D 9 values to GL enums and shader codes, one aligned switch each; a
// value the show never uses maps to 0 (or -1) and is refused by the state setter. Beside them
// the setters' value checks, which ask the same mappings, and the line a refused call prints.
//
// Sections: mappings | value checks | refused calls
#include <cstdio>

#include "platform/d3d9_names.h"
#include "platform/gl/gl_enums.h"

// ---- mappings ----

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

// ---- value checks ----

bool validRenderStateValue(D3DRENDERSTATETYPE state, DWORD value) {
    switch (state) {
        case D3DRS_ZENABLE:               return value <= D3DZB_TRUE;
        case D3DRS_FILLMODE:              return value == 3;  // solid
        case D3DRS_SHADEMODE:             return value == D3DSHADE_GOURAUD;
        case D3DRS_ALPHATESTENABLE:       return value == FALSE;
        case D3DRS_SRCBLEND:              return blendFactorToGl(value) != 0;
        case D3DRS_DESTBLEND:             return blendFactorToGl(value) != 0;
        case D3DRS_CULLMODE:              return value >= D3DCULL_NONE && value <= D3DCULL_CCW;
        case D3DRS_ZFUNC:                 return compareToGl(value) != 0;
        case D3DRS_FOGTABLEMODE:          return value == D3DFOG_NONE;
        case D3DRS_FOGVERTEXMODE:         return value <= D3DFOG_LINEAR;
        case D3DRS_DIFFUSEMATERIALSOURCE: return value <= D3DMCS_COLOR2;
        case D3DRS_BLENDOP:               return blendOpToGl(value) != 0;
        default:                          return true;
    }
}

bool validStageStateValue(D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    switch (type) {
        case D3DTSS_COLOROP:              return shaderTextureOp(value) >= 0;
        case D3DTSS_ALPHAOP:              return shaderTextureOp(value) >= 0;
        case D3DTSS_COLORARG1:            return shaderTextureArg(value) >= 0;
        case D3DTSS_COLORARG2:            return shaderTextureArg(value) >= 0;
        case D3DTSS_ALPHAARG1:            return shaderTextureArg(value) >= 0;
        case D3DTSS_ALPHAARG2:            return shaderTextureArg(value) >= 0;
        case D3DTSS_TEXCOORDINDEX:        return value == 0;
        case D3DTSS_TEXTURETRANSFORMFLAGS: return value == 0;
    }
    return false;
}

bool validSamplerStateValue(D3DSAMPLERSTATETYPE type, DWORD value) {
    switch (type) {
        case D3DSAMP_ADDRESSU:    return addressToGl(value) != 0;
        case D3DSAMP_ADDRESSV:    return addressToGl(value) != 0;
        case D3DSAMP_ADDRESSW:    return addressToGl(value) != 0;
        case D3DSAMP_BORDERCOLOR: return true;
        case D3DSAMP_MAGFILTER:   return filterToGl(value) != 0;
        case D3DSAMP_MINFILTER:   return filterToGl(value) != 0;
        case D3DSAMP_MIPFILTER:   return value == D3DTEXF_NONE;
    }
    return false;
}

bool validFvf(DWORD fvf) {
    const DWORD position = fvf & (D3DFVF_XYZ | D3DFVF_XYZRHW);
    const bool onePosition = position == D3DFVF_XYZ || position == D3DFVF_XYZRHW;
    return onePosition && (fvf & ~(D3DFVF_XYZ | D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1)) == 0;
}

// ---- refused calls ----

std::string refusalText(Refused kind, DWORD state, DWORD value) {
    std::string call;
    switch (kind) {
        case Refused::RenderStateValue:
            call = "SetRenderState(" + d3dNumberOr(d3dRenderStateName(state), state) + ", " +
                   d3dRenderStateValue(state, value) + ")";
            break;
        case Refused::StageStateValue:
            call = "SetTextureStageState(0, " + d3dNumberOr(d3dStageStateName(state), state) + ", " +
                   d3dStageStateValue(state, value) + ")";
            break;
        case Refused::SamplerStateValue:
            call = "SetSamplerState(0, " + d3dNumberOr(d3dSamplerStateName(state), state) + ", " +
                   d3dSamplerStateValue(state, value) + ")";
            break;
        case Refused::StageOtherThan0:
            call = "SetTextureStageState(" + std::to_string(value) + ", " +
                   d3dNumberOr(d3dStageStateName(state), state) + ", ...) (stage 0 only)";
            break;
        case Refused::SamplerOtherThan0:
            call = "SetSamplerState(" + std::to_string(value) + ", " + d3dNumberOr(d3dSamplerStateName(state), state) +
                   ", ...) (sampler 0 only)";
            break;
        case Refused::TextureOtherThan0:
            call = "SetTexture(" + std::to_string(state) + ", ...) (stage 0 only)";
            break;
        case Refused::Transform:
            call = "SetTransform(" + d3dNumberOr(d3dTransformName(state), state) +
                   ", ...) (world, view and projection only)";
            break;
        case Refused::VertexFormat:
            call = "SetFVF(" + d3dFvfText(state) + ")";
            break;
        case Refused::TextureFormat:
            call = "CreateTexture with format " + d3dNumberOr(d3dFormatName(state), state) +
                   " (D3DFMT_A8R8G8B8 and D3DFMT_X8R8G8B8 only)";
            break;
        case Refused::TextureUsage:
            call = "CreateTexture with usage " + std::to_string(state) + " (0 and D3DUSAGE_RENDERTARGET only)";
            break;
    }
    return "the OpenGL device cannot reproduce " + call + "; the call is refused";
}

void RefusalLog::report(Refused kind, DWORD state, DWORD value) {
    // Bounded, for a caller that refuses a new state every frame: past the bound, one last line.
    constexpr size_t most = 256;
    for (const auto& key : reported)
        if (key.first == kind && key.second == state) return;
    if (reported.size() == most) return;
    reported.emplace_back(kind, state);
    if (reported.size() == most) {
        std::fprintf(stderr, "quorbel: the OpenGL device refused %zu different calls; it reports no more\n", most);
        return;
    }
    std::fprintf(stderr, "quorbel: %s\n", refusalText(kind, state, value).c_str());
}
