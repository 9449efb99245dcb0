// gl_shaders.h: the device's programs (gl_shaders.cpp): the three general ones and the source of
// one specialised to a stage state.
#pragma once

#include "platform/gl/gl_api.h"

#include <cstdint>
#include <string>

// ProgramTargets samples a layer of an array of render targets, the vertex's.
enum ShaderProgramKind { ProgramUntextured, ProgramTextured, ProgramTargets, ProgramCount };

// Source of one stage of a program, with the prologue for GLSL 3.30 core or GLSL ES 3.00.
std::string deviceShaderSource(ShaderProgramKind kind, bool fragment, bool es);
// Compiles and links with the prologue of the GL built against; 0 and one line in error on failure.
GLuint buildDeviceProgram(ShaderProgramKind kind, char* error, int errorSize);

// What a specialised program is compiled for: stage 0's codes (as the general program's uniforms
// take them), the texture's kind and whether fog is on. A software renderer runs the whole
// fragment shader for every pixel, so the general program's branches on uniforms cost every pixel.
struct ProgramState {
    uint8_t kind;  // ShaderProgramKind
    uint8_t stageActive;
    int8_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
    uint8_t swapRedBlue;
    uint8_t fog;
    bool operator==(const ProgramState&) const = default;
    bool reads(int argument) const;  // the stage reads that argument (1 texture, 2 factor)
};
struct DrawKey;
ProgramState programStateOf(const DrawKey& key);
// The fragment shader that computes what the general program does for that state, and nothing else.
std::string specialisedFragmentSource(const ProgramState& state, bool es);
GLuint buildSpecialisedProgram(const ProgramState& state, char* error, int errorSize);
