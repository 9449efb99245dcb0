// test_timeline.cpp: the script frame by frame: which calls each phase makes, with which
// arguments, and what it leaves behind.
#include <cmath>

#include "tests/recording_fixture.h"
#include "tests/timeline/scene_calls.h"
#include "timeline/timeline.h"

namespace {

class TimelineTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        sceneCalls.clear();
        endReached = 0;
        backgroundColor = 0xFF104864u;
    }

    // One frame as the frame loop runs it: the clock, the clear colour, the script.
    void frame(uint32_t t) {
        sceneCalls.clear();
        demoTimeMs = t;
        demoTimeSec = float(double(t) * double(0.001f));
        updateBackgroundColor();
        renderTimeline();
    }

    std::vector<std::string> names() const {
        std::vector<std::string> list;
        for (const SceneCall& call : sceneCalls) list.push_back(call.name);
        return list;
    }

    double only(const std::string& name, size_t arg = 0) const {
        const auto calls = sceneCallsNamed(name);
        EXPECT_EQ(calls.size(), 1u) << name;
        return calls.empty() ? NAN : calls[0].args.at(arg);
    }

    // The kick count folded into the second tunnel's roll, where its ramp p is 1.
    long kicks() const {
        const double roll = only("drawTunnelScene");
        return std::lround((roll - std::sin(double(demoTimeSec) * 0.7497)) / 0.3);
    }
};

using Names = std::vector<std::string>;
using Args = std::vector<double>;

TEST_F(TimelineTest, OpeningAtZeroCarriesTheTitleOn) {
    frame(0);
    EXPECT_EQ(names(), (Names{"drawText", "drawFade", "resetNoise", "scaleNoise", "drawNoise"}));
    const SceneCall& text = sceneCalls[0];
    EXPECT_EQ(text.text, "Quorbel");
    EXPECT_EQ(text.args, (Args{1, 60, 20, -120, 60, 20, 0}));
    EXPECT_EQ(only("drawFade"), 0);
    EXPECT_EQ(only("scaleNoise"), 0);
    EXPECT_EQ(only("drawNoise"), 1);
    EXPECT_EQ(backgroundColor, 0xFF104864u);
}

TEST_F(TimelineTest, OpeningLineChanges) {
    frame(1920);
    ASSERT_EQ(sceneCallsNamed("drawText").size(), 1u);
    EXPECT_EQ(sceneCalls[0].text, "in his quest to perfection");
    EXPECT_FLOAT_EQ(float(sceneCalls[0].args[0]), -1.0f);
    EXPECT_EQ(Args(sceneCalls[0].args.begin() + 1, sceneCalls[0].args.end()), (Args{100, 20, -240, 100, 20, 0}));
    EXPECT_EQ(only("drawFade"), 128);
    frame(3840 * 3);
    EXPECT_EQ(sceneCalls[0].text, "the sphere is dull");
    EXPECT_NEAR(sceneCalls[0].args[0], 1.0, 1e-6);
    for (uint32_t t = 13440; t < 15360; t += 17) {
        frame(t);
        EXPECT_TRUE(sceneCallsNamed("drawText").empty()) << t;
    }
    frame(15359);
    EXPECT_TRUE(sceneCallsNamed("drawText").empty());
}

