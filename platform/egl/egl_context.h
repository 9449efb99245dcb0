// egl_context.h: a headless OpenGL context on Mesa's surfaceless EGL platform, for the capture
// tool and the image tests; needs no display (DISPLAY may be unset).
#pragma once

// Makes a GL 3.3 core context current on the calling thread, without any surface (draw into
// framebuffer objects only). Calling it again once it succeeded makes the same context current.
// Returns false and writes one line into error when the platform cannot give one.
bool createHeadlessContext(char* error, int errorSize);

// An OpenGL ES 3.0 context instead, current on the calling thread, for checking that shader
// sources also build as GLSL ES 3.00. Destroys whatever headless context was current.
bool createHeadlessEsContext(char* error, int errorSize);

// Releases the current headless context, if any. Later calls to the creators start afresh.
void destroyHeadlessContext();
