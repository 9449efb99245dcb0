// gl_shaders.cpp: the device's three general programs (no texture on stage 0, a texture, a layer
// of an array of render targets), which read the stage's state from uniforms, and the programs
// specialised to one stage state, written from it; all for GLSL 3.30 core and GLSL ES 3.00: only
// the prologue differs.
#include <cstdio>

#include "platform/gl/gl_batch.h"
#include "platform/gl/gl_shaders.h"

namespace {

const char* const desktopPrologue = "#version 330 core\n";
// sampler2DArray has no default precision in GLSL ES; sampler2D's default is lowp.
const char* const esPrologue =
    "#version 300 es\nprecision highp float;\nprecision highp int;\nprecision lowp sampler2DArray;\n";

// Vertices arrive transformed on the CPU, already in GL's clip space.
const char* const vertexBody = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec4 aColor;
layout(location = 2) in vec2 aUv;
layout(location = 3) in float aFog;
layout(location = 4) in float aLayer;
out vec4 vColor;
out vec2 vUv;
out float vFog;
flat out float vLayer;
invariant gl_Position;
void main() {
    gl_Position = aPosition;
    vColor = aColor;
    vUv = aUv;
    vFog = aFog;
    vLayer = aLayer;
}
)";

// Texture stage 0 of the fixed-function pipeline, then vertex fog on the colour only.
// uColorStage: op, arg1, arg2, stage active; uAlphaStage: op, arg1, arg2.
// Arguments: 0 diffuse (CURRENT at stage 0), 1 texture, 2 texture factor.
// Ops: 0 disable, 1 select arg1, 2 select arg2, 3 modulate, 4 modulate 2x, 5 modulate 4x, 6 add.
const char* const fragmentBody = R"(
in vec4 vColor;
in vec2 vUv;
in float vFog;
#ifdef TARGET_LAYERS
flat in float vLayer;
uniform sampler2DArray uTexture;  // render targets: the vertex's layer
#else
uniform sampler2D uTexture;
#endif
uniform vec4 uFactor;
uniform vec3 uFogColor;
uniform ivec4 uColorStage;
uniform ivec3 uAlphaStage;
uniform int uSwapRedBlue;  // the texture holds Direct3D's bytes B, G, R, A as R, G, B, A
layout(location = 0) out vec4 fragColor;

vec4 stageArg(int which, vec4 texel) {
    if (which == 1) return texel;
    if (which == 2) return uFactor;
    return vColor;
}

vec4 stageOp(int op, vec4 a, vec4 b) {
    if (op == 1) return a;
    if (op == 2) return b;
    if (op == 3) return a * b;
    if (op == 4) return min(2.0 * a * b, vec4(1.0));
    if (op == 5) return min(4.0 * a * b, vec4(1.0));
    if (op == 6) return min(a + b, vec4(1.0));
    return vColor;
}

void main() {
    // The geometry is shifted 63/64 of half a pixel (gl_draw.cpp), for Direct3D's fill rule, so
    // GL's pixel centre lies 1/128 pixel right of and below Direct3D's: the texture coordinates
    // are taken back to where Direct3D samples them (a 1:1 linear quad over 0/255 columns gives
    // 127 and 128 there, not 126 and 129). All but 1/1024 pixel of the way: on a texel's very
    // corner, point sampling would take either texel as rounding falls; just inside it takes the
    // one whose corner it is, as Direct3D's floor does. Rows are Direct3D's: y grows downwards.
#if defined(TARGET_LAYERS) || defined(TEXTURED)
    vec2 uv = vUv - (dFdx(vUv) + dFdy(vUv)) * (7.0 / 1024.0);  // as uvCorrected below
#endif
#if defined(TARGET_LAYERS)
    vec4 texel = texture(uTexture, vec3(uv, vLayer));
#elif defined(TEXTURED)
    vec4 texel = texture(uTexture, uv);
    if (uSwapRedBlue != 0) texel = texel.bgra;
#else
    vec4 texel = vec4(0.0);
#endif
    vec4 color = vColor;
    if (uColorStage.w != 0) {
        color.rgb = stageOp(uColorStage.x, stageArg(uColorStage.y, texel),
                            stageArg(uColorStage.z, texel)).rgb;
        color.a = stageOp(uAlphaStage.x, stageArg(uAlphaStage.y, texel),
                          stageArg(uAlphaStage.z, texel)).a;
    }
    color.rgb = mix(uFogColor, color.rgb, vFog);
    fragColor = color;
}
)";

// The texture coordinates at Direct3D's pixel centre, as the general program takes them (it says
// why).
const char* const uvCorrected = "    vec2 uv = vUv - (dFdx(vUv) + dFdy(vUv)) * (7.0 / 1024.0);\n";

// One argument and one operation of the stage, written as the general program computes them
// (stageArg and stageOp), so that both round alike.
std::string argumentCode(int which) { return which == 1 ? "texel" : which == 2 ? "uFactor" : "vColor"; }

std::string operationCode(int op, int arg1, int arg2) {
    const std::string a = argumentCode(arg1), b = argumentCode(arg2);
    switch (op) {
        case 1: return a;
        case 2: return b;
        case 3: return "(" + a + " * " + b + ")";
        case 4: return "min(2.0 * " + a + " * " + b + ", vec4(1.0))";
        case 5: return "min(4.0 * " + a + " * " + b + ", vec4(1.0))";
        case 6: return "min(" + a + " + " + b + ", vec4(1.0))";
        default: return "vColor";
    }
}

