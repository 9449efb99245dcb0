// test_frame_grid.cpp: the frame grid's times and counts, each held to the grid's definition
// (frame k at k * 1000 / fps ms, rounded down) by walking its frames one by one.
#include <gtest/gtest.h>

#include "core/frame_grid.h"

TEST(FrameGridTest, TimesAndCountsAgreeWithTheFramesOneByOne) {
    EXPECT_EQ(FrameGrid{60}.frameMs(9677), 161283u) << "past the show's end, in 32 bits";
    EXPECT_EQ(FrameGrid{25}.frameMs(3), 120u);
    for (const uint32_t fps : {1u, 7u, 25u, 60u, 1000u}) {
        const FrameGrid grid{fps};
        uint64_t next = 0;  // the first frame after ms, found by walking
        for (uint32_t ms = 0; ms <= 3000; ++ms) {
            const uint64_t before = next;
            while (uint64_t(next) * 1000 / fps <= ms) ++next;
            EXPECT_EQ(grid.framesBefore(ms), before) << fps << " fps, " << ms << " ms";
            EXPECT_EQ(grid.framesThrough(ms), next) << fps << " fps, " << ms << " ms";
            EXPECT_EQ(grid.isFrameMs(ms), next != before) << fps << " fps, " << ms << " ms";
            EXPECT_EQ(grid.frameMsAfter(ms), next * 1000 / fps) << fps << " fps, " << ms << " ms";
            EXPECT_EQ(grid.frameMsBefore(ms), before == 0 ? 0 : (before - 1) * 1000 / fps) << fps << " fps, " << ms;
        }
    }
}
