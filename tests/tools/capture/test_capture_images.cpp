// test_capture_images.cpp: what quorbel-capture writes, read back as a viewer reads it: frames
// opaque with black letterbox rows, the six face textures with their particles lit, and the
// same pictures drawn at twice the size.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/png_read.h"
#include "tools/capture/picture.h"

namespace {

std::filesystem::path outputFolder(const char* name) {
    // The process id keeps concurrent runs of the suite (other build folders) apart.
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("quorbel-test-" + std::string(name) + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

int capture(const std::string& arguments, const std::string& environment = "") {
    return std::system((environment + QUORBEL_CAPTURE_BINARY + " " + arguments + " 2>/dev/null").c_str());
}

TEST(CaptureImagesTest, FramesAreOpaqueAndTheLetterboxIsBlack) {
    const std::filesystem::path dir = outputFolder("frame");
    const std::string path = (dir / "tunnel.png").string();
    // 38,400 ms: the first tunnel with its full 64-row letterbox bars. One renderer thread
    // makes room for parts on any machine of two cores or more: a single frame is never split.
    ASSERT_EQ(capture("--frame 38400 --cold -o " + path, "LP_NUM_THREADS=1 "), 0);
    ASSERT_TRUE(std::filesystem::is_regular_file(path));
    const PngImage frame = readPng(path);
    ASSERT_EQ(frame.width, 640);
    ASSERT_EQ(frame.height, 480);
    int transparent = 0, litInBars = 0, litBetween = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint8_t* p = frame.at(x, y);
            if (p[3] != 255) ++transparent;
            const bool lit = p[0] + p[1] + p[2] > 0;
            if (y < 64 || y >= 416) litInBars += lit;
            else litBetween += lit;
        }
    EXPECT_EQ(transparent, 0);
    EXPECT_EQ(litInBars, 0) << "the bars are black";
    EXPECT_GT(litBetween, 640 * 352 / 2) << "the tunnel is between them";
    std::filesystem::remove_all(dir);
}

TEST(CaptureImagesTest, FacesAreTheSixParticleTextures) {
    const std::filesystem::path dir = outputFolder("faces");
    ASSERT_EQ(capture("--faces 20000 -o " + dir.string()), 0);
    for (int k = 0; k < 6; ++k) {
        const PngImage face = readPng((dir / ("face" + std::to_string(k) + ".png")).string());
        ASSERT_EQ(face.width, 256) << "face " << k;
        ASSERT_EQ(face.height, 256) << "face " << k;
        int lit = 0;
        for (int i = 0; i < 256 * 256; ++i) {
            const uint8_t* p = &face.rgba[size_t(i) * 4];
            if (std::max({p[0], p[1], p[2]}) >= 32) ++lit;
        }
        EXPECT_GT(lit, 100) << "face " << k << " shows its particles";
        EXPECT_LT(lit, 256 * 256 / 2) << "face " << k << " keeps a black background";
    }
    std::filesystem::remove_all(dir);
}

// How far a picture drawn at 2x, box-filtered to 640 x 480, is from the one drawn at 1x.
struct Fidelity {
    double meanDifference = 0;  // per channel, over the frame
    double worstBlock = 0;      // the largest difference of a 16 x 16 block's mean, any channel
};

Fidelity compare(const PngImage& once, const PngImage& twiceFiltered) {
    constexpr int block = 16;
    Fidelity f;
    uint64_t total = 0;
    for (size_t i = 0; i < once.rgba.size(); ++i)
        if (i % 4 != 3) total += uint64_t(std::abs(int(once.rgba[i]) - int(twiceFiltered.rgba[i])));
    f.meanDifference = double(total) / (double(once.width) * once.height * 3);
    for (int by = 0; by < once.height; by += block)
        for (int bx = 0; bx < once.width; bx += block)
            for (int c = 0; c < 3; ++c) {
                int64_t sum = 0;
                for (int y = by; y < by + block; ++y)
                    for (int x = bx; x < bx + block; ++x) sum += int(once.at(x, y)[c]) - int(twiceFiltered.at(x, y)[c]);
                f.worstBlock = std::max(f.worstBlock, std::abs(double(sum)) / (block * block));
            }
    return f;
}

// Rows from the top that are black across the whole width.
int blackRowsFromTop(const PngImage& image) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y)[0] + image.at(x, y)[1] + image.at(x, y)[2] > 0) return y;
    return image.height;
}

