// gl_cache.cpp: the GL state cache, through which every GL state the device sets goes, so that
// a batch tells GL only what differs from the last one; its two switches (QUORBEL_GL_NO_CACHE
// writes every state every time, QUORBEL_GL_CHECK reads every cached state back from GL after
// each batch and aborts at the first that differs); and applyKey, a batch's state to GL.
//
// Sections: switches | setters | a batch's state | the check
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gl/gl_internal.h"

bool glTestDropFramebufferBinds = false;

namespace {

bool switchedOn(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

GLint glInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

}  // namespace

// ---- switches ----

void GLDeviceImpl::readCacheSwitches() {
    cacheOn = !switchedOn("QUORBEL_GL_NO_CACHE");
    checking = switchedOn("QUORBEL_GL_CHECK");
}

// ---- setters ----

void GLDeviceImpl::setEnabled(GLenum capability, bool& state, bool enabled) {
    if (unchanged(state == enabled)) return;
    state = enabled;
    if (enabled)
        glEnable(capability);
    else
        glDisable(capability);
}

void GLDeviceImpl::bindFramebuffer(GLuint framebuffer) {
    if (unchanged(cache.framebuffer == framebuffer && cache.readFramebuffer == framebuffer)) return;
    cache.framebuffer = cache.readFramebuffer = framebuffer;
    if (!glTestDropFramebufferBinds) glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

void GLDeviceImpl::bindReadFramebuffer(GLuint framebuffer) {
    if (unchanged(cache.readFramebuffer == framebuffer)) return;
    cache.readFramebuffer = framebuffer;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
}

void GLDeviceImpl::setViewport(int width, int height) {
    if (unchanged(cache.viewportWidth == width && cache.viewportHeight == height)) return;
    cache.viewportWidth = width;
    cache.viewportHeight = height;
    glViewport(0, 0, width, height);
}

void GLDeviceImpl::setScissor(int x, int y, int width, int height) {
    if (unchanged(cache.scissorX == x && cache.scissorY == y && cache.scissorWidth == width &&
                  cache.scissorHeight == height))
        return;
    cache.scissorX = x;
    cache.scissorY = y;
    cache.scissorWidth = width;
    cache.scissorHeight = height;
    glScissor(x, y, width, height);
}

// Every target stores Direct3D's top row at GL's row 0, so the viewport's top-left origin
// goes to GL unchanged; the scissor keeps Clear and sprites inside the viewport.
void GLDeviceImpl::setViewportAndScissor(int width, int height) {
    setViewport(width, height);
    setScissor(0, 0, width, height);
}

void GLDeviceImpl::setDepthMask(GLboolean mask) {
    if (unchanged(cache.depthMask == mask)) return;
    cache.depthMask = mask;
    glDepthMask(mask);
}

void GLDeviceImpl::useProgram(GLuint program) {
    if (unchanged(cache.program == program)) return;
    cache.program = program;
    glUseProgram(program);
}

void GLDeviceImpl::bindTexture(GLuint texture, bool targetLayers) {
    GLuint& bound = targetLayers ? cache.targetArray : cache.texture;
    if (unchanged(bound == texture)) return;
    bound = texture;
    glBindTexture(targetLayers ? GL_TEXTURE_2D_ARRAY : GL_TEXTURE_2D, texture);
}

// ---- a batch's state ----

void GLDeviceImpl::applyKey(const DrawKey& key) {
    bindFramebuffer(key.framebuffer);
    setViewportAndScissor(key.viewportWidth, key.viewportHeight);

    setEnabled(GL_BLEND, cache.blend, key.blendEnabled);
    if (key.blendEnabled) {
        if (!unchanged(cache.blendSource == key.blendSource && cache.blendDest == key.blendDest)) {
            cache.blendSource = key.blendSource;
            cache.blendDest = key.blendDest;
            glBlendFunc(key.blendSource, key.blendDest);  // the same factors for alpha, as Direct3D
        }
        if (!unchanged(cache.blendEquation == key.blendEquation)) {
            cache.blendEquation = key.blendEquation;
            glBlendEquation(key.blendEquation);
        }
    }

    // GL writes no depth while its test is off, which is what ZENABLE FALSE does too.
    setEnabled(GL_DEPTH_TEST, cache.depthTest, key.depthEnabled);
    if (key.depthEnabled) {
        setDepthMask(key.depthWrite ? GL_TRUE : GL_FALSE);
        if (!unchanged(cache.depthFunc == key.depthFunc)) {
            cache.depthFunc = key.depthFunc;
            glDepthFunc(key.depthFunc);
        }
    }

    // Drawn upside down into framebuffers, every triangle's GL winding is the mirror of what
    // the screen shows: visually clockwise (Direct3D's front) is GL's counter-clockwise.
    setEnabled(GL_CULL_FACE, cache.cull, key.cullMode != D3DCULL_NONE);
    if (key.cullMode != D3DCULL_NONE) {
        const GLenum front = key.cullMode == D3DCULL_CCW ? GL_CCW : GL_CW;
        if (!unchanged(cache.frontFace == front)) {
            cache.frontFace = front;
            glFrontFace(front);
        }
    }

    const int kind = !key.texture ? ProgramUntextured : key.targetLayers ? ProgramTargets : ProgramTextured;
    useProgram(programs[kind]);
    auto& uniforms = cache.uniforms[kind];
    const bool known = uniforms.valid && cacheOn;
    const int stage[8] = {key.colorOp, key.colorArg1, key.colorArg2, key.stageActive,
                          key.alphaOp, key.alphaArg1, key.alphaArg2, key.swapRedBlue};
    if (!known || uniforms.factor != key.textureFactor) {
        const GLColor f = argbToGlColor(key.textureFactor);
        glUniform4f(uniformFactor[kind], f.r, f.g, f.b, f.a);
        uniforms.factor = key.textureFactor;
    }
    if (!known || uniforms.fog != key.fogColor) {
        const GLColor f = argbToGlColor(key.fogColor);
        glUniform3f(uniformFogColor[kind], f.r, f.g, f.b);
        uniforms.fog = key.fogColor;
    }
    if (!known || std::memcmp(uniforms.stage, stage, sizeof stage) != 0) {
        glUniform4i(uniformColorStage[kind], stage[0], stage[1], stage[2], stage[3]);
        glUniform3i(uniformAlphaStage[kind], stage[4], stage[5], stage[6]);
        if (uniformSwapRedBlue[kind] >= 0) glUniform1i(uniformSwapRedBlue[kind], stage[7]);
        std::memcpy(uniforms.stage, stage, sizeof stage);
    }
    uniforms.valid = true;

    if (key.texture) {
        bindTexture(key.texture, key.targetLayers);
        if (!unchanged(cache.magFilter == key.magFilter)) {
            cache.magFilter = key.magFilter;
            glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(key.magFilter));
        }
        if (!unchanged(cache.minFilter == key.minFilter)) {
            cache.minFilter = key.minFilter;
            glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(key.minFilter));
        }
        if (!unchanged(cache.addressU == key.addressU)) {
            cache.addressU = key.addressU;
            glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(key.addressU));
        }
        if (!unchanged(cache.addressV == key.addressV)) {
            cache.addressV = key.addressV;
            glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(key.addressV));
        }
    }
}

