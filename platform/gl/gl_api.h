// gl_api.h: the GL the device is built against: desktop OpenGL 3.3 core through libepoxy, or,
// under emscripten, WebGL2 through its GLES 3.0 header. The device's code is the same for both.
#pragma once

#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
constexpr bool glShadersForEs = true;   // GLSL ES 3.00
#else
#include <epoxy/gl.h>
constexpr bool glShadersForEs = false;  // GLSL 3.30 core
#endif
