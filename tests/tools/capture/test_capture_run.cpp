// test_capture_run.cpp: the capture tool's virtual clock (which frames run, at which show times,
// which are drawn, where it stops) and its contact sheet.
#include <vector>

#include "app/app.h"
#include "core/frame_grid.h"
#include "platform/headless/headless_system.h"
#include "tests/recording_fixture.h"
#include "tools/capture/capture_run.h"
#include "tools/capture/contact_sheet.h"
#include "tools/capture/wave_from.h"

namespace {

std::vector<uint32_t> timelineTimes;  // demoTimeMs of every renderTimeline call
std::vector<uint32_t> scrambleSeeds;  // randomSeed when the scramble ran
uint32_t endAtMs;                     // the timeline ends the show at this time (0: never)

void quietPart() {}
void quietScramble(int32_t) { scrambleSeeds.push_back(randomSeed); }
void quietText(const char*, float, float, float, float, float, float, float) {}
void noteTimeline() {
    timelineTimes.push_back(demoTimeMs);
    if (endAtMs != 0 && demoTimeMs >= endAtMs) endReached = 1;
}

struct Seen {
    std::vector<CaptureFrame> frames;
    std::vector<bool> switches;  // the drawing switch, in order
};

void noteSwitch(bool on, void* user) { static_cast<Seen*>(user)->switches.push_back(on); }
bool noteFrame(const CaptureFrame& frame, void* user) {
    static_cast<Seen*>(user)->frames.push_back(frame);
    return true;
}

class CaptureRunTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        device->keepVertices = false;
        resetHeadlessSystem();
        startupSteps = StartupSteps{quietPart, quietScramble, quietPart, quietPart, quietPart,
                                     quietPart, quietPart, quietText, quietPart, quietPart,
                                     quietPart, noteTimeline};
        timelineTimes.clear();
        scrambleSeeds.clear();
        endAtMs = 0;
        plan.drawing = noteSwitch;
        plan.frameDone = noteFrame;
        plan.user = &seen;
    }

    void TearDown() override {
        startupSteps = realStartupSteps;
        endReached = 0;
        resetHeadlessSystem();
        RecordingTest::TearDown();
    }

    std::vector<uint32_t> drawnShowTimes() const {
        std::vector<uint32_t> times;
        for (const CaptureFrame& f : seen.frames)
            if (!f.loading && f.drawn) times.push_back(f.showMs);
        return times;
    }

    CapturePlan plan;
    Seen seen;
};

TEST_F(CaptureRunTest, AFrameIsReachedThroughEveryFrameBeforeItAndOnlyItIsDrawn) {
    plan.extraTimes = {1000};
    plan.stopAfter = 1000;
    uint32_t lastMs = 0;
    const uint32_t showFrames = runCapture(plan, lastMs);

    // 0, 16, 33 ... 983 on the grid, then 1000 itself.
    std::vector<uint32_t> expected;
    for (uint64_t k = 0; FrameGrid{60}.frameMs(k) < 1000; ++k) expected.push_back(FrameGrid{60}.frameMs(k));
    expected.push_back(1000);
    EXPECT_EQ(timelineTimes, expected) << "the show's own clock saw these times";
    EXPECT_EQ(showFrames, expected.size());
    EXPECT_EQ(lastMs, 1000u);
    EXPECT_EQ(drawnShowTimes(), std::vector<uint32_t>{1000});

    ASSERT_EQ(seen.frames.size(), 64u + expected.size());
    for (uint32_t i = 0; i < 64; ++i) {
        EXPECT_TRUE(seen.frames[i].loading);
        EXPECT_EQ(seen.frames[i].index, i);
        EXPECT_FALSE(seen.frames[i].drawn);
    }
    // One switch before each frame; on only before the wanted one.
    ASSERT_EQ(seen.switches.size(), seen.frames.size());
    EXPECT_TRUE(seen.switches.back());
    EXPECT_EQ(std::count(seen.switches.begin(), seen.switches.end(), true), 1);
}

TEST_F(CaptureRunTest, ARangeDrawsEveryGridFrameInItStartingAtFrom) {
    plan.drawFrom = 100;
    plan.drawTo = 200;
    plan.extraTimes = {100};
    plan.stopAfter = 200;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    EXPECT_EQ(drawnShowTimes(), (std::vector<uint32_t>{100, 116, 133, 150, 166, 183, 200}));
    EXPECT_EQ(lastMs, 200u);
    EXPECT_EQ(timelineTimes.back(), 200u) << "no frame after the range runs";
}