// ---- the check ----

// Called after each batch is drawn. Every state the cache holds is read back; a state the cache
// has not learnt yet (a viewport of -1, a filter of 0, uniforms never set) has nothing to compare.
void GLDeviceImpl::checkCache() {
    auto fault = [this](const char* state, const std::string& inCache, const std::string& inGl) {
        std::fprintf(stderr, "quorbel: QUORBEL_GL_CHECK: after %s %llu, %s is %s in the cache but %s in GL\n",
                     warmingUp ? "warm-up draw" : "draw", static_cast<unsigned long long>(counters.glDrawCalls),
                     state, inCache.c_str(), inGl.c_str());
        std::fflush(stderr);
        std::abort();
    };
    auto number = [](long long value) { return std::to_string(value); };
    auto enumText = [](GLint value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
        return std::string(text);
    };

    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) fault("glGetError", "GL_NO_ERROR", enumText(GLint(error)));

    struct Value {
        const char* name;
        GLint inCache;
        GLenum query;
        bool isEnum;
    };
    const Value values[] = {
        {"the draw framebuffer", GLint(cache.framebuffer), GL_DRAW_FRAMEBUFFER_BINDING, false},
        {"the read framebuffer", GLint(cache.readFramebuffer), GL_READ_FRAMEBUFFER_BINDING, false},
        {"the program", GLint(cache.program), GL_CURRENT_PROGRAM, false},
        {"the 2D texture", GLint(cache.texture), GL_TEXTURE_BINDING_2D, false},
        {"the target array texture", GLint(cache.targetArray), GL_TEXTURE_BINDING_2D_ARRAY, false},
        {"the depth mask", GLint(cache.depthMask), GL_DEPTH_WRITEMASK, false},
        {"the colour blend source", GLint(cache.blendSource), GL_BLEND_SRC_RGB, true},
        {"the alpha blend source", GLint(cache.blendSource), GL_BLEND_SRC_ALPHA, true},
        {"the colour blend destination", GLint(cache.blendDest), GL_BLEND_DST_RGB, true},
        {"the alpha blend destination", GLint(cache.blendDest), GL_BLEND_DST_ALPHA, true},
        {"the colour blend equation", GLint(cache.blendEquation), GL_BLEND_EQUATION_RGB, true},
        {"the alpha blend equation", GLint(cache.blendEquation), GL_BLEND_EQUATION_ALPHA, true},
        {"the depth function", GLint(cache.depthFunc), GL_DEPTH_FUNC, true},
        {"the front face", GLint(cache.frontFace), GL_FRONT_FACE, true},
    };
    for (const Value& value : values) {
        const GLint inGl = glInteger(value.query);
        if (inGl != value.inCache)
            fault(value.name, value.isEnum ? enumText(value.inCache) : number(value.inCache),
                  value.isEnum ? enumText(inGl) : number(inGl));
    }

    struct Switch {
        const char* name;
        bool inCache;
        GLenum capability;
    };
    const Switch switches[] = {
        {"GL_BLEND", cache.blend, GL_BLEND},
        {"GL_DEPTH_TEST", cache.depthTest, GL_DEPTH_TEST},
        {"GL_CULL_FACE", cache.cull, GL_CULL_FACE},
        {"GL_SCISSOR_TEST", cache.scissor, GL_SCISSOR_TEST},
        {"GL_RASTERIZER_DISCARD", cache.rasterizerDiscard, GL_RASTERIZER_DISCARD},
    };
    for (const Switch& s : switches) {
        const bool inGl = glIsEnabled(s.capability) == GL_TRUE;
        if (inGl != s.inCache) fault(s.name, s.inCache ? "on" : "off", inGl ? "on" : "off");
    }

    auto box = [](int x, int y, int width, int height) {
        return std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(width) + " x " +
               std::to_string(height);
    };
    GLint rectangle[4] = {};
    if (cache.viewportWidth >= 0) {
        glGetIntegerv(GL_VIEWPORT, rectangle);
        if (rectangle[0] != 0 || rectangle[1] != 0 || rectangle[2] != cache.viewportWidth ||
            rectangle[3] != cache.viewportHeight)
            fault("the viewport", box(0, 0, cache.viewportWidth, cache.viewportHeight),
                  box(rectangle[0], rectangle[1], rectangle[2], rectangle[3]));
    }
    if (cache.scissorWidth >= 0) {
        glGetIntegerv(GL_SCISSOR_BOX, rectangle);
        if (rectangle[0] != cache.scissorX || rectangle[1] != cache.scissorY || rectangle[2] != cache.scissorWidth ||
            rectangle[3] != cache.scissorHeight)
            fault("the scissor", box(cache.scissorX, cache.scissorY, cache.scissorWidth, cache.scissorHeight),
                  box(rectangle[0], rectangle[1], rectangle[2], rectangle[3]));
    }

    const Value samplerValues[] = {
        {"the magnification filter", GLint(cache.magFilter), GL_TEXTURE_MAG_FILTER, true},
        {"the minification filter", GLint(cache.minFilter), GL_TEXTURE_MIN_FILTER, true},
        {"the u address mode", GLint(cache.addressU), GL_TEXTURE_WRAP_S, true},
        {"the v address mode", GLint(cache.addressV), GL_TEXTURE_WRAP_T, true},
    };
    for (const Value& value : samplerValues) {
        if (value.inCache == 0) continue;
        GLint inGl = 0;
        glGetSamplerParameteriv(sampler, value.query, &inGl);
        if (inGl != value.inCache) fault(value.name, enumText(value.inCache), enumText(inGl));
    }

    // Uniforms: floats compared exactly, as they were computed the same way when written.
    static const char* const programNames[ProgramCount] = {"untextured", "textured", "targets"};
    for (int kind = 0; kind < ProgramCount; ++kind) {
        const auto& uniforms = cache.uniforms[kind];
        if (!uniforms.valid) continue;
        const std::string program = std::string(" of the ") + programNames[kind] + " program";
        const GLColor factor = argbToGlColor(uniforms.factor), fog = argbToGlColor(uniforms.fog);
        const float floatsInCache[7] = {factor.r, factor.g, factor.b, factor.a, fog.r, fog.g, fog.b};
        float floatsInGl[7] = {};
        glGetUniformfv(programs[kind], uniformFactor[kind], floatsInGl);
        glGetUniformfv(programs[kind], uniformFogColor[kind], floatsInGl + 4);
        for (int i = 0; i < 7; ++i)
            if (floatsInGl[i] != floatsInCache[i])
                fault((std::string(i < 4 ? "uFactor" : "uFogColor") + "[" + number(i < 4 ? i : i - 4) + "]" + program)
                          .c_str(),
                      std::to_string(floatsInCache[i]), std::to_string(floatsInGl[i]));
        GLint stage[8] = {};
        glGetUniformiv(programs[kind], uniformColorStage[kind], stage);
        glGetUniformiv(programs[kind], uniformAlphaStage[kind], stage + 4);
        const int stages = uniformSwapRedBlue[kind] >= 0 ? 8 : 7;
        if (stages == 8) glGetUniformiv(programs[kind], uniformSwapRedBlue[kind], stage + 7);
        for (int i = 0; i < stages; ++i)
            if (stage[i] != uniforms.stage[i])
                fault((std::string(i < 4 ? "uColorStage[" : i < 7 ? "uAlphaStage[" : "uSwapRedBlue[") +
                       number(i < 4 ? i : i < 7 ? i - 4 : 0) + "]" + program)
                          .c_str(),
                      number(uniforms.stage[i]), number(stage[i]));
    }
}
