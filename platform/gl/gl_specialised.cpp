// gl_specialised.cpp: the programs specialised to a batch's stage state, each made the first time
// a batch draws with its state (warmUp meets the common ones at creation), their uniforms, and
// the check's view of them. A state whose program does not build is drawn by the general one.
#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/gl/gl_internal.h"

void GLDeviceImpl::setSpecialisedPrograms(bool on) {
    flush();
    specialising = on;
}

SpecialisedProgram* GLDeviceImpl::specialisedFor(const DrawKey& key) {
    if (!specialising) return nullptr;
    const ProgramState state = programStateOf(key);
    auto found = std::find_if(specialised.begin(), specialised.end(),
                              [&](const SpecialisedProgram& s) { return s.state == state; });
    if (found == specialised.end()) {
        SpecialisedProgram made;
        made.state = state;
        char error[600] = "";
        made.program = buildSpecialisedProgram(state, error, sizeof error);
        if (made.program) {
            made.factor = glGetUniformLocation(made.program, "uFactor");
            made.fogColor = glGetUniformLocation(made.program, "uFogColor");
            const GLint texture = glGetUniformLocation(made.program, "uTexture");
            glUseProgram(made.program);
            if (texture >= 0) glUniform1i(texture, 0);
            glUseProgram(cache.program);
        } else {
            std::fprintf(stderr, "quorbel: a specialised program falls back to the general one: %s\n", error);
        }
        found = specialised.insert(specialised.end(), made);
    }
    return found->program ? &*found : nullptr;
}

GLuint GLDeviceImpl::programFor(const DrawKey& key) const {
    if (specialising) {
        const ProgramState state = programStateOf(key);
        for (const SpecialisedProgram& s : specialised)
            if (s.state == state && s.program) return s.program;
    }
    return programs[programKindOf(key)];
}

void GLDeviceImpl::deleteSpecialisedPrograms() {
    for (const SpecialisedProgram& s : specialised)
        if (s.program) glDeleteProgram(s.program);
    specialised.clear();
}

// A program without the uniform (its state reads no factor, or has no fog) is told nothing.
void GLDeviceImpl::applySpecialisedUniforms(SpecialisedProgram& special, const DrawKey& key) {
    const bool known = special.uniformsKnown && cacheOn;
    if (special.factor != -1 && (!known || special.factorInGl != key.textureFactor)) {
        const GLColor f = argbToGlColor(key.textureFactor);
        glUniform4f(special.factor, f.r, f.g, f.b, f.a);
    }
    if (special.fogColor != -1 && (!known || special.fogInGl != key.fogColor)) {
        const GLColor f = argbToGlColor(key.fogColor);
        glUniform3f(special.fogColor, f.r, f.g, f.b);
    }
    special.factorInGl = key.textureFactor;
    special.fogInGl = key.fogColor;
    special.uniformsKnown = true;
}
