// gl_cache.cpp: the GL state cache, through which every GL state the device sets goes, so that
// a batch tells GL only what differs from the last one; its two switches (QUORBEL_GL_NO_CACHE
// writes every state every time; QUORBEL_GL_CHECK, after each batch, reads every cached state
// back from GL, holds the cache to what the batch asked, and aborts at the first difference);
// and applyKey, a batch's state to GL.
//
// Sections: switches | setters | a batch's state | the check
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gl/gl_internal.h"
#include "platform/switches.h"

bool glTestDropFramebufferBinds = false;

namespace {

// The index of the first element in which a and b differ, -1 where none.
template <typename T>
int firstDifferenceOf(const T* a, const T* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return int(i);
    return -1;
}

template <typename T, size_t N>
int firstDifference(const T (&a)[N], const T (&b)[N]) { return firstDifferenceOf(a, b, N); }

template <typename T, size_t N>
int firstDifference(const std::array<T, N>& a, const T (&b)[N]) { return firstDifferenceOf(a.data(), b, N); }

// "uFactor[2] of the ... program is 1.000000 in the cache but 0.5 in GL", for the first element
// that differs; empty where none does.
template <typename T, size_t N>
std::string firstDiffers(const std::string& name, const std::string& of, const T (&inCache)[N], const T (&inGl)[N]) {
    const int i = firstDifference(inCache, inGl);
    if (i == -1) return {};
    // Appended in place: GCC 12 warns (-Wrestrict) on the temporaries of a chain of + at -O3.
    std::string line = name;
    if (N != 1) line.append("[").append(std::to_string(i)).append("]");
    line.append(of).append(" is ").append(std::to_string(inCache[i])).append(" in the cache but ");
    return line.append(std::to_string(inGl[i])).append(" in GL");
}

GLint glInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

}  // namespace

// ---- switches ----

