// test_app_intro.cpp: start-up order, the loading screen, the clock and the frame loop, seen
// through the recording device, the headless services and recorders in place of the other
// subsystems' operations.
#include <string>
#include <vector>

#include "app/app.h"
#include "app/show_life.h"
#include "platform/headless/headless_system.h"
#include "tests/recording_fixture.h"
#include "timeline/timeline.h"

namespace {

// What one call into another subsystem saw.
struct StepCall {
    std::string name;
    size_t deviceCalls;   // device calls made before it
    uint32_t seed;        // randomSeed when it ran
    uint32_t timeMs;      // demoTimeMs when it ran
    std::string text;     // drawText's arguments
    float args[7];
};

std::vector<StepCall> stepCalls;
RecordingDevice* recording;
int endAfterTimelineFrames;  // renderTimeline sets endReached on this call (0: never)
uint32_t tickAtMusicStart;   // startMusic moves the clock here (0: leaves it)

StepCall& note(const char* name) {
    StepCall call = {};
    call.name = name;
    call.deviceCalls = recording->calls.size();
    call.seed = randomSeed;
    call.timeMs = demoTimeMs;
    stepCalls.push_back(call);
    return stepCalls.back();
}

size_t countOf(const char* name) {
    size_t n = 0;
    for (const StepCall& call : stepCalls) n += call.name == name;
    return n;
}

const StartupSteps recorders = {
    [] { note("buildTunnel"); },
    [](int32_t n) { note("scrambleCube").args[0] = static_cast<float>(n); },
    [] { note("initParticleSystems"); },
    [] { note("createNoiseTexture"); },
    [] { note("buildEdgeCube"); },
    [] { note("initWaveBuffer"); },
    [] { note("renderSongStep"); },
    [](const char* text, float v, float ex, float ey, float ez, float tx, float ty, float tz) {
        StepCall& call = note("drawText");
        call.text = text;
        const float args[7] = {v, ex, ey, ez, tx, ty, tz};
        std::copy(args, args + 7, call.args);
    },
    [] {
        note("startMusic");
        if (tickAtMusicStart != 0) headlessSystem.tick = tickAtMusicStart;
    },
    [] { note("stopMusic"); },
    [] {
        note("updateBackgroundColor");
        backgroundColor = 0xFF000000u | demoTimeMs;
    },
    [] {
        note("renderTimeline");
        if (countOf("renderTimeline") == static_cast<size_t>(endAfterTimelineFrames)) endReached = 1;
    },
};

class IntroTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        device->keepVertices = false;
        recording = device.get();
        stepCalls.clear();
        endAfterTimelineFrames = 0;
        tickAtMusicStart = 0;
        resetHeadlessSystem();
        headlessSystem.displayDevice = device.get();
        startupSteps = recorders;
        endReached = 0;
        startTick = 0;
        demoTimeMs = 0;
        savedBackground = backgroundColor;
        backgroundColor = 0xFF104864u;
    }

    void TearDown() override {
        startupSteps = realStartupSteps;
        backgroundColor = savedBackground;
        endReached = 0;
        resetHeadlessSystem();
        RecordingTest::TearDown();
    }

    std::vector<const StepCall*> stepsNamed(const char* name) const {
        std::vector<const StepCall*> found;
        for (const StepCall& call : stepCalls)
            if (call.name == name) found.push_back(&call);
        return found;
    }

    uint32_t savedBackground = 0;
};

// ---- the loading screen ----

