// test_player_seek.cpp: seeks back and forth through the show on the OpenGL device, each frame
// shown after a seek against quorbel-capture's frame for that time, byte for byte; and the
// keys' table of what each asks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/player.h"
#include "core/core.h"
#include "platform/egl/egl_context.h"
#include "platform/gl/gl_device.h"
#include "platform/headless/headless_system.h"
#include "tests/png_read.h"
#include "tests/require.h"
#include "timeline/timeline.h"

namespace {

TEST(PlayerSeekTest, TheFrameAfterEachSeekIsTheCaptureToolsFrame) {
    // On the 60 fps grid, one in each phase, visited forward and back.
    const std::vector<uint32_t> seeks = {100000, 9000, 52000, 22000, 145000, 38400, 130550};
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quorbel-test-seek-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::string list;
    for (uint32_t ms : {9000, 22000, 38400, 52000, 100000, 130550, 145000}) list += (list.empty() ? "" : ",") + std::to_string(ms);
    ASSERT_EQ(std::system((std::string(QUORBEL_CAPTURE_BINARY) + " --frames " + list + " -o " + dir.string() +
                           " 2>/dev/null").c_str()),
              0);

    std::string error;
    bool noContext = false;
    GLDevice* gl = startHeadlessDevice(error, &noContext);
    if (noContext) SKIP_OR_FAIL(error);
    ASSERT_NE(gl, nullptr) << error;
    d3dDevice = gl;
    PlayerDevice front(gl);
    Player player;
    player.attach(&front);
    resetHeadlessSystem();
    startupSteps.renderSongStep = [] {};  // the song plays no part in the pictures
    initIntro();
    front.setDrawing(false);
    for (int32_t i = 0; i < loadingFrameCount; ++i) loadingFrame(i);
    player.start();

    std::vector<uint8_t> shown(640 * 480 * 4);
    for (uint32_t ms : seeks) {
        player.seek(ms);
        gl->readBackBuffer(shown.data());
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06u.png", ms);
        const std::vector<uint8_t> captured = readPng((dir / name).string()).rgba;
        ASSERT_EQ(captured.size(), shown.size()) << name;
        size_t differing = 0;
        for (size_t i = 0; i < shown.size(); ++i) differing += i % 4 != 3 && shown[i] != captured[i];
        EXPECT_EQ(differing, 0u) << "bytes of the frame after the seek to " << ms << " ms unlike " << name;
    }
    EXPECT_EQ(player.snapshotCount(), 1 + 145000 / snapshotIntervalMs) << "a snapshot for every bar passed";

    startupSteps = realStartupSteps;
    d3dDevice = nullptr;
    gl->Release();
    endReached = 0;
    resetHeadlessSystem();
    std::filesystem::remove_all(dir);
}

TEST(PlayerKeysTest, EachKeyAsksForItsTime) {
    struct Case {
        PlayerKey key;
        uint32_t now;
        bool paused;
        PlayerCommand wanted;
    };
    const Case cases[] = {
        {PlayerKey::Space,      40000,  false, {40000,  false, true,  false}},
        {PlayerKey::Space,      40000,  true,  {40000,  false, false, false}},
        {PlayerKey::Left,       40000,  false, {35000,  true,  false, false}},
        {PlayerKey::Left,       3000,   true,  {0,      true,  true,  false}},
        {PlayerKey::Right,      159000, false, {161279, true,  false, false}},
        {PlayerKey::ShiftLeft,  40000,  false, {39000,  true,  false, false}},
        {PlayerKey::ShiftRight, 40000,  false, {41000,  true,  false, false}},
        {PlayerKey::Comma,      1000,   true,  {983,    true,  true,  false}},
        {PlayerKey::Comma,      1000,   false, {983,    false, false, false}},
        {PlayerKey::Period,     983,    true,  {1000,   true,  true,  false}},
        {PlayerKey::Period,     990,    true,  {1000,   true,  true,  false}},
        {PlayerKey::Home,       90000,  false, {0,      true,  false, false}},
        {PlayerKey::PageUp,     40000,  false, {30720,  true,  false, false}},
        {PlayerKey::PageUp,     31000,  false, {15360,  true,  false, false}},
        {PlayerKey::PageUp,     500,    false, {0,      true,  false, false}},
        {PlayerKey::PageDown,   40000,  true,  {46080,  true,  true,  false}},
        {PlayerKey::PageDown,   150000, false, {161279, true,  false, false}},
        {PlayerKey::Escape,     40000,  false, {40000,  false, false, true }},
    };
    for (const Case& c : cases) {
        const PlayerCommand got = commandFor(c.key, c.now, c.paused);
        const std::string what = std::string(playerKeys[int(c.key)].label) + " at " + std::to_string(c.now);
        EXPECT_EQ(got.seekTo, c.wanted.seekTo) << what;
        EXPECT_EQ(got.seek, c.wanted.seek) << what;
        EXPECT_EQ(got.paused, c.wanted.paused) << what;
        EXPECT_EQ(got.end, c.wanted.end) << what;
    }
}

}  // namespace

