// gl_resolution.cpp: the drawing scale: the device's back buffer drawn at another size than
// Direct3D's 640 x 480, every target's pixels scaled with it, and the largest size GL allows.
#include <algorithm>
#include <cstdint>

#include "platform/gl/gl_internal.h"

// Nominal pixels at the device's scale (the back buffer's pixels over its nominal size),
// rounded to the nearest pixel; the identity at scale 1.
int GLDeviceImpl::scaled(int nominal, int pixels, int nominalTotal) const {
    return static_cast<int>((int64_t(nominal) * pixels * 2 + nominalTotal) / (int64_t(nominalTotal) * 2));
}

void GLDeviceImpl::scalePixelSize(GLSurfaceImpl& surface) const {
    surface.pixelWidth = std::max(1, scaled(surface.width, backBuffer.pixelWidth, glBackBufferWidth));
    surface.pixelHeight = std::max(1, scaled(surface.height, backBuffer.pixelHeight, glBackBufferHeight));
}

// The back buffer's storage at its actual size, left bound.
void GLDeviceImpl::sizeBackBuffer() {
    bindTexture(backBuffer.colorTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, backBuffer.pixelWidth, backBuffer.pixelHeight, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
}

int GLDeviceImpl::largestResolution() const {
    if (!hasContext) return 0;
    GLint largestTexture = 0, largestRenderbuffer = 0, largestViewport[2] = {};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largestTexture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largestRenderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largestViewport);
    return std::min({largestTexture, largestRenderbuffer, largestViewport[0], largestViewport[1]});
}

bool GLDeviceImpl::setResolution(int width, int height) {
    if (!hasContext || width <= 0 || height <= 0) return false;
    const int largest = largestResolution();
    if (width > largest || height > largest) return false;
    if (width == backBuffer.pixelWidth && height == backBuffer.pixelHeight) return true;
    flush();
    backBuffer.pixelWidth = width;
    backBuffer.pixelHeight = height;
    sizeBackBuffer();
    for (TargetArray* array : targetArrays) sizeTargetArray(*array);
    for (GLTextureImpl* texture : liveTextures)
        if (texture->surface.framebuffer != 0) scalePixelSize(texture->surface);
    bindTexture(0);
    bindTexture(0, true);
    // Depth buffers of the new sizes in every framebuffer.
    deleteDepthBuffers();
    auto attachDepth = [this](const GLSurfaceImpl& surface) {
        const GLuint depth = depthBufferFor(surface.pixelWidth, surface.pixelHeight);
        bindFramebuffer(surface.framebuffer);
        attachColor(surface);  // the layer's storage is new
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    };
    attachDepth(backBuffer);
    for (GLTextureImpl* texture : liveTextures)
        if (texture->surface.framebuffer != 0) attachDepth(texture->surface);
    // New storage holds nothing defined: start from black and the far depth, as at creation.
    setEnabled(GL_SCISSOR_TEST, cache.scissor, false);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepthf(1.0f);
    setDepthMask(GL_TRUE);
    bindFramebuffer(backBuffer.framebuffer);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (GLTextureImpl* texture : liveTextures)
        if (texture->surface.framebuffer != 0) {
            bindFramebuffer(texture->surface.framebuffer);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        }
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    bindFramebuffer(renderTarget->framebuffer);
    targetPixelWidth = renderTarget->pixelWidth;
    targetPixelHeight = renderTarget->pixelHeight;
    // Every depth buffer was just cleared alike, so the current target's is in line.
    targetDepth = renderTarget == &backBuffer ? TargetDepth::Whole : TargetDepth::Current;
    lineQuads = width > glBackBufferWidth || height > glBackBufferHeight;
    return glGetError() == GL_NO_ERROR;
}

void GLDeviceImpl::backBufferSize(int& width, int& height) const {
    width = backBuffer.pixelWidth;
    height = backBuffer.pixelHeight;
}

void GLDeviceImpl::textureSize(IDirect3DTexture9* texture, int& width, int& height) const {
    const GLTextureImpl* ours = texture ? dynamic_cast<const GLTextureImpl*>(texture) : nullptr;
    width = height = 0;
    if (!ours || ours->device != this) return;
    width = ours->surface.pixelWidth;
    height = ours->surface.pixelHeight;
}
