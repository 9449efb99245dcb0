// test_size_budget.cpp: picture sizes against the machine, with the memory available and the
// renderer's largest drawing given: MemAvailable as /proc/meminfo words it, the refusals of the
// show's --size and of the capture tool's --size and --supersample, and the size each names as
// the largest that fits, which must fit where one a step larger does not.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/memory_budget.h"
#include "tools/capture/picture.h"

namespace {

constexpr uint64_t GB = 1000000000;

TEST(SizeBudget, MemAvailableIsReadInBytesAndZeroWhereNotSaid) {
    const std::pair<const char*, uint64_t> texts[] = {
        {"MemTotal:       24683716 kB\nMemFree:        19983928 kB\nMemAvailable:   22606152 kB\n", 22606152ull * 1024},
        {"MemAvailable: 3 kB\n", 3072},
        {"MemTotal: 1000 kB\nMemFree: 500 kB\n", 0},  // a kernel before 3.14
        {"MemAvailable: 12 MB\n", 0},                 // not the kernel's unit: not guessed at
        {"", 0},
    };
    for (const auto& [text, bytes] : texts) EXPECT_EQ(memAvailableIn(text), bytes) << text;
    if (FILE* file = std::fopen("/proc/meminfo", "r")) {
        std::fclose(file);
        EXPECT_GT(memoryAvailableBytes(), 0u) << "this machine's /proc/meminfo has MemAvailable";
    }
}

// "... the largest that fits is --size WxH" or "--supersample N": the size and samples it names.
bool suggestion(const std::string& line, int& width, int& height, int& samples) {
    const size_t at = line.find("the largest that fits is ");
    if (at == std::string::npos) return false;
    const std::string named = line.substr(at + 25);
    return std::sscanf(named.c_str(), "--size %dx%d", &width, &height) == 2 ||
           std::sscanf(named.c_str(), "--supersample %d", &samples) == 1;
}

struct CaptureCase {
    CaptureMode mode;
    int width, height, samples;
    uint32_t processes;
    uint64_t available;
    int largestDrawn;
    const char* said;  // in the line; nullptr: accepted
};

TEST(SizeBudget, CaptureRefusesWhatMemoryOrTheRendererCannotHoldAndNamesWhatFits) {
    const CaptureCase cases[] = {
        {CaptureMode::Frame, 4096, 3072, 4, 1, 31 * GB / 10, 16384,
         "--size 4096x3072 with --supersample 4 needs 4.2 GB, more than the 3.1 GB available; the largest that fits "
         "is --supersample 3"},
        {CaptureMode::Frame, 4096, 3072, 1, 1, 31 * GB / 10, 16384, nullptr},
        {CaptureMode::Frame, 8192, 6144, 4, 1, 0, 16384,
         "--size 8192x6144 with --supersample 4 is drawn at 32768 x 24576 pixels, more than the renderer's largest, "
         "16384 x 16384; the largest that fits is --supersample 2"},
        {CaptureMode::Sheet, 16384, 9216, 1, 1, 0, 8192, "the largest that fits is --size 10923x6144"},
        {CaptureMode::Frame, 65536, 65536, 1, 1, 24 * GB, 0, "--size 65536x65536 needs 80.8 GB"},
        {CaptureMode::Video, 3840, 2160, 1, 4, 1 * GB, 0, "--size 3840x2160 in 4 processes needs"},
        {CaptureMode::Faces, 4096, 3072, 4, 1, 4 * GB, 0, "needs 4.4 GB"},  // the faces at 16384 x 12288 too
        {CaptureMode::Frame, 640, 480, 1, 1, 100000000, 0, "; no size fits"},
        {CaptureMode::Wav, 65536, 65536, 4, 1, 1, 1, nullptr},  // draws no picture
    };
    for (const CaptureCase& c : cases) {
        CaptureOptions options;
        options.mode = c.mode;
        options.width = c.width, options.height = c.height, options.supersample = c.samples;
        const std::string line = pictureSizeRefusal(options, c.processes, c.available, c.largestDrawn);
        const std::string shown = std::to_string(c.width) + "x" + std::to_string(c.height) + " x" +
                                  std::to_string(c.samples) + ": " + line;
        if (c.said == nullptr) {
            EXPECT_EQ(line, "") << shown;
            continue;
        }
        EXPECT_NE(line.find(c.said), std::string::npos) << shown;
        int width = c.width, height = c.height, samples = c.samples;
        if (!suggestion(line, width, height, samples)) continue;
        options.width = width, options.height = height, options.supersample = samples;
        EXPECT_EQ(pictureSizeRefusal(options, c.processes, c.available, c.largestDrawn), "") << "named: " << shown;
        if (c.mode == CaptureMode::Video) {
            EXPECT_TRUE(width % 2 == 0 && height % 2 == 0) << shown;
        }
        // One step larger, in the sense the line named, does not fit.
        if (samples != c.samples) {
            options.supersample = samples + 1;
        } else {
            options.height = height + 1;
            options.width = int((int64_t(c.width) * (height + 1) + c.height / 2) / c.height);
        }
        EXPECT_NE(pictureSizeRefusal(options, c.processes, c.available, c.largestDrawn), "") << "above: " << shown;
    }
}

TEST(SizeBudget, ShowWindowRefusedBeyondMemoryOrTheRendererWithTheLargestThatFits) {
    struct Case {
        int width, height;
        uint64_t available;
        int largestDrawn;
        const char* said;
        PixelSize screen = {};
    };
    const Case cases[] = {
        {16384, 16384, 3 * GB, 0,
         "--size 16384x16384 needs 5.5 GB, more than the 3.0 GB available; the largest that fits is --size "},
        {20000, 15000, 0, 16384,
         "--size 20000x15000 is more than can be drawn here (16384 x 16384 pixels at most); the largest that fits is "
         "--size 16384x12288"},
        {65536, 65536, 24 * GB, 16384,  // the memory is said first; what fits holds both
         "--size 65536x65536 needs 85.1 GB, more than the 24.0 GB available; the largest that fits is --size "
         "16384x16384"},
        {16384, 16384, 24 * GB, 16384, "--size 16384x16384 is larger than the screen (1920 x 1080); the largest that "
                                        "fits is --size 1080x1080", {1920, 1080}},
        {1280, 960, 3 * GB, 16384, nullptr, {1280, 960}},
        {640, 480, 0, 0, nullptr},  // nothing known: nothing refused
    };
    for (const Case& c : cases) {
        const std::string line = windowSizeRefusal(c.width, c.height, c.available, c.largestDrawn, c.screen);
        if (c.said == nullptr) {
            EXPECT_EQ(line, "") << c.width << "x" << c.height;
            continue;
        }
        EXPECT_EQ(line.rfind(c.said, 0), 0u) << line;
        int width = 0, height = 0, samples = 0;
        ASSERT_TRUE(suggestion(line, width, height, samples)) << line;
        EXPECT_EQ(windowSizeRefusal(width, height, c.available, c.largestDrawn, c.screen), "") << line;
        EXPECT_NE(windowSizeRefusal(width + 1, height + 1, c.available, c.largestDrawn, c.screen), "") << line;
    }
}

}  // namespace
