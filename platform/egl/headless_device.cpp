// headless_device.cpp: the headless context and the OpenGL device on it, started together.
#include "platform/egl/egl_context.h"

GLDevice* startHeadlessDevice(std::string& error, bool* noContext) {
    char reason[512] = "";
    const bool haveContext = createHeadlessContext(reason, sizeof reason);
    if (noContext != nullptr) *noContext = !haveContext;
    if (!haveContext) {
        error = std::string("no headless OpenGL 3.3 context: ") + reason;
        return nullptr;
    }
    GLDevice* device = createGLDevice(reason, sizeof reason);
    if (device == nullptr) error = std::string("the OpenGL device cannot start: ") + reason;
    return device;
}
