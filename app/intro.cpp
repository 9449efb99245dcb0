// intro.cpp: start-up, the one-time initialisation, the loading screen, the clock and the frame
// loop.
#include "app/app.h"
#include "core/core.h"
#include "cube/cube.h"
#include "overlays/overlays.h"
#include "particles/particles.h"
#include "platform/system.h"
#include "synth/synth.h"
#include "text/text.h"
#include "timeline/timeline.h"
#include "tunnel/tunnel.h"

const StartupSteps realStartupSteps = {
    buildTunnel,    scrambleCube, initParticleSystems, createNoiseTexture,    buildEdgeCube,
    initWaveBuffer, renderSongStep, drawText,          startMusic,            stopMusic,
    updateBackgroundColor, renderTimeline,
};

StartupSteps startupSteps = realStartupSteps;

namespace {

// The camera both loading texts are seen from.
constexpr float loadingEyeX = 60.0f, loadingEyeY = 20.0f, loadingEyeZ = -120.0f;
constexpr float loadingTargetX = 60.0f, loadingTargetY = 20.0f, loadingTargetZ = 0.0f;

// The clear of every frame: target and depth, never the stencil.
void clearFrame() {
    d3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, backgroundColor, 1.0f, 0);
}

IDirect3DTexture9* createScreenTexture() {
    IDirect3DTexture9* texture = nullptr;
    d3dDevice->CreateTexture(256, 256, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                             &texture, nullptr);
    return texture;
}

}  // namespace

const char fullScreenQuestion[] = "Fullscreen ?";
const char fullScreenCaption[] = "Quorbel by the Vantreli";

D3DPRESENT_PARAMETERS showPresentParameters(bool fullScreen) {
    D3DPRESENT_PARAMETERS params = {};
    params.BackBufferWidth = 640;
    params.BackBufferHeight = 480;
    params.BackBufferFormat = D3DFMT_A8R8G8B8;
    params.BackBufferCount = 1;
    params.MultiSampleType = D3DMULTISAMPLE_NONE;
    params.MultiSampleQuality = 0;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = nullptr;
    params.Windowed = fullScreen ? FALSE : TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.Flags = 0;
    params.FullScreen_RefreshRateInHz = 0;
    params.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    return params;
}

void openDisplay(ScreenChoice choice) {
    bool fullScreen = choice == ScreenChoice::FullScreen;
    if (choice == ScreenChoice::Ask)
        fullScreen = systemAskYesNo(fullScreenQuestion, fullScreenCaption);
    const D3DPRESENT_PARAMETERS params = showPresentParameters(fullScreen);
    // Height first, as the show always asked; C++ division truncates toward zero, so a screen
    // narrower than 640 puts the window at a negative x, unchanged.
    const int32_t height = systemScreenHeight();
    const int32_t width = systemScreenWidth();
    d3dDevice = systemCreateDisplay(width / 2 - 320, height / 2 - 240, 640, 480, &params);
    systemHideCursor();
}

void initIntro() {
    loadMathApi();
    skipRandom(2);
    // Before the tick-dependent skip: the tunnel is the same on every run.
    startupSteps.buildTunnel();
    skipRandom(systemTickCount());
    startupSteps.scrambleCube(125);
    startupSteps.initParticleSystems();

    d3dDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    d3dDevice->SetTransform(D3DTS_PROJECTION, &projectionMatrix);
    d3dDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d3dDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d3dDevice->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    // With the default SRCBLEND of ONE this makes blending additive.
    d3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    d3dDevice->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    d3dDevice->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    d3dDevice->SetRenderState(D3DRS_POINTSIZE, d3dFloatBits(1.0f));
    d3dDevice->SetRenderState(D3DRS_POINTSIZE_MIN, d3dFloatBits(1.0f));
    // Scale factors 0, 0, 1: a point's screen size is viewport height x size / distance.
    d3dDevice->SetRenderState(D3DRS_POINTSCALE_A, d3dFloatBits(0.0f));
    d3dDevice->SetRenderState(D3DRS_POINTSCALE_B, d3dFloatBits(0.0f));
    d3dDevice->SetRenderState(D3DRS_POINTSCALE_C, d3dFloatBits(1.0f));
    d3dDevice->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    d3dDevice->SetRenderState(D3DRS_FOGCOLOR, 0xFF000000u);
    d3dDevice->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    setFogEnd(500.0f);
    setRenderMode(0);
    setRenderMode(17);

    for (IDirect3DTexture9*& texture : faceTextures) texture = createScreenTexture();
    startupSteps.createNoiseTexture();
    startupSteps.buildEdgeCube();
    screenCopyTexture = createScreenTexture();
}

void loadingFrame(int32_t i) {
    startupSteps.renderSongStep();
    d3dDevice->BeginScene();
    // backgroundColor still holds its start value: the timeline has not chosen one yet.
    clearFrame();
    const double fraction = i * 0.015625;  // i / 64, exact
    startupSteps.drawText("loading", static_cast<float>(1.0 - fraction), loadingEyeX, loadingEyeY,
                        loadingEyeZ, loadingTargetX, loadingTargetY, loadingTargetZ);
    startupSteps.drawText(openingLines[0], static_cast<float>(fraction), loadingEyeX, loadingEyeY,
                        loadingEyeZ, loadingTargetX, loadingTargetY, loadingTargetZ);
    d3dDevice->EndScene();
    d3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

void startShowClock() { startTick = systemTickCount(); }

// Unsigned subtraction: a wrap of the tick counter still gives the elapsed time.
void showFrame() { showFrameAt(systemTickCount() - startTick); }

void showFrameAt(uint32_t ms) {
    d3dDevice->BeginScene();
    demoTimeMs = ms;
    // The product is formed in double and only then rounded to float, as the show's arithmetic is.
    demoTimeSec = static_cast<float>(static_cast<double>(demoTimeMs) * static_cast<double>(0.001f));
    startupSteps.updateBackgroundColor();
    clearFrame();
    startupSteps.renderTimeline();
    // Presented even when renderTimeline has just set endReached.
    d3dDevice->EndScene();
    d3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

bool showStep() {
    if (systemEscapePressed()) return false;
    if (endReached != 0) return false;
    showFrame();
    return true;
}