TEST_F(IntroTest, LoadingScreenIsExactly64FramesOfDissolvingTexts) {
    headlessSystem.escapeHeld = true;
    playIntro(nullptr);

    ASSERT_EQ(countOf("renderSongStep"), 64u);
    EXPECT_EQ(device->count(CallKind::Present), 64u);
    const auto clears = callsOf(CallKind::Clear);
    ASSERT_EQ(clears.size(), 64u);
    for (const RecordedCall* clear : clears) {
        EXPECT_EQ(clear->args[0], 0u);
        EXPECT_EQ(clear->args[1], D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER) << "the stencil is never cleared";
        EXPECT_EQ(clear->args[2], 0xFF104864u);
        EXPECT_EQ(clear->args[3], d3dFloatBits(1.0f));
        EXPECT_EQ(clear->args[4], 0u);
    }

    const auto texts = stepsNamed("drawText");
    ASSERT_EQ(texts.size(), 128u);
    const auto begins = callsOf(CallKind::BeginScene);
    for (int i = 0; i < 64; ++i) {
        const StepCall& loading = *texts[2 * i];
        const StepCall& title = *texts[2 * i + 1];
        EXPECT_EQ(loading.text, "loading");
        EXPECT_EQ(title.text, "Quorbel");
        EXPECT_EQ(loading.args[0], 1.0f - i / 64.0f) << "frame " << i;
        EXPECT_EQ(title.args[0], i / 64.0f) << "frame " << i;
        for (const StepCall* text : {&loading, &title}) {
            const float camera[6] = {60, 20, -120, 60, 20, 0};
            for (int k = 0; k < 6; ++k) EXPECT_EQ(text->args[k + 1], camera[k]);
        }
    }
    EXPECT_EQ(texts.front()->args[0], 1.0f);
    EXPECT_EQ(texts[1]->args[0], 0.0f);
    EXPECT_EQ(texts[126]->args[0], 1.0f / 64);
    EXPECT_EQ(texts[127]->args[0], 63.0f / 64);

    // Each frame: song step, BeginScene, Clear, the two texts, EndScene, Present.
    const auto steps = stepsNamed("renderSongStep");
    for (int i = 0; i < 64; ++i) {
        const size_t at = steps[i]->deviceCalls;
        ASSERT_LE(at + 4, device->calls.size());
        EXPECT_EQ(device->calls[at].kind, CallKind::BeginScene);
        EXPECT_EQ(device->calls[at + 1].kind, CallKind::Clear);
        EXPECT_EQ(texts[2 * i]->deviceCalls, at + 2);
        EXPECT_EQ(texts[2 * i + 1]->deviceCalls, at + 2);
        EXPECT_EQ(device->calls[at + 2].kind, CallKind::EndScene);
        EXPECT_EQ(device->calls[at + 3].kind, CallKind::Present);
    }
    EXPECT_EQ(begins.size(), 64u);
}

TEST_F(IntroTest, EscapeHeldDuringLoadingEndsTheShowBeforeAnyTimelineFrame) {
    headlessSystem.escapeHeld = true;
    headlessSystem.tick = 40;
    tickAtMusicStart = 9000;
    playIntro(nullptr);

    EXPECT_EQ(countOf("renderSongStep"), 64u) << "the loading screen ignores Escape";
    EXPECT_EQ(headlessSystem.escapeTests, 1u) << "Escape is first tested by the frame loop";
    EXPECT_EQ(countOf("updateBackgroundColor"), 0u);
    EXPECT_EQ(countOf("renderTimeline"), 0u);
    EXPECT_EQ(device->count(CallKind::Present), 64u);
    ASSERT_EQ(countOf("startMusic"), 1u);
    ASSERT_GE(stepCalls.size(), 2u);
    EXPECT_EQ(stepCalls[stepCalls.size() - 2].name, "startMusic");
    EXPECT_EQ(stepCalls.back().name, "stopMusic") << "the music stops on the way out, right after the Escape test";
    EXPECT_EQ(startTick, 9000u) << "the clock origin is read right after the music started";
}

// ---- the frame loop and the clock ----

TEST_F(IntroTest, TheFrameThatSetsEndReachedIsStillPresented) {
    endAfterTimelineFrames = 3;
    playIntro(nullptr);

    EXPECT_EQ(countOf("renderTimeline"), 3u);
    EXPECT_EQ(device->count(CallKind::Present), 64u + 3u);
    ASSERT_GE(device->calls.size(), 2u);
    EXPECT_EQ(device->calls.back().kind, CallKind::Present);
    EXPECT_EQ(device->calls[device->calls.size() - 2].kind, CallKind::EndScene);
    ASSERT_GE(stepCalls.size(), 2u);
    EXPECT_EQ(stepCalls[stepCalls.size() - 2].name, "renderTimeline");
    EXPECT_EQ(stepCalls.back().name, "stopMusic");
    // Escape is tested before each frame and once more before endReached stops the loop.
    EXPECT_EQ(headlessSystem.escapeTests, 4u);
}

TEST_F(IntroTest, ShowFrameSetsTheClockThenChoosesTheColourClearsAndDraws) {
    startTick = 1000;
    headlessSystem.tick = 3500;
    showFrame();

    EXPECT_EQ(demoTimeMs, 2500u);
    EXPECT_EQ(demoTimeSec, 2.5f);
    ASSERT_EQ(stepCalls.size(), 2u);
    EXPECT_EQ(stepCalls[0].name, "updateBackgroundColor");
    EXPECT_EQ(stepCalls[0].timeMs, 2500u) << "the clock is set before anything uses it";
    EXPECT_EQ(stepCalls[0].deviceCalls, 1u) << "after BeginScene";
    EXPECT_EQ(stepCalls[1].name, "renderTimeline");
    EXPECT_EQ(stepCalls[1].deviceCalls, 2u) << "after the Clear";
    ASSERT_EQ(device->calls.size(), 4u);
    EXPECT_EQ(device->calls[0].kind, CallKind::BeginScene);
    EXPECT_EQ(device->calls[1].kind, CallKind::Clear);
    EXPECT_EQ(device->calls[1].args[2], 0xFF000000u | 2500u) << "cleared with the colour just chosen";
    EXPECT_EQ(device->calls[2].kind, CallKind::EndScene);
    EXPECT_EQ(device->calls[3].kind, CallKind::Present);
}

