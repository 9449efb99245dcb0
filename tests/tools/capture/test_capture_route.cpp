// test_capture_route.cpp: what each set of options runs: the writer, and whether the frames are
// split into parts, over every mode, job count, part or whole, list or range, with --from or not.
#include <gtest/gtest.h>

#include <string>

#include "tools/capture/capture_route.h"

namespace {

enum Flag { No, Yes, Any };

struct Route {
    CaptureMode mode;
    Flag part, list;
    CaptureWriter writer;
    uint32_t partsAt1, partsAt2, partsAt4;  // parts for 1, 2 and 4 jobs
};

// A single picture, a list and a part are never split, whatever the cores allow: a split
// --frame would write a folder of the frames from 0 ms where a file was asked for.
const Route routes[] = {
    {CaptureMode::Help,   Any, Any, CaptureWriter::None,       1, 1, 1},
    {CaptureMode::Frame,  Any, Any, CaptureWriter::Frame,      1, 1, 1},
    {CaptureMode::Faces,  Any, Any, CaptureWriter::Faces,      1, 1, 1},
    {CaptureMode::Frames, No,  No,  CaptureWriter::Frames,     1, 2, 4},
    {CaptureMode::Frames, No,  Yes, CaptureWriter::Frames,     1, 1, 1},
    {CaptureMode::Frames, Yes, No,  CaptureWriter::FramesPart, 1, 1, 1},
    {CaptureMode::Frames, Yes, Yes, CaptureWriter::Frames,     1, 1, 1},
    {CaptureMode::Video,  No,  Any, CaptureWriter::Video,      1, 2, 4},
    {CaptureMode::Video,  Yes, Any, CaptureWriter::VideoPart,  1, 1, 1},
    {CaptureMode::Sheet,  Any, Any, CaptureWriter::Sheet,      1, 1, 1},
    {CaptureMode::Wav,    Any, Any, CaptureWriter::Wav,        1, 1, 1},
    {CaptureMode::Trace,  Any, Any, CaptureWriter::Trace,      1, 1, 1},
    {CaptureMode::Bench,  Any, Any, CaptureWriter::Bench,      1, 1, 1},
    {CaptureMode::Stream, Any, Any, CaptureWriter::Stream,     1, 1, 1},
    {CaptureMode::Replay, Any, Any, CaptureWriter::Replay,     1, 1, 1},
};

bool matches(Flag flag, bool value) { return flag == Any || (flag == Yes) == value; }

TEST(CaptureRouteTest, EveryModeJobCountPartAndListHasItsRoute) {
    const CaptureMode modes[] = {CaptureMode::Help,  CaptureMode::Frame, CaptureMode::Frames,
                                 CaptureMode::Faces, CaptureMode::Video, CaptureMode::Wav,
                                 CaptureMode::Sheet, CaptureMode::Trace, CaptureMode::Bench, CaptureMode::Stream,
                                 CaptureMode::Replay};
    const char* names[] = {"help", "frame", "frames", "faces", "video", "wav", "sheet", "trace", "bench", "stream", "replay"};
    // --from (a video from later on) is split as the whole video is: it takes no row of its own.
    for (CaptureMode mode : modes)
        for (bool part : {false, true})
            for (bool list : {false, true})
                for (bool from : {false, true}) {
                    const std::string what = names[int(mode)] + std::string(part ? ", a part" : ", whole") +
                                             (list ? ", a list" : ", a range") + (from ? ", --from" : "");
                    const Route* row = nullptr;
                    int rows = 0;
                    for (const Route& r : routes)
                        if (r.mode == mode && matches(r.part, part) && matches(r.list, list)) row = &r, ++rows;
                    ASSERT_EQ(rows, 1) << what;
                    CaptureOptions options;
                    options.mode = mode;
                    options.output = "out";
                    options.frameMs = 5000;
                    if (list) options.frameList = {100, 5000};
                    options.fromMs = list ? 100 : 0;
                    options.toMs = list ? 5000 : 500;
                    options.part = part;
                    options.videoFrom = from;
                    options.videoFromMs = from ? 30000 : 0;
                    if (part) options.partFrom = 0, options.partTo = 250;
                    const uint32_t jobs[] = {1, 2, 4}, parts[] = {row->partsAt1, row->partsAt2, row->partsAt4};
                    for (int j = 0; j < 3; ++j) {
                        const CaptureRoute route = captureRouteFor(options, jobs[j]);
                        EXPECT_EQ(int(route.writer), int(row->writer)) << what << ", jobs " << jobs[j];
                        EXPECT_EQ(route.parts, parts[j]) << what << ", jobs " << jobs[j];
                    }
                }
}

// A video split into parts has no more parts than show frames, and never none: from 161200 ms
// there are five frames of the 60 fps grid, from 161266 one.
TEST(CaptureRouteTest, AShortVideoHasAsManyPartsAsFramesAtMost) {
    struct Case {
        uint32_t fromMs, jobs, parts;
    };
    const Case cases[] = {{161200, 4, 4}, {161200, 8, 5}, {161266, 4, 1}, {161266, 1, 1}};
    for (const Case& c : cases) {
        CaptureOptions options;
        options.mode = CaptureMode::Video;
        options.output = "out.mp4";
        options.videoFrom = true;
        options.videoFromMs = c.fromMs;
        EXPECT_EQ(captureRouteFor(options, c.jobs).parts, c.parts) << "--from " << c.fromMs << " --jobs " << c.jobs;
    }
}

}  // namespace