TEST_F(TimelineTest, BoxedCubeFogLineAndFlashes) {
    frame(15360);
    EXPECT_EQ(names(), (Names{"drawBoxedCube", "drawText", "drawFade"}));
    const double s = double(demoTimeSec);
    EXPECT_EQ(float(only("drawBoxedCube", 0)), float(16 - 5 * std::sin(s * 0.7497)));
    EXPECT_EQ(only("drawBoxedCube", 1), 100);
    EXPECT_EQ(float(only("drawBoxedCube", 4)), demoTimeSec);
    EXPECT_EQ(sceneCalls[1].text, "a cube is superior");
    EXPECT_EQ(sceneCalls[1].args, (Args{1, 100, -55, -250, 100, -55, 0}));
    EXPECT_EQ(only("drawFade"), 200);
    frame(15360 + 3700);
    EXPECT_EQ(only("drawFade"), 100);
    frame(15360 + 3839);
    EXPECT_EQ(only("drawFade"), 239);
    frame(15360 + 399);
    EXPECT_EQ(only("drawFade"), 1);
    frame(15360 + 400);
    EXPECT_EQ(only("drawFade"), 0);
    frame(15360 + 3 * 3840 + 10);
    EXPECT_EQ(sceneCalls[1].text, "the cube must be created");
    EXPECT_EQ(only("drawFade"), 0) << "the decaying flash belongs to the phase's start only";
    // The fog of the scene was switched on with its range, and off again for the line.
    EXPECT_EQ(device->renderState(D3DRS_FOGEND), d3dFloatBits(100.0f));
    EXPECT_EQ(device->renderState(D3DRS_FOGENABLE), DWORD(FALSE));
    EXPECT_EQ(fogEnabled, 0);
}

TEST_F(TimelineTest, FirstTunnelLinesAndRamps) {
    frame(32640);
    EXPECT_EQ(names(), (Names{"drawTunnelScene", "drawText", "resetNoise", "scaleNoise", "drawNoise",
                              "drawLetterbox"}));
    EXPECT_EQ(sceneCalls[1].text, "man looks at nature");
    EXPECT_EQ(sceneCalls[1].args, (Args{1, 20, -55, -250, 20, -55, 0}));
    EXPECT_EQ(only("drawTunnelScene", 1), 30720);
    EXPECT_EQ(only("drawLetterbox"), 32);
    EXPECT_EQ(device->renderState(D3DRS_FOGEND), d3dFloatBits(16.0f));
    frame(32639);
    EXPECT_TRUE(sceneCallsNamed("drawText").empty());
    frame(30720);
    EXPECT_EQ(only("drawLetterbox"), 0);
    EXPECT_EQ(only("scaleNoise"), 0);
    frame(30720 + 3840 * 2 + 1920);
    EXPECT_EQ(sceneCallsNamed("drawText").at(0).text, "cruel");
    EXPECT_EQ(only("drawLetterbox"), 64);
    EXPECT_FLOAT_EQ(float(only("scaleNoise")), 0.2f);
}

TEST_F(TimelineTest, CubeFieldPhase) {
    frame(46080);
    EXPECT_EQ(names(), (Names{"drawCubeField", "drawText"}));
    EXPECT_EQ(sceneCalls[0].args, (Args{0, 0, 0, 0, 20}));
    EXPECT_EQ(sceneCalls[1].text, "man finds himself led");
    EXPECT_EQ(sceneCalls[1].args, (Args{4, 120, 80, -300, 120, 80, 0}));
    EXPECT_EQ(backgroundColor, 0xFFFF8A00u);
    frame(55680);
    EXPECT_EQ(sceneCalls[1].text, "toward synthesis");
    frame(46080 + 1920);
    EXPECT_EQ(sceneCalls[1].text, "                  drawn");
    frame(46080 + 3839);
    EXPECT_NEAR(sceneCalls[0].args[0], 16.0 * 3839 / 3840, 1e-4);
    EXPECT_EQ(backgroundColor, 0xFFFF8A00u);
    frame(46080 + 3840);
    EXPECT_EQ(sceneCalls[0].args[0], 0) << "the spacing snaps back at the bar line";
    EXPECT_EQ(backgroundColor, 0xFF224432u) << "and the colour changes there";
    EXPECT_NEAR(sceneCalls[0].args[1], 20 * std::sin(1.0), 1e-5);
    frame(50000);
    EXPECT_EQ(backgroundColor, 0xFF224432u);
    frame(54000);
    EXPECT_EQ(backgroundColor, 0xFF811901u);
    frame(58000);
    EXPECT_EQ(backgroundColor, 0xFF302A5Eu);
}

