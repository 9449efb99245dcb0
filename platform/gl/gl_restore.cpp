// gl_restore.cpp: the device's GL objects made again in a new context, when a browser has taken
// the old one away and given a fresh one back (a lost WebGL context restored). The device keeps
// what it needs on the CPU: the show's textures' bytes, every target's size, the scale and
// Direct3D's state; only what targets held is lost, and the next frame draws it again.
#include <cstdio>

#include "platform/gl/gl_internal.h"

namespace {

bool fail(char* error, int errorSize, const char* what) {
    if (error && errorSize > 0) std::snprintf(error, static_cast<size_t>(errorSize), "%s", what);
    return false;
}

}  // namespace

bool GLDeviceImpl::restoreContext(char* error, int errorSize) {
    if (!hasContext || glGetString(GL_VERSION) == nullptr) return fail(error, errorSize, "no OpenGL context is current");
    // The old names belong to the context that is gone: forgotten, never deleted (the new
    // context may give the same numbers to its own objects), and the cache starts from a fresh
    // context's state.
    cache = {};
    specialised.clear();
    batchOpen = false;
    batchSize = 0;
    streamVertex = 0;
    pixelQuery = 0;
    counting = false;
    timingEvents = false;
    for (TargetArray* array : targetArrays) delete array;
    targetArrays.clear();
    depthBuffers.clear();
    if (!makeObjects(error, errorSize)) return false;
    setEnabled(GL_SCISSOR_TEST, cache.scissor, false);
    for (GLTextureImpl* texture : liveTextures) {
        if (texture->usage == D3DUSAGE_RENDERTARGET) {
            placeTarget(*texture);
            texture->surface.framebuffer = makeFramebuffer(texture->surface);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);  // as at creation: black, the far depth
        } else {
            texture->texture = makeTargetTexture(texture->surface.pixelWidth, texture->surface.pixelHeight,
                                                 texture->format == D3DFMT_X8R8G8B8 ? GL_RGB8 : GL_RGBA8);
            upload(*texture);
        }
    }
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    bindFramebuffer(renderTarget->framebuffer);
    setViewportAndScissor(targetPixelWidth, targetPixelHeight);
    // Every depth buffer was just cleared alike, so the current target's is in line.
    targetDepth = renderTarget == &backBuffer ? TargetDepth::Whole : TargetDepth::Current;
    if (glGetError() != GL_NO_ERROR) return fail(error, errorSize, "OpenGL reported an error while the device was made again");
    return true;
}
