// gl_device.cpp: the OpenGL device's life, its Direct3D state setters, textures and surfaces,
// render targets, Clear, Present and read-back. Drawing and batching are in gl_draw.cpp, the GL
// state cache in gl_cache.cpp, what the setters accept in gl_enums.cpp, and what one renderer
// needs (heap, warm-up) in gl_workarounds.cpp.
//
// Sections: creation | reference counts | scene and present | state setters | textures |
// render targets and clear | read-back
#ifdef __EMSCRIPTEN__
#include <emscripten/html5.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "platform/d3d9_defaults.h"
#include "platform/gl/gl_internal.h"

namespace {

// Mesa's software renderer resets per-vertex state over the whole draw each time its own
// vertex buffer fills while clipping, so its cost grows with the square of a draw's size:
// short batches measured cheapest (512 vertices: half the CPU of 48K in the cube scenes; for
// sprites of four corners too, against 768 and 1024).
constexpr size_t batchCapacity = 512;  // vertices; a full batch is flushed and restarted

bool fail(char* error, int errorSize, const char* what) {
    if (error && errorSize > 0) std::snprintf(error, static_cast<size_t>(errorSize), "%s", what);
    return false;
}

void setIdentity(D3DMATRIX& m) {
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
}

#ifdef __EMSCRIPTEN__
bool contextIsCurrent() { return emscripten_webgl_get_current_context() != 0; }

// WebGL2 is GLES 3.0: "OpenGL ES 3.0 (WebGL 2.0 ...)".
bool versionServes(const char* version) { return std::strncmp(version, "OpenGL ES 3", 11) == 0; }
#else
// libepoxy aborts the process on the first GL call without a current context, so ask the two
// window-system libraries the process may have loaded (EGL, GLX) before calling GL at all.
bool contextIsCurrent() {
    using CurrentContext = void* (*)();
    for (const char* name : {"eglGetCurrentContext", "glXGetCurrentContext"}) {
        auto current = reinterpret_cast<CurrentContext>(dlsym(RTLD_DEFAULT, name));
        if (current && current()) return true;
    }
    return false;
}

bool versionServes(const char*) { return epoxy_is_desktop_gl() && epoxy_gl_version() >= 33; }
#endif

bool boundFramebufferComplete() { return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE; }

}  // namespace

// ---- creation ----

GLDeviceImpl::GLDeviceImpl() {
    d3dDefaultRenderStates(renderStates);
    d3dDefaultStageStates(stageStates);
    d3dDefaultSamplerStates(samplerStates);
    setIdentity(world);
    setIdentity(view);
    setIdentity(projection);
    backBuffer.device = this;
    backBuffer.width = backBuffer.pixelWidth = glBackBufferWidth;
    backBuffer.height = backBuffer.pixelHeight = glBackBufferHeight;
    renderTarget = &backBuffer;
}

bool GLDeviceImpl::create(char* error, int errorSize) {
    if (!contextIsCurrent()) return fail(error, errorSize, "no OpenGL context is current");
    hasContext = true;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version) return fail(error, errorSize, "no OpenGL context is current");
    if (!versionServes(version)) {
        char line[160];
        std::snprintf(line, sizeof line, "%s is needed, the context offers %s",
                      glShadersForEs ? "WebGL 2 (OpenGL ES 3.0)" : "OpenGL 3.3 core", version);
        return fail(error, errorSize, line);
    }
    tuneHeapForRenderer();
    readCacheSwitches();
    if (!makeObjects(error, errorSize)) return false;
    batch.resize(batchCapacity);
    warmUp();
    if (glGetError() != GL_NO_ERROR) return fail(error, errorSize, "OpenGL reported an error while the device was set up");
    return true;
}

// The programs, the back buffer, the buffers and the sampler, and GL's state as the cache
// starts it; the back buffer at its pixel size, cleared.
bool GLDeviceImpl::makeObjects(char* error, int errorSize) {
    if (!makePrograms(error, errorSize)) return false;
    backBuffer.colorTexture = makeTargetTexture(backBuffer.pixelWidth, backBuffer.pixelHeight, GL_RGBA8);
    backBuffer.framebuffer = makeFramebuffer(backBuffer);
    if (!boundFramebufferComplete())
        return fail(error, errorSize, "the back buffer's framebuffer is incomplete");
    makeVertexBuffers();
    glGenSamplers(1, &sampler);
    glBindSampler(0, sampler);
    glActiveTexture(GL_TEXTURE0);
    startGlState();
    return true;
}

