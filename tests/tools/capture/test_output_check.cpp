// test_output_check.cpp: what the capture tool reads back before it reports success: each kind
// of file it names, right, missing, of the wrong kind, cut short or of the wrong size.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tools/capture/capture_run.h"
#include "tools/capture/output_check.h"
#include "tools/capture/png_file.h"
#include "tools/stream/frame_stream.h"

namespace {

namespace fs = std::filesystem;

void png(const fs::path& path, int width = 8, int height = 6) {
    const std::vector<uint8_t> rgba(size_t(width) * height * 4, 200);
    std::string error;
    ASSERT_TRUE(writePng(path.string(), rgba.data(), width, height, error)) << error;
}

void bytes(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The frames 1015:1100 at 60 fps: FROM, then the grid from 1016 on.
const uint32_t rangeTimes[] = {1015, 1016, 1033, 1050, 1066, 1083, 1100};

void frames(const fs::path& dir, uint32_t skipped = 0) {
    fs::create_directories(dir);
    for (uint32_t ms : rangeTimes)
        if (ms != skipped) png(framePath(dir.string(), ms));
}

void faces(const fs::path& dir, int skipped = -1) {
    fs::create_directories(dir);
    for (int k = 0; k < 6; ++k)
        if (k != skipped) png(dir / ("face" + std::to_string(k) + ".png"));
}

std::string wave(uint32_t declared, size_t data) {
    std::string riff = "RIFF";
    for (int i = 0; i < 4; ++i) riff += char((declared + 4) >> (8 * i) & 0xff);
    return riff + "WAVE" + std::string(data, '\0');
}

// A stream of show frame ms holding one call, cut to size bytes where size is not 0.
void stream(const fs::path& path, uint32_t ms, size_t size = 0) {
    FrameStream frame;
    frame.time = ms;
    frame.calls.push_back({StreamOp::BeginScene, {}, {}, {}});
    std::vector<uint8_t> encoded = encodeFrameStream(frame);
    if (size != 0) encoded.resize(size);
    bytes(path, std::string(encoded.begin(), encoded.end()));
}

TEST(OutputCheckTest, EachKindOfFileIsReadBackBeforeSuccess) {
    const fs::path dir = fs::temp_directory_path() / ("quorbel-test-check-" + std::to_string(getpid()));
    struct Case {
        const char* what;
        CaptureWriter writer;
        std::function<void(const fs::path& out, CaptureOptions&)> make;
        const char* missing;  // a part of the line; "" where all is well
    };
    const Case cases[] = {
        {"a frame", CaptureWriter::Frame, [](const fs::path& out, CaptureOptions&) { png(out); }, ""},
        {"a folder where the frame should be", CaptureWriter::Frame,
         [](const fs::path& out, CaptureOptions&) { fs::create_directories(out); png(out / "frame-000000.png"); }, "is a folder"},
        {"no frame", CaptureWriter::Frame, [](const fs::path&, CaptureOptions&) {}, "is missing"},
        {"text as the frame", CaptureWriter::Frame, [](const fs::path& out, CaptureOptions&) { bytes(out, std::string(40, 'x')); }, "not a PNG"},
        {"a frame cut short", CaptureWriter::Frame,
         [](const fs::path& out, CaptureOptions&) {
             png(out);
             fs::resize_file(out, fs::file_size(out) - 1);
         }, "cut short"},
        {"a frame of another size", CaptureWriter::Frame, [](const fs::path& out, CaptureOptions&) { png(out, 300, 3); }, "300 x 3 pixels, not 8 x 6"},
        {"six faces", CaptureWriter::Faces, [](const fs::path& out, CaptureOptions&) { faces(out); }, ""},
        {"no first face", CaptureWriter::Faces, [](const fs::path& out, CaptureOptions&) { faces(out, 0); }, "face0.png is missing"},
        {"no last face", CaptureWriter::Faces, [](const fs::path& out, CaptureOptions&) { faces(out, 5); }, "face5.png is missing"},
        {"a range", CaptureWriter::Frames, [](const fs::path& out, CaptureOptions&) { frames(out); }, ""},
        {"a range less a frame", CaptureWriter::Frames, [](const fs::path& out, CaptureOptions&) { frames(out, 1016); }, "frame-001016.png is missing"},
        {"a range less FROM", CaptureWriter::Frames, [](const fs::path& out, CaptureOptions&) { frames(out, 1015); }, "frame-001015.png is missing"},
        {"a file where the folder should be", CaptureWriter::Frames, [](const fs::path& out, CaptureOptions&) { png(out); }, "not a folder"},
        {"a part's share only", CaptureWriter::FramesPart,
         [](const fs::path& out, CaptureOptions& o) {
             frames(out, 1015);
             o.part = true, o.partFrom = 1016, o.partTo = 1100;
         }, ""},
        {"a part less its first frame", CaptureWriter::FramesPart,
         [](const fs::path& out, CaptureOptions& o) {
             frames(out, 1050);
             o.part = true, o.partFrom = 1050, o.partTo = 1100;
         }, "frame-001050.png is missing"},
        {"a part less its last frame", CaptureWriter::FramesPart,
         [](const fs::path& out, CaptureOptions& o) {
             frames(out, 1100);
             o.part = true, o.partFrom = 1050, o.partTo = 1100;
         }, "frame-001100.png is missing"},
        {"a list", CaptureWriter::Frames,
         [](const fs::path& out, CaptureOptions& o) {
             fs::create_directories(out);
             png(framePath(out.string(), 4000));
             o.frameList = {4000, 38400};
         }, "frame-038400.png is missing"},
        {"the sheet", CaptureWriter::Sheet, [](const fs::path& out, CaptureOptions&) { png(out, 40, 30); }, ""},
        {"a wave", CaptureWriter::Wav, [](const fs::path& out, CaptureOptions&) { bytes(out, wave(1000, 1000)); }, ""},
        {"a wave cut short", CaptureWriter::Wav, [](const fs::path& out, CaptureOptions&) { bytes(out, wave(1000, 999)); }, "wrong length"},
        {"a wave as long as the show's",  CaptureWriter::Wav,
         [](const fs::path& out, CaptureOptions&) {
             bytes(out, wave(29106032, 0));
             fs::resize_file(out, 29106044);
         }, ""},
        {"a PNG as the wave", CaptureWriter::Wav, [](const fs::path& out, CaptureOptions&) { png(out); }, "not a WAV"},
        {"no JSON from the bench", CaptureWriter::Bench, [](const fs::path& out, CaptureOptions& o) { o.json = out.string(); }, "is missing"},
        {"the bench without --json", CaptureWriter::Bench, [](const fs::path&, CaptureOptions&) {}, ""},
        {"no video", CaptureWriter::Video, [](const fs::path&, CaptureOptions&) {}, "is missing"},
        {"a stream", CaptureWriter::Stream, [](const fs::path& out, CaptureOptions&) { stream(out, 0); }, ""},
        {"a stream of another frame", CaptureWriter::Stream, [](const fs::path& out, CaptureOptions&) { stream(out, 5); }, "another frame"},
        {"a stream cut short", CaptureWriter::Stream, [](const fs::path& out, CaptureOptions&) { stream(out, 0, 60); }, "cut short"},
        {"a PNG as the stream", CaptureWriter::Stream, [](const fs::path& out, CaptureOptions&) { png(out); }, "not a frame stream"},
        {"a replay", CaptureWriter::Replay, [](const fs::path& out, CaptureOptions&) { png(out, 640, 480); }, ""},
        {"a replay of the asked size", CaptureWriter::Replay, [](const fs::path& out, CaptureOptions&) { png(out); }, "not 640 x 480"},
    };
    for (const Case& c : cases) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path out = dir / "out";
        CaptureOptions options;
        options.output = out.string();
        options.width = 8, options.height = 6;
        options.fromMs = 1015, options.toMs = 1100;
        c.make(out, options);
        const std::string line = missingOutput(options, c.writer);
        if (*c.missing == '\0') {
            EXPECT_EQ(line, "") << c.what;
        } else {
            EXPECT_NE(line.find(c.missing), std::string::npos) << c.what << ": " << line;
            EXPECT_EQ(line.find('\n'), std::string::npos) << c.what << ": one line";
        }
    }
    // ffprobe reads the video and its streams; without it only the file's being there is checked.
    {
        CaptureOptions options;
        options.output = (dir / "v.mp4").string();
        const std::string path = std::getenv("PATH");
        setenv("PATH", (dir / "none").c_str(), 1);
        bytes(options.output, "");
        EXPECT_NE(missingOutput(options, CaptureWriter::Video).find("is empty"), std::string::npos) << "no ffprobe";
        bytes(options.output, "x");
        EXPECT_EQ(missingOutput(options, CaptureWriter::Video), "") << "no ffprobe";
        setenv("PATH", path.c_str(), 1);
    }
    if (std::system("command -v ffprobe >/dev/null 2>&1") == 0) {
        CaptureOptions options;
        options.output = (dir / "v.mp4").string();
        png(options.output);
        EXPECT_NE(missingOutput(options, CaptureWriter::VideoPart).find("no video"), std::string::npos);
        const std::string pictures = "-f lavfi -i color=s=16x16:d=0.1 ";
        const std::string sound = "-f lavfi -i anullsrc=r=8000:d=0.1 ";
        auto make = [&](const std::string& inputs) {
            return std::system(("ffmpeg -loglevel error -y " + inputs + "-c:v libx264 " + options.output + " 2>/dev/null").c_str()) == 0;
        };
        ASSERT_TRUE(make(sound));
        EXPECT_NE(missingOutput(options, CaptureWriter::Video, true).find("no video"), std::string::npos) << "sound only";
        ASSERT_TRUE(make(pictures));
        EXPECT_EQ(missingOutput(options, CaptureWriter::VideoPart), "");
        EXPECT_NE(missingOutput(options, CaptureWriter::Video, true).find("no soundtrack"), std::string::npos);
        ASSERT_TRUE(make(pictures + sound + "-shortest "));
        EXPECT_EQ(missingOutput(options, CaptureWriter::Video, true), "");
    }
    fs::remove_all(dir);
}

}  // namespace