TEST_F(TimelineTest, SecondTunnelFlashesAndKicks) {
    const struct {
        uint32_t m;
        double level;
    } flashes[] = {{0, 128}, {1920, 64}, {3840, 0}, {15360, 48}, {16320, 45}, {30720, 0}, {40000, 0},
                   {50000, 0}};
    for (const auto& flash : flashes) {
        frame(61440 + flash.m);
        EXPECT_EQ(only("drawFade"), flash.level) << "m = " << flash.m;
    }
    const struct {
        uint32_t m;
        long kicks;
    } counts[] = {{8000, 0}, {16799, 0}, {16800, 1}, {17760, 2}, {45600, 31}, {46079, 31}, {46080, 0}};
    for (const auto& count : counts) {
        frame(61440 + count.m);
        EXPECT_EQ(kicks(), count.kicks) << "m = " << count.m;
    }
}

TEST_F(TimelineTest, SecondTunnelLinesAndItsEnd) {
    frame(61440 + 30720);
    EXPECT_TRUE(sceneCallsNamed("drawText").empty()) << "m = 30720 is not yet inside the lines";
    frame(61440 + 30721);
    EXPECT_EQ(sceneCallsNamed("drawText").at(0).text, "at the base of synthesis");
    frame(61440 + 30720 + 3840 * 2 + 5);
    const SceneCall line = sceneCallsNamed("drawText").at(0);
    EXPECT_EQ(line.text, "the cube that makes you think");
    EXPECT_EQ(line.args, (Args{1, 120, 32, -250, 120, 32, 0}));
    // The fog end is set up to the last 1920 ms of the phase, and not within them.
    for (const uint32_t t : {120959u, 120960u, 120960u + 960}) {
        device->clearLog();
        frame(t);
        bool fogEndSet = false;
        for (const RecordedCall& call : device->calls)
            fogEndSet |= call.kind == CallKind::SetRenderState && call.args[0] == DWORD(D3DRS_FOGEND);
        EXPECT_EQ(fogEndSet, t < 120960) << "t = " << t;
        if (t == 120959) {
            EXPECT_EQ(only("drawLetterbox"), 64);
        }
    }
    EXPECT_EQ(device->renderState(D3DRS_FOGEND), d3dFloatBits(32.0f));
    EXPECT_EQ(only("drawLetterbox"), 32);
    EXPECT_FLOAT_EQ(float(only("drawTunnelScene")),
                    float(std::sin(double(demoTimeSec) * 0.7497) * 0.5));
    frame(122879);
    EXPECT_EQ(only("drawLetterbox"), 0);
}

TEST_F(TimelineTest, ExplodingCubeSpinBurstAndFlags) {
    frame(122880);
    EXPECT_EQ(names(), (Names{"drawCubeScene"}));
    EXPECT_EQ(sceneCalls[0].args, (Args{20, 0, 6, 0, 1, 0}));
    frame(122880 + 240);
    EXPECT_NEAR(only("drawCubeScene", 3), 0.49, 1e-6);
    frame(122880 + 480);
    EXPECT_NEAR(only("drawCubeScene", 3), 0.73, 1e-6);
    frame(122880 + 960);
    EXPECT_EQ(only("drawCubeScene", 4), 0);
    EXPECT_EQ(only("drawCubeScene", 5), 1) << "streaks in the odd 960 ms slices";
    frame(122880 + 3840);
    EXPECT_NEAR(only("drawCubeScene", 1), 0.75, 1e-6);
    EXPECT_EQ(sceneCallsNamed("drawText").at(0).text, "the quest has ended");
    frame(122880 + 7679);
    EXPECT_GT(only("drawCubeScene", 1), 0.999);
    frame(122880 + 7680);
    EXPECT_EQ(only("drawCubeScene", 1), 0) << "whole again from 7680 ms";
    frame(122880 + 3 * 3840);
    EXPECT_EQ(sceneCallsNamed("drawText").at(0).text, "the puzzle has been solved");
    // The spin never jumps backwards or by more than a kick's share between milliseconds.
    double previous = 0;
    for (uint32_t m = 0; m < 15360; ++m) {
        frame(122880 + m);
        const double spin = only("drawCubeScene", 3);
        ASSERT_GE(spin, previous) << m;
        ASSERT_LT(spin - previous, 0.01) << m;
        previous = spin;
    }
}

