// test_capture_options.cpp: quorbel-capture's command line: what each mode needs, the common
// options and their ranges, and the clear refusals of anything else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/capture/capture_options.h"
#include "tools/capture/progress.h"

namespace {

struct Parsed {
    bool ok;
    CaptureOptions options;
    std::string error;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "quorbel-capture");
    Parsed result;
    result.ok = parseCaptureOptions(static_cast<int>(args.size()), args.data(), result.options, result.error);
    return result;
}

TEST(CaptureOptionsTest, EachModeWithWhatItNeeds) {
    Parsed p = parse({"--frame", "100000", "-o", "f.png"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, CaptureMode::Frame);
    EXPECT_EQ(p.options.frameMs, 100000u);
    EXPECT_EQ(p.options.output, "f.png");
    EXPECT_FALSE(p.options.cold);
    EXPECT_EQ(p.options.fps, 60u) << "the default frame rate";
    EXPECT_EQ(p.options.startTick, 1u) << "the default start tick";

    p = parse({"-o", "f.png", "--cold", "--frame", "5"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.cold);
    EXPECT_EQ(p.options.frameMs, 5u);

    p = parse({"--frames", "1000:2000", "-o", "out"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, CaptureMode::Frames);
    EXPECT_EQ(p.options.fromMs, 1000u);
    EXPECT_EQ(p.options.toMs, 2000u);
    EXPECT_EQ(p.options.output, "out");

    p = parse({"--video", "show.mp4", "--fps", "30", "--start-tick", "4294967295"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, CaptureMode::Video);
    EXPECT_EQ(p.options.output, "show.mp4");
    EXPECT_EQ(p.options.fps, 30u);
    EXPECT_EQ(p.options.startTick, 4294967295u);

    p = parse({"--wav", "s.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, CaptureMode::Wav);
    p = parse({"--sheet", "s.png"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, CaptureMode::Sheet);
    p = parse({"--stream-loading", "32", "-o", "f.d3ds"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, CaptureMode::Stream);
    EXPECT_TRUE(p.options.loading);
    EXPECT_EQ(p.options.frameMs, 32u);
    p = parse({"--replay", "f.d3ds", "-o", "f.png", "--repeat", "20"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, CaptureMode::Replay);
    EXPECT_EQ(p.options.input, "f.d3ds");
    EXPECT_EQ(p.options.repeat, 20u);
    p = parse({"--trace", "0", "--start-tick", "0"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, CaptureMode::Trace);
    EXPECT_EQ(p.options.frameMs, 0u);
    EXPECT_EQ(p.options.startTick, 0u);

    p = parse({"--frames", "7:7", "-o", "d"});
    EXPECT_TRUE(p.ok) << "a range of one frame";
    for (std::vector<const char*> last : {std::vector<const char*>{"--frame", "161279", "-o", "f.png"},
                                          {"--frames", "0:161279", "-o", "d"}, {"--frames", "5,161279", "-o", "d"},
                                          {"--stream", "161279", "-o", "f.d3ds"}, {"--video", "v.mp4", "--until", "161279"}}) {
        p = parse(last);
        EXPECT_TRUE(p.ok) << "the show's last frame: " << p.error;
    }

    p = parse({"--video", "v.mp4", "--jobs", "3", "--until", "3000", "--lossless"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.jobs, 3u);
    EXPECT_EQ(p.options.untilMs, 3000u);
    EXPECT_TRUE(p.options.lossless);
    EXPECT_FALSE(p.options.part);
    EXPECT_EQ(parse({"--video", "v.mp4"}).options.jobs, 0u) << "from the cores unless told";
    EXPECT_EQ(parse({"--video", "v.mp4"}).options.untilMs, UINT32_MAX) << "the whole show";
    EXPECT_FALSE(parse({"--video", "v.mp4"}).options.videoFrom) << "from the loading screen";
    p = parse({"--video", "v.mp4", "--from", "161266"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.videoFrom);
    EXPECT_EQ(p.options.videoFromMs, 161266u) << "the last frame of the grid";

    p = parse({"--frames", "0:900", "-o", "d", "--part", "450:4294967295"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.part);
    EXPECT_EQ(p.options.partFrom, 450u);
    EXPECT_EQ(p.options.partTo, UINT32_MAX);

    p = parse({"--faces", "20000", "--cold", "-o", "faces"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.mode, CaptureMode::Faces);
    EXPECT_EQ(p.options.frameMs, 20000u);
    EXPECT_TRUE(p.options.cold);
    EXPECT_EQ(p.options.output, "faces");
}

TEST(CaptureOptionsTest, HelpWinsOverEverythingElse) {
    EXPECT_EQ(parse({"--help"}).options.mode, CaptureMode::Help);
    const Parsed p = parse({"--frame", "10", "--help"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.mode, CaptureMode::Help);
}

TEST(CaptureOptionsTest, BadArgumentsAreRefusedWithAReason) {
    const std::vector<std::pair<std::vector<const char*>, const char*>> bad = {
        {{}, "nothing to do"},
        {{"--frame", "10"}, "-o"},
        {{"--frames", "0:10"}, "-o"},
        {{"--frame", "ten", "-o", "f.png"}, "ten"},
        {{"--frame", "-5", "-o", "f.png"}, "-5"},
        {{"--frame", "4294967296", "-o", "f.png"}, "4294967296"},
        // Past the show's end: refused here, not after running the whole show.
        {{"--frame", "4294967295", "-o", "f.png"}, "--frame '4294967295' is past the show's end (its last frame is at 161279 ms)"},
        {{"--frame", "161280", "-o", "f.png", "--cold"}, "--frame '161280' is past the show's end"},
        {{"--faces", "161280", "-o", "d"}, "--faces '161280' is past the show's end"},
        {{"--trace", "200000"}, "--trace '200000' is past the show's end"},
        {{"--stream", "161280", "-o", "f.d3ds"}, "--stream '161280' is past the show's end"},
        {{"--frames", "4000,170000", "-o", "d"}, "--frames 4000,170000: 170000 is past the show's end"},
        {{"--frames", "0:161280", "-o", "d"}, "--frames 0:161280: 161280 is past the show's end"},
        {{"--video", "v.mp4", "--until", "161280"}, "--until '161280' is past the show's end"},
        {{"--frame", "", "-o", "f.png"}, "milliseconds"},
        {{"--frames", "20:10", "-o", "d"}, "after"},
        {{"--frames", "10", "-o", "d"}, "FROM:TO"},
        {{"--frames", "10:", "-o", "d"}, "FROM:TO"},
        {{"--frames", ":10", "-o", "d"}, "FROM:TO"},
        {{"--frame", "1", "--trace", "2"}, "choose one"},
        {{"--faces", "1", "--frame", "2", "-o", "d"}, "choose one"},
        {{"--faces", "1"}, "-o DIR"},
        {{"--video", "a.mp4", "--wav", "b.wav"}, "choose one"},
        {{"--video", "a.mp4", "-o", "b.mp4"}, "-o"},
        {{"--trace", "5", "-o", "x"}, "stdout"},
        {{"--video", "a.mp4", "--cold"}, "--cold"},
        {{"--fps", "0", "--wav", "s.wav"}, "--fps"},
        {{"--fps", "1001", "--wav", "s.wav"}, "--fps"},
        {{"--start-tick", "x", "--wav", "s.wav"}, "--start-tick"},
        {{"--wav", "s.wav", "--fps"}, "needs a value"},
        {{"--frame"}, "needs a value"},
        {{"--bench", "--json"}, "needs a value"},
        {{"--wav", "s.wav", "--json", "f.json"}, "--json goes with --bench"},
        {{"--bench", "-o", "x"}, "no -o"},
        {{"--bench", "--sheet", "s.png"}, "choose one"},
        {{"frame.png"}, "unknown argument"},
        {{"--video", "v.mp4", "--jobs", "0"}, "--jobs"},
        {{"--video", "v.mp4", "--jobs", "65"}, "--jobs"},
        {{"--sheet", "s.png", "--jobs", "2"}, "--jobs goes with"},
        {{"--wav", "s.wav", "--until", "5"}, "--until goes with"},
        {{"--video", "v.mp4", "--until", "soon"}, "--until"},
        {{"--video", "v.mp4", "--from", "-5"}, "--from '-5' is before the show's start"},
        {{"--video", "v.mp4", "--from", "161280"}, "--from '161280' is past the show's end"},
        {{"--video", "v.mp4", "--from", "9s"}, "--from '9s' is not a time"},
        {{"--video", "v.mp4", "--from", "3000", "--until", "3000"}, "--from 3000 is not before --until 3000"},
        {{"--video", "v.mp4", "--from", "161270"}, "no frame of the 60 fps grid lies between --from 161270 ms and the show's end (161279 ms)"},
        {{"--video", "v.mp4", "--from", "1001", "--until", "1010"}, "no frame of the 60 fps grid lies between --from 1001 ms and --until 1010 ms"},
        {{"--frames", "0:9", "-o", "d", "--from", "5"}, "--from goes with --video only"},
        {{"--frames", "0:9", "-o", "d", "--lossless"}, "--lossless goes with"},
        {{"--video", "v.mp4", "--part", "9:3"}, "--part"},
        {{"--video", "v.mp4", "--part", "9"}, "--part"},
        {{"--bench", "--part", "0:9"}, "--part goes with"},
        {{"--video", "v.mp4", "--part", "0:9", "--jobs", "2"}, "no --jobs"},
        {{"--stream", "9000"}, "-o FILE.d3ds"},
        {{"--stream-loading", "0", "-o", "f.d3ds"}, "1 to 63"},
        {{"--stream-loading", "64", "-o", "f.d3ds"}, "1 to 63"},
        {{"--stream", "9000", "-o", "f.d3ds", "--size", "1280x960"}, "--size"},
        {{"--replay", "f.d3ds"}, "-o FILE.png"},
        {{"--frame", "5", "-o", "f.png", "--repeat", "3"}, "--repeat goes with --replay"},
        {{"--replay", "f.d3ds", "-o", "f.png", "--repeat", "0"}, "--repeat"},
    };
    for (const auto& [args, reason] : bad) {
        const Parsed p = parse(args);
        std::string joined;
        for (const char* a : args) joined += std::string(a) + " ";
        EXPECT_FALSE(p.ok) << joined;
        EXPECT_NE(p.error.find(reason), std::string::npos) << joined << "-> " << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << "one line: " << p.error;
    }
}

}  // namespace

TEST(CaptureBenchOptionsTest, BenchTakesAnOptionalJsonFile) {
    CaptureOptions options;
    std::string error;
    const char* plain[] = {"quorbel-capture", "--bench", "--fps", "10"};
    ASSERT_TRUE(parseCaptureOptions(4, plain, options, error)) << error;
    EXPECT_EQ(options.mode, CaptureMode::Bench);
    EXPECT_EQ(options.fps, 10u);
    EXPECT_TRUE(options.json.empty());
    const char* json[] = {"quorbel-capture", "--json", "out.json", "--bench"};
    ASSERT_TRUE(parseCaptureOptions(4, json, options, error)) << error;
    EXPECT_EQ(options.json, "out.json");
}

TEST(CaptureProgressTest, TimesEstimatesAndLines) {
    const std::vector<std::pair<double, const char*>> durations = {
        {0, "0:00"}, {-3, "0:00"}, {4.4, "0:04"}, {59.6, "1:00"}, {65, "1:05"}, {3599.4, "59:59"}, {3723, "1:02:03"}};
    for (const auto& [seconds, text] : durations) EXPECT_EQ(formatDuration(seconds), text) << seconds;

    EXPECT_LT(estimateSecondsLeft(12, 0, 100), 0) << "no pace before the first unit";
    EXPECT_DOUBLE_EQ(estimateSecondsLeft(10, 20, 50), 25);
    EXPECT_DOUBLE_EQ(estimateSecondsLeft(10, 20, 0), 0);

    EXPECT_EQ(progressLine("video", 120, 9961, 65, 150), "video: frame 120 of 9961 (1%), 1:05 elapsed, about 2:30 left");
    EXPECT_EQ(progressLine("bench", 0, 40, 3, -1), "bench: frame 0 of 40 (0%), 0:03 elapsed");

    struct Due { bool terminal; int percent, printed; double since; bool due; };
    const Due cases[] = {
        {false, 0, -1, 0, true},   {true, 0, -1, 0, true},    // the first line always
        {false, 4, 0, 9, false},   {false, 5, 4, 0.1, true},  // a log: every 5 percent...
        {false, 7, 5, 10.5, true},                            // ... or every 10 s
        {true, 3, 3, 0.1, false},  {true, 3, 3, 0.3, true},   // a terminal: a few times a second
    };
    for (const Due& c : cases)
        EXPECT_EQ(progressLineDue(c.terminal, c.percent, c.printed, c.since), c.due)
            << c.terminal << " " << c.percent << " " << c.printed << " " << c.since;
}
