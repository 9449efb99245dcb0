// test_frame_stream.cpp: a frame stream holds the whole frame (replayed into the OpenGL device
// it gives --frame's picture, byte for byte, in every phase), and a replayer is never handed a
// stream it cannot trust (each kind of broken or incomplete stream is refused with its reason).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/require.h"
#include "tools/stream/frame_stream.h"

namespace {

namespace fs = std::filesystem;

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int capture(const std::string& arguments) {
    return std::system((std::string(QUORBEL_CAPTURE_BINARY) + " " + arguments + " 2>/dev/null").c_str());
}

TEST(FrameStreamTest, EachPhaseReplaysToTheCapturedFrame) {
    // One frame of each phase, the streaks and a face texture's particles among them.
    const uint32_t frames[] = {9000, 22000, 38000, 58000, 100000, 124380, 130560, 145000};
    const fs::path dir = fs::temp_directory_path() / ("quorbel-test-stream-" + std::to_string(getpid()));
    fs::remove_all(dir);
    std::string list;
    for (uint32_t ms : frames) list += (list.empty() ? "" : ",") + std::to_string(ms);
    if (capture("--frames " + list + " -o " + dir.string()) != 0) SKIP_OR_FAIL("quorbel-capture cannot draw here");
    for (uint32_t ms : frames) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06u.png", ms);
        const fs::path stream = dir / (std::to_string(ms) + ".d3ds"), replayed = dir / (std::to_string(ms) + ".png");
        ASSERT_EQ(capture("--stream " + std::to_string(ms) + " -o " + stream.string()), 0) << ms;
        ASSERT_EQ(capture("--replay " + stream.string() + " -o " + replayed.string()), 0) << ms;
        EXPECT_TRUE(fileBytes(replayed) == fileBytes(dir / name)) << "the replay of " << ms << " ms is not --frame's picture";
    }
    fs::remove_all(dir);
}

// A small whole stream: a written 4 x 4 texture and a 4 x 4 render target, the target cleared
// and then sampled by a fan, a part of the back buffer cleared, a lock up to a level's edge.
FrameStream smallStream() {
    FrameStream s;
    s.textures.push_back({4, 4, 1, 0, 21, 1, {std::vector<uint8_t>(64, 7)}});
    s.textures.push_back({4, 4, 1, 1, 22, 0, {{}}});
    s.defaults.push_back({StreamOp::SetRenderState, {7, 1}, {}, {'Z'}});
    s.start.push_back({StreamOp::SetTexture, {0, 1}, {}, {}});
    const std::vector<uint8_t> triangle(3 * 16, 0);
    s.calls = {
        {StreamOp::SetRenderTarget, {0, 2, 0}, {}, {}},
        {StreamOp::Clear, {1, 0, 0, 0}, {}, {}},
        {StreamOp::SetRenderTarget, {0, 0, 0}, {}, {}},
        {StreamOp::LockRect, {1, 0, 0}, {1, 1, 4, 2}, std::vector<uint8_t>(12, 9)},
        {StreamOp::SetTexture, {0, 2}, {}, {}},
        {StreamOp::DrawPrimitiveUP, {6, 1, 16}, {}, triangle},
        {StreamOp::Clear, {1, 0, 0, 0}, {0, 0, 2, 2}, {}},
        {StreamOp::SetTexture, {0, 0}, {}, {}},
        {StreamOp::Present, {}, {}, {}},
    };
    return s;
}

