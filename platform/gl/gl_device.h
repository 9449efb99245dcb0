// gl_device.h: the Direct3D 9 device on OpenGL 3.3 core, or in a browser on WebGL2 (OpenGL ES
// 3.0), from the same sources; and what the window, the capture tool and the tests need of it
// beyond Direct3D's methods. Two switches in the environment, read when a device is made, are for
// finding faults in its GL state cache: QUORBEL_GL_NO_CACHE=1 sends every state to GL every time,
// QUORBEL_GL_CHECK=1 reads every cached state back from GL after each batch and aborts, naming
// the state, at the first that differs.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9.h"

// Where Present puts the back buffer: the window's default framebuffer of this size, then swap.
struct GLPresentTarget {
    int drawableWidth = 0;   // 0: Present draws nothing to a window (headless)
    int drawableHeight = 0;
    unsigned framebuffer = 0;  // GL framebuffer standing for the window (tests); 0 is the window's
    void (*swap)(void* user) = nullptr;  // swaps the window's buffers (and paces, where needed)
    void* user = nullptr;
};

// A rectangle of one grey in the window's framebuffer, in GL window coordinates (origin
// bottom-left): what the window draws over the picture Present put there.
struct GLWindowFill {
    int x, y, width, height;
    float grey;  // 0 black ... 1 white, opaque
};

// Where Present puts the back buffer in a drawable: as large as fits with 4:3 kept, centred,
// the rest black bars. Empty (zero width or height) when the drawable is too small.
struct GLPresentRect {
    int x, y, width, height;  // GL window coordinates, origin bottom-left
};
inline GLPresentRect presentRectangle(int drawableWidth, int drawableHeight) {
    if (drawableWidth <= 0 || drawableHeight <= 0) return {0, 0, 0, 0};
    int width = drawableWidth, height = drawableHeight;
    if (int64_t(drawableWidth) * 3 > int64_t(drawableHeight) * 4)
        width = static_cast<int>(int64_t(drawableHeight) * 4 / 3);
    else
        height = static_cast<int>(int64_t(drawableWidth) * 3 / 4);
    return {(drawableWidth - width) / 2, (drawableHeight - height) / 2, width, height};
}

// What the device sent to GL, for benchmarks and the capture tool's reports.
struct GLDeviceStats {
    uint64_t glDrawCalls;       // GL draws after batching
    uint64_t d3dDrawCalls;      // DrawPrimitiveUP calls received
    uint64_t flushedVertices;   // vertices handed to GL
    uint64_t stateChanges;      // Direct3D state writes that changed a value
    uint64_t droppedPrimitives; // not drawn: a position held a NaN or an infinity
    uint64_t specialisedPrograms; // programs specialised to a stage state, built so far
};

// A stretch of a frame's draws in one D3DPERF event (nullptr: none) and what the renderer spent on it.
struct GLEventPart {
    LPCWSTR event;
    double ms;
    uint64_t pixels;  // samples past the depth test, as beginPixelCount counts them
};

class GLDevice : public IDirect3DDevice9 {
public:
    virtual void setPresentTarget(const GLPresentTarget& target) = 0;

    // For the present target's swap hook, between Present's blit and the swap: the rectangles
    // filled into the window (the player's progress bar), through the device's GL state cache.
    virtual void fillWindow(const GLWindowFill* fills, int count) = 0;

    // Off: every call keeps its effect on state, but nothing is rasterised (no draw, no clear).
    // Present then skips the window and the swap as well.
    virtual void setDrawingEnabled(bool enabled) = 0;

    // The picture drawn at width x height pixels instead of 640 x 480: the back buffer's
    // nominal size times width / 640 and height / 480, and every render target (the show's
    // own textures keep their size) times the same, so the show's pixel sizes (viewports,
    // clears, pretransformed vertices, sprite sizes, line widths) are nominal and scaled here.
    // Targets restart cleared. False, with nothing changed, where GL cannot hold the size.
    virtual bool setResolution(int width, int height) = 0;
    // The largest width and height setResolution takes: GL's texture, renderbuffer and viewport limits.
    virtual int largestResolution() const = 0;
    // The pixels GL holds: the back buffer's, and level 0 of a texture as readTexture writes it.
    virtual void backBufferSize(int& width, int& height) const = 0;
    virtual void textureSize(IDirect3DTexture9* texture, int& width, int& height) const = 0;

    // The back buffer as RGBA bytes of backBufferSize, row 0 at the top (Direct3D's order).
    virtual void readBackBuffer(uint8_t* rgba) = 0;

    // Level 0 of a texture (a render target or a locked one) as RGBA bytes of textureSize,
    // row 0 at the top.
    virtual void readTexture(IDirect3DTexture9* texture, uint8_t* rgba) = 0;

    virtual GLDeviceStats stats() const = 0;

    // After the context was lost and a new one is current (a browser gives WebGL's back): every
    // GL object made again from what the device keeps: its shaders and buffers, the back buffer
    // and the render targets (black: the next frame draws them), and the show's textures with
    // their texels. Direct3D's state, the scale and every texture's handle stay. False, with one
    // line in error, where the new context cannot serve.
    virtual bool restoreContext(char* error, int errorSize) = 0;

    // For benchmarks (desktop GL only). Discarding: every call goes through the device and GL
    // as usual, but GL drops each primitive and clear before rasterising, which leaves the CPU
    // cost of a frame without the renderer's pixel work.
    virtual void setRasterizerDiscard(bool on) = 0;
    // The samples that pass the depth test between the two calls, in every target: the pixels
    // a frame asks the renderer to shade (clears not counted). End waits for the renderer.
    virtual void beginPixelCount() = 0;
    virtual uint64_t endPixelCount() = 0;
    // Between the two calls (instead of the pixel count), each draw or clear made in another
    // D3DPERF event than the one before first waits for the renderer to finish what came before,
    // which is charged, with its time and its pixels, to the event it was drawn in. End appends
    // those parts to parts and waits for the renderer. The waits cost some of the renderer's
    // overlap of binning and shading: the parts add up to a little more than the frame.
    virtual void beginEventTiming() = 0;
    virtual void endEventTiming(std::vector<GLEventPart>& parts) = 0;
    // For tests and benchmarks: off, the general programs draw every state, as they draw a
    // state whose specialised program does not build; on (the default), each state its own.
    virtual void setSpecialisedPrograms(bool on) = 0;

    // The Direct3D state as the device holds it: render states, stage 0 and sampler 0.
    virtual DWORD renderState(D3DRENDERSTATETYPE state) const = 0;
    virtual DWORD stageState(D3DTEXTURESTAGESTATETYPE type) const = 0;
    virtual DWORD samplerState(D3DSAMPLERSTATETYPE type) const = 0;
};

// Needs a current GL 3.3 core context (a WebGL2 one in a browser). Returns nullptr and writes one
// line into error when the context cannot serve (version too low, shader or framebuffer failure).
GLDevice* createGLDevice(char* error, int errorSize);