// Drawn at 1280 x 960 and filtered down, a frame of every phase looks as at 640 x 480. Thin
// lines and sprite edges fall on other pixels at 2x (a 1-pixel GL line against a quad centred
// on the line), so single pixels differ a lot; over a 16 x 16 block the light is the same within
// what additive saturation and edge coverage move: up to 17 measured, 22 with the noise, where
// lines drawn one pixel wide at 2x reach 34 to 59 and sprites of unscaled size 58 to 123. The
// noise texture is drawn 2.4 texels a pixel at 1x: its stripes alias differently at 2x, so its
// frames differ pixel by pixel (mean 16 over the full-screen noise) and agree by the block.
TEST(CaptureImagesTest, FramesAtTwiceTheSizeFilterDownToTheFramesAtOnce) {
    struct Case {
        uint32_t ms;
        const char* what;
        double meanLimit, blockLimit;
    };
    const Case cases[] = {
        {4000, "opening text", 3, 30},      {10000, "noise", 20, 30},        {20000, "boxed cube", 3, 30},
        {38400, "tunnel, letterbox", 12, 30}, {52000, "cube field", 3, 30}, {100000, "second tunnel", 5, 30},
        {124380, "exploding cube, streaks", 3, 30}, {150000, "closing text", 3, 30},
    };
    std::string list;
    for (const Case& c : cases) list += (list.empty() ? "" : ",") + std::to_string(c.ms);
    const std::filesystem::path dir = outputFolder("scale");
    ASSERT_EQ(capture("--frames " + list + " -o " + (dir / "once").string()), 0);
    ASSERT_EQ(capture("--frames " + list + " --size 1280x960 -o " + (dir / "twice").string()), 0);
    for (const Case& c : cases) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06u.png", c.ms);
        const PngImage once = readPng((dir / "once" / name).string());
        const PngImage twice = readPng((dir / "twice" / name).string());
        ASSERT_EQ(once.width, 640) << c.what;
        ASSERT_EQ(twice.width, 1280) << c.what;
        ASSERT_EQ(twice.height, 960) << c.what;
        PngImage filtered{640, 480, std::vector<uint8_t>(once.rgba.size())};
        boxFilter(twice.rgba.data(), 1280, 960, 2, filtered.rgba.data());
        const Fidelity f = compare(once, filtered);
        EXPECT_LE(f.meanDifference, c.meanLimit) << c.what << " at " << c.ms << " ms";
        EXPECT_LE(f.worstBlock, c.blockLimit) << c.what << " at " << c.ms << " ms";
        std::printf("%-24s %6u ms: mean difference %.2f, worst block %.1f\n", c.what, c.ms, f.meanDifference,
                    f.worstBlock);
        if (c.ms == 38400) {
            EXPECT_EQ(blackRowsFromTop(once), 64);
            EXPECT_EQ(blackRowsFromTop(twice), 128) << "the letterbox scales with the picture";
        }
    }
    std::filesystem::remove_all(dir);
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A listed frame off the 60 fps grid is drawn and undone: the frames after it are those of the
// grid alone, so each file is --frame's for its time, to the byte. 124,380 and 124,390 fall
// between grid frames, in the explosion, where the particles step with each frame's time.
TEST(CaptureImagesTest, EachFrameOfAListIsTheFrameDrawnAlone) {
    const std::filesystem::path dir = outputFolder("list");
    const uint32_t times[] = {124380, 124390, 125000};
    ASSERT_EQ(capture("--frames 124380,124390,125000 -o " + (dir / "list").string()), 0);
    for (uint32_t ms : times) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06u.png", ms);
        const std::filesystem::path alone = dir / ("alone-" + std::to_string(ms) + ".png");
        ASSERT_EQ(capture("--frame " + std::to_string(ms) + " -o " + alone.string()), 0);
        const std::string listed = fileText(dir / "list" / name);
        EXPECT_FALSE(listed.empty()) << name;
        EXPECT_TRUE(listed == fileText(alone)) << name << " of the list is not --frame " << ms;
    }
    std::filesystem::remove_all(dir);
}

// The pictures of a video, one line per frame with its hash (the header's comments left out).
std::vector<std::string> frameHashes(const std::filesystem::path& video) {
    FILE* out = popen(("ffmpeg -loglevel error -i " + video.string() + " -map 0:v -f framemd5 - 2>/dev/null").c_str(), "r");
    std::vector<std::string> lines;
    if (out == nullptr) return lines;
    char line[512];
    while (std::fgets(line, sizeof line, out) != nullptr)
        if (line[0] != '#') lines.push_back(line);
    pclose(out);
    return lines;
}