bool GLDeviceImpl::makePrograms(char* error, int errorSize) {
    for (int kind = 0; kind < ProgramCount; ++kind) {
        programs[kind] = buildDeviceProgram(static_cast<ShaderProgramKind>(kind), error, errorSize);
        if (!programs[kind]) return false;
        uniformFactor[kind] = glGetUniformLocation(programs[kind], "uFactor");
        uniformFogColor[kind] = glGetUniformLocation(programs[kind], "uFogColor");
        uniformColorStage[kind] = glGetUniformLocation(programs[kind], "uColorStage");
        uniformAlphaStage[kind] = glGetUniformLocation(programs[kind], "uAlphaStage");
        uniformTexture[kind] = glGetUniformLocation(programs[kind], "uTexture");
        uniformSwapRedBlue[kind] = glGetUniformLocation(programs[kind], "uSwapRedBlue");
        glUseProgram(programs[kind]);
        if (uniformTexture[kind] >= 0) glUniform1i(uniformTexture[kind], 0);
    }
    glUseProgram(0);
    return true;
}

namespace {

// Sprite i's corners (top-left, top-right, bottom-left, bottom-right on screen) as two
// triangles, first wound clockwise on screen, then, after all of those, counter-clockwise.
std::vector<uint16_t> spriteIndices(size_t sprites) {
    std::vector<uint16_t> indices(sprites * 12);
    static const uint16_t clockwise[6] = {0, 1, 2, 1, 3, 2};
    static const uint16_t counterClockwise[6] = {0, 2, 1, 1, 2, 3};
    for (size_t i = 0; i < sprites; ++i)
        for (int j = 0; j < 6; ++j) {
            indices[i * 6 + size_t(j)] = static_cast<uint16_t>(4 * i + clockwise[j]);
            indices[(sprites + i) * 6 + size_t(j)] = static_cast<uint16_t>(4 * i + counterClockwise[j]);
        }
    return indices;
}

}  // namespace

void GLDeviceImpl::makeVertexBuffers() {
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(glStreamVertices * sizeof(BatchVertex)), nullptr,
                 GL_STREAM_DRAW);
    const std::vector<uint16_t> indices = spriteIndices(glStreamVertices / 4);
    glGenBuffers(1, &indexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);  // kept by the vertex array
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(uint16_t)),
                 indices.data(), GL_STATIC_DRAW);
    const struct {
        GLint size;
        GLenum type;
        GLboolean normalised;
        size_t offset;
    } attributes[] = {
        {4, GL_FLOAT, GL_FALSE, offsetof(BatchVertex, x)},
        {4, GL_UNSIGNED_BYTE, GL_TRUE, offsetof(BatchVertex, rgba)},
        {2, GL_FLOAT, GL_FALSE, offsetof(BatchVertex, u)},
        {1, GL_FLOAT, GL_FALSE, offsetof(BatchVertex, fog)},
        {1, GL_FLOAT, GL_FALSE, offsetof(BatchVertex, layer)},
    };
    for (GLuint i = 0; i < std::size(attributes); ++i) {
        glEnableVertexAttribArray(i);
        glVertexAttribPointer(i, attributes[i].size, attributes[i].type, attributes[i].normalised,
                              sizeof(BatchVertex), reinterpret_cast<void*>(attributes[i].offset));
    }
}

// GL's defaults differ from Direct3D's; make GL match the cache, and the cache starts from GL's
// values so the first batch sets the rest from Direct3D's defaults. The back buffer and the depth
// buffer start cleared, not with whatever memory held.
void GLDeviceImpl::startGlState() {
    glDisable(GL_DITHER);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glBlendFunc(GL_ONE, GL_ZERO);
    glBlendEquation(GL_FUNC_ADD);
    glDepthFunc(GL_LESS);
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    cache = {};
    cache.framebuffer = cache.readFramebuffer = backBuffer.framebuffer;
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepthf(1.0f);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    setViewportAndScissor(backBuffer.pixelWidth, backBuffer.pixelHeight);
}