// Every part of a run shared by processes runs the same frames as the whole run up to its end,
// drawing only its own, so that the show's state at each frame is the same in all of them.
TEST_F(CaptureRunTest, APartRunsTheWholeRunsFramesAndDrawsOnlyItsOwn) {
    struct Case { uint32_t from, to; std::vector<uint32_t> drawn; bool loading; };
    const Case cases[] = {
        {0, 49, {0, 16, 33}, true},
        {50, 99, {50, 66, 83}, false},
        {100, UINT32_MAX, {100, 116, 133, 150}, false},
    };
    std::vector<uint32_t> whole;
    for (uint64_t k = 0; FrameGrid{60}.frameMs(k) <= 150; ++k) whole.push_back(FrameGrid{60}.frameMs(k));
    for (const Case& c : cases) {
        timelineTimes.clear();
        seen = Seen{};
        plan.drawLoading = true;
        plan.drawFrom = 0;
        plan.drawTo = UINT32_MAX;
        plan.stopAfter = 150;
        plan.partFrom = c.from;
        plan.partTo = c.to;
        uint32_t lastMs = 0;
        runCapture(plan, lastMs);
        EXPECT_EQ(drawnShowTimes(), c.drawn) << c.from;
        EXPECT_EQ(drawnTimes(plan), c.drawn) << c.from;
        EXPECT_EQ(seen.frames.front().drawn, c.loading) << "the loading screen goes with the first part";
        ASSERT_LE(timelineTimes.size(), whole.size());
        EXPECT_TRUE(std::equal(timelineTimes.begin(), timelineTimes.end(), whole.begin())) << c.from;
        EXPECT_GE(timelineTimes.back(), c.drawn.back()) << "runs to its end";
    }
}

TEST_F(CaptureRunTest, TheStartTickFeedsTheRandomSkip) {
    plan.startTick = 1;
    plan.stopAfter = 0;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    randomSeed = 0;  // as at program start: each capture is one process
    plan.startTick = 258;  // 258 mod 256 = 2: one step more than a start tick of 1
    runCapture(plan, lastMs);
    ASSERT_EQ(scrambleSeeds.size(), 2u);
    randomSeed = scrambleSeeds[0];
    nextRandom();
    EXPECT_EQ(scrambleSeeds[1], randomSeed);
}

TEST_F(CaptureRunTest, LoadingFramesAreDrawnForTheVideoAndTheShowEndsByItself) {
    plan.drawLoading = true;
    plan.drawFrom = 0;
    plan.drawTo = UINT32_MAX;
    plan.fps = 25;
    endAtMs = 400;
    uint32_t lastMs = 0;
    const uint32_t showFrames = runCapture(plan, lastMs);
    EXPECT_EQ(showFrames, 11u) << "0, 40 ... 400";
    EXPECT_EQ(lastMs, 400u) << "the frame that set endReached";
    for (const CaptureFrame& f : seen.frames) EXPECT_TRUE(f.drawn);
    EXPECT_EQ(device->count(CallKind::Present), 64u + 11u);
}

TEST_F(CaptureRunTest, AWantedFramePastTheEndIsNeverDrawn) {
    endAtMs = 500;
    plan.extraTimes = {1000};
    plan.stopAfter = 1000;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    EXPECT_TRUE(drawnShowTimes().empty());
    EXPECT_EQ(lastMs, 500u);
}

TEST_F(CaptureRunTest, StoppingDuringLoadingRunsNoShowFrame) {
    plan.frameDone = [](const CaptureFrame&, void*) { return false; };
    uint32_t lastMs = 0;
    EXPECT_EQ(runCapture(plan, lastMs), 0u);
    EXPECT_TRUE(timelineTimes.empty());
    EXPECT_EQ(device->count(CallKind::Present), 64u);
}

TEST_F(CaptureRunTest, AColdFrameIsDrawnWithoutTheFramesBeforeIt) {
    startCold(77);
    drawColdFrame(90000);
    EXPECT_EQ(timelineTimes, std::vector<uint32_t>{90000});
    EXPECT_EQ(device->count(CallKind::Present), 1u);
}

// ---- the sound of a video from later in the show ----

