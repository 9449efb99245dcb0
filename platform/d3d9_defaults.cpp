// d3d9_defaults.cpp: Direct3D 9's documented device defaults. Several differ from GL's
// (depth test on, culling on, lighting on, point filtering), and the show relies on them.
#include "platform/d3d9_defaults.h"

void d3dDefaultRenderStates(DWORD (&states)[256]) {
    for (DWORD& state : states) state = 0;
    states[D3DRS_ZENABLE] = D3DZB_TRUE;  // on because of the automatic depth buffer
    states[D3DRS_FILLMODE] = 3;          // solid
    states[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    states[D3DRS_ZWRITEENABLE] = TRUE;
    states[D3DRS_LASTPIXEL] = TRUE;
    states[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    states[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    states[D3DRS_CULLMODE] = D3DCULL_CCW;
    states[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    states[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    states[D3DRS_FOGSTART] = d3dFloatBits(0.0f);
    states[D3DRS_FOGEND] = d3dFloatBits(1.0f);
    states[D3DRS_FOGDENSITY] = d3dFloatBits(1.0f);
    states[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    states[D3DRS_CLIPPING] = TRUE;
    states[D3DRS_LIGHTING] = TRUE;
    states[D3DRS_COLORVERTEX] = TRUE;
    states[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    states[D3DRS_POINTSIZE] = d3dFloatBits(1.0f);
    states[D3DRS_POINTSIZE_MIN] = d3dFloatBits(1.0f);
    states[D3DRS_POINTSCALE_A] = d3dFloatBits(1.0f);
    states[D3DRS_POINTSCALE_B] = d3dFloatBits(0.0f);
    states[D3DRS_POINTSCALE_C] = d3dFloatBits(0.0f);
    states[D3DRS_POINTSIZE_MAX] = d3dFloatBits(d3dMaxPointSize);
    states[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
}

void d3dDefaultStageStates(DWORD (&states)[32]) {
    for (DWORD& state : states) state = 0;
    states[D3DTSS_COLOROP] = D3DTOP_MODULATE;
    states[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    states[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    states[D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
    states[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    states[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    states[D3DTSS_TEXCOORDINDEX] = 0;
}

void d3dDefaultSamplerStates(DWORD (&states)[16]) {
    for (DWORD& state : states) state = 0;
    states[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
    states[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
    states[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    states[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
    states[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    states[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
}
