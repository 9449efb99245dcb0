// test_gl_cache.cpp: the GL state cache against GL itself. A frame of every phase drawn with the
// cache, without it (QUORBEL_GL_NO_CACHE) and checked against GL after every batch
// (QUORBEL_GL_CHECK) is the same picture, and the check is silent; a cached write broken on
// purpose makes the check abort, naming the state.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/gl/gl_internal.h"
#include "tests/gl_fixture.h"

namespace {

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One frame of each of the seven phases, in one run from the show's start with drawing off
// between them.
constexpr const char* phaseFrames = "5000,20000,35000,53000,70000,125000,140000";

TEST(GLCacheTest, EveryPhaseIsTheSameCachedUncachedAndChecked) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quorbel-test-cache-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    const char* ways[3] = {"cached", "QUORBEL_GL_NO_CACHE=1", "QUORBEL_GL_CHECK=1"};
    for (int way = 0; way < 3; ++way) {
        const std::filesystem::path out = dir / std::to_string(way);
        const std::string command = std::string(way == 0 ? "" : ways[way]) + " " + QUORBEL_CAPTURE_BINARY +
                                    " --frames " + phaseFrames + " -o " + out.string() + " 2>" +
                                    (dir / ("stderr-" + std::to_string(way))).string();
        std::filesystem::create_directories(dir);
        ASSERT_EQ(std::system(command.c_str()), 0) << ways[way] << ": " << fileBytes(dir / ("stderr-" + std::to_string(way)));
    }
    EXPECT_EQ(fileBytes(dir / "stderr-2").find("QUORBEL_GL_CHECK"), std::string::npos) << fileBytes(dir / "stderr-2");
    std::istringstream frames(phaseFrames);
    for (std::string ms; std::getline(frames, ms, ',');) {
        const std::string name = "frame-" + std::string(6 - ms.size(), '0') + ms + ".png";
        const std::string cached = fileBytes(dir / "0" / name);
        ASSERT_GT(cached.size(), 1000u) << name;
        EXPECT_TRUE(fileBytes(dir / "1" / name) == cached) << name << " differs without the cache";
        EXPECT_TRUE(fileBytes(dir / "2" / name) == cached) << name << " differs with the check";
    }
    std::filesystem::remove_all(dir);
}

class GLCacheCheckTest : public GLTest {};

// Clear and the draw bind the target's framebuffer; the binds reach the cache but not GL.
TEST_F(GLCacheCheckTest, ABindThatNeverReachedGlAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child makes its own context
    EXPECT_DEATH(
        {
            setenv("QUORBEL_GL_CHECK", "1", 1);
            device->Release();
            char error[200] = {};
            device = createGLDevice(error, sizeof error);
            if (!device) std::exit(0);  // not the death the test waits for
            IDirect3DTexture9* target = renderTargetTexture(64);
            IDirect3DSurface9* surface = nullptr;
            target->GetSurfaceLevel(0, &surface);
            device->SetRenderTarget(0, surface);
            glTestDropFramebufferBinds = true;
            clearBack(0xFF000000);
            drawRect(0, 0, 32, 32, 0xFFFFFFFF);
            readBack();
        },
        "QUORBEL_GL_CHECK: after draw 1, the draw framebuffer is [0-9]+ in the cache but [0-9]+ in GL");
}

}  // namespace
