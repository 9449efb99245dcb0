// gl_workarounds.cpp: what Mesa's software renderer (llvmpipe), the one every capture, test and
// headless run draws with, needs of the device to be fast: the heap kept from shrinking after each
// draw, and every shader variant the show meets compiled at creation. Both are harmless elsewhere.
#include <algorithm>
#include <cstring>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "platform/gl/gl_internal.h"

void GLDeviceImpl::tuneHeapForRenderer() {
#ifdef __GLIBC__
    // Mesa's software renderer allocates its vertices' storage, tens of kilobytes, on every draw
    // and frees it after: glibc handed the top of the heap back each time, and every draw paid
    // the page faults of taking it again.
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (renderer && std::strstr(renderer, "llvmpipe")) {
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
    }
#endif
}

namespace {

struct WarmUpBlend {
    bool on;
    DWORD source, dest;
};

// The stage states the show draws with, each a program of its own: stage 0 off without a
// texture, or the texture modulating the diffuse colour, the alpha selected from one argument;
// the show's own textures hold swapped bytes, render targets do not. Read from the programs a
// run of the whole show builds; a state missing here is built on its first draw.
struct WarmUpStage {
    ShaderProgramKind kind;
    DWORD alphaArg;
    bool fog;
};
const WarmUpStage showStages[] = {
    {ProgramUntextured, 0, false},             // stage off
    {ProgramTextured, D3DTA_TEXTURE, false},   // stickers, text
    {ProgramTextured, D3DTA_TEXTURE, true},
    {ProgramTextured, D3DTA_DIFFUSE, false},
    {ProgramTextured, D3DTA_DIFFUSE, true},
    {ProgramTargets, D3DTA_DIFFUSE, false},    // faces
    {ProgramTargets, D3DTA_DIFFUSE, true},
    {ProgramTargets, D3DTA_TEXTURE, true},
    {ProgramTargets, D3DTA_TFACTOR, false},
};

void setWarmUpStage(DrawKey& key, const WarmUpStage& stage) {
    key.fogEnabled = stage.fog;
    if (stage.kind == ProgramUntextured) return;
    key.stageActive = 1;
    key.colorOp = static_cast<int8_t>(shaderTextureOp(D3DTOP_MODULATE));
    key.colorArg1 = static_cast<int8_t>(shaderTextureArg(D3DTA_TEXTURE));
    key.colorArg2 = static_cast<int8_t>(shaderTextureArg(D3DTA_DIFFUSE));
    key.alphaOp = static_cast<int8_t>(shaderTextureOp(D3DTOP_SELECTARG1));
    key.alphaArg1 = static_cast<int8_t>(shaderTextureArg(stage.alphaArg));
    key.alphaArg2 = key.colorArg2;
    key.swapRedBlue = stage.kind == ProgramTextured;
}

// One combination of the show's: target, blending, depth (off, on and written, on and kept),
// texture (none, or the one given) and primitive class, drawn with one of the show's stage states.
DrawKey warmUpKey(GLuint framebuffer, const WarmUpBlend& blend, int depthMode, GLuint texture, bool targetLayers,
                  int primitive, const WarmUpStage& stage) {
    DrawKey key;
    std::memset(&key, 0, sizeof key);
    key.framebuffer = framebuffer;
    key.viewportWidth = key.viewportHeight = 4;
    key.primitiveClass = static_cast<uint8_t>(primitive);
    key.cullMode = static_cast<uint8_t>(primitive == ClassLines ? D3DCULL_NONE : D3DCULL_CCW);
    key.blendEnabled = blend.on;
    if (blend.on) {
        key.blendSource = blendFactorToGl(blend.source);
        key.blendDest = blendFactorToGl(blend.dest);
        key.blendEquation = GL_FUNC_ADD;
    }
    key.depthEnabled = depthMode != 0;
    if (key.depthEnabled) {
        key.depthWrite = depthMode == 1;
        key.depthFunc = compareToGl(D3DCMP_LESSEQUAL);
    }
    setWarmUpStage(key, stage);
    if (texture) {
        key.texture = texture;
        key.targetLayers = targetLayers;
        key.magFilter = key.minFilter = GL_LINEAR;  // the show's only filter
        key.addressU = key.addressV = GL_REPEAT;
    }
    return key;
}

}  // namespace