TEST(FrameStreamTest, BrokenOrIncompleteStreamsAreRefusedWithTheirReason) {
    FrameStream decoded;
    std::string error;
    const std::vector<uint8_t> whole = encodeFrameStream(smallStream());
    ASSERT_TRUE(decodeFrameStream(whole, decoded, error)) << error;
    EXPECT_TRUE(encodeFrameStream(decoded) == whole) << "read back as written";
    EXPECT_EQ(streamSamplesUndrawnTarget(decoded), "");
    EXPECT_EQ(streamStateName(decoded, decoded.defaults[0]), "Z");

    struct Case {
        const char* what;
        void (*spoilStream)(FrameStream&);
        void (*spoilBytes)(std::vector<uint8_t>&);
        const char* reason;
    };
    const Case cases[] = {
        {"another kind of file", nullptr, [](std::vector<uint8_t>& b) { b[0] = 'P'; }, "not a frame stream"},
        {"a later version", nullptr, [](std::vector<uint8_t>& b) { b[4] = 2; }, "version 2"},
        {"cut short", nullptr, [](std::vector<uint8_t>& b) { b.erase(b.end() - 3, b.end()); }, "cut short"},
        {"bytes after the calls", nullptr, [](std::vector<uint8_t>& b) { b.push_back(0); }, "after the frame's calls"},
        {"a texture not held", [](FrameStream& s) { s.calls[4].args[1] = 3; }, nullptr, "does not hold"},
        {"a stage Direct3D 9 lacks", [](FrameStream& s) { s.calls[4].args[0] = 8; }, nullptr, "stage 8"},
        {"a lock outside the level", [](FrameStream& s) { s.calls[3].rects[2] = 5; }, nullptr, "outside the level"},
        {"a lock of a target", [](FrameStream& s) { s.calls[3].args[0] = 2; }, nullptr, "render target"},
        {"texels short of the lock", [](FrameStream& s) { s.calls[3].data.pop_back(); }, nullptr, "do not fill"},
        {"vertices short of the count", [](FrameStream& s) { s.calls[5].args[1] = 2; }, nullptr, "vertices"},
        {"a target that is a plain texture", [](FrameStream& s) { s.calls[0].args[1] = 1; }, nullptr, "render target"},
        {"a texture of no size", [](FrameStream& s) { s.textures[0].width = 0; }, nullptr, "cannot be made"},
        {"a texture of no levels", [](FrameStream& s) { s.textures[0].levels = 0; }, nullptr, "cannot be made"},
        {"a back buffer of no size", [](FrameStream& s) { s.backBufferHeight = 0; }, nullptr, "cannot be made"},
        {"a call of unknown kind", [](FrameStream& s) { s.calls[7].op = StreamOp(99); }, nullptr, "unknown kind 99"},
        {"a frame kind other than 0 or 1", nullptr, [](std::vector<uint8_t>& b) { b[8] = 2; }, "frame kind is 2"},
        // 3 x 0x55555556 triangles' vertices wrap to 2 in 32 bits: two vertices of data match.
        {"a count whose vertices wrap", [](FrameStream& s) { s.calls[5].args = {4, 0x55555556, 16}, s.calls[5].data.resize(32); },
         nullptr, "vertices do not match"},
        {"a fan of more primitives than a draw holds",
         [](FrameStream& s) { s.calls[5].args[1] = 0x100000, s.calls[5].data.resize((0x100000 + 2) * 16); }, nullptr,
         "vertices do not match"},
        {"levels past the size's chain", [](FrameStream& s) { s.textures[0].levels = 4, s.textures[0].texels.resize(4); },
         nullptr, "level count"},
        // Textures with no texels cost the file nothing and the device all of their size.
        {"textures past the budget",
         [](FrameStream& s) { s.textures.insert(s.textures.begin() + 2, 4, {4096, 1024, 1, 0, 21, 1, {{}}}); }, nullptr,
         "texture 6 takes the textures past 64 MiB"},
        {"calls past the budget", [](FrameStream& s) { s.calls.resize(streamMaxCalls, s.calls[7]); }, nullptr,
         "past 262144 calls"},
        {"vertices past the budget",
         [](FrameStream& s) {
             s.calls[5] = {StreamOp::DrawPrimitiveUP, {1, 0xFFFFF, 1}, {}, std::vector<uint8_t>(0xFFFFF)};
             s.calls.insert(s.calls.begin() + 5, 4, s.calls[5]);
         },
         nullptr, "more than 4194304 vertices"},
    };
    for (const Case& c : cases) {
        FrameStream spoilt = smallStream();
        if (c.spoilStream != nullptr) c.spoilStream(spoilt);
        std::vector<uint8_t> bytes = encodeFrameStream(spoilt);
        if (c.spoilBytes != nullptr) c.spoilBytes(bytes);
        EXPECT_FALSE(decodeFrameStream(bytes, decoded, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    }

    // A target sampled before the frame drew into it, or cleared only in part, holds texels of
    // earlier frames.
    FrameStream early = smallStream(), partly = smallStream();
    early.calls.erase(early.calls.begin(), early.calls.begin() + 3);
    partly.calls[1].rects = {0, 0, 2, 2};
    for (const FrameStream& refused : {early, partly})
        EXPECT_NE(streamSamplesUndrawnTarget(refused).find("render target texture 2 on stage 0 before"), std::string::npos);
}

// What a hostile user may hand the replay: each is refused in one line with status 1, before
// anything is made, or at the call the device refuses.
TEST(FrameStreamTest, TheReplayRefusesWhatItCannotTrustInOneLine) {
    const fs::path dir = fs::temp_directory_path() / ("quorbel-test-hostile-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto write = [&](const char* name, const FrameStream& stream) {
        const std::vector<uint8_t> bytes = encodeFrameStream(stream);
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return (dir / name).string();
    };
    FrameStream wrapped = smallStream(), lockedLevel = smallStream();
    wrapped.calls[5].args = {4, 0x55555556, 16};
    wrapped.calls[5].data.resize(32);
    // The OpenGL device holds level 0 only: a lock of level 1 is refused there.
    lockedLevel.textures[0].levels = 2;
    lockedLevel.textures[0].texels.resize(2);
    lockedLevel.calls[3] = {StreamOp::LockRect, {1, 1, 0}, {}, std::vector<uint8_t>(16, 9)};
    const struct {
        std::string input, reason;
    } cases[] = {
        {dir.string(), "not a file"},
        {"/dev/zero", "not a file"},
        {(dir / "missing.d3ds").string(), "No such file"},
        {write("wrapped.d3ds", wrapped), "the vertices do not match"},
        {write("level.d3ds", lockedLevel), "frame call 3 (LockRect) is refused by the device"},
    };
    for (const auto& c : cases) {
        const fs::path errors = dir / "errors.txt";
        const int status = std::system((std::string(QUORBEL_CAPTURE_BINARY) + " --replay " + c.input + " -o " +
                                        (dir / "out.png").string() + " 2>" + errors.string())
                                           .c_str());
        if (c.reason.find("LockRect") != std::string::npos && fileBytes(errors).find("EGL") != std::string::npos)
            SKIP_OR_FAIL("quorbel-capture cannot draw here");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.input << ": status " << status;
        const std::string said = fileBytes(errors);
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find(c.input + ": " ), std::string::npos) << said;
        EXPECT_NE(said.find(c.reason), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(dir / "out.png")) << c.input;
    }
    fs::remove_all(dir);
}

}  // namespace
