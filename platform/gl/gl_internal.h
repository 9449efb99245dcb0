// gl_internal.h: the OpenGL device's classes: the device, its textures and surfaces, the arrays
// its render targets are layers of, and its specialised programs.
#pragma once

#include "platform/gl/gl_api.h"

#include <cstdint>
#include <vector>

#include "platform/d3d9.h"
#include "platform/gl/gl_batch.h"
#include "platform/gl/gl_device.h"
#include "platform/gl/gl_enums.h"
#include "platform/gl/gl_layouts.h"
#include "platform/gl/gl_shaders.h"

inline bool boundFramebufferComplete() {
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

class GLDeviceImpl;

struct SpecialisedProgram {
    ProgramState state;
    GLuint program = 0;
    GLint factor = -1, fogColor = -1;
    bool uniformsKnown = false;
    uint32_t factorInGl = 0, fogInGl = 0;
};

// Render targets of one nominal size and format as the layers of one array texture. Mesa's
// software renderer copies its whole texture state (some 33 KB) into the frame each time a draw
// samples another texture: the cube's stickers, six faces in turn, did so over a hundred times a
// frame in the cube field. Layers of one texture are one state, and their draws one batch.
struct TargetArray {
    GLuint texture = 0;
    int width = 0, height = 0;            // nominal, as Direct3D's
    int pixelWidth = 0, pixelHeight = 0;  // GL's: at the device's scale
    GLenum internalFormat = GL_RGBA8;
    bool used[glTargetLayers] = {};
};

class GLSurfaceImpl final : public IDirect3DSurface9 {
public:
    ULONG Release() override;

    GLDeviceImpl* device = nullptr;
    class GLTextureImpl* container = nullptr;  // null for the back buffer
    int ownReferences = 0;                     // back buffer only; texture levels count in the container
    GLuint framebuffer = 0;
    GLuint colorTexture = 0;
    int width = 0, height = 0;              // Direct3D's size, which the show's pixels refer to
    int pixelWidth = 0, pixelHeight = 0;    // GL's: the nominal size at the device's scale
};

class GLTextureImpl final : public IDirect3DTexture9 {
public:
    D3D9_TEXTURE_METHODS(D3D9_DECLARE_OVERRIDE)

    void addReference() { ++references; }

    GLDeviceImpl* device = nullptr;
    int references = 1;
    UINT width = 0, height = 0, levels = 1;
    DWORD usage = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_MANAGED;
    GLuint texture = 0;           // a render target's: its array's
    TargetArray* targets = nullptr;  // render targets: the array holding it, and its layer
    int layer = 0;
    GLSurfaceImpl surface;        // level 0; a render target's framebuffer lives here
    std::vector<uint8_t> bits;    // level 0 as Direct3D lays it out, pitch bytes a row
    int pitch = 0;
    bool swapRedBlue = false;     // managed: GL holds the bytes B, G, R, A, the shader swaps
    bool locked = false;
    bool uploadPending = false;   // unlocked while drawing was off: GL holds older bytes
};

class GLDeviceImpl final : public GLDevice {
public:
    GLDeviceImpl();
    ~GLDeviceImpl() override;
    bool create(char* error, int errorSize);

    // ---- IDirect3DDevice9 ----
    D3D9_DEVICE_METHODS(D3D9_DECLARE_OVERRIDE)

    // ---- GLDevice ----
    void setPresentTarget(const GLPresentTarget& target) override;
    void fillWindow(const GLWindowFill* fills, int count) override;
    void setDrawingEnabled(bool enabled) override;
    bool setResolution(int width, int height) override;
    int largestResolution() const override;
    void backBufferSize(int& width, int& height) const override;
    void textureSize(IDirect3DTexture9* texture, int& width, int& height) const override;
    void readBackBuffer(uint8_t* rgba) override;
    void readTexture(IDirect3DTexture9* texture, uint8_t* rgba) override;
    GLDeviceStats stats() const override;
    void setRasterizerDiscard(bool on) override;
    void beginPixelCount() override;
    uint64_t endPixelCount() override;
    void beginEventTiming() override;
    void endEventTiming(std::vector<GLEventPart>& parts) override;
    void noteDrawEvent();      // at each draw and clear: a new event closes the part before
    void closeEventPart();
    void setSpecialisedPrograms(bool on) override;
    DWORD renderState(D3DRENDERSTATETYPE state) const override;
    DWORD stageState(D3DTEXTURESTAGESTATETYPE type) const override;
    DWORD samplerState(D3DSAMPLERSTATETYPE type) const override;
    bool restoreContext(char* error, int errorSize) override;  // gl_restore.cpp

    // The first state GL holds otherwise than the cache says, as "the viewport is 0, 0, 640 x 480
    // in the cache but 1, 2, 3 x 4 in GL"; empty when all agree (gl_cache.cpp).
    std::string cacheMismatch();
    // The first state the cache holds otherwise than the last batch drawn asked, as "the blend
    // source is 770 for the batch but 1 in GL"; empty when all agree.
    std::string batchMismatch() const;

    // ---- for textures and surfaces ----
    void flush();
    bool drawing() const { return drawingEnabled; }
    void upload(GLTextureImpl& texture);  // its bytes to GL
    void textureGone(GLTextureImpl* texture);  // unbinds a released texture
    void bindTexture(GLuint texture, bool targetLayers = false);  // on unit 0, 2D or array

    std::vector<GLTextureImpl*> liveTextures;  // orphaned when the device goes first
    std::vector<uint8_t> uploadScratch;        // zeros for a new texture's first upload

private:

    // gl_draw.cpp
    DrawKey currentKey(PrimitiveClass primitiveClass) const;
    void updateMatrices();
    void appendPrimitives(D3DPRIMITIVETYPE type, UINT primitiveCount, const uint8_t* data, UINT stride);
    BatchVertex* room(int vertices);  // the next vertices of the batch, drawing it first when full
    void transformVertex(const uint8_t* vertex, BatchVertex& out, float eye[3]) const;
    void appendPointSprites(const uint8_t* data, UINT count, UINT stride);
    void appendLineQuad(BatchVertex a, BatchVertex b);

    // gl_cache.cpp: the state cache. Each helper tells GL only what differs from what GL was
    // last told (everything, with QUORBEL_GL_NO_CACHE set).
    void readCacheSwitches();                      // the two environment switches
    bool unchanged(bool same) const { return same && cacheOn; }  // true: skip the call
    void checkCache();                             // QUORBEL_GL_CHECK: GL against the cache and the batch
    void bindFramebuffer(GLuint framebuffer);      // draw and read
    void bindReadFramebuffer(GLuint framebuffer);  // read only (Present's blit)
    void setViewport(int width, int height);
    void setScissor(int x, int y, int width, int height);
    void setViewportAndScissor(int width, int height);
    void setDepthMask(GLboolean mask);
    void useProgram(GLuint program);
    void setEnabled(GLenum capability, bool& state, bool enabled);
    void applyKey(const DrawKey& key);             // a batch's state, in the parts below
    void applyBlending(const DrawKey& key);
    void applyDepth(const DrawKey& key);
    void applyCulling(const DrawKey& key);
    void applyUniforms(ShaderProgramKind kind, const DrawKey& key);
    void applySpecialisedUniforms(SpecialisedProgram& special, const DrawKey& key);
    void applySampler(const DrawKey& key);
    // The check's parts: bindings and enums, switches, rectangles, the sampler, the uniforms.
    std::string valueMismatch() const;
    std::string switchMismatch() const;
    std::string rectangleMismatch() const;
    std::string samplerMismatch() const;
    std::string uniformMismatch() const;
    std::string specialisedMismatch() const;

    // gl_specialised.cpp: the programs specialised to a stage state
    SpecialisedProgram* specialisedFor(const DrawKey& key);  // made on first use; null: the general
    GLuint programFor(const DrawKey& key) const;              // the one a batch of key draws with
    void deleteSpecialisedPrograms();

    // gl_workarounds.cpp: what one renderer needs of the device
    void tuneHeapForRenderer();
    void warmUp();
    void warmUpSharedDepth(GLuint framebuffer, GLuint otherFramebuffer);

    // gl_device.cpp: GL objects made through the cache, left bound
    bool makeObjects(char* error, int errorSize);  // programs, back buffer, buffers, GL's state
    bool makePrograms(char* error, int errorSize);
    void makeVertexBuffers();                      // the streaming vertices and the sprites' indices
    void startGlState();                           // GL's state as the cache starts it
    GLuint makeTargetTexture(int width, int height, GLenum internalFormat);
    GLuint makeFramebuffer(const GLSurfaceImpl& surface);  // its colour and the depth of its size
    void attachColor(const GLSurfaceImpl& surface);         // to the bound framebuffer
    void scalePixelSize(GLSurfaceImpl& surface) const;               // from its nominal size
    void sizeBackBuffer();                                           // storage at its actual size
    int scaled(int nominal, int pixels, int nominalTotal) const;

    // gl_targets.cpp: render-target textures as layers of shared arrays
    // A free layer for it, in a new array if need be (never in avoid).
    void placeTarget(GLTextureImpl& texture, const TargetArray* avoid = nullptr);
    void moveTarget(GLTextureImpl& texture);   // into another array, its contents with it
    void sizeTargetArray(TargetArray& array);  // storage at its nominal size times the scale
    void targetGone(GLTextureImpl& texture);   // frees its layer, and its array when the last
    void releaseLayer(TargetArray* array, int layer);  // and the array when it was the last
    void deleteTargetArrays();
    std::vector<TargetArray*> targetArrays;

    // gl_depth.cpp: Direct3D's one depth buffer as one per target size
    GLuint depthBufferFor(int width, int height);
    void depthLeaves(const GLSurfaceImpl& to);
    void depthUsed(const DrawKey& key);
    void depthCleared(bool whole, float depth);
    void copyDepth(GLuint fromFramebuffer, GLuint toFramebuffer, int width, int height);
    void deleteDepthBuffers();

    int references = 1;
    bool hasContext = false;  // a GL context was current at creation: GL may be called
    float drawLayer = 0.0f;   // the bound texture's layer, which this draw's vertices carry
    GLPresentTarget presentTarget;
    bool drawingEnabled = true;
    bool inScene = false;
    GLDeviceStats counters = {};

    // Direct3D's state, as the show set it.
    DWORD renderStates[256];
    DWORD stageStates[32];
    DWORD samplerStates[16];
    D3DMATRIX world, view, projection;
    DWORD fvf = 0;
    GLTextureImpl* texture0 = nullptr;
    GLSurfaceImpl backBuffer;
    GLSurfaceImpl* renderTarget = nullptr;  // holds a reference while set
    int viewportWidth = glBackBufferWidth, viewportHeight = glBackBufferHeight;     // nominal
    int targetPixelWidth = glBackBufferWidth, targetPixelHeight = glBackBufferHeight; // GL's
    // Lines one nominal pixel wide are drawn as quads above scale 1 (GL's core profile has no
    // wide lines); at scale 1 GL's own lines keep today's pixels.
    bool lineQuads = false;

    // Derived from the transforms on the next draw.
    bool matricesDirty = true;
    float worldView[4][4];
    float worldViewProjection[4][4];

    // The open batch.
    std::vector<BatchVertex> batch;  // batchCapacity vertices, of which the first batchSize are the batch
    size_t batchSize = 0;
    std::vector<BatchVertex> sourceScratch;  // one draw's vertices, transformed once each
    DrawKey batchKey = {};
    bool batchOpen = false;

    // Each stage state met so far and its program (0 where it did not build: the general one
    // draws it), in the order met; what GL holds of its uniforms, as for the general programs.
    std::vector<SpecialisedProgram> specialised;
    bool specialising = true;

    // GL objects.
    GLuint programs[ProgramCount] = {};
    GLint uniformFactor[ProgramCount] = {}, uniformFogColor[ProgramCount] = {}, uniformColorStage[ProgramCount] = {},
          uniformAlphaStage[ProgramCount] = {}, uniformTexture[ProgramCount] = {}, uniformSwapRedBlue[ProgramCount] = {};
    GLuint vertexArray = 0, vertexBuffer = 0, indexBuffer = 0, sampler = 0;
    // The depth-stencil buffer of each render-target size; the back buffer's ([0], made first)
    // stands for Direct3D's whole buffer, of which the others hold the top-left part.
    struct DepthBuffer {
        int width, height;
        GLuint renderbuffer;
    };
    std::vector<DepthBuffer> depthBuffers;
    // The current target's depth buffer against the back buffer's: the back buffer's own
    // (Whole), its part not yet copied in (Stale), a copy (Current), cleared to
    // targetClearDepth or drawn into since (both still to be carried back).
    enum class TargetDepth : uint8_t { Whole, Stale, Current, Cleared, Drawn };
    TargetDepth targetDepth = TargetDepth::Whole;
    float targetClearDepth = 1.0f;
    size_t streamVertex = 0;  // where the next batch goes in the streaming vertex buffer
    GLuint pixelQuery = 0;  // made on the first count
    bool counting = false;
    // The event timing's open part: its event, when it began, and the parts closed so far.
    bool timingEvents = false;
    GLEventPart openPart = {};
    double openPartStartMs = 0;
    std::vector<GLEventPart> closedParts;

    // What GL has been told, to skip calls that change nothing.
    bool cacheOn = true;       // QUORBEL_GL_NO_CACHE turns it off
    bool checking = false;     // QUORBEL_GL_CHECK
    bool warmingUp = false;    // the check names warm-up draws apart from the show's
    RefusalLog refusals;
    struct {
        GLuint framebuffer = 0, readFramebuffer = 0, program = 0, texture = 0, targetArray = 0;
        int viewportWidth = -1, viewportHeight = -1;
        int scissorX = -1, scissorY = -1, scissorWidth = -1, scissorHeight = -1;
        bool blend = false, depthTest = false, cull = false, scissor = false, rasterizerDiscard = false;
        GLboolean depthMask = GL_TRUE;
        GLenum blendSource = GL_ONE, blendDest = GL_ZERO, blendEquation = GL_FUNC_ADD;
        GLenum depthFunc = GL_LESS, frontFace = GL_CCW;
        GLenum magFilter = 0, minFilter = 0, addressU = 0, addressV = 0;
        struct {
            bool valid = false;
            uint32_t factor = 0, fog = 0;
            int stage[8] = {};
        } uniforms[ProgramCount];
    } cache;
};

// Tests only: while set, bindFramebuffer records its framebuffer in the cache but never tells
// GL, the fault QUORBEL_GL_CHECK is there to find.
extern bool glTestDropFramebufferBinds;
