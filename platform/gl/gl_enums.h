// gl_enums.h: Direct3D's values as GL's (gl_enums.cpp), what the setters accept, and the lines a
// refused call prints.
#pragma once

#include "platform/gl/gl_api.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d9.h"

// ---- enum mappings (gl_enums.cpp): 0 or -1 for a value the show never uses ----

GLenum blendFactorToGl(DWORD d3dBlend);
GLenum blendOpToGl(DWORD d3dBlendOp);
GLenum compareToGl(DWORD d3dCmp);
GLenum filterToGl(DWORD d3dFilter);
GLenum addressToGl(DWORD d3dAddress);
int shaderTextureOp(DWORD d3dTextureOp);   // code the fragment shader switches on, -1 unknown
int shaderTextureArg(DWORD d3dTextureArg); // 0 diffuse, 1 texture, 2 factor, -1 unknown

// ---- value checks (gl_enums.cpp): what the setters accept, by the mappings above ----

bool validRenderStateValue(D3DRENDERSTATETYPE state, DWORD value);
bool validStageStateValue(D3DTEXTURESTAGESTATETYPE type, DWORD value);
bool validSamplerStateValue(D3DSAMPLERSTATETYPE type, DWORD value);
bool validFvf(DWORD fvf);

// ---- refused calls (gl_enums.cpp) ----

// What a refused call asked for; with the state (or stage, format, ...) it keys the report.
enum class Refused : uint8_t {
    RenderStateValue,   // state: the render state, value: its value
    StageStateValue,    // state: the stage state, value: its value
    SamplerStateValue,  // state: the sampler state, value: its value
    StageOtherThan0,    // state: the stage state, value: the stage
    SamplerOtherThan0,  // state: the sampler state, value: the sampler
    TextureOtherThan0,  // state: the stage
    Transform,          // state: the transform
    VertexFormat,       // state: the FVF
    TextureFormat,      // state: the format
    TextureUsage,       // state: the usage
};
// The line a refusal prints, naming the call's state and value as Direct3D does.
std::string refusalText(Refused kind, DWORD state, DWORD value);
// Reported refusals, each (kind, state) once: a show that refuses one state every frame says so
// once, and every other refused state still gets its own line.
struct RefusalLog {
    void report(Refused kind, DWORD state, DWORD value);  // the line on stderr, if new
    std::vector<std::pair<Refused, DWORD>> reported;
};
