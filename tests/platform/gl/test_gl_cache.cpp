// test_gl_cache.cpp: the GL state cache against GL itself. A frame of every phase drawn with the
// cache, without it (QUORBEL_GL_NO_CACHE) and checked against GL after every batch
// (QUORBEL_GL_CHECK) is the same picture, and the check is silent; a cached write broken on
// purpose makes the check abort, and each state set behind the cache's back is named.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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

// Each row sets one state behind the device's back, which the check must name with both values,
// then puts it back, after which the check must be silent again. The general programs draw, for
// their stage uniforms; a specialised program's factor is last.
TEST_F(GLCacheCheckTest, EachStateSetBehindTheCacheIsNamed) {
    device->setSpecialisedPrograms(false);
    drawRect(0, 0, 8, 8, 0xFFFFFFFF);
    readBack();
    const GLint untextured = [] { GLint v = 0; glGetIntegerv(GL_CURRENT_PROGRAM, &v); return v; }();
    IDirect3DTexture9* texture = solidTexture(8, 8, 0x80FF0000);
    device->SetTexture(0, texture);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    // Stage codes of which no two neighbours are alike (4 1 2 1, 3 1 0; swap 1), so that a value
    // cached or written one place off shows.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    drawTexturedRect(0, 0, 64, 64, 0, 0, 1, 1);
    readBack();
    GLDeviceImpl& impl = static_cast<GLDeviceImpl&>(*device);
    ASSERT_EQ(impl.cacheMismatch(), "");

    const GLint framebuffer = [] { GLint v = 0; glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &v); return v; }();
    const GLint program = [] { GLint v = 0; glGetIntegerv(GL_CURRENT_PROGRAM, &v); return v; }();
    const GLint bound = [] { GLint v = 0; glGetIntegerv(GL_TEXTURE_BINDING_2D, &v); return v; }();
    const GLuint sampler = [] { GLint v = 0; glGetIntegerv(GL_SAMPLER_BINDING, &v); return GLuint(v); }();
    GLuint array = 0;
    glGenTextures(1, &array);
    auto at = [program](const char* name) { return glGetUniformLocation(GLuint(program), name); };
    const std::string textured = " of the textured program is ";
    const struct {
        std::function<void()> change, undo;
        std::string named;
    } rows[] = {
        {[] { glViewport(1, 2, 3, 4); }, [] { glViewport(0, 0, 640, 480); },
         "the viewport is 0, 0, 640 x 480 in the cache but 1, 2, 3 x 4 in GL"},
        {[] { glScissor(5, 6, 7, 8); }, [] { glScissor(0, 0, 640, 480); },
         "the scissor is 0, 0, 640 x 480 in the cache but 5, 6, 7 x 8 in GL"},
        {[] { glDisable(GL_SCISSOR_TEST); }, [] { glEnable(GL_SCISSOR_TEST); },
         "GL_SCISSOR_TEST is on in the cache but off in GL"},
        {[] { glDisable(GL_CULL_FACE); }, [] { glEnable(GL_CULL_FACE); }, "GL_CULL_FACE is on in the cache but off in GL"},
        {[] { glDisable(GL_DEPTH_TEST); }, [] { glEnable(GL_DEPTH_TEST); },
         "GL_DEPTH_TEST is on in the cache but off in GL"},
        {[] { glDisable(GL_BLEND); }, [] { glEnable(GL_BLEND); }, "GL_BLEND is on in the cache but off in GL"},
        {[] { glEnable(GL_RASTERIZER_DISCARD); }, [] { glDisable(GL_RASTERIZER_DISCARD); },
         "GL_RASTERIZER_DISCARD is off in the cache but on in GL"},
        {[] { glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA); }, [] { glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); },
         "the colour blend source is 0x0302 in the cache but 0x0001 in GL"},
        {[] { glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, GL_ONE); },
         [] { glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); },
         "the alpha blend destination is 0x0303 in the cache but 0x0001 in GL"},
        {[] { glBlendEquation(GL_FUNC_SUBTRACT); }, [] { glBlendEquation(GL_FUNC_ADD); },
         "the colour blend equation is 0x8006 in the cache but 0x800A in GL"},
        {[] { glBlendEquationSeparate(GL_FUNC_ADD, GL_MAX); }, [] { glBlendEquation(GL_FUNC_ADD); },
         "the alpha blend equation is 0x8006 in the cache but 0x8008 in GL"},
        {[] { glDepthFunc(GL_ALWAYS); }, [] { glDepthFunc(GL_LEQUAL); },
         "the depth function is 0x0203 in the cache but 0x0207 in GL"},
        {[] { glDepthMask(GL_FALSE); }, [] { glDepthMask(GL_TRUE); }, "the depth mask is 1 in the cache but 0 in GL"},
        {[] { glFrontFace(GL_CW); }, [] { glFrontFace(GL_CCW); },
         "the front face is 0x0901 in the cache but 0x0900 in GL"},
        {[] { glBindFramebuffer(GL_READ_FRAMEBUFFER, 0); },
         [=] { glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(framebuffer)); },
         "the read framebuffer is " + std::to_string(framebuffer) + " in the cache but 0 in GL"},
        {[] { glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0); },
         [=] { glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(framebuffer)); },
         "the draw framebuffer is " + std::to_string(framebuffer) + " in the cache but 0 in GL"},
        {[] { glUseProgram(0); }, [=] { glUseProgram(GLuint(program)); },
         "the program is " + std::to_string(program) + " in the cache but 0 in GL"},
        {[] { glBindTexture(GL_TEXTURE_2D, 0); }, [=] { glBindTexture(GL_TEXTURE_2D, GLuint(bound)); },
         "the 2D texture is " + std::to_string(bound) + " in the cache but 0 in GL"},
        {[=] { glBindTexture(GL_TEXTURE_2D_ARRAY, array); }, [] { glBindTexture(GL_TEXTURE_2D_ARRAY, 0); },
         "the target array texture is 0 in the cache but " + std::to_string(array) + " in GL"},
        {[=] { glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR); },
         [=] { glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST); },
         "the minification filter is 0x2600 in the cache but 0x2601 in GL"},
        {[=] { glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR); },
         [=] { glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST); },
         "the magnification filter is 0x2600 in the cache but 0x2601 in GL"},
        {[=] { glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT); },
         [=] { glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_REPEAT); },
         "the u address mode is 0x2901 in the cache but 0x8370 in GL"},
        {[=] { glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE); },
         [=] { glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_REPEAT); },
         "the v address mode is 0x2901 in the cache but 0x812F in GL"},
        {[=] { glUniform4f(at("uFactor"), 0.5f, 1.0f, 1.0f, 1.0f); },
         [=] { glUniform4f(at("uFactor"), 1.0f, 1.0f, 1.0f, 1.0f); },
         "uFactor[0]" + textured + "1.000000 in the cache but 0.500000 in GL"},
        {[=] { glUniform3f(at("uFogColor"), 0.0f, 0.0f, 0.25f); }, [=] { glUniform3f(at("uFogColor"), 0.0f, 0.0f, 0.0f); },
         "uFogColor[2]" + textured + "0.000000 in the cache but 0.250000 in GL"},
        {[=] { glUniform4i(at("uColorStage"), 4, 1, 2, 0); }, [=] { glUniform4i(at("uColorStage"), 4, 1, 2, 1); },
         "uColorStage[3]" + textured + "1 in the cache but 0 in GL"},
        {[=] { glUniform3i(at("uAlphaStage"), 3, 1, 5); }, [=] { glUniform3i(at("uAlphaStage"), 3, 1, 0); },
         "uAlphaStage[2]" + textured + "0 in the cache but 5 in GL"},
        {[=] { glUniform1i(at("uSwapRedBlue"), 0); }, [=] { glUniform1i(at("uSwapRedBlue"), 1); },
         "uSwapRedBlue" + textured + "1 in the cache but 0 in GL"},
        {[=] {
             glUseProgram(GLuint(untextured));
             glUniform3f(glGetUniformLocation(GLuint(untextured), "uFogColor"), 0.0f, 0.75f, 0.0f);
             glUseProgram(GLuint(program));
         },
         [=] {
             glUseProgram(GLuint(untextured));
             glUniform3f(glGetUniformLocation(GLuint(untextured), "uFogColor"), 0.0f, 0.0f, 0.0f);
             glUseProgram(GLuint(program));
         },
         "uFogColor[1] of the untextured program is 0.000000 in the cache but 0.750000 in GL"},
        {[] { glEnable(0x1234); }, [] {}, "glGetError gives 0x0500"},
    };
    for (const auto& row : rows) {
        row.change();
        EXPECT_EQ(impl.cacheMismatch(), row.named);
        row.undo();
        ASSERT_EQ(impl.cacheMismatch(), "") << "after putting back: " << row.named;
    }
    device->setSpecialisedPrograms(true);
    drawTexturedRect(0, 0, 64, 64, 0, 0, 1, 1);
    readBack();
    const GLint special = [] { GLint v = 0; glGetIntegerv(GL_CURRENT_PROGRAM, &v); return v; }();
    ASSERT_NE(special, program);
    const GLint factor = glGetUniformLocation(GLuint(special), "uFactor");
    glUniform4f(factor, 1.0f, 0.25f, 1.0f, 1.0f);
    EXPECT_EQ(impl.cacheMismatch(), "uFactor[1] of specialised program " + std::to_string(special) +
                                        " is 1.000000 in the cache but 0.250000 in GL");
    glUniform4f(factor, 1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(impl.cacheMismatch(), "");
    glDeleteTextures(1, &array);
    device->SetTexture(0, nullptr);
    texture->Release();
}