TEST_F(IntroTest, AWrapOfTheTickCounterGivesTheTrueElapsedTime) {
    startTick = 0xFFFFFF00u;
    headlessSystem.tick = 0x00000010u;
    showFrame();
    EXPECT_EQ(demoTimeMs, 0x110u);
    EXPECT_EQ(demoTimeSec, static_cast<float>(272 * static_cast<double>(0.001f)));

    startTick = 0xFFFFFFFFu;
    headlessSystem.tick = 0xFFFFFFFEu;  // one tick before the origin: a full turn minus one
    showFrame();
    EXPECT_EQ(demoTimeMs, 0xFFFFFFFFu);
}

// ---- the one-time initialisation ----

TEST_F(IntroTest, InitIntroRunsItsStepsInOrder) {
    headlessSystem.tick = 5;  // the skip of 5 - 1 = 4 steps
    initIntro();

    std::vector<std::string> order;
    for (const StepCall& call : stepCalls) order.push_back(call.name);
    EXPECT_EQ(order, (std::vector<std::string>{"buildTunnel", "scrambleCube", "initParticleSystems",
                                               "createNoiseTexture", "buildEdgeCube"}));
    ASSERT_EQ(stepCalls.size(), 5u);
    EXPECT_EQ(stepCalls[1].args[0], 125.0f);

    // The tunnel draws from the sequence one step in; the scramble after the tick's skip.
    randomSeed = 0;
    nextRandom();
    const uint32_t afterOne = randomSeed;
    for (int i = 0; i < 4; ++i) nextRandom();
    EXPECT_EQ(stepCalls[0].seed, afterOne);
    EXPECT_EQ(stepCalls[1].seed, randomSeed);
    EXPECT_EQ(stepCalls[2].seed, randomSeed);

    // Nothing touches the device before the particle systems; then the fixed states.
    EXPECT_EQ(stepCalls[2].deviceCalls, 0u);
    const size_t first = stepCalls[2].deviceCalls;
    const std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states = {
        {D3DRS_DESTBLEND, D3DBLEND_ONE},
        {D3DRS_POINTSPRITEENABLE, TRUE},
        {D3DRS_POINTSCALEENABLE, TRUE},
        {D3DRS_POINTSIZE, d3dFloatBits(1.0f)},
        {D3DRS_POINTSIZE_MIN, d3dFloatBits(1.0f)},
        {D3DRS_POINTSCALE_A, d3dFloatBits(0.0f)},
        {D3DRS_POINTSCALE_B, d3dFloatBits(0.0f)},
        {D3DRS_POINTSCALE_C, d3dFloatBits(1.0f)},
        {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_FOGCOLOR, 0xFF000000u},
        {D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR},
        {D3DRS_FOGSTART, d3dFloatBits(0.0f)},
        {D3DRS_FOGEND, d3dFloatBits(500.0f)},
        {D3DRS_CULLMODE, D3DCULL_CCW},  // setRenderMode(0) writes nothing, 17 only the culling
    };
    const auto& calls = device->calls;
    ASSERT_EQ(calls.size(), first + 5 + states.size() + 7);
    EXPECT_EQ(calls[first].kind, CallKind::SetRenderState);
    EXPECT_EQ(calls[first].args[0], DWORD(D3DRS_LIGHTING));
    EXPECT_EQ(calls[first].args[1], DWORD(FALSE));
    EXPECT_EQ(calls[first + 1].kind, CallKind::SetTransform);
    EXPECT_EQ(calls[first + 1].args[0], DWORD(D3DTS_PROJECTION));
    EXPECT_EQ(std::memcmp(&calls[first + 1].matrix, &projectionMatrix, sizeof projectionMatrix), 0);
    const DWORD samplers[3][2] = {{D3DSAMP_MAGFILTER, D3DTEXF_LINEAR},
                                  {D3DSAMP_MINFILTER, D3DTEXF_LINEAR},
                                  {D3DSAMP_MIPFILTER, D3DTEXF_NONE}};
    for (int k = 0; k < 3; ++k) {
        const RecordedCall& call = calls[first + 2 + k];
        EXPECT_EQ(call.kind, CallKind::SetSamplerState);
        EXPECT_EQ(call.args[0], 0u);
        EXPECT_EQ(call.args[1], samplers[k][0]);
        EXPECT_EQ(call.args[2], samplers[k][1]);
    }
    for (size_t k = 0; k < states.size(); ++k) {
        const RecordedCall& call = calls[first + 5 + k];
        EXPECT_EQ(call.kind, CallKind::SetRenderState) << "state " << k;
        EXPECT_EQ(call.args[0], DWORD(states[k].first)) << "state " << k;
        EXPECT_EQ(call.args[1], states[k].second) << "state " << k;
    }

    // Six face textures, then the noise texture and the text's cube, then the screen copy.
    const size_t textures = first + 5 + states.size();
    for (size_t k = 0; k < 7; ++k) {
        const RecordedCall& call = calls[textures + k];
        ASSERT_EQ(call.kind, CallKind::CreateTexture);
        EXPECT_EQ(call.args[0], 256u);
        EXPECT_EQ(call.args[1], 256u);
        EXPECT_EQ(call.args[2], 1u);
        EXPECT_EQ(call.args[3], D3DUSAGE_RENDERTARGET);
        EXPECT_EQ(call.args[4], DWORD(D3DFMT_X8R8G8B8));
        EXPECT_EQ(call.args[5], DWORD(D3DPOOL_DEFAULT));
        IDirect3DTexture9* made = device->textureById(call.object);
        EXPECT_EQ(made, k < 6 ? faceTextures[k] : screenCopyTexture) << "texture " << k;
    }
    EXPECT_EQ(stepCalls[3].deviceCalls, textures + 6);
    EXPECT_EQ(stepCalls[4].deviceCalls, textures + 6);
}