bool operationReads(int op, int arg1, int arg2, int which) {
    return (op >= 1 && op <= 6 && op != 2 && arg1 == which) || (op >= 2 && op <= 6 && arg2 == which);
}

// The texel the stage reads, as the general program samples it.
std::string texelCode(const ProgramState& state) {
    if (state.kind == ProgramUntextured) return "    vec4 texel = vec4(0.0);\n";
    std::string code = uvCorrected;
    if (state.kind == ProgramTargets) return code + "    vec4 texel = texture(uTexture, vec3(uv, vLayer));\n";
    code += "    vec4 texel = texture(uTexture, uv);\n";
    if (state.swapRedBlue) code += "    texel = texel.bgra;\n";
    return code;
}

GLuint compile(GLenum stage, const std::string& source, char* error, int errorSize) {
    GLuint shader = glCreateShader(stage);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return shader;
    char log[512] = "";
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    for (char* c = log; *c; ++c)
        if (*c == '\n') *c = ' ';
    std::snprintf(error, static_cast<size_t>(errorSize), "the %s shader does not compile: %s",
                  stage == GL_VERTEX_SHADER ? "vertex" : "fragment", log);
    glDeleteShader(shader);
    return 0;
}

}  // namespace

std::string deviceShaderSource(ShaderProgramKind kind, bool fragment, bool es) {
    std::string source = es ? esPrologue : desktopPrologue;
    if (kind == ProgramTextured) source += "#define TEXTURED 1\n";
    if (kind == ProgramTargets) source += "#define TARGET_LAYERS 1\n";
    source += fragment ? fragmentBody : vertexBody;
    return source;
}

bool ProgramState::reads(int which) const {
    return stageActive && (operationReads(colorOp, colorArg1, colorArg2, which) ||
                           operationReads(alphaOp, alphaArg1, alphaArg2, which));
}

ProgramState programStateOf(const DrawKey& key) {
    ProgramState state = {};
    state.kind = static_cast<uint8_t>(programKindOf(key));
    state.stageActive = key.stageActive;
    if (key.stageActive) {
        state.colorOp = key.colorOp, state.colorArg1 = key.colorArg1, state.colorArg2 = key.colorArg2;
        state.alphaOp = key.alphaOp, state.alphaArg1 = key.alphaArg1, state.alphaArg2 = key.alphaArg2;
    }
    state.swapRedBlue = state.kind == ProgramTextured && key.swapRedBlue;
    state.fog = key.fogEnabled;
    return state;
}

std::string specialisedFragmentSource(const ProgramState& state, bool es) {
    std::string source = es ? esPrologue : desktopPrologue;
    source += "in vec4 vColor;\nin vec2 vUv;\nin float vFog;\n";
    if (state.kind == ProgramTargets) source += "flat in float vLayer;\nuniform sampler2DArray uTexture;\n";
    if (state.kind == ProgramTextured) source += "uniform sampler2D uTexture;\n";
    if (state.reads(2)) source += "uniform vec4 uFactor;\n";
    if (state.fog) source += "uniform vec3 uFogColor;\n";
    source += "layout(location = 0) out vec4 fragColor;\nvoid main() {\n";
    if (state.reads(1)) source += texelCode(state);
    source += "    vec4 color = vColor;\n";
    if (state.stageActive) {
        source += "    color.rgb = " + operationCode(state.colorOp, state.colorArg1, state.colorArg2) + ".rgb;\n";
        source += "    color.a = " + operationCode(state.alphaOp, state.alphaArg1, state.alphaArg2) + ".a;\n";
    }
    // Without fog the general program still mixes in black (the key's fog colour is 0) by the
    // interpolated factor, which perspective can leave a hair under 1; that mix is this product,
    // and leaving it out moved a byte here and there.
    source += state.fog ? "    color.rgb = mix(uFogColor, color.rgb, vFog);\n" : "    color.rgb *= vFog;\n";
    return source + "    fragColor = color;\n}\n";
}

namespace {

GLuint linkProgram(const std::string& vertexSource, const std::string& fragmentSource, char* error, int errorSize) {
    GLuint vertex = compile(GL_VERTEX_SHADER, vertexSource, error, errorSize);
    if (!vertex) return 0;
    GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentSource, error, errorSize);
    if (!fragment) {
        glDeleteShader(vertex);
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok) return program;
    char log[512] = "";
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    for (char* c = log; *c; ++c)
        if (*c == '\n') *c = ' ';
    std::snprintf(error, static_cast<size_t>(errorSize), "the device's shaders do not link: %s", log);
    glDeleteProgram(program);
    return 0;
}

}  // namespace

GLuint buildDeviceProgram(ShaderProgramKind kind, char* error, int errorSize) {
    return linkProgram(deviceShaderSource(kind, false, glShadersForEs), deviceShaderSource(kind, true, glShadersForEs),
                       error, errorSize);
}

GLuint buildSpecialisedProgram(const ProgramState& state, char* error, int errorSize) {
    return linkProgram(deviceShaderSource(ProgramUntextured, false, glShadersForEs),
                       specialisedFragmentSource(state, glShadersForEs), error, errorSize);
}