// Each row changes one value of the show's state between two draws, most of them one part of a
// cached GL state (the source factor but not the destination, the height but not the width); after
// the draw GL must hold what the cache says, or a setter skipped a change it had to make.
TEST_F(GLCacheCheckTest, EveryChangeOfOneValueReachesGl) {
    IDirect3DTexture9* texture = solidTexture(8, 8, 0x80FF0000);
    IDirect3DTexture9* targets[2] = {};  // as wide as the back buffer but lower, as high but narrower
    IDirect3DSurface9* surfaces[2] = {};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(device->CreateTexture(i == 0 ? 640 : 256, i == 0 ? 256 : 480, 1, D3DUSAGE_RENDERTARGET,
                                        D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &targets[i], nullptr),
                  D3D_OK);
        targets[i]->GetSurfaceLevel(0, &surfaces[i]);
    }
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const struct {
        const char* change;
        std::function<void()> make;
    } rows[] = {
        {"source factor", [&] { device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA); }},
        {"destination factor", [&] { device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA); }},
        {"blend operation", [&] { device->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_REVSUBTRACT); }},
        {"depth function", [&] { device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS); }},
        {"depth writes", [&] { device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE); }},
        {"cull mode", [&] { device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW); }},
        {"culling off", [&] { device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE); }},
        {"blending off", [&] { device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE); }},
        {"depth off", [&] { device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE); }},
        {"a texture", [&] { device->SetTexture(0, texture); }},
        {"magnification filter", [&] { device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR); }},
        {"minification filter", [&] { device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR); }},
        {"u address", [&] { device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP); }},
        {"v address", [&] { device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR); }},
        {"factor read", [&] { device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR); }},
        {"factor", [&] { device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF336699); }},
        {"fog colour", [&] {
             device->SetRenderState(D3DRS_FOGENABLE, TRUE);
             device->SetRenderState(D3DRS_FOGCOLOR, 0xFF102030);
         }},
        {"stage operation", [&] { device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD); }},
        {"a lower target", [&] { device->SetRenderTarget(0, surfaces[0]); }},
        {"the back buffer", [&] { device->SetRenderTarget(0, back); }},
        {"a narrower target", [&] { device->SetRenderTarget(0, surfaces[1]); }},
    };
    GLDeviceImpl& impl = static_cast<GLDeviceImpl&>(*device);
    drawRect(0, 0, 32, 32, 0x80FFFFFF);
    impl.flush();
    for (const auto& row : rows) {
        row.make();
        drawRect(0, 0, 32, 32, 0x80FFFFFF);
        impl.flush();  // draws the batch and leaves GL as it drew it
        EXPECT_EQ(impl.cacheMismatch() + impl.batchMismatch(), "") << "after a change of " << row.change;
    }
    device->SetRenderTarget(0, back);
    device->SetTexture(0, nullptr);
    back->Release();
    for (int i = 0; i < 2; ++i) {
        surfaces[i]->Release();
        targets[i]->Release();
    }
    texture->Release();
}

