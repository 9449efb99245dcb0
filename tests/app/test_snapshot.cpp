// test_snapshot.cpp: a snapshot taken in each phase of the show, restored after the show ran on
// to other times, gives the same frames (the golden trace's call digests) and device state.
#include <cstring>

#include "app/app.h"
#include "app/player.h"
#include "app/player_device.h"
#include "app/snapshot.h"
#include "platform/headless/headless_system.h"
#include "tests/call_digest.h"
#include "tests/recording_fixture.h"
#include "timeline/timeline.h"

namespace {

uint32_t gridMs(uint64_t k) { return static_cast<uint32_t>(k * 1000 / 60); }

// Every state of the device the kept state covers, as the recording device holds it.
std::vector<uint8_t> stateOf(const RecordingDevice& device) {
    std::vector<uint8_t> bytes;
    auto put = [&bytes](const void* data, size_t size) {
        bytes.insert(bytes.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    };
    for (uint32_t i = 0; i < 256; ++i) {
        const DWORD value = device.renderState(D3DRENDERSTATETYPE(i));
        put(&value, sizeof value);
    }
    for (uint32_t i = 0; i < 32; ++i) {
        const DWORD value = device.textureStageState(D3DTEXTURESTAGESTATETYPE(i));
        put(&value, sizeof value);
    }
    for (uint32_t i = 0; i < 16; ++i) {
        const DWORD value = device.samplerState(D3DSAMPLERSTATETYPE(i));
        put(&value, sizeof value);
    }
    for (D3DTRANSFORMSTATETYPE type : {D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_WORLD})
        put(&device.transform(type), sizeof(D3DMATRIX));
    const DWORD fvf = device.fvf();
    const IDirect3DTexture9* texture = device.texture();
    put(&fvf, sizeof fvf);
    put(&texture, sizeof texture);
    return bytes;
}

class SnapshotTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        resetHeadlessSystem();
        // The song plays no part in the pictures; leaving it out keeps the loading screen short.
        startupSteps.renderSongStep = [] {};
    }
    void TearDown() override {
        startupSteps = realStartupSteps;
        endReached = 0;
        resetHeadlessSystem();
        RecordingTest::TearDown();
    }
};

TEST_F(SnapshotTest, RestoredInEveryPhaseAfterOtherTimesGivesTheSameFrames) {
    PlayerDevice front(device.get());
    d3dDevice = &front;
    initIntro();
    front.setDrawing(false);
    for (int32_t i = 0; i < loadingFrameCount; ++i) loadingFrame(i);

    // One start in each phase, each run of 36 frames crossing into the next phase (the last
    // one past the end), where carried state (depth test, fog end, texture stage) changes.
    const uint32_t starts[showPhaseCount] = {15000, 30400, 45800, 61000, 122500, 137900, 160900};
    constexpr uint64_t runFrames = 36;
    struct Taken {
        ShowSnapshot snapshot;
        std::vector<uint8_t> deviceState;
        std::vector<FrameDigest> frames;
    };
    std::vector<Taken> taken(showPhaseCount);

    uint64_t k = 0;
    for (int32_t phase = 0; phase < showPhaseCount; ++phase) {
        ASSERT_EQ(showPhaseAt(starts[phase]), phase);
        front.setDrawing(false);
        while (gridMs(k) <= starts[phase]) showFrameAt(gridMs(k++));
        front.setDrawing(true);
        taken[phase].snapshot = takeSnapshot(&front);
        taken[phase].deviceState = stateOf(*device);
        for (uint64_t n = 0; n < runFrames; ++n, ++k) {
            device->clearLog();
            showFrameAt(gridMs(k));
            taken[phase].frames.push_back(digestFrame("show " + std::to_string(gridMs(k)), device->calls));
        }
    }

    // Back and forth: each restore follows a run that ended somewhere else.
    for (int32_t phase : {6, 0, 5, 2, 4, 1, 3}) {
        const Taken& was = taken[phase];
        restoreSnapshot(was.snapshot, &front);
        EXPECT_TRUE(stateOf(*device) == was.deviceState) << "device state after restoring " << starts[phase];
        k = starts[phase] * 60 / 1000 + 1;
        for (const FrameDigest& frame : was.frames) {
            device->clearLog();
            showFrameAt(gridMs(k++));
            const FrameDigest now = digestFrame(frame.name, device->calls);
            if (now.digest == frame.digest && now.calls == frame.calls) continue;
            size_t i = 0;
            while (i < now.signature.size() && i < frame.signature.size() && now.signature[i] == frame.signature[i]) ++i;
            ADD_FAILURE() << "after restoring " << starts[phase] << " ms, frame " << frame.name << " differs from call "
                          << i + 1 << (i < device->calls.size() ? ", now " + device->describe(device->calls[i]) : "");
            break;
        }
    }
}

// Over its budget the player keeps fewer snapshots, evenly spread: bar 0 and every n-th bar,
// within the budget.
TEST_F(SnapshotTest, APlayerOverItsBudgetKeepsEvenlySpreadSnapshots) {
    PlayerDevice front(device.get());
    Player player;
    player.attach(&front);
    initIntro();
    front.setDrawing(false);
    for (int32_t i = 0; i < loadingFrameCount; ++i) loadingFrame(i);
    player.start();
    constexpr size_t budget = size_t(8) << 20;  // eight bars of the cube scenes, of 42
    player.setSnapshotBudget(budget);
    player.runUpTo(lastShowFrameMs);

    EXPECT_LE(player.snapshotBytes(), budget);
    const std::vector<uint32_t> bars = player.keptBars();
    ASSERT_GE(bars.size(), 4u);
    EXPECT_EQ(bars.front(), 0u) << "the start stays";
    for (size_t i = 1; i < bars.size(); ++i) EXPECT_EQ(bars[i] - bars[i - 1], bars[1]) << "the gap before bar " << bars[i];
    EXPECT_GT(bars.back() + bars[1], lastShowFrameMs / snapshotIntervalMs) << "the last gap reaches the end";
    EXPECT_EQ(player.runUpFrames(), (lastShowFrameMs * 60 + 999) / 1000) << "every grid frame before the end";
}

}  // namespace
