// gl_batch.h: what a batch hands GL: its vertex, already in final clip space, and the key of
// everything GL must be told before it draws.
#pragma once

#include "platform/gl/gl_api.h"

#include <array>
#include <cstdint>

#include "platform/gl/gl_shaders.h"

struct BatchVertex {
    float x, y, z, w;   // clip position after the pixel offset, the y flip and the depth fix-up
    uint8_t rgba[4];    // colour after the lighting rule, bytes R, G, B, A
    float u, v;
    float fog;          // fog factor: 1 no fog, 0 all fog colour
    float layer;        // the texture's layer when it is a render target's array
};
static_assert(sizeof(BatchVertex) == 36);

// Sprites are four corners each, drawn through the shared index buffer; they batch apart from
// triangles so that every sprite batch starts on a multiple of four vertices.
enum PrimitiveClass : uint8_t { ClassTriangles, ClassLines, ClassSprites };

// Everything GL must be told before a batch draws; two draws with equal keys share a batch.
struct DrawKey {
    GLuint framebuffer;
    int viewportWidth, viewportHeight;  // in the target's pixels
    GLuint texture;           // 0: none
    uint8_t primitiveClass;
    uint8_t blendEnabled;
    uint8_t depthEnabled;
    uint8_t depthWrite;
    uint8_t cullMode;         // D3DCULL_*, D3DCULL_NONE for lines
    uint8_t stageActive;
    int8_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
    uint8_t swapRedBlue;      // the texture holds Direct3D's B, G, R, A bytes as uploaded
    uint8_t targetLayers;     // the texture is an array of render targets: each vertex names its layer
    GLenum blendSource, blendDest, blendEquation, depthFunc;
    GLenum magFilter, minFilter, addressU, addressV;
    uint32_t textureFactor;
    uint32_t fogColor;
    uint8_t fogEnabled;       // the vertices may carry fog: its colour is mixed in
};

bool operator==(const DrawKey& a, const DrawKey& b);

// What a batch's key makes of GL, decided once for the cache and its check alike: the program,
// the stage codes its uniforms take (colour op and arguments, stage on, alpha op and arguments,
// red and blue swapped), and the front face.
ShaderProgramKind programKindOf(const DrawKey& key);
std::array<int, 8> stageCodesOf(const DrawKey& key);
GLenum frontFaceOf(uint8_t cullMode);