// States set behind the device's back (a uniform among them) stay so through a draw with the
// cache, and the next draw without it (QUORBEL_GL_NO_CACHE, "0" being no switch) sets them again.
TEST_F(GLCacheCheckTest, WithoutTheCacheEveryDrawSetsItsStatesAgain) {
    const struct {
        const char* value;
        bool setsAgain;
    } rows[] = {{nullptr, false}, {"0", false}, {"1", true}};
    for (const auto& row : rows) {
        device->Release();
        if (row.value)
            setenv("QUORBEL_GL_NO_CACHE", row.value, 1);
        else
            unsetenv("QUORBEL_GL_NO_CACHE");
        char error[200] = {};
        device = createGLDevice(error, sizeof error);
        unsetenv("QUORBEL_GL_NO_CACHE");
        ASSERT_NE(device, nullptr) << error;
        drawRect(0, 0, 8, 8, 0xFFFFFFFF);
        readBack();
        GLint program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        glUniform3f(glGetUniformLocation(GLuint(program), "uFogColor"), 0.5f, 0.5f, 0.5f);
        glViewport(1, 2, 3, 4);
        glDepthFunc(GL_ALWAYS);
        glUseProgram(0);
        drawRect(0, 0, 8, 8, 0xFFFFFFFF);
        readBack();
        EXPECT_EQ(static_cast<GLDeviceImpl&>(*device).cacheMismatch().empty(), row.setsAgain)
            << "QUORBEL_GL_NO_CACHE " << (row.value ? row.value : "unset");
    }
}

}  // namespace
