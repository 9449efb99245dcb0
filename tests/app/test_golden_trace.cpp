// test_golden_trace.cpp: the whole show on the virtual clock (60 fps, start tick 1) through the
// recording device, with the device calls of chosen frames and the soundtrack compared by digest
// against tests/data/golden-trace.txt. scripts/golden.sh --update writes that file anew.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/headless/headless_system.h"
#include "tests/call_digest.h"
#include "tests/recording_fixture.h"
#include "tests/sha256.h"
#include "tools/capture/capture_run.h"

namespace {

const std::string goldenPath = std::string(QUORBEL_SOURCE_DIR) + "/tests/data/golden-trace.txt";

// The times on either side of the script's turns, and one frame every 960 ms between them,
// 517 ms into each stretch so that the script's periods (240 to 3,840 ms) are not all at zero.
std::vector<uint32_t> goldenShowTimes() {
    std::set<uint32_t> times = {0,      1920,   13440,  15359,  15360,  19060,  19199,  30719,  30720,
                                32639,  32640,  46079,  46080,  49920,  55680,  61439,  61440,  63360,
                                65280,  76800,  77760,  78239,  78240,  107040, 107519, 107520, 120959,
                                120960, 122879, 122880, 123120, 123360, 130560, 138239, 138240, 149760,
                                161279, 161280};
    for (uint32_t t = 517; t < showLengthMs; t += 960) times.insert(t);
    return {times.begin(), times.end()};
}
const std::set<uint32_t> goldenLoadingFrames = {0, 32, 63};

// ---- the golden file ----

struct Golden {
    std::string soundtrack;
    std::map<std::string, FrameDigest> frames;
};

bool readGolden(Golden& golden) {
    std::ifstream in(goldenPath);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "soundtrack") words >> golden.soundtrack;
        if (kind != "loading" && kind != "show") continue;
        FrameDigest frame;
        std::string at;
        words >> at >> frame.calls >> std::hex >> frame.digest >> frame.signature;
        frame.name = kind + " " + at;
        golden.frames[frame.name] = frame;
    }
    return !golden.frames.empty();
}

void writeGolden(const std::string& soundtrack, const std::vector<FrameDigest>& frames) {
    std::ofstream out(goldenPath);
    out << "# The device calls of chosen frames of the show, run on a 60 fps virtual clock from start\n"
           "# tick 1 through the recording device, and the soundtrack's SHA-256. Per frame: its kind and\n"
           "# time, the number of calls, a digest of them all, and one character per call. Written by\n"
           "# scripts/golden.sh --update; only a deliberate change of the show may rewrite it.\n"
        << "soundtrack " << soundtrack << "\n";
    for (const FrameDigest& frame : frames) {
        char digest[17];
        std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(frame.digest));
        out << frame.name << " " << frame.calls << " " << digest << " " << frame.signature << "\n";
    }
}

// ---- the run ----

struct GoldenRun {
    RecordingDevice* device;
    const Golden* golden;
    std::vector<FrameDigest> frames;
    std::vector<std::string> differing;  // frames whose digest is not the golden one
    std::string firstDifference;         // where the first of them goes astray, and the call now there
};

void startFrame(bool, void* user) {
    GoldenRun& run = *static_cast<GoldenRun*>(user);
    run.device->clearLog();
    run.device->keepVertices = true;
}

void compare(GoldenRun& run, const FrameDigest& now) {
    const auto found = run.golden->frames.find(now.name);
    if (found == run.golden->frames.end()) {
        run.differing.push_back(now.name + " (not in the golden file)");
        return;
    }
    const FrameDigest& was = found->second;
    if (was.digest == now.digest && was.calls == now.calls) return;
    run.differing.push_back(now.name);
    if (!run.firstDifference.empty()) return;
    size_t i = 0;
    while (i < now.signature.size() && i < was.signature.size() && now.signature[i] == was.signature[i]) ++i;
    std::ostringstream text;
    text << "frame " << now.name << " ms: " << now.calls << " calls, " << was.calls << " in the golden file; ";
    if (i < now.calls)
        text << "the first that differs is call " << i + 1 << ", now " << run.device->describe(run.device->calls[i]);
    else
        text << "the calls end after call " << i;
    run.firstDifference = text.str();
}

bool endFrame(const CaptureFrame& frame, void* user) {
    GoldenRun& run = *static_cast<GoldenRun*>(user);
    const bool wanted = frame.loading ? goldenLoadingFrames.count(frame.index) != 0 : frame.drawn;
    if (!wanted) return true;
    const std::string name = std::string(frame.loading ? "loading " : "show ") +
                             std::to_string(frame.loading ? frame.index : frame.showMs);
    run.frames.push_back(digestFrame(name, run.device->calls));
    if (run.golden != nullptr) compare(run, run.frames.back());
    return true;
}

class GoldenTraceTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        resetHeadlessSystem();
    }
    void TearDown() override {
        endReached = 0;
        resetHeadlessSystem();
        RecordingTest::TearDown();
    }
};

TEST_F(GoldenTraceTest, ChosenFramesAndTheSoundtrackAreAsRecorded) {
    // The show starts from the state of a fresh process (particle slots, song position, cube);
    // other tests of this program leave theirs behind, so the run goes to a process of its own.
    if (std::getenv("QUORBEL_GOLDEN_CHILD") == nullptr) {
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string child = "QUORBEL_GOLDEN_CHILD=1 '" + self + "' --gtest_filter=" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
                                  ".* --gtest_brief=1";
        EXPECT_EQ(std::system(child.c_str()), 0) << "the run in its own process failed (its report is above)";
        return;
    }
    const bool update = std::getenv("QUORBEL_GOLDEN_UPDATE") != nullptr;
    Golden golden;
    if (!update) {
        ASSERT_TRUE(readGolden(golden)) << "no golden digests in " << goldenPath;
    }
    GoldenRun run{device.get(), update ? nullptr : &golden, {}, {}, {}};
    CapturePlan plan;
    plan.drawLoading = true;
    plan.extraTimes = goldenShowTimes();
    plan.stopAfter = showLengthMs;
    plan.drawing = startFrame;
    plan.frameDone = endFrame;
    plan.user = &run;
    uint32_t lastMs = 0;
    runCapture(plan, lastMs);
    ASSERT_NE(headlessSystem.waveImage, nullptr);
    const std::string soundtrack =
        sha256Hex(static_cast<const uint8_t*>(headlessSystem.waveImage), headlessSystem.waveBytes);
    EXPECT_EQ(lastMs, showLengthMs) << "the show ends at its last frame";
    EXPECT_EQ(run.frames.size(), goldenLoadingFrames.size() + goldenShowTimes().size());
    if (update) {
        writeGolden(soundtrack, run.frames);
        GTEST_SKIP() << "wrote " << goldenPath;
    }
    EXPECT_EQ(soundtrack, golden.soundtrack) << "the soundtrack's SHA-256";
    EXPECT_EQ(run.frames.size(), golden.frames.size()) << "frames in the golden file";
    EXPECT_TRUE(run.differing.empty()) << run.differing.size() << " frames differ, the first " << run.differing[0]
                                       << " ms\n" << run.firstDifference
                                       << "\n(build/quorbel-capture --trace MS prints a frame's calls; compare "
                                          "before and after the change)";
}

}  // namespace
