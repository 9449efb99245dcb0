// gl_depth.cpp: Direct3D's automatic depth-stencil buffer, which every render target shares,
// in a form WebGL2 accepts too. WebGL2 refuses a framebuffer whose attachments differ in size,
// so each target size has a depth buffer of its own, and when drawing moves between sizes the
// part they share (the top-left, as Direct3D lines a smaller target up with its buffer) is
// copied across. The back buffer's depth buffer is the whole of Direct3D's: a smaller one is
// copied into it when drawing leaves it, and from it when drawing enters it, so what one target
// writes the next one tests, as on Direct3D. With drawing off nothing reaches depth, so nothing
// is copied then (setDrawingEnabled brings the two in line when it switches).
#include "platform/gl/gl_internal.h"

// Made on first use and kept: all targets of one size share it, as they share Direct3D's.
GLuint GLDeviceImpl::depthBufferFor(int width, int height) {
    for (const DepthBuffer& buffer : depthBuffers)
        if (buffer.width == width && buffer.height == height) return buffer.renderbuffer;
    GLuint renderbuffer = 0;
    glGenRenderbuffers(1, &renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    depthBuffers.push_back({width, height, renderbuffer});
    return renderbuffer;
}

void GLDeviceImpl::carryDepth(const GLSurfaceImpl& from, const GLSurfaceImpl& to) {
    if (from.pixelWidth == to.pixelWidth && from.pixelHeight == to.pixelHeight) return;  // one buffer
    const bool fromWhole = from.pixelWidth == backBuffer.pixelWidth && from.pixelHeight == backBuffer.pixelHeight;
    const bool toWhole = to.pixelWidth == backBuffer.pixelWidth && to.pixelHeight == backBuffer.pixelHeight;
    if (!fromWhole) blitDepth(from.framebuffer, backBuffer.framebuffer, from.pixelWidth, from.pixelHeight);
    if (!toWhole) blitDepth(backBuffer.framebuffer, to.framebuffer, to.pixelWidth, to.pixelHeight);
}

// Depth and stencil of the top-left width x height (GL's rows 0 up hold Direct3D's rows 0 down
// in every target), unscaled; the scissor and the depth mask would clip or stop the copy.
void GLDeviceImpl::blitDepth(GLuint fromFramebuffer, GLuint toFramebuffer, int width, int height) {
    const GLboolean drawsDepthMask = cache.depthMask;
    setDepthMask(GL_TRUE);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, false);
    bindFramebuffer(toFramebuffer);
    bindReadFramebuffer(fromFramebuffer);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT,
                      GL_NEAREST);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    setDepthMask(drawsDepthMask);
}

void GLDeviceImpl::deleteDepthBuffers() {
    for (const DepthBuffer& buffer : depthBuffers) glDeleteRenderbuffers(1, &buffer.renderbuffer);
    depthBuffers.clear();
}