GLDeviceImpl::~GLDeviceImpl() {
    if (!hasContext) return;  // creation stopped before any GL object existed
    if (texture0) texture0->Release();
    texture0 = nullptr;
    if (renderTarget && renderTarget->container) renderTarget->container->Release();
    renderTarget = &backBuffer;
    for (GLTextureImpl* texture : liveTextures) {
        glDeleteFramebuffers(1, &texture->surface.framebuffer);
        if (!texture->targets) glDeleteTextures(1, &texture->texture);
        texture->targets = nullptr;
        texture->surface.framebuffer = 0;
        texture->texture = 0;
        texture->device = nullptr;
    }
    glDeleteFramebuffers(1, &backBuffer.framebuffer);
    glDeleteTextures(1, &backBuffer.colorTexture);
    deleteTargetArrays();
    deleteDepthBuffers();
    glDeleteBuffers(1, &vertexBuffer);
    glDeleteBuffers(1, &indexBuffer);
    glDeleteVertexArrays(1, &vertexArray);
    glDeleteSamplers(1, &sampler);
    if (pixelQuery != 0) glDeleteQueries(1, &pixelQuery);
    for (GLuint program : programs) glDeleteProgram(program);
    deleteSpecialisedPrograms();
    bindFramebuffer(0);
}

// A colour texture of level 0 only, left bound.
GLuint GLDeviceImpl::makeTargetTexture(int width, int height, GLenum internalFormat) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    bindTexture(texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    const GLenum format = internalFormat == GL_RGB8 ? GL_RGB : GL_RGBA;
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0, format,
                 GL_UNSIGNED_BYTE, nullptr);
    return texture;
}

// Nominal pixels at the device's scale (the back buffer's pixels over its nominal size),
// rounded to the nearest pixel; the identity at scale 1.
int GLDeviceImpl::scaled(int nominal, int pixels, int nominalTotal) const {
    return static_cast<int>((int64_t(nominal) * pixels * 2 + nominalTotal) / (int64_t(nominalTotal) * 2));
}

void GLDeviceImpl::scalePixelSize(GLSurfaceImpl& surface) const {
    surface.pixelWidth = std::max(1, scaled(surface.width, backBuffer.pixelWidth, glBackBufferWidth));
    surface.pixelHeight = std::max(1, scaled(surface.height, backBuffer.pixelHeight, glBackBufferHeight));
}

// The back buffer's storage at its actual size, left bound.
void GLDeviceImpl::sizeBackBuffer() {
    bindTexture(backBuffer.colorTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, backBuffer.pixelWidth, backBuffer.pixelHeight, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
}

int GLDeviceImpl::largestResolution() const {
    if (!hasContext) return 0;
    GLint largestTexture = 0, largestRenderbuffer = 0, largestViewport[2] = {};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largestTexture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largestRenderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largestViewport);
    return std::min({largestTexture, largestRenderbuffer, largestViewport[0], largestViewport[1]});
}

bool GLDeviceImpl::setResolution(int width, int height) {
    if (!hasContext || width <= 0 || height <= 0) return false;
    const int largest = largestResolution();
    if (width > largest || height > largest) return false;
    if (width == backBuffer.pixelWidth && height == backBuffer.pixelHeight) return true;
    flush();
    backBuffer.pixelWidth = width;
    backBuffer.pixelHeight = height;
    sizeBackBuffer();
    for (TargetArray* array : targetArrays) sizeTargetArray(*array);
    for (GLTextureImpl* texture : liveTextures)
        if (texture->surface.framebuffer != 0) scalePixelSize(texture->surface);
    bindTexture(0);
    bindTexture(0, true);
    // Depth buffers of the new sizes in every framebuffer.
    deleteDepthBuffers();
    auto attachDepth = [this](const GLSurfaceImpl& surface) {
        const GLuint depth = depthBufferFor(surface.pixelWidth, surface.pixelHeight);
        bindFramebuffer(surface.framebuffer);
        attachColor(surface);  // the layer's storage is new
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    };
    attachDepth(backBuffer);
    for (GLTextureImpl* texture : liveTextures)
        if (texture->surface.framebuffer != 0) attachDepth(texture->surface);
    // New storage holds nothing defined: start from black and the far depth, as at creation.
    setEnabled(GL_SCISSOR_TEST, cache.scissor, false);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepthf(1.0f);
    setDepthMask(GL_TRUE);
    bindFramebuffer(backBuffer.framebuffer);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (GLTextureImpl* texture : liveTextures)
        if (texture->surface.framebuffer != 0) {
            bindFramebuffer(texture->surface.framebuffer);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        }
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    bindFramebuffer(renderTarget->framebuffer);
    targetPixelWidth = renderTarget->pixelWidth;
    targetPixelHeight = renderTarget->pixelHeight;
    // Every depth buffer was just cleared alike, so the current target's is in line.
    targetDepth = renderTarget == &backBuffer ? TargetDepth::Whole : TargetDepth::Current;
    lineQuads = width > glBackBufferWidth || height > glBackBufferHeight;
    return glGetError() == GL_NO_ERROR;
}