// Mesa's software renderer compiles a shader variant the first time a draw meets a new
// combination of program, blending, depth, target format and texture format, which cost the
// show's first frames of each scene tens of milliseconds. Drawing every combination the show
// uses once, into a throw-away 4 x 4 target with its own depth buffer, pays for them here
// instead, and builds the show's specialised programs with them.
void GLDeviceImpl::warmUp() {
    const GLDeviceStats counted = counters;
    warmingUp = true;
    GLuint depth = 0;
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, 4, 4);
    const GLenum formats[2] = {GL_RGBA8, GL_RGB8};  // A8R8G8B8 and X8R8G8B8
    GLuint targets[2] = {}, framebuffers[2] = {}, textures[3] = {};
    TargetArray faces;  // the show samples X8R8G8B8 targets
    faces.width = faces.height = 4;
    faces.internalFormat = GL_RGB8;
    glGenTextures(1, &faces.texture);
    sizeTargetArray(faces);
    textures[2] = faces.texture;
    for (int i = 0; i < 2; ++i) {
        textures[i] = makeTargetTexture(4, 4, formats[i]);
        targets[i] = makeTargetTexture(4, 4, formats[i]);
        glGenFramebuffers(1, &framebuffers[i]);
        bindFramebuffer(framebuffers[i]);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, targets[i], 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    }
    BatchVertex corners[4] = {};
    for (int i = 0; i < 4; ++i) {
        corners[i].x = (i & 1) ? 1.0f : -1.0f;
        corners[i].y = (i & 2) ? 1.0f : -1.0f;
        corners[i].w = 1.0f;
        corners[i].fog = 1.0f;
    }
    const WarmUpBlend blends[3] = {{false, 0, 0}, {true, D3DBLEND_ONE, D3DBLEND_ONE},
                                   {true, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}};
    auto draw = [&](const DrawKey& key) {
        batchKey = key;
        batchOpen = true;
        batchSize = key.primitiveClass == ClassSprites ? 4 : key.primitiveClass == ClassLines ? 2 : 3;
        std::copy(corners, corners + batchSize, batch.begin());
        flush();
    };
    // None, A8R8G8B8, X8R8G8B8, targets: the program each is drawn with.
    const ShaderProgramKind textureKinds[4] = {ProgramUntextured, ProgramTextured, ProgramTextured, ProgramTargets};
    for (int target = 0; target < 2; ++target)
        for (const WarmUpBlend& blend : blends)
            for (int depthMode = 0; depthMode < 3; ++depthMode)
                for (int texture = 0; texture < 4; ++texture)
                    for (int primitive = 0; primitive < 3; ++primitive)
                        for (const WarmUpStage& stage : showStages)
                            if (stage.kind == textureKinds[texture])
                                draw(warmUpKey(framebuffers[target], blend, depthMode,
                                               texture ? textures[texture - 1] : 0, texture == 3, primitive, stage));
    warmUpSharedDepth(framebuffers[0], framebuffers[1]);
    bindFramebuffer(backBuffer.framebuffer);
    setViewportAndScissor(glBackBufferWidth, glBackBufferHeight);
    bindTexture(0);
    bindTexture(0, true);
    for (int i = 0; i < 2; ++i) {
        glDeleteFramebuffers(1, &framebuffers[i]);
        glDeleteTextures(1, &targets[i]);
    }
    glDeleteTextures(3, textures);
    glDeleteRenderbuffers(1, &depth);
    counters = counted;
    warmingUp = false;
}

// The shared depth's two other operations: a copy between depth buffers of two targets, and a
// clear of part of one, each a draw of the renderer's own. The second target gets a depth
// buffer of its own for it.
void GLDeviceImpl::warmUpSharedDepth(GLuint framebuffer, GLuint otherFramebuffer) {
    GLuint otherDepth = 0;
    glGenRenderbuffers(1, &otherDepth);
    glBindRenderbuffer(GL_RENDERBUFFER, otherDepth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, 4, 4);
    bindFramebuffer(otherFramebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, otherDepth);
    copyDepth(framebuffer, otherFramebuffer, 4, 4);
    bindFramebuffer(framebuffer);
    setScissor(0, 0, 2, 2);
    setDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDeleteRenderbuffers(1, &otherDepth);
}