namespace {

// Both platforms read the one key table: every row binds its own PlayerKey, Shift picks the
// one-second steps, and a key the player does not answer matches nothing.
TEST(PlayerKeysTest, BothPlatformsFindTheirRowsInTheOneTable) {
    for (int32_t k = 0; k < playerKeyCount; ++k) EXPECT_EQ(int(playerKeys[k].key), k) << playerKeys[k].label;
    struct Case {
        const char* sdlName;
        const char* pageKey;
        bool shift;
        int wanted;  // PlayerKey, -1 none
    };
    const Case cases[] = {
        {"Space", " ", false, int(PlayerKey::Space)},       {"Space", " ", true, int(PlayerKey::Space)},
        {"Left", "ArrowLeft", false, int(PlayerKey::Left)},  {"Left", "ArrowLeft", true, int(PlayerKey::ShiftLeft)},
        {"Right", "ArrowRight", true, int(PlayerKey::ShiftRight)}, {"PageDown", "PageDown", false, int(PlayerKey::PageDown)},
        {"Escape", "Escape", false, int(PlayerKey::Escape)}, {"Return", "Enter", false, -1},
        {"F", "f", false, -1},
        {"AudioPlay", "MediaPlayPause", false, int(PlayerKey::Space)},
        {"AudioNext", "MediaTrackNext", false, int(PlayerKey::PageDown)},
        {"AudioPrev", "MediaTrackPrevious", true, int(PlayerKey::PageUp)},
        {"AudioStop", "MediaStop", false, -1},
    };
    for (const Case& c : cases) {
        const PlayerKeyBinding* native = playerKeyBySdlName(c.sdlName, c.shift);
        const PlayerKeyBinding* page = playerKeyByPageKey(c.pageKey, c.shift);
        EXPECT_EQ(native == nullptr ? -1 : int(native->key), c.wanted) << c.sdlName << (c.shift ? " with Shift" : "");
        EXPECT_EQ(page == nullptr ? -1 : int(page->key), c.wanted) << c.pageKey << (c.shift ? " with Shift" : "");
    }
}

// A key held from 0 to releaseMs, the player asking every stepMs until 3 s: the ticks at which
// it acts again. Steady while held, nothing after the release, one for a slow step, not a burst.
TEST(PlayerKeysTest, AHeldKeyActsAgainAtItsOwnRateUntilLetGo) {
    struct Case {
        PlayerKey key;
        uint32_t releaseMs, stepMs;
        std::vector<uint32_t> wanted;
    };
    const Case cases[] = {
        {PlayerKey::Space,  1500, 10,   {}},
        {PlayerKey::Right,  1000, 50,   {400, 650, 900}},
        {PlayerKey::Period, 700,  50,   {400, 500, 600, 700}},
        {PlayerKey::Left,   2500, 1000, {1000, 2000}},
    };
    for (const Case& c : cases) {
        HeldKey held;
        held.press(playerKeys[int(c.key)], 7, 0);
        std::vector<uint32_t> acted;
        for (uint32_t tick = c.stepMs; tick <= 3000; tick += c.stepMs) {
            if (tick == c.stepMs) held.release(8);  // another key: this one is still held
            if (tick > c.releaseMs) held.release(7);
            while (held.due(tick) != nullptr) acted.push_back(tick);
        }
        EXPECT_EQ(acted, c.wanted) << playerKeys[int(c.key)].label;
    }
}

// 33 presses within a frame: the first 32 in their order (the last dropped), then the held
// key's repeats, and none once it is let go.
TEST(PlayerKeysTest, PressedKeysComeInTheirOrderThenTheHeldOneRepeats) {
    PlayerKeyQueue queue;
    std::vector<PlayerKey> pressed, given;
    for (int32_t id = 0; id <= 32; ++id) {
        const PlayerKey key = id % 2 == 0 ? PlayerKey::Right : PlayerKey::Space;
        queue.press(playerKeys[int(key)], id, 0);
        if (id < 32) pressed.push_back(key);
    }
    PlayerKey key = PlayerKey::Escape;
    while (queue.next(0, &key)) given.push_back(key);
    EXPECT_EQ(given, pressed);
    EXPECT_TRUE(queue.next(heldDelayMs, &key) && key == PlayerKey::Right);
    queue.release(32);
    EXPECT_FALSE(queue.next(2000, &key));
}

TEST(PlayerOptionsTest, StartAndLoopTimesAreCheckedWithTheirReason) {
    struct Case {
        const char* text;
        bool loop;
        bool good;
        uint32_t from, to;
        const char* because;  // a word of the reason
    };
    const Case cases[] = {
        {"0",            false, true,  0,      0,      ""},
        {"161279",       false, true,  161279, 0,      ""},
        {"161280",       false, false, 0,      0,      "past"},
        {"-5",           false, false, 0,      0,      "before"},
        {"12s",          false, false, 0,      0,      "not a time"},
        {"",             false, false, 0,      0,      "not a time"},
        {"99999999999999999999", false, false, 0, 0,   "not a time"},
        {"1000:5000",    true,  true,  1000,   5000,   ""},
        {"5000:5000",    true,  false, 0,      0,      "ends before"},
        {"5000:1000",    true,  false, 0,      0,      "ends before"},
        {"1000",         true,  false, 0,      0,      "not A:B"},
        {"1000:x",       true,  false, 0,      0,      "not a time"},
        {"1000:200000",  true,  false, 0,      0,      "past"},
    };
    for (const Case& c : cases) {
        uint32_t from = 7, to = 7;
        std::string why;
        const bool good = c.loop ? parseShowLoop(c.text, from, to, why) : parseShowTime(c.text, from, why);
        EXPECT_EQ(good, c.good) << c.text;
        if (good) {
            EXPECT_EQ(from, c.from) << c.text;
            if (c.loop) {
                EXPECT_EQ(to, c.to) << c.text;
            }
        } else {
            EXPECT_NE(why.find(c.because), std::string::npos) << c.text << ": " << why;
        }
    }
}

}  // namespace