void GLDeviceImpl::backBufferSize(int& width, int& height) const {
    width = backBuffer.pixelWidth;
    height = backBuffer.pixelHeight;
}

void GLDeviceImpl::textureSize(IDirect3DTexture9* texture, int& width, int& height) const {
    const GLTextureImpl* ours = texture ? dynamic_cast<const GLTextureImpl*>(texture) : nullptr;
    width = height = 0;
    if (!ours || ours->device != this) return;
    width = ours->surface.pixelWidth;
    height = ours->surface.pixelHeight;
}

// A framebuffer with the surface's colour and the depth buffer of its size, left bound.
GLuint GLDeviceImpl::makeFramebuffer(const GLSurfaceImpl& surface) {
    const GLuint depth = depthBufferFor(surface.pixelWidth, surface.pixelHeight);
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    bindFramebuffer(framebuffer);
    attachColor(surface);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    return framebuffer;
}

void GLDeviceImpl::attachColor(const GLSurfaceImpl& surface) {
    const GLTextureImpl* texture = surface.container;
    if (texture && texture->targets)
        glFramebufferTextureLayer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, texture->texture, 0, texture->layer);
    else
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, surface.colorTexture, 0);
}

GLDevice* createGLDevice(char* error, int errorSize) {
    GLDeviceImpl* device = new (std::nothrow) GLDeviceImpl;
    if (!device) {
        fail(error, errorSize, "no memory for the OpenGL device");
        return nullptr;
    }
    if (!device->create(error, errorSize)) {
        delete device;
        return nullptr;
    }
    return device;
}

// ---- reference counts ----

ULONG GLDeviceImpl::Release() {
    if (references <= 0) return 0;
    if (--references > 0) return static_cast<ULONG>(references);
    delete this;
    return 0;
}

// The device keeps the back buffer alive itself; this counts only the references handed out.
ULONG GLSurfaceImpl::Release() {
    if (container) return container->Release();
    if (ownReferences > 0) --ownReferences;
    return static_cast<ULONG>(ownReferences);
}

ULONG GLTextureImpl::Release() {
    if (references <= 0) return 0;
    if (--references > 0) return static_cast<ULONG>(references);
    if (device) device->textureGone(this);
    delete this;
    return 0;
}

void GLDeviceImpl::textureGone(GLTextureImpl* texture) {
    flush();
    for (size_t i = 0; i < liveTextures.size(); ++i)
        if (liveTextures[i] == texture) {
            liveTextures[i] = liveTextures.back();
            liveTextures.pop_back();
            break;
        }
    if (cache.framebuffer == texture->surface.framebuffer) bindFramebuffer(backBuffer.framebuffer);
    glDeleteFramebuffers(1, &texture->surface.framebuffer);
    if (texture->targets) {
        targetGone(*texture);
        return;
    }
    if (cache.texture == texture->texture) bindTexture(0);
    glDeleteTextures(1, &texture->texture);
}

// ---- scene and present ----

HRESULT GLDeviceImpl::BeginScene() {
    if (inScene) return D3DERR_INVALIDCALL;
    inScene = true;
    return D3D_OK;
}

HRESULT GLDeviceImpl::EndScene() {
    if (!inScene) return D3DERR_INVALIDCALL;
    inScene = false;
    return D3D_OK;
}

void GLDeviceImpl::setPresentTarget(const GLPresentTarget& target) { presentTarget = target; }

void GLDeviceImpl::setDrawingEnabled(bool enabled) {
    flush();
    drawingEnabled = enabled;
    if (enabled)
        for (GLTextureImpl* texture : liveTextures)
            if (texture->uploadPending) upload(*texture);
}

