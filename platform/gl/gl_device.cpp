// gl_device.cpp: the OpenGL device's life: its creation on the current context (objects,
// programs, buffers, GL's starting state), its end, and the reference counts of what it hands
// out. The rest is by idea: gl_states.cpp (Direct3D's state setters), gl_textures.cpp,
// gl_targets.cpp (render targets and Clear), gl_resolution.cpp (the drawing scale),
// gl_present.cpp, gl_draw.cpp (drawing and batching), gl_cache.cpp (what GL has been told),
// gl_measure.cpp (read-back and the benchmarks' tools), gl_workarounds.cpp (heap, warm-up).
#ifdef __EMSCRIPTEN__
#include <emscripten/html5.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <cstring>
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

}  // namespace

// ---- creation ----

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