TEST_F(TimelineTest, ClosingFogFieldLinesAndBackground) {
    frame(138240);
    EXPECT_EQ(names(), (Names{"drawCubeField", "drawText"}));
    EXPECT_EQ(sceneCalls[0].args, (Args{0, 0, 0, 0, 20}));
    EXPECT_EQ(sceneCalls[1].text, "from the cube");
    EXPECT_EQ(sceneCalls[1].args, (Args{8, 128, -48, -250, 128, -48, 0}));
    EXPECT_EQ(backgroundColor, 0xFF104864u);
    frame(149760);
    EXPECT_EQ(backgroundColor, 0xFF082432u);
    EXPECT_EQ(sceneCalls[1].text, "12 kilobytes of synthetic beauty");
    EXPECT_EQ(sceneCalls[1].args[2], 16.0 * 6 - 48);
    frame(138240 + 4 * 1920);
    EXPECT_EQ(sceneCalls[1].text, "") << "line 4 is empty and still drawn";
    frame(161279);
    EXPECT_EQ(sceneCalls[1].text, "by the Vantreli");
    EXPECT_NEAR(sceneCalls[1].args[0], 8.0 / 23040, 1e-6);
    EXPECT_NEAR(sceneCalls[0].args[4], 30, 1e-3);
    EXPECT_EQ(endReached, 0);
}

TEST_F(TimelineTest, EndSetsTheFlagAndDrawsNothing) {
    frame(161280);
    EXPECT_EQ(endReached, 1);
    EXPECT_TRUE(sceneCalls.empty());
    EXPECT_EQ(backgroundColor, 0xFF000000u);
    frame(400000);
    EXPECT_EQ(backgroundColor, 0xFF000000u);
    EXPECT_TRUE(sceneCalls.empty());
}

TEST_F(TimelineTest, EveryMillisecondLeavesFogOffAndNothingFollowsTheEnd) {
    device->keepVertices = false;
    for (uint32_t t = 0; t <= 161280; ++t) {
        device->clearLog();
        frame(t);
        ASSERT_EQ(fogEnabled, 0) << "t = " << t;
        ASSERT_EQ(device->renderState(D3DRS_FOGENABLE), DWORD(FALSE)) << "t = " << t;
        ASSERT_EQ(endReached != 0, t == 161280) << "t = " << t;
    }
    EXPECT_TRUE(sceneCalls.empty());
}

}  // namespace

// The tools split the show by this table, and renderTimeline dispatches through it.
TEST(ShowPhasesTest, TileTheShowInWholeBarsAndShowPhaseAtFindsEachEdge) {
    uint32_t start = 0;
    for (int32_t i = 0; i < showPhaseCount; ++i) {
        const ShowPhase& phase = showPhases[i];
        EXPECT_EQ(phase.startMs, start) << phase.name;
        EXPECT_GT(phase.endMs, phase.startMs) << phase.name;
        EXPECT_EQ(phase.startMs % showBarMs, 0u) << phase.name;
        EXPECT_EQ(showPhaseAt(phase.startMs), i) << phase.name;
        EXPECT_EQ(showPhaseAt(phase.endMs - 1), i) << phase.name;
        start = phase.endMs;
    }
    EXPECT_EQ(start, showLengthMs);
    EXPECT_EQ(showPhaseAt(showLengthMs), showPhaseCount);
    EXPECT_EQ(showPhaseAt(UINT32_MAX), showPhaseCount);
}
