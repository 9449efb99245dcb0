// gl_internal.h: the OpenGL device's classes, its batch vertex and the pieces its source files
// share (enum mappings and value checks, refusals, shaders, the GL state cache and its switches).
#pragma once

#include "platform/gl/gl_api.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d9.h"
#include "platform/gl/gl_device.h"

constexpr int glBackBufferWidth = 640;
constexpr int glBackBufferHeight = 480;
// The streaming vertex buffer, refilled from its start (orphaned) when a batch no longer fits;
// the index buffer covers it with both sprite windings, so it stays within 16-bit indices.
constexpr size_t glStreamVertices = 16384;
// Render-target textures of one size and format are layers of one array texture, this many each.
constexpr int glTargetLayers = 8;

// ---- pixel and colour layouts ----

// Direct3D's ARGB colour as the bytes R, G, B, A.
inline void argbToRgba(DWORD argb, uint8_t rgba[4]) {
    rgba[0] = static_cast<uint8_t>(argb >> 16);
    rgba[1] = static_cast<uint8_t>(argb >> 8);
    rgba[2] = static_cast<uint8_t>(argb);
    rgba[3] = static_cast<uint8_t>(argb >> 24);
}

// The same colour as GL's floats 0 ... 1, in the order R, G, B, A.
struct GLColor {
    float r, g, b, a;
};
inline GLColor argbToGlColor(DWORD argb) {
    return {float((argb >> 16) & 255) / 255.0f, float((argb >> 8) & 255) / 255.0f, float(argb & 255) / 255.0f,
            float(argb >> 24) / 255.0f};
}

// A row of pixels as Direct3D's A8R8G8B8 lays them in memory (B, G, R, A) to GL's R, G, B, A;
// X8R8G8B8 (opaque) has no alpha, so it reads as 255.
inline void bgraRowToRgba(const uint8_t* from, uint8_t* to, unsigned pixels, bool opaque) {
    for (unsigned x = 0; x < pixels; ++x, from += 4, to += 4) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
        to[3] = opaque ? 255 : from[3];
    }
}

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

// ---- shaders (gl_shaders.cpp) ----

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

// ---- the vertex handed to GL, already in final clip space ----

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
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    ULONG Release() override;

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
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Present(const RECT* source, const RECT* dest, HWND window, const void* dirty) override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT SetTexture(DWORD stage, IDirect3DTexture9* texture) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                            UINT stride) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    ULONG Release() override;

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
