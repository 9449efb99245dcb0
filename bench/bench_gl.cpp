// bench_gl.cpp: the OpenGL device on the headless context: a line of text's worth of tiny
// draws, a full-screen textured quad (general and specialised program), and a face texture's
// pass of point sprites.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstring>

#include "core/core.h"
#include "core/frame_state.h"
#include "platform/egl/egl_context.h"
#include "platform/gl/gl_device.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ColorVertex3 {
    float x, y, z;
    D3DCOLOR color;
};

struct TexVertexRhw {
    float x, y, z, rhw, u, v;
};

// One device for the whole program, made on first use; null (with the reason) when the
// machine offers no headless GL.
GLDevice* benchDevice(const char** reason) {
    static GLDevice* device = nullptr;
    static std::string error;
    static bool tried = false;
    if (!tried) {
        tried = true;
        device = startHeadlessDevice(error);
        if (device) loadMathApi();
    }
    *reason = error.c_str();
    return device;
}

IDirect3DTexture9* filledTexture(GLDevice* device, int size, uint8_t value) {
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(size, size, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK);
    for (int y = 0; y < size; ++y) std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, value, size * 4);
    texture->UnlockRect(0);
    return texture;
}

double milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Ends the frame and waits for the rasteriser.
void finishFrame(GLDevice* device) {
    device->Present(nullptr, nullptr, nullptr, nullptr);
    glFinish();
}

// What one line of text costs: 1,000 draws of 12 lines, each after its own world matrix.
void BM_GLTinyLineDraws(benchmark::State& state) {
    const char* reason = "";
    GLDevice* device = benchDevice(&reason);
    if (!device) {
        state.SkipWithError(reason);
        return;
    }
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetTexture(0, nullptr);
    D3DXMATRIX view;
    const D3DXVECTOR3 eye = {60, 20, -120}, at = {60, 20, 0}, up = {0, 1, 0};
    MathApi.D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
    ColorVertex3 edges[24];
    for (int i = 0; i < 24; ++i) edges[i] = {float(i % 2) * 0.8f, float(i / 2) * 0.07f, float(i % 3) * 0.8f, 0xFFFFFFFF};
    double cpuMs = 0.0, finishMs = 0.0;
    uint64_t glDraws = 0;
    for (auto _ : state) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF104864, 1.0f, 0);
        const uint64_t drawsBefore = device->stats().glDrawCalls;
        const Clock::time_point start = Clock::now();
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        for (int i = 0; i < 1000; ++i) {
            D3DXMATRIX world;
            MathApi.D3DXMatrixTranslation(&world, float(i % 100) * 1.2f, float(i / 100) * 4.0f, 0.0f);
            device->SetTransform(D3DTS_WORLD, &world);
            device->DrawPrimitiveUP(D3DPT_LINELIST, 12, edges, sizeof edges[0]);
        }
        const Clock::time_point issued = Clock::now();
        finishFrame(device);
        const Clock::time_point done = Clock::now();
        cpuMs += milliseconds(start, issued);
        finishMs += milliseconds(start, done);
        glDraws += device->stats().glDrawCalls - drawsBefore;
        state.SetIterationTime(milliseconds(start, done) / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["cpu_ms"] = cpuMs / n;
    state.counters["finish_ms"] = finishMs / n;
    state.counters["gl_draws"] = double(glDraws) / n;
}
BENCHMARK(BM_GLTinyLineDraws)->UseManualTime()->Unit(benchmark::kMillisecond);

