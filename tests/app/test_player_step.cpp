// test_player_step.cpp: the player's life step by step on the virtual clock and the OpenGL
// device, as a viewer meets it: keys pressed while loading, a start later in the show and its
// music, pause and its wait, a new size while paused, a seek in live play, the platform's hold,
// a loop's wrap and Escape.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/player.h"
#include "app/show_life.h"
#include "core/core.h"
#include "platform/egl/egl_context.h"
#include "platform/gl/gl_device.h"
#include "platform/headless/headless_system.h"
#include "tests/png_read.h"
#include "tests/require.h"

namespace {

uint32_t musicStartedAtShowMs;  // demoTimeMs when startMusic ran: where the run-up had got to

void press(const std::vector<PlayerKey>& keys) {
    for (PlayerKey key : keys) headlessSystem.keys[headlessSystem.keyCount++] = key;
}

// What a moment of the session does before its step, and what the player shows after it.
struct Moment {
    const char* what;
    uint32_t advanceMs;            // the clock moves on by this before the step
    std::vector<PlayerKey> keys;   // pressed before the step
    int held;                      // -1 as it was, else the platform's hold from here
    bool newSize;                  // the window grows to 1280 x 960 and its picture is lost
    uint32_t showMs;               // nowMs after the step
    bool paused;
    bool drawn;                    // a frame was drawn (not only the paused one shown again)
    uint32_t landingSteps = 0;     // a seek too far for one step: the steps after it until it lands
};

TEST(PlayerStepTest, AViewersSession) {
    std::string error;
    bool noContext = false;
    GLDevice* gl = startHeadlessDevice(error, &noContext);
    if (noContext) SKIP_OR_FAIL(error);
    ASSERT_NE(gl, nullptr) << error;
    const std::filesystem::path picture =
        std::filesystem::temp_directory_path() / ("quorbel-test-step-" + std::to_string(getpid()) + ".png");
    ASSERT_EQ(std::system((std::string(QUORBEL_CAPTURE_BINARY) + " --frame 20000 --size 1280x960 -o " +
                           picture.string() + " 2>/dev/null").c_str()),
              0);

    resetHeadlessSystem();
    d3dDevice = gl;
    startupSteps.renderSongStep = [] {};  // the song plays no part in the pictures
    startupSteps.startMusic = [] {
        musicStartedAtShowMs = demoTimeMs;
        realStartupSteps.startMusic();
    };
    PlayerOptions options;
    options.loop = true;
    options.loopFromMs = 20000;
    options.loopToMs = 40000;
    Player player(options);
    ShowLife life(ScreenChoice::Window, &player);
    // Pressed during the loading screen: none of them may reach the show.
    press({PlayerKey::Space, PlayerKey::Right, PlayerKey::Right, PlayerKey::Right});
    uint64_t draws = 0;
    while (life.stage() != LifeStage::Playing) {
        draws = gl->stats().d3dDrawCalls;
        ASSERT_TRUE(life.step());
    }
    EXPECT_GT(gl->stats().d3dDrawCalls, draws) << "the first frame is drawn";
    EXPECT_GE(musicStartedAtShowMs, 19983u) << "the music starts after the run-up to the loop's start";
    EXPECT_EQ(headlessSystem.wavePositionMs, 20000u) << "and from that moment";
    EXPECT_EQ(player.nowMs(), 20000u);
    EXPECT_FALSE(player.paused()) << "Space pressed while loading";
    EXPECT_EQ(headlessSystem.showFrameMs, 20000u) << "the first frame shown";

    const Moment session[] = {
        {"pause",                          100,   {PlayerKey::Space},      -1, false, 20100, true,  false},
        {"a paused wait",                  4000,  {},                      -1, false, 20100, true,  false},
        {"a new size while paused",        16,    {},                      -1, true,  20100, true,  true},
        {"a frame ahead while paused",     16,    {PlayerKey::Period},     -1, false, 20116, true,  true},
        {"resume",                         16,    {PlayerKey::Space},      -1, false, 20116, false, true},
        {"play on",                        500,   {},                      -1, false, 20616, false, true},
        {"a seek in live play",            16,    {PlayerKey::Right},      -1, false, 25632, false, true},
        {"the platform holds the show",    16,    {},                      1,  false, 25648, true,  false},
        {"the hold ends",                  3000,  {},                      0,  false, 25648, false, true},
        // The two keys are one seek, to the second's goal: no frame of the first phase is drawn.
        {"two phases ahead, past the look-ahead", 16, {PlayerKey::PageDown, PlayerKey::PageDown}, -1, false, 46080, false, false, 3},
        {"past the loop's end: its start", 15000, {},                      -1, false, 20000, false, true},
    };
    std::vector<uint8_t> shown(1280 * 960 * 4);
    for (const Moment& m : session) {
        headlessSystem.tick += m.advanceMs;
        press(m.keys);
        if (m.held >= 0) headlessSystem.held = m.held == 1;
        if (m.newSize) {
            ASSERT_TRUE(gl->setResolution(1280, 960));
            headlessSystem.pictureLost = true;
        }
        const uint32_t againBefore = headlessSystem.pacedPresentsAgain;
        draws = gl->stats().d3dDrawCalls;
        ASSERT_TRUE(life.step()) << m.what;
        EXPECT_EQ(gl->stats().d3dDrawCalls > draws, m.drawn) << m.what << ": a frame drawn, or the paused one kept";
        EXPECT_EQ(player.nowMs(), m.showMs) << m.what;
        EXPECT_EQ(player.paused(), m.paused) << m.what;
        EXPECT_EQ(headlessSystem.wavePaused, m.paused) << m.what << ": the sound with it";
        if (m.paused) {
            EXPECT_EQ(headlessSystem.pacedPresentsAgain, againBefore + 1) << m.what << ": the picture shown again";
        }
        // The rest of a long seek's run-up, a slice a step, the last picture shown meanwhile.
        EXPECT_EQ(player.seeking(), m.landingSteps > 0) << m.what;
        uint32_t landing = 0;
        for (; player.seeking() && landing < 10; ++landing) {
            draws = gl->stats().d3dDrawCalls;
            headlessSystem.tick += 16;
            ASSERT_TRUE(life.step());
            EXPECT_EQ(player.nowMs(), m.showMs) << m.what << ": on its way";
            EXPECT_EQ(gl->stats().d3dDrawCalls > draws, !player.seeking()) << m.what << ": drawn once it lands";
        }
        EXPECT_EQ(landing, m.landingSteps) << m.what;
        if (m.newSize) {
            gl->readBackBuffer(shown.data());
            const std::vector<uint8_t> captured = readPng(picture.string()).rgba;
            ASSERT_EQ(captured.size(), shown.size());
            size_t differing = 0;
            for (size_t i = 0; i < shown.size(); ++i) differing += i % 4 != 3 && shown[i] != captured[i];
            EXPECT_EQ(differing, 0u) << "the frame shown when paused (20000 ms, the clock stopped at 20100) drawn "
                                        "again at 1280 x 960 is --frame 20000 --size 1280x960";
        }
        // A viewer's resume lets the sound go on where it stopped; after a hold it is put back
        // where the picture is.
        if (std::string(m.what) == "resume") {
            EXPECT_EQ(headlessSystem.wavePositionMs, 20116u) << m.what << ": the sound where the frame step left it";
        }
        // From the nearest state: the look-ahead's, a few hundred frames before, not the start.
        if (std::string(m.what) == "a seek in live play") {
            EXPECT_LT(player.runUpFrames(), (25632u - 20000u) * 60 / 1000) << m.what;
        }
        if (std::string(m.what) == "the hold ends") {
            EXPECT_EQ(headlessSystem.wavePositionMs, m.showMs) << m.what << ": the sound back where the picture is";
        }
    }
    EXPECT_GT(player.lookAheadMs(), 25648u) << "the look-ahead runs ahead of the furthest frame shown";

    headlessSystem.escapeHeld = true;
    EXPECT_FALSE(life.step()) << "Escape ends the show";
    EXPECT_EQ(life.stage(), LifeStage::Ended);
    EXPECT_TRUE(headlessSystem.waveStopped);

    startupSteps = realStartupSteps;
    d3dDevice = nullptr;
    gl->Release();
    endReached = 0;
    resetHeadlessSystem();
    std::filesystem::remove(picture);
}

}  // namespace