void GLDeviceImpl::readCacheSwitches() {
    cacheOn = !switchOn(Switch::GLNoCache);
    checking = switchOn(Switch::GLCheck);
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

ShaderProgramKind programKindOf(const DrawKey& key) {
    return !key.texture ? ProgramUntextured : key.targetLayers ? ProgramTargets : ProgramTextured;
}

std::array<int, 8> stageCodesOf(const DrawKey& key) {
    return {key.colorOp, key.colorArg1, key.colorArg2, key.stageActive,
            key.alphaOp, key.alphaArg1, key.alphaArg2, key.swapRedBlue};
}

// Drawn upside down into framebuffers, every triangle's GL winding is the mirror of what the
// screen shows: visually clockwise (Direct3D's front) is GL's counter-clockwise.
GLenum frontFaceOf(uint8_t cullMode) { return cullMode == D3DCULL_CCW ? GL_CCW : GL_CW; }

void GLDeviceImpl::applyKey(const DrawKey& key) {
    bindFramebuffer(key.framebuffer);
    setViewportAndScissor(key.viewportWidth, key.viewportHeight);
    applyBlending(key);
    applyDepth(key);
    applyCulling(key);
    if (SpecialisedProgram* special = specialisedFor(key)) {
        useProgram(special->program);
        applySpecialisedUniforms(*special, key);
    } else {
        const ShaderProgramKind kind = programKindOf(key);
        useProgram(programs[kind]);
        applyUniforms(kind, key);
    }
    if (key.texture) {
        bindTexture(key.texture, key.targetLayers);
        applySampler(key);
    }
}

void GLDeviceImpl::applyBlending(const DrawKey& key) {
    setEnabled(GL_BLEND, cache.blend, key.blendEnabled);
    if (!key.blendEnabled) return;
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
void GLDeviceImpl::applyDepth(const DrawKey& key) {
    setEnabled(GL_DEPTH_TEST, cache.depthTest, key.depthEnabled);
    if (!key.depthEnabled) return;
    setDepthMask(key.depthWrite ? GL_TRUE : GL_FALSE);
    if (!unchanged(cache.depthFunc == key.depthFunc)) {
        cache.depthFunc = key.depthFunc;
        glDepthFunc(key.depthFunc);
    }
}

void GLDeviceImpl::applyCulling(const DrawKey& key) {
    setEnabled(GL_CULL_FACE, cache.cull, key.cullMode != D3DCULL_NONE);
    if (key.cullMode == D3DCULL_NONE) return;
    const GLenum front = frontFaceOf(key.cullMode);
    if (!unchanged(cache.frontFace == front)) {
        cache.frontFace = front;
        glFrontFace(front);
    }
}

void GLDeviceImpl::applyUniforms(ShaderProgramKind kind, const DrawKey& key) {
    auto& uniforms = cache.uniforms[kind];
    const bool known = uniforms.valid && cacheOn;
    const std::array<int, 8> stage = stageCodesOf(key);
    static_assert(sizeof stage == sizeof uniforms.stage);
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
    if (!known || std::memcmp(uniforms.stage, stage.data(), sizeof stage) != 0) {
        glUniform4i(uniformColorStage[kind], stage[0], stage[1], stage[2], stage[3]);
        glUniform3i(uniformAlphaStage[kind], stage[4], stage[5], stage[6]);
        if (uniformSwapRedBlue[kind] != -1) glUniform1i(uniformSwapRedBlue[kind], stage[7]);
        std::memcpy(uniforms.stage, stage.data(), sizeof stage);
    }
    uniforms.valid = true;
}

void GLDeviceImpl::applySampler(const DrawKey& key) {
    const struct {
        GLenum& inCache;
        GLenum wanted;
        GLenum parameter;
    } parameters[] = {
        {cache.magFilter, key.magFilter, GL_TEXTURE_MAG_FILTER},
        {cache.minFilter, key.minFilter, GL_TEXTURE_MIN_FILTER},
        {cache.addressU, key.addressU, GL_TEXTURE_WRAP_S},
        {cache.addressV, key.addressV, GL_TEXTURE_WRAP_T},
    };
    for (const auto& p : parameters) {
        if (unchanged(p.inCache == p.wanted)) continue;
        p.inCache = p.wanted;
        glSamplerParameteri(sampler, p.parameter, static_cast<GLint>(p.wanted));
    }
}

// ---- the check ----

// Called after each batch is drawn.
void GLDeviceImpl::checkCache() {
    std::string mismatch = cacheMismatch();
    if (mismatch.empty()) mismatch = batchMismatch();
    if (mismatch.empty()) return;
    std::fprintf(stderr, "quorbel: QUORBEL_GL_CHECK: after %s %llu, %s\n", warmingUp ? "warm-up draw" : "draw",
                 static_cast<unsigned long long>(counters.glDrawCalls), mismatch.c_str());
    std::fflush(stderr);
    std::abort();
}

namespace {

std::string differs(const std::string& state, const std::string& inCache, const std::string& inGl) {
    return state + " is " + inCache + " in the cache but " + inGl + " in GL";
}

std::string enumText(GLint value) {
    char text[sizeof "0xFFFFFFFF"];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

// A state the cache holds as a number, the query that reads it back, and how to show it.
struct CachedValue {
    const char* name;
    GLint inCache;
    GLenum query;
    bool isEnum;
    std::string shown(GLint number) const { return isEnum ? enumText(number) : std::to_string(number); }
};

}  // namespace

// Every state the cache holds, read back; a state the cache has not learnt yet (a filter of 0,
// uniforms never set) has nothing to compare.
std::string GLDeviceImpl::cacheMismatch() {
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) return "glGetError gives " + enumText(GLint(error));
    for (std::string found : {valueMismatch(), switchMismatch(), rectangleMismatch(), samplerMismatch(), uniformMismatch(),
                              specialisedMismatch()})
        if (!found.empty()) return found;
    return {};
}

std::string GLDeviceImpl::valueMismatch() const {
    const CachedValue values[] = {
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
    for (const CachedValue& value : values) {
        const GLint inGl = glInteger(value.query);
        if (inGl != value.inCache) return differs(value.name, value.shown(value.inCache), value.shown(inGl));
    }
    return {};
}

std::string GLDeviceImpl::switchMismatch() const {
    const struct {
        const char* name;
        bool inCache;
        GLenum capability;
    } switches[] = {
        {"GL_BLEND", cache.blend, GL_BLEND},
        {"GL_DEPTH_TEST", cache.depthTest, GL_DEPTH_TEST},
        {"GL_CULL_FACE", cache.cull, GL_CULL_FACE},
        {"GL_SCISSOR_TEST", cache.scissor, GL_SCISSOR_TEST},
        {"GL_RASTERIZER_DISCARD", cache.rasterizerDiscard, GL_RASTERIZER_DISCARD},
    };
    for (const auto& s : switches) {
        const bool inGl = glIsEnabled(s.capability) == GL_TRUE;
        if (inGl != s.inCache) return differs(s.name, s.inCache ? "on" : "off", inGl ? "on" : "off");
    }
    return {};
}

std::string GLDeviceImpl::rectangleMismatch() const {
    auto box = [](const GLint (&r)[4]) {
        return std::to_string(r[0]) + ", " + std::to_string(r[1]) + ", " + std::to_string(r[2]) + " x " +
               std::to_string(r[3]);
    };
    const GLint viewport[4] = {0, 0, cache.viewportWidth, cache.viewportHeight};  // both set at creation
    const GLint scissor[4] = {cache.scissorX, cache.scissorY, cache.scissorWidth, cache.scissorHeight};
    GLint viewportInGl[4] = {}, scissorInGl[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewportInGl);
    glGetIntegerv(GL_SCISSOR_BOX, scissorInGl);
    if (firstDifference(viewport, viewportInGl) != -1) return differs("the viewport", box(viewport), box(viewportInGl));
    if (firstDifference(scissor, scissorInGl) != -1) return differs("the scissor", box(scissor), box(scissorInGl));
    return {};
}

std::string GLDeviceImpl::samplerMismatch() const {
    const CachedValue values[] = {
        {"the magnification filter", GLint(cache.magFilter), GL_TEXTURE_MAG_FILTER, true},
        {"the minification filter", GLint(cache.minFilter), GL_TEXTURE_MIN_FILTER, true},
        {"the u address mode", GLint(cache.addressU), GL_TEXTURE_WRAP_S, true},
        {"the v address mode", GLint(cache.addressV), GL_TEXTURE_WRAP_T, true},
    };
    for (const CachedValue& value : values) {
        if (value.inCache == 0) continue;
        GLint inGl = 0;
        glGetSamplerParameteriv(sampler, value.query, &inGl);
        if (inGl != value.inCache) return differs(value.name, value.shown(value.inCache), value.shown(inGl));
    }
    return {};
}

// Floats compared exactly, as they were computed the same way when written.
std::string GLDeviceImpl::uniformMismatch() const {
    static const char* const programNames[ProgramCount] = {"untextured", "textured", "targets"};
    for (const auto& uniforms : cache.uniforms) {
        if (!uniforms.valid) continue;
        const auto kind = &uniforms - cache.uniforms;
        const GLuint program = programs[kind];
        const std::string of = std::string(" of the ") + programNames[kind] + " program";
        auto first = [&](const char* name, const auto& inCache, const auto& inGl) {
            return firstDiffers(name, of, inCache, inGl);
        };
        const GLColor factor = argbToGlColor(uniforms.factor), fog = argbToGlColor(uniforms.fog);
        const float factorInCache[4] = {factor.r, factor.g, factor.b, factor.a}, fogInCache[3] = {fog.r, fog.g, fog.b};
        const GLint colorInCache[4] = {uniforms.stage[0], uniforms.stage[1], uniforms.stage[2], uniforms.stage[3]};
        const GLint alphaInCache[3] = {uniforms.stage[4], uniforms.stage[5], uniforms.stage[6]};
        const GLint swapInCache[1] = {uniforms.stage[7]};
        float factorInGl[4] = {}, fogInGl[3] = {};
        GLint colorInGl[4] = {}, alphaInGl[3] = {}, swapInGl[1] = {uniforms.stage[7]};
        glGetUniformfv(program, uniformFactor[kind], factorInGl);
        glGetUniformfv(program, uniformFogColor[kind], fogInGl);
        glGetUniformiv(program, uniformColorStage[kind], colorInGl);
        glGetUniformiv(program, uniformAlphaStage[kind], alphaInGl);
        if (uniformSwapRedBlue[kind] != -1)  // the untextured program has none
            glGetUniformiv(program, uniformSwapRedBlue[kind], swapInGl);
        for (const std::string& found :
             {first("uFactor", factorInCache, factorInGl), first("uFogColor", fogInCache, fogInGl),
              first("uColorStage", colorInCache, colorInGl), first("uAlphaStage", alphaInCache, alphaInGl),
              first("uSwapRedBlue", swapInCache, swapInGl)})
            if (!found.empty()) return found;
    }
    return {};
}

// The specialised programs' uniforms: the factor and the fog colour, where a program has them.
std::string GLDeviceImpl::specialisedMismatch() const {
    for (const SpecialisedProgram& s : specialised) {
        if (!s.program || !s.uniformsKnown) continue;
        const std::string of = " of specialised program " + std::to_string(s.program);
        const GLColor factor = argbToGlColor(s.factorInGl), fog = argbToGlColor(s.fogInGl);
        const float factorInCache[4] = {factor.r, factor.g, factor.b, factor.a}, fogInCache[3] = {fog.r, fog.g, fog.b};
        float factorInGl[4] = {factor.r, factor.g, factor.b, factor.a}, fogInGl[3] = {fog.r, fog.g, fog.b};
        if (s.factor != -1) glGetUniformfv(s.program, s.factor, factorInGl);
        if (s.fogColor != -1) glGetUniformfv(s.program, s.fogColor, fogInGl);
        for (const std::string& found :
             {firstDiffers("uFactor", of, factorInCache, factorInGl), firstDiffers("uFogColor", of, fogInCache, fogInGl)})
            if (!found.empty()) return found;
    }
    return {};
}

// A setter that skips a change it had to make leaves the cache as stale as GL, which the
// comparison above cannot see; this one holds the cache (GL, once that one is silent) to what the
// batch asked for, state by state as applyKey sets them.
std::string GLDeviceImpl::batchMismatch() const {
    const DrawKey& key = batchKey;
    const ShaderProgramKind kind = programKindOf(key);
    const bool blend = key.blendEnabled, depth = key.depthEnabled, cull = key.cullMode != D3DCULL_NONE,
               textured = key.texture != 0;
    const auto& uniforms = cache.uniforms[kind];
    const GLuint program = programFor(key);
    const auto special = std::find_if(specialised.begin(), specialised.end(),
                                      [&](const SpecialisedProgram& s) { return s.program && s.program == program; });
    const bool general = special == specialised.end();
    struct Want {
        const char* name;
        long long wanted, inGl;
    };
    const Want always[] = {
        {"the draw framebuffer", key.framebuffer, cache.framebuffer},
        {"the read framebuffer", key.framebuffer, cache.readFramebuffer},
        {"the viewport width", key.viewportWidth, cache.viewportWidth},
        {"the viewport height", key.viewportHeight, cache.viewportHeight},
        {"the scissor x", 0, cache.scissorX},
        {"the scissor y", 0, cache.scissorY},
        {"the scissor width", key.viewportWidth, cache.scissorWidth},
        {"the scissor height", key.viewportHeight, cache.scissorHeight},
        {"GL_BLEND", blend, cache.blend},
        {"GL_DEPTH_TEST", depth, cache.depthTest},
        {"GL_CULL_FACE", cull, cache.cull},
        {"the program", program, cache.program},
        {"uFactor", key.textureFactor, general ? uniforms.factor : special->factorInGl},
        {"uFogColor", key.fogColor, general ? uniforms.fog : special->fogInGl},
    };
    const Want blending[] = {
        {"the blend source", key.blendSource, cache.blendSource},
        {"the blend destination", key.blendDest, cache.blendDest},
        {"the blend equation", key.blendEquation, cache.blendEquation},
    };
    const Want depthTesting[] = {
        {"the depth mask", key.depthWrite, cache.depthMask},
        {"the depth function", key.depthFunc, cache.depthFunc},
    };
    const Want culling[] = {{"the front face", frontFaceOf(key.cullMode), cache.frontFace}};
    const Want texturing[] = {
        {"the texture", key.texture, key.targetLayers ? cache.targetArray : cache.texture},
        {"the magnification filter", key.magFilter, cache.magFilter},
        {"the minification filter", key.minFilter, cache.minFilter},
        {"the u address mode", key.addressU, cache.addressU},
        {"the v address mode", key.addressV, cache.addressV},
    };
    auto first = [](const auto& wants) -> std::string {
        for (const Want& want : wants)
            if (want.wanted != want.inGl)
                return want.name + std::string(" is ") + std::to_string(want.wanted) + " for the batch but " +
                       std::to_string(want.inGl) + " in GL";
        return {};
    };
    std::string found = first(always);
    if (found.empty() && blend) found = first(blending);
    if (found.empty() && depth) found = first(depthTesting);
    if (found.empty() && cull) found = first(culling);
    if (found.empty() && textured) found = first(texturing);
    if (!found.empty() || !general) return found;  // a specialised program's stage is its source
    const std::array<int, 8> stage = stageCodesOf(key);
    const int i = firstDifference(stage, uniforms.stage);
    if (i != -1)
        return "stage code " + std::to_string(i) + " is " + std::to_string(stage[i]) + " for the batch but " +
               std::to_string(uniforms.stage[i]) + " in GL";
    return {};
}