// A full-screen pretransformed quad of a linearly filtered 256 x 256 texture, blended one/one,
// drawn by the general program (argument 0) or by the one specialised to its stage (1).
void BM_GLFullScreenTexturedQuad(benchmark::State& state) {
    const char* reason = "";
    GLDevice* device = benchDevice(&reason);
    if (!device) {
        state.SkipWithError(reason);
        return;
    }
    IDirect3DTexture9* texture = filledTexture(device, 256, 0x40);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const TexVertexRhw quad[4] = {{0, 480, 0, 1, 0, 6}, {0, 0, 0, 1, 0, 0}, {640, 480, 0, 1, 6, 6}, {640, 0, 0, 1, 6, 0}};
    device->setSpecialisedPrograms(state.range(0) != 0);
    double totalMs = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        device->SetTexture(0, texture);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
        finishFrame(device);
        const double ms = milliseconds(start, Clock::now());
        totalMs += ms;
        state.SetIterationTime(ms / 1000.0);
    }
    device->setSpecialisedPrograms(true);
    device->SetTexture(0, nullptr);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    texture->Release();
    state.counters["mtexels_per_s"] = 640.0 * 480.0 * double(state.iterations()) / (totalMs * 1e3);
}
BENCHMARK(BM_GLFullScreenTexturedQuad)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Present into a window of 1920 x 1080 (a framebuffer standing for it; no swap): the clear of
// the window and the linear blit of the back buffer, drawn at 640 x 480 or at the window's
// 1440 x 1080, into the 4:3 between the bars.
void BM_GLPresentToWindow(benchmark::State& state) {
    const char* reason = "";
    GLDevice* device = benchDevice(&reason);
    if (!device) {
        state.SkipWithError(reason);
        return;
    }
    GLuint window = 0, framebuffer = 0;
    glGenRenderbuffers(1, &window);
    glBindRenderbuffer(GL_RENDERBUFFER, window);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 1920, 1080);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, window);
    GLPresentTarget target;
    target.drawableWidth = 1920;
    target.drawableHeight = 1080;
    target.framebuffer = framebuffer;
    device->setPresentTarget(target);
    const int height = static_cast<int>(state.range(0));
    device->setResolution(height * 4 / 3, height);
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        glFinish();
        state.SetIterationTime(milliseconds(start, Clock::now()) / 1000.0);
    }
    device->setPresentTarget(GLPresentTarget{});
    device->setResolution(640, 480);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteRenderbuffers(1, &window);
}
BENCHMARK(BM_GLPresentToWindow)->Arg(480)->Arg(1080)->UseManualTime()->Unit(benchmark::kMillisecond);

// One face texture: target switch, clear, 2,000 additive textured sprites at distance ~10.
void BM_GLFaceTexturePass(benchmark::State& state) {
    const char* reason = "";
    GLDevice* device = benchDevice(&reason);
    if (!device) {
        state.SkipWithError(reason);
        return;
    }
    IDirect3DTexture9* target = nullptr;
    device->CreateTexture(256, 256, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr);
    IDirect3DTexture9* sprite = filledTexture(device, 64, 0xC0);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    device->SetRenderState(D3DRS_POINTSCALE_A, d3dFloatBits(0.0f));
    device->SetRenderState(D3DRS_POINTSCALE_C, d3dFloatBits(1.0f));
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    ColorVertex3 points[2000];
    randomSeed = 0;
    for (ColorVertex3& p : points)
        p = {float(nextRandom() * 8.0 - 4.0), float(nextRandom() * 8.0 - 4.0), float(nextRandom() * 4.0 - 2.0),
             0xFF804020};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        IDirect3DSurface9 *level = nullptr, *back = nullptr;
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        target->GetSurfaceLevel(0, &level);
        device->SetRenderTarget(0, level);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->SetTransform(D3DTS_VIEW, &particleViewMatrix);
        device->SetTransform(D3DTS_WORLD, &identityMatrix);
        device->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
        device->SetTexture(0, sprite);
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        device->DrawPrimitiveUP(D3DPT_POINTLIST, 2000, points, sizeof points[0]);
        device->SetRenderTarget(0, back);
        level->Release();
        back->Release();
        finishFrame(device);
        state.SetIterationTime(milliseconds(start, Clock::now()) / 1000.0);
    }
    device->SetTexture(0, nullptr);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    sprite->Release();
    target->Release();
}
BENCHMARK(BM_GLFaceTexturePass)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
