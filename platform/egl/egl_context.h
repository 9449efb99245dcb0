// egl_context.h: a headless OpenGL context on Mesa's surfaceless EGL platform, for the capture
// tool and the image tests; needs no display (DISPLAY may be unset).
#pragma once

#include <string>

#include "platform/gl/gl_device.h"

// Makes a GL 3.3 core context current on the calling thread, without any surface (draw into
// framebuffer objects only). Calling it again once it succeeded makes the same context current.
// Returns false and writes one line into error when the platform cannot give one.
bool createHeadlessContext(char* error, int errorSize);

// An OpenGL ES 3.0 context instead, current on the calling thread, for checking that shader
// sources also build as GLSL ES 3.00. Destroys whatever headless context was current.
bool createHeadlessEsContext(char* error, int errorSize);

// The one way the tools, benchmarks and image tests start drawing headless: the GL 3.3 context
// (createHeadlessContext) and a fresh OpenGL device on it. Returns null and sets error to one
// line when either cannot be had; noContext (may be null) then says whether the context was
// what failed, which a machine may lack, rather than the device, which is a fault.
GLDevice* startHeadlessDevice(std::string& error, bool* noContext = nullptr);

// Releases the current headless context, if any. Later calls to the creators start afresh.
void destroyHeadlessContext();