// A part run by its own process runs the show up to it with drawing off, over the same frame
// times as one process: its pictures are the same to the bit, at the joins too.
TEST(CaptureImagesTest, FramesFromSeveralProcessesAreTheSameAsFromOne) {
    const std::filesystem::path dir = outputFolder("jobs");
    // 1001 is no grid time: the extra frame at FROM is run by every process alike.
    ASSERT_EQ(capture("--frames 1001:1100 --jobs 1 -o " + (dir / "one").string()), 0);
    ASSERT_EQ(capture("--frames 1001:1100 --jobs 2 -o " + (dir / "two").string()), 0);
    std::map<std::string, std::string> one, two;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "one"))
        one[entry.path().filename().string()] = fileText(entry.path());
    for (const auto& entry : std::filesystem::directory_iterator(dir / "two"))
        two[entry.path().filename().string()] = fileText(entry.path());
    EXPECT_EQ(one.size(), 7u) << "1001, then the grid from 1016 to 1100";
    EXPECT_TRUE(one == two) << "the same files with the same bytes";

    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg (scripts/setup.sh installs it)";
    ASSERT_EQ(capture("--video " + (dir / "one.mp4").string() + " --until 300 --lossless --jobs 1"), 0);
    ASSERT_EQ(capture("--video " + (dir / "two.mp4").string() + " --until 300 --lossless --jobs 2"), 0);
    const std::vector<std::string> hashesOne = frameHashes(dir / "one.mp4");
    EXPECT_EQ(hashesOne.size(), 64u + 19u) << "the loading screen and the show from 0 to 300 ms";
    EXPECT_EQ(hashesOne, frameHashes(dir / "two.mp4"));
    const std::vector<std::string> leftOver = {"one.mp4.pictures.mp4", "two.mp4.parts.txt", "two.mp4.part0.mp4",
                                               "two.mp4.sound.wav"};
    for (const std::string& name : leftOver) EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    std::filesystem::remove_all(dir);
}

// A video from 30 s holds the grid frames from 30,000 to 30,100 ms and no loading screen; its
// first picture is --frame 30000's, put through the same lossless encoder; its sound is there.
TEST(CaptureImagesTest, AVideoFromLaterStartsWithThatFrame) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg (scripts/setup.sh installs it)";
    const std::filesystem::path dir = outputFolder("from");
    ASSERT_EQ(capture("--video " + (dir / "from.mp4").string() + " --from 30000 --until 30100 --lossless --jobs 1"), 0);
    ASSERT_EQ(capture("--frame 30000 -o " + (dir / "first.png").string()), 0);
    const std::string encode = "ffmpeg -loglevel error -i " + (dir / "first.png").string() +
                               " -f rawvideo -pix_fmt rgba - | ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgba "
                               "-s 640x480 -r 60 -i - -c:v libx264 -preset veryfast -qp 0 -pix_fmt yuv420p " +
                               (dir / "first.mp4").string();
    ASSERT_EQ(std::system(encode.c_str()), 0);
    const std::vector<std::string> hashes = frameHashes(dir / "from.mp4");
    ASSERT_EQ(hashes.size(), 7u) << "30000, 30016 ... 30100";
    EXPECT_EQ(frameHashes(dir / "first.mp4"), std::vector<std::string>{hashes.front()});
    FILE* probe = popen(("ffprobe -v error -select_streams a -show_entries stream=codec_type -of csv=p=0 " +
                         (dir / "from.mp4").string()).c_str(), "r");
    char line[64] = {};
    ASSERT_NE(probe, nullptr);
    EXPECT_NE(std::fgets(line, sizeof line, probe), nullptr);
    pclose(probe);
    EXPECT_EQ(std::string(line), "audio\n");
    std::filesystem::remove_all(dir);
}

// The benchmark's two passes run in processes of their own; both must report on every phase:
// frame times and pixels from the drawn one, CPU times from the discarding one, and the floor
// the fill rate (a third process's) sets for those pixels.
TEST(CaptureImagesTest, BenchReportsBothPassesForEveryPhase) {
    const std::filesystem::path dir = outputFolder("bench");
    const std::string json = (dir / "bench.json").string();
    ASSERT_EQ(capture("--bench --fps 1 --json " + json + " >/dev/null"), 0);
    const std::string text = fileText(json);
    for (const char* phase : {"opening", "boxed cube", "first tunnel", "cube field", "second tunnel", "exploding cube",
                              "closing"}) {
        const size_t at = text.find(std::string("\"phase\": \"") + phase + "\"");
        ASSERT_NE(at, std::string::npos) << phase;
        const std::string row = text.substr(at, text.find('}', at) - at);
        for (const char* field : {"\"median_ms\": ", "\"cpu_median_ms\": ", "\"mpixels_median\": ", "\"floor_ms\": "}) {
            const size_t value = row.find(field);
            ASSERT_NE(value, std::string::npos) << phase << " " << field;
            EXPECT_GT(std::stod(row.substr(value + std::strlen(field))), 0.0) << phase << " " << field;
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