// The back buffer scaled into the window with 4:3 kept (black bars), the right way up.
HRESULT GLDeviceImpl::Present(const RECT*, const RECT*, HWND, const void*) {
    flush();
    if (!drawingEnabled || presentTarget.drawableWidth <= 0 || presentTarget.drawableHeight <= 0) {
        glFlush();
        return D3D_OK;
    }
    const int drawableWidth = presentTarget.drawableWidth;
    const int drawableHeight = presentTarget.drawableHeight;
    const GLPresentRect fit = presentRectangle(drawableWidth, drawableHeight);

    bindFramebuffer(presentTarget.framebuffer);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, false);
    setViewport(drawableWidth, drawableHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    bindReadFramebuffer(backBuffer.framebuffer);
    // Destination rows reversed: the back buffer holds Direct3D's top row at GL's row 0.
    if (fit.width > 0 && fit.height > 0)
        glBlitFramebuffer(0, 0, backBuffer.pixelWidth, backBuffer.pixelHeight, fit.x, fit.y + fit.height,
                          fit.x + fit.width, fit.y, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    bindFramebuffer(presentTarget.framebuffer);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    if (presentTarget.swap) presentTarget.swap(presentTarget.user);
    return D3D_OK;
}

// Scissored clears: the scissor goes through the cache, and the clear colour is set before every
// clear the device makes.
void GLDeviceImpl::fillWindow(const GLWindowFill* fills, int count) {
    if (!drawingEnabled) return;
    bindFramebuffer(presentTarget.framebuffer);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    for (int i = 0; i < count; ++i) {
        setScissor(fills[i].x, fills[i].y, fills[i].width, fills[i].height);
        glClearColor(fills[i].grey, fills[i].grey, fills[i].grey, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
}

// ---- state setters: every value is kept; GL hears of it when a batch is drawn ----

HRESULT GLDeviceImpl::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= 256) return D3DERR_INVALIDCALL;
    if (!validRenderStateValue(state, value)) {
        refusals.report(Refused::RenderStateValue, state, value);
        return D3DERR_INVALIDCALL;
    }
    if (renderStates[state] != value) {
        renderStates[state] = value;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetSamplerState(DWORD samplerIndex, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (samplerIndex != 0) {
        refusals.report(Refused::SamplerOtherThan0, type, samplerIndex);
        return D3DERR_INVALIDCALL;
    }
    if (!validSamplerStateValue(type, value)) {
        refusals.report(Refused::SamplerStateValue, type, value);
        return D3DERR_INVALIDCALL;
    }
    if (samplerStates[type] != value) {
        samplerStates[type] = value;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage != 0) {
        refusals.report(Refused::StageOtherThan0, type, stage);
        return D3DERR_INVALIDCALL;
    }
    if (!validStageStateValue(type, value)) {
        refusals.report(Refused::StageStateValue, type, value);
        return D3DERR_INVALIDCALL;
    }
    if (stageStates[type] != value) {
        stageStates[type] = value;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    D3DMATRIX* target = nullptr;
    switch (state) {
        case D3DTS_WORLD:      target = &world; break;
        case D3DTS_VIEW:       target = &view; break;
        case D3DTS_PROJECTION: target = &projection; break;
    }
    if (!target) {
        refusals.report(Refused::Transform, state, 0);
        return D3DERR_INVALIDCALL;
    }
    if (std::memcmp(target, matrix, sizeof *matrix) != 0) {
        *target = *matrix;
        matricesDirty = true;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetTexture(DWORD stage, IDirect3DTexture9* texture) {
    if (stage != 0) {
        refusals.report(Refused::TextureOtherThan0, stage, 0);
        return D3DERR_INVALIDCALL;
    }
    GLTextureImpl* ours = nullptr;
    if (texture) {
        ours = dynamic_cast<GLTextureImpl*>(texture);
        if (!ours || ours->device != this) return D3DERR_INVALIDCALL;
    }
    if (ours == texture0) return D3D_OK;
    // Direct3D keeps a reference to the bound texture, so releasing it while bound is safe.
    if (ours) ours->addReference();
    if (texture0) texture0->Release();
    texture0 = ours;
    ++counters.stateChanges;
    return D3D_OK;
}

HRESULT GLDeviceImpl::SetFVF(DWORD newFvf) {
    if (!validFvf(newFvf)) {
        refusals.report(Refused::VertexFormat, newFvf, 0);
        return D3DERR_INVALIDCALL;
    }
    if (fvf != newFvf) {
        fvf = newFvf;
        ++counters.stateChanges;
    }
    return D3D_OK;
}

DWORD GLDeviceImpl::renderState(D3DRENDERSTATETYPE state) const { return state < 256 ? renderStates[state] : 0; }
DWORD GLDeviceImpl::stageState(D3DTEXTURESTAGESTATETYPE type) const { return type < 32 ? stageStates[type] : 0; }
DWORD GLDeviceImpl::samplerState(D3DSAMPLERSTATETYPE type) const { return type < 16 ? samplerStates[type] : 0; }

GLDeviceStats GLDeviceImpl::stats() const {
    GLDeviceStats stats = counters;
    stats.specialisedPrograms = static_cast<uint64_t>(
        std::count_if(specialised.begin(), specialised.end(), [](const SpecialisedProgram& s) { return s.program != 0; }));
    return stats;
}

#ifdef __EMSCRIPTEN__
// The benchmark's tools are desktop GL's; in a browser they do nothing and count nothing.
void GLDeviceImpl::setRasterizerDiscard(bool) {}
void GLDeviceImpl::beginPixelCount() {}
uint64_t GLDeviceImpl::endPixelCount() { return 0; }
void GLDeviceImpl::beginEventTiming() {}
void GLDeviceImpl::endEventTiming(std::vector<GLEventPart>&) {}
void GLDeviceImpl::noteDrawEvent() {}
#else
void GLDeviceImpl::setRasterizerDiscard(bool on) {
    if (!hasContext) return;
    flush();
    setEnabled(GL_RASTERIZER_DISCARD, cache.rasterizerDiscard, on);
}

void GLDeviceImpl::beginPixelCount() {
    if (!hasContext || counting) return;
    flush();
    if (pixelQuery == 0) glGenQueries(1, &pixelQuery);
    glBeginQuery(GL_SAMPLES_PASSED, pixelQuery);
    counting = true;
}

uint64_t GLDeviceImpl::endPixelCount() {
    if (!counting) return 0;
    flush();
    glEndQuery(GL_SAMPLES_PASSED);
    counting = false;
    GLuint64 samples = 0;
    glGetQueryObjectui64v(pixelQuery, GL_QUERY_RESULT, &samples);
    return samples;
}

namespace {
double steadyMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void GLDeviceImpl::beginEventTiming() {
    if (!hasContext || counting || timingEvents) return;
    flush();
    glFinish();
    timingEvents = true;
    closedParts.clear();
    openPart = {d3dDrawEvent(), 0, 0};
    beginPixelCount();
    openPartStartMs = steadyMs();
}

// Reading the query's result waits for the renderer, so the part's time ends when it returns.
void GLDeviceImpl::closeEventPart() {
    openPart.pixels = endPixelCount();
    openPart.ms = steadyMs() - openPartStartMs;
    closedParts.push_back(openPart);
}

void GLDeviceImpl::noteDrawEvent() {
    if (!timingEvents || d3dDrawEvent() == openPart.event) return;
    closeEventPart();
    openPart = {d3dDrawEvent(), 0, 0};
    beginPixelCount();
    openPartStartMs = steadyMs();
}

void GLDeviceImpl::endEventTiming(std::vector<GLEventPart>& parts) {
    if (!timingEvents) return;
    closeEventPart();
    timingEvents = false;
    parts.insert(parts.end(), closedParts.begin(), closedParts.end());
    closedParts.clear();
}
#endif

// ---- textures ----

HRESULT GLDeviceImpl::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (sharedHandle || width == 0 || height == 0 || width > 4096 || height > 4096)
        return D3DERR_INVALIDCALL;
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) {
        refusals.report(Refused::TextureFormat, format, 0);
        return D3DERR_INVALIDCALL;
    }
    const bool target = usage == D3DUSAGE_RENDERTARGET;
    if (usage != 0 && !target) {
        refusals.report(Refused::TextureUsage, usage, 0);
        return D3DERR_INVALIDCALL;
    }
    // Render targets share the 640 x 480 depth buffer, so none may be larger than it.
    if (target && (pool != D3DPOOL_DEFAULT || width > UINT(glBackBufferWidth) ||
                   height > UINT(glBackBufferHeight)))
        return D3DERR_INVALIDCALL;
    if (!target && pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;

    UINT fullChain = 1;
    for (UINT size = width > height ? width : height; size > 1; size /= 2) ++fullChain;
    if (levels == 0) levels = fullChain;  // a full chain, of which only level 0 is ever sampled
    if (levels > fullChain) return D3DERR_INVALIDCALL;

    flush();
    GLTextureImpl* made = new (std::nothrow) GLTextureImpl;
    if (!made) return D3DERR_INVALIDCALL;
    made->device = this;
    made->width = width;
    made->height = height;
    made->levels = levels;
    made->usage = usage;
    made->format = format;
    made->pool = pool;
    made->surface.device = this;
    made->surface.container = made;
    made->surface.width = made->surface.pixelWidth = static_cast<int>(width);
    made->surface.height = made->surface.pixelHeight = static_cast<int>(height);
    if (target) {  // drawn at the device's scale; textures the show writes keep their size
        scalePixelSize(made->surface);
        const GLuint previous = cache.framebuffer;
        placeTarget(*made);
        made->surface.framebuffer = makeFramebuffer(made->surface);
        if (!boundFramebufferComplete()) {
            glDeleteFramebuffers(1, &made->surface.framebuffer);
            targetGone(*made);
            delete made;
            bindFramebuffer(renderTarget->framebuffer);
            return D3DERR_INVALIDCALL;
        }
        // Direct3D leaves a new target's contents undefined; start from black, not garbage.
        setEnabled(GL_SCISSOR_TEST, cache.scissor, false);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
        bindFramebuffer(previous);
    } else {
        made->texture = makeTargetTexture(made->surface.pixelWidth, made->surface.pixelHeight,
                                          format == D3DFMT_X8R8G8B8 ? GL_RGB8 : GL_RGBA8);
        // Rows padded to 64 bytes: the show must honour the pitch, as Direct3D asks.
        made->pitch = static_cast<int>((width * 4 + 63) / 64 * 64);
        made->bits.assign(size_t(made->pitch) * height, 0);
        made->swapRedBlue = true;
        uploadScratch.assign(size_t(width) * height * 4, 0);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height),
                        GL_RGBA, GL_UNSIGNED_BYTE, uploadScratch.data());
    }
    liveTextures.push_back(made);
    *texture = made;
    return D3D_OK;
}

HRESULT GLTextureImpl::GetSurfaceLevel(UINT level, IDirect3DSurface9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (level != 0 || !device) return D3DERR_INVALIDCALL;
    addReference();
    *out = &surface;
    return D3D_OK;
}

HRESULT GLTextureImpl::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD) {
    if (!lockedRect || level != 0 || locked || bits.empty() || !device) return D3DERR_INVALIDCALL;
    LONG left = 0, top = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            rect->right > LONG(width) || rect->bottom > LONG(height))
            return D3DERR_INVALIDCALL;
        left = rect->left;
        top = rect->top;
    }
    locked = true;
    lockedRect->Pitch = pitch;
    lockedRect->pBits = bits.data() + size_t(top) * size_t(pitch) + size_t(left) * 4;
    return D3D_OK;
}

// The locked bytes go to GL as they are (B, G, R, A read as R, G, B, A: the shader swaps red
// and blue back; an X8R8G8B8 texture's RGB storage drops the fourth byte); the draws already
// batched still see the old contents because the batch is drawn first.
// While drawing is off (the run-up to a frame), the bytes wait for drawing to come back on:
// the noise texture alone would otherwise cost a 256 KB upload every frame of the run-up.
HRESULT GLTextureImpl::UnlockRect(UINT level) {
    if (level != 0 || !locked) return D3DERR_INVALIDCALL;
    locked = false;
    if (!device) return D3D_OK;
    uploadPending = true;
    if (device->drawing()) device->upload(*this);
    return D3D_OK;
}

void GLDeviceImpl::upload(GLTextureImpl& texture) {
    flush();
    bindTexture(texture.texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, texture.pitch / 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(texture.width), static_cast<GLsizei>(texture.height),
                    GL_RGBA, GL_UNSIGNED_BYTE, texture.bits.data());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    texture.uploadPending = false;
}

// ---- render targets and clear ----

HRESULT GLDeviceImpl::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                                    IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (swapChain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
    ++backBuffer.ownReferences;
    *surface = &backBuffer;
    return D3D_OK;
}

// Like Direct3D, the viewport becomes the whole new target, even when it is the same one.
HRESULT GLDeviceImpl::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    if (index != 0 || !surface) return D3DERR_INVALIDCALL;
    GLSurfaceImpl* ours = dynamic_cast<GLSurfaceImpl*>(surface);
    if (!ours || ours->device != this || ours->framebuffer == 0) return D3DERR_INVALIDCALL;
    flush();
    depthLeaves(*ours);
    if (ours->container) ours->container->addReference();
    if (renderTarget->container) renderTarget->container->Release();
    if (ours != renderTarget) ++counters.stateChanges;
    renderTarget = ours;
    viewportWidth = ours->width;
    viewportHeight = ours->height;
    targetPixelWidth = ours->pixelWidth;
    targetPixelHeight = ours->pixelHeight;
    return D3D_OK;
}

