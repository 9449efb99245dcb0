// d3d9_names.h: Direct3D 9 names of states and values, for traces and error messages.
#pragma once

#include <string>

#include "platform/d3d9.h"

const char* d3dRenderStateName(DWORD state);        // "D3DRS_CULLMODE", or nullptr
const char* d3dStageStateName(DWORD type);          // "D3DTSS_ALPHAARG1", or nullptr
const char* d3dSamplerStateName(DWORD type);        // "D3DSAMP_MINFILTER", or nullptr
const char* d3dTransformName(DWORD state);          // "D3DTS_VIEW", or nullptr
const char* d3dPrimitiveName(DWORD type);           // "D3DPT_LINELIST", or nullptr
const char* d3dFormatName(DWORD format);            // "D3DFMT_X8R8G8B8", or nullptr
const char* d3dPoolName(DWORD pool);                // "D3DPOOL_MANAGED", or nullptr

// A state's value written as Direct3D names it: D3DCULL_NONE, TRUE, 500.0f, 0xFF000000 ...
std::string d3dRenderStateValue(DWORD state, DWORD value);
std::string d3dStageStateValue(DWORD type, DWORD value);
std::string d3dSamplerStateValue(DWORD type, DWORD value);
std::string d3dFvfText(DWORD fvf);                  // "D3DFVF_XYZ | D3DFVF_DIFFUSE"
std::string d3dClearFlagsText(DWORD flags);         // "D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER"
std::string d3dNumberOr(const char* name, DWORD value);  // the name, or the number if none
