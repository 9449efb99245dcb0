// gl_depth.cpp: Direct3D's automatic depth buffer, which every render target shares, in a form
// WebGL2 accepts too. WebGL2 refuses a framebuffer whose attachments differ in size, so each
// target size has a depth buffer of its own. The back buffer's stands for the whole of
// Direct3D's; a smaller target's holds its top-left part (as Direct3D lines a smaller target
// up with its buffer), copied in before drawing there first tests depth and copied back when
// drawing leaves, so what one target writes the next one tests, as on Direct3D. Most target
// passes begin with a depth clear: that needs no copy in, and when nothing draws depth after
// it, going back only repeats the clear on the back buffer's part. The stencil is not carried:
// the device has no stencil test, so nothing can see it.
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

// Called by SetRenderTarget after the old target's last batch was drawn.
void GLDeviceImpl::depthLeaves(const GLSurfaceImpl& to) {
    const GLSurfaceImpl& from = *renderTarget;
    if (&from == &to) return;
    if (targetDepth == TargetDepth::Drawn) {
        copyDepth(from.framebuffer, backBuffer.framebuffer, from.pixelWidth, from.pixelHeight);
    } else if (targetDepth == TargetDepth::Cleared) {
        const GLboolean drawsDepthMask = cache.depthMask;
        bindFramebuffer(backBuffer.framebuffer);
        setScissor(0, 0, from.pixelWidth, from.pixelHeight);
        setDepthMask(GL_TRUE);
        glClearDepthf(targetClearDepth);
        glClear(GL_DEPTH_BUFFER_BIT);
        setDepthMask(drawsDepthMask);
    }
    const bool whole = to.pixelWidth == backBuffer.pixelWidth && to.pixelHeight == backBuffer.pixelHeight;
    targetDepth = whole ? TargetDepth::Whole : TargetDepth::Stale;
}

// Called before a batch draws.
void GLDeviceImpl::depthUsed(const DrawKey& key) {
    if (!key.depthEnabled || targetDepth == TargetDepth::Whole) return;
    if (targetDepth == TargetDepth::Stale) {
        copyDepth(backBuffer.framebuffer, renderTarget->framebuffer, renderTarget->pixelWidth, renderTarget->pixelHeight);
        targetDepth = TargetDepth::Current;
    }
    if (key.depthWrite) targetDepth = TargetDepth::Drawn;
}

// Called by Clear before it clears depth: the whole target, or only rectangles of it.
void GLDeviceImpl::depthCleared(bool whole, float depth) {
    if (targetDepth == TargetDepth::Whole) return;
    if (whole) {
        targetDepth = TargetDepth::Cleared;
        targetClearDepth = depth;
        return;
    }
    if (targetDepth == TargetDepth::Stale)
        copyDepth(backBuffer.framebuffer, renderTarget->framebuffer, renderTarget->pixelWidth, renderTarget->pixelHeight);
    targetDepth = TargetDepth::Drawn;
}

// The depth of the top-left width x height (GL's rows from 0 hold Direct3D's rows from the top
// in every target), in the targets' pixels, unscaled; the scissor and the depth mask would clip or stop the copy.
void GLDeviceImpl::copyDepth(GLuint fromFramebuffer, GLuint toFramebuffer, int width, int height) {
    const GLboolean drawsDepthMask = cache.depthMask;
    setDepthMask(GL_TRUE);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, false);
    bindFramebuffer(toFramebuffer);
    bindReadFramebuffer(fromFramebuffer);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    setDepthMask(drawsDepthMask);
}

void GLDeviceImpl::deleteDepthBuffers() {
    for (const DepthBuffer& buffer : depthBuffers) glDeleteRenderbuffers(1, &buffer.renderbuffer);
    depthBuffers.clear();
}