// A stereo 16-bit image of 1,000 frames (22.7 ms) whose sample bytes count up, with an odd
// chunk between fmt and data that the cut keeps.
TEST(WaveFromTest, TheSoundStartsAtTheStereoFrameOfItsTime) {
    const uint32_t samples = 4000;
    std::vector<uint8_t> image = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                                  'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0,
                                  0x10, 0xB1, 2, 0, 4, 0, 16, 0, 'L', 'I', 'S', 'T', 1, 0, 0, 0, 'x', 0,
                                  'd', 'a', 't', 'a', 0xA0, 0x0F, 0, 0};
    const size_t header = image.size();
    for (uint32_t i = 0; i < samples; ++i) image.push_back(uint8_t(i * 7));
    const auto word = [](const std::vector<uint8_t>& w, size_t at) {
        return uint32_t(w[at]) | uint32_t(w[at + 1]) << 8 | uint32_t(w[at + 2]) << 16 | uint32_t(w[at + 3]) << 24;
    };
    struct Case { uint32_t fromMs, skipped; };
    // 1 ms is 44.1 stereo frames: 44 of them whole; 10 ms is 441; past the end, none is left.
    const Case cases[] = {{0, 0}, {1, 176}, {10, 1764}, {22, 3880}, {23, 4000}, {161279, 4000}};
    for (const Case& c : cases) {
        const std::vector<uint8_t> wave = waveFrom(image.data(), uint32_t(image.size()), c.fromMs);
        ASSERT_EQ(wave.size(), header + samples - c.skipped) << c.fromMs;
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + 4, wave.begin()));
        EXPECT_TRUE(std::equal(image.begin() + 8, image.begin() + long(header) - 4, wave.begin() + 8)) << c.fromMs;
        EXPECT_EQ(word(wave, 4), wave.size() - 8) << "RIFF length at " << c.fromMs;
        EXPECT_EQ(word(wave, header - 4), samples - c.skipped) << "data length at " << c.fromMs;
        EXPECT_TRUE(std::equal(wave.begin() + long(header), wave.end(), image.begin() + long(header + c.skipped)))
            << c.fromMs;
    }
    image[8] = 'X';
    EXPECT_TRUE(waveFrom(image.data(), uint32_t(image.size()), 0).empty()) << "no WAVE, no sound";
}

// ---- contact sheet ----

TEST(ContactSheetTest, ThumbnailsAreAveragedAndLaidOutInRowsOfSeven) {
    ContactSheet sheet = makeContactSheet(42);
    EXPECT_EQ(sheet.width, 4 + 7 * (160 + 4));
    EXPECT_EQ(sheet.height, 4 + 6 * (120 + 4));

    // A frame of alternating black and white columns, red in its top-left 4 x 4 block.
    std::vector<uint8_t> frame(640 * 480 * 4);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            uint8_t* p = &frame[(y * 640 + x) * 4];
            const uint8_t v = (x & 1) ? 255 : 0;
            p[0] = p[1] = p[2] = v;
            p[3] = 0;
            if (x < 4 && y < 4) p[0] = 255, p[1] = p[2] = 0;
        }
    placeThumbnail(sheet, 8, frame.data());  // row 1, column 1
    auto at = [&](int x, int y) { return &sheet.rgba[(static_cast<size_t>(y) * sheet.width + x) * 4]; };
    const int left = 4 + 164, top = 4 + 124;
    EXPECT_EQ(at(left, top)[0], 255);
    EXPECT_EQ(at(left, top)[1], 0);
    EXPECT_EQ(at(left + 1, top)[0], 128) << "half black, half white";
    EXPECT_EQ(at(left + 159, top + 119)[2], 128);
    EXPECT_EQ(at(left + 1, top)[3], 255) << "opaque whatever the back buffer's alpha";
    EXPECT_EQ(at(left - 1, top)[0], 32) << "the gap stays grey";
    EXPECT_EQ(at(left + 160, top)[0], 32);
    EXPECT_EQ(at(left, top - 1)[0], 32);
    EXPECT_EQ(at(4, 4)[0], 32) << "slot 0 untouched";

    placeThumbnail(sheet, 42, frame.data());  // past the last slot: ignored, not written out of bounds
    placeThumbnail(sheet, -1, frame.data());
    EXPECT_EQ(at(sheet.width - 1, sheet.height - 1)[0], 32);
}

}  // namespace
