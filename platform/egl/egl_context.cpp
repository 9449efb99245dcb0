// egl_context.cpp: the surfaceless EGL display and one configless context on it.
#include "platform/egl/egl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>

namespace {

EGLDisplay display = EGL_NO_DISPLAY;
EGLContext context = EGL_NO_CONTEXT;
bool contextIsEs = false;

bool fail(char* error, int errorSize, const char* what) {
    if (error && errorSize > 0) std::snprintf(error, static_cast<size_t>(errorSize), "%s", what);
    return false;
}

bool failEgl(char* error, int errorSize, const char* what) {
    if (error && errorSize > 0)
        std::snprintf(error, static_cast<size_t>(errorSize), "%s (EGL error 0x%04X)", what,
                      static_cast<unsigned>(eglGetError()));
    return false;
}

// Extension strings are space-separated names; a plain strstr would accept prefixes.
bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t length = std::strlen(name);
    for (const char* at = list; (at = std::strstr(at, name)) != nullptr; at += length) {
        const bool startsWord = at == list || at[-1] == ' ';
        const bool endsWord = at[length] == ' ' || at[length] == '\0';
        if (startsWord && endsWord) return true;
    }
    return false;
}

bool openDisplay(char* error, int errorSize) {
    if (display != EGL_NO_DISPLAY) return true;
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasExtension(clientExtensions, "EGL_EXT_platform_base") ||
        !hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless"))
        return fail(error, errorSize,
                    "EGL offers no surfaceless platform (EGL_MESA_platform_surfaceless is missing)");
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return fail(error, errorSize, "EGL has no eglGetPlatformDisplayEXT");
    EGLDisplay opened = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (opened == EGL_NO_DISPLAY) return failEgl(error, errorSize, "no surfaceless EGL display");
    EGLint major = 0, minor = 0;
    if (!eglInitialize(opened, &major, &minor))
        return failEgl(error, errorSize, "the surfaceless EGL display does not initialise");
    const char* extensions = eglQueryString(opened, EGL_EXTENSIONS);
    if (!hasExtension(extensions, "EGL_KHR_no_config_context") &&
        !hasExtension(extensions, "EGL_MESA_configless_context")) {
        eglTerminate(opened);
        return fail(error, errorSize, "EGL cannot create a context without a config");
    }
    if (!hasExtension(extensions, "EGL_KHR_surfaceless_context")) {
        eglTerminate(opened);
        return fail(error, errorSize, "EGL cannot make a context current without a surface");
    }
    display = opened;
    return true;
}

bool createContext(char* error, int errorSize, bool es) {
    if (context != EGL_NO_CONTEXT && contextIsEs == es) {
        if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) return true;
        return failEgl(error, errorSize, "the headless GL context cannot be made current again");
    }
    destroyHeadlessContext();
    if (!openDisplay(error, errorSize)) return false;
    if (!eglBindAPI(es ? EGL_OPENGL_ES_API : EGL_OPENGL_API))
        return failEgl(error, errorSize, es ? "EGL offers no OpenGL ES" : "EGL offers no desktop OpenGL");
    const EGLint desktopAttributes[] = {
        EGL_CONTEXT_MAJOR_VERSION, 3,
        EGL_CONTEXT_MINOR_VERSION, 3,
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
        EGL_NONE,
    };
    const EGLint esAttributes[] = {
        EGL_CONTEXT_MAJOR_VERSION, 3,
        EGL_CONTEXT_MINOR_VERSION, 0,
        EGL_NONE,
    };
    context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT,
                               es ? esAttributes : desktopAttributes);
    if (context == EGL_NO_CONTEXT)
        return failEgl(error, errorSize,
                       es ? "EGL cannot create an OpenGL ES 3.0 context"
                          : "EGL cannot create an OpenGL 3.3 core context");
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        eglDestroyContext(display, context);
        context = EGL_NO_CONTEXT;
        return failEgl(error, errorSize, "the headless GL context cannot be made current");
    }
    contextIsEs = es;
    return true;
}

}  // namespace

bool createHeadlessContext(char* error, int errorSize) { return createContext(error, errorSize, false); }

bool createHeadlessEsContext(char* error, int errorSize) { return createContext(error, errorSize, true); }

void destroyHeadlessContext() {
    if (context == EGL_NO_CONTEXT) return;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
    context = EGL_NO_CONTEXT;
}