// ---- the display ----

TEST_F(IntroTest, DisplayIsAskedForThenPlacedByTheScreenSize) {
    headlessSystem.answerYes = true;
    headlessSystem.screenWidth = 1023;
    headlessSystem.screenHeight = 767;
    d3dDevice = nullptr;
    openDisplay(ScreenChoice::Ask);
    EXPECT_EQ(headlessSystem.questionsAsked, 1u);
    EXPECT_STREQ(headlessSystem.questionText, "Fullscreen ?");
    EXPECT_STREQ(headlessSystem.questionCaption, "Quorbel by the Vantreli");
    EXPECT_FALSE(headlessSystem.displayWindowed);
    EXPECT_EQ(headlessSystem.displayX, 191);
    EXPECT_EQ(headlessSystem.displayY, 143);
    EXPECT_EQ(headlessSystem.displayWidth, 640);
    EXPECT_EQ(headlessSystem.displayHeight, 480);
    EXPECT_TRUE(headlessSystem.cursorHidden);
    EXPECT_EQ(d3dDevice, device.get());
}

TEST_F(IntroTest, ASmallScreenPutsTheWindowAtNegativeCoordinates) {
    headlessSystem.screenWidth = 631;  // 315 - 320, truncated toward zero
    headlessSystem.screenHeight = 470;
    openDisplay(ScreenChoice::Window);
    EXPECT_EQ(headlessSystem.questionsAsked, 0u) << "the command line answered already";
    EXPECT_TRUE(headlessSystem.displayWindowed);
    EXPECT_EQ(headlessSystem.displayX, -5);
    EXPECT_EQ(headlessSystem.displayY, -5);
}

TEST_F(IntroTest, NoAnswerKeepsTheWindowAndFullScreenNeedsNoQuestion) {
    headlessSystem.answerYes = false;
    openDisplay(ScreenChoice::Ask);
    EXPECT_TRUE(headlessSystem.displayWindowed);
    openDisplay(ScreenChoice::FullScreen);
    EXPECT_FALSE(headlessSystem.displayWindowed);
    EXPECT_EQ(headlessSystem.questionsAsked, 1u);
}

TEST(PresentParametersTest, EveryFieldAsTheDeviceIsCreatedWith) {
    const D3DPRESENT_PARAMETERS p = showPresentParameters(false);
    EXPECT_EQ(p.BackBufferWidth, 640u);
    EXPECT_EQ(p.BackBufferHeight, 480u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_A8R8G8B8);
    EXPECT_EQ(p.BackBufferCount, 1u);
    EXPECT_EQ(p.MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(p.hDeviceWindow, nullptr);
    EXPECT_EQ(p.Windowed, TRUE);
    EXPECT_EQ(p.EnableAutoDepthStencil, TRUE);
    EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D24S8);
    EXPECT_EQ(p.Flags, 0u);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
    EXPECT_EQ(p.PresentationInterval, D3DPRESENT_INTERVAL_DEFAULT);
    EXPECT_EQ(showPresentParameters(true).Windowed, FALSE);
}

}  // namespace