// Direct3D clears the viewport only (and each rectangle within it), with full write masks.
HRESULT GLDeviceImpl::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                            DWORD stencil) {
    if ((count > 0 && !rects) || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0)
        return D3DERR_INVALIDCALL;
    noteDrawEvent();
    flush();
    if (!drawingEnabled || flags == 0) return D3D_OK;
    if (flags & D3DCLEAR_ZBUFFER) depthCleared(count == 0, z < 0.0f ? 0.0f : z > 1.0f ? 1.0f : z);
    bindFramebuffer(renderTarget->framebuffer);
    setViewportAndScissor(targetPixelWidth, targetPixelHeight);
    GLbitfield mask = 0;
    const GLboolean drawsDepthMask = cache.depthMask;  // Clear writes depth whatever the draws' mask
    if (flags & D3DCLEAR_TARGET) {
        mask |= GL_COLOR_BUFFER_BIT;
        const GLColor c = argbToGlColor(color);
        glClearColor(c.r, c.g, c.b, c.a);
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        mask |= GL_DEPTH_BUFFER_BIT;
        glClearDepthf(z < 0.0f ? 0.0f : z > 1.0f ? 1.0f : z);
        setDepthMask(GL_TRUE);
    }
    if (flags & D3DCLEAR_STENCIL) {
        mask |= GL_STENCIL_BUFFER_BIT;
        glClearStencil(static_cast<GLint>(stencil & 255));
    }
    if (count == 0) {
        glClear(mask);
    } else {
        for (DWORD i = 0; i < count; ++i) {
            const LONG x0 = rects[i].x1 < 0 ? 0 : rects[i].x1;
            const LONG y0 = rects[i].y1 < 0 ? 0 : rects[i].y1;
            const LONG x1 = rects[i].x2 > viewportWidth ? viewportWidth : rects[i].x2;
            const LONG y1 = rects[i].y2 > viewportHeight ? viewportHeight : rects[i].y2;
            if (x0 >= x1 || y0 >= y1) continue;
            const int left = scaled(x0, targetPixelWidth, viewportWidth);
            const int top = scaled(y0, targetPixelHeight, viewportHeight);
            setScissor(left, top, scaled(x1, targetPixelWidth, viewportWidth) - left,
                       scaled(y1, targetPixelHeight, viewportHeight) - top);
            glClear(mask);
        }
        setScissor(0, 0, targetPixelWidth, targetPixelHeight);
    }
    if (flags & D3DCLEAR_ZBUFFER) setDepthMask(drawsDepthMask);
    return D3D_OK;
}

// ---- read-back ----

void GLDeviceImpl::readBackBuffer(uint8_t* rgba) {
    if (!rgba) return;
    flush();
    bindFramebuffer(backBuffer.framebuffer);
    glReadPixels(0, 0, backBuffer.pixelWidth, backBuffer.pixelHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

void GLDeviceImpl::readTexture(IDirect3DTexture9* texture, uint8_t* rgba) {
    GLTextureImpl* ours = texture ? dynamic_cast<GLTextureImpl*>(texture) : nullptr;
    if (!ours || ours->device != this || !rgba) return;
    if (ours->surface.framebuffer) {
        flush();
        bindFramebuffer(ours->surface.framebuffer);
        glReadPixels(0, 0, ours->surface.pixelWidth, ours->surface.pixelHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return;
    }
    const bool opaque = ours->format == D3DFMT_X8R8G8B8;
    for (UINT y = 0; y < ours->height; ++y)
        bgraRowToRgba(ours->bits.data() + size_t(y) * size_t(ours->pitch), rgba + size_t(y) * ours->width * 4,
                      ours->width, opaque);
}
