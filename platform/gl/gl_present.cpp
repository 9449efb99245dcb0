// gl_present.cpp: the scene's brackets, Present (the back buffer into the window, 4:3 kept),
// drawing switched off for run-ups, and the window's own fills.
#include "platform/gl/gl_internal.h"

// ---- scene and present ----

HRESULT GLDeviceImpl::BeginScene() {
    if (inScene) return D3DERR_INVALIDCALL;
    inScene = true;
    return D3D_OK;
}

HRESULT GLDeviceImpl::EndScene() {
    if (!inScene) return D3DERR_INVALIDCALL;
    inScene = false;
    return D3D_OK;
}

void GLDeviceImpl::setPresentTarget(const GLPresentTarget& target) { presentTarget = target; }

void GLDeviceImpl::setDrawingEnabled(bool enabled) {
    flush();
    drawingEnabled = enabled;
    if (enabled)
        for (GLTextureImpl* texture : liveTextures)
            if (texture->uploadPending) upload(*texture);
}

// The back buffer scaled into the window with 4:3 kept (black bars), the right way up.
HRESULT GLDeviceImpl::Present(const RECT*, const RECT*, HWND, const void*) {
    flush();
    if (!drawingEnabled || presentTarget.drawableWidth <= 0 || presentTarget.drawableHeight <= 0) {
        glFlush();
        return D3D_OK;
    }
    const int drawableWidth = presentTarget.drawableWidth;
    const int drawableHeight = presentTarget.drawableHeight;
    const GLPresentRect fit = presentRectangle(drawableWidth, drawableHeight);

    bindFramebuffer(presentTarget.framebuffer);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, false);
    setViewport(drawableWidth, drawableHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    bindReadFramebuffer(backBuffer.framebuffer);
    // Destination rows reversed: the back buffer holds Direct3D's top row at GL's row 0.
    if (fit.width > 0 && fit.height > 0)
        glBlitFramebuffer(0, 0, backBuffer.pixelWidth, backBuffer.pixelHeight, fit.x, fit.y + fit.height,
                          fit.x + fit.width, fit.y, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    bindFramebuffer(presentTarget.framebuffer);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    if (presentTarget.swap) presentTarget.swap(presentTarget.user);
    return D3D_OK;
}

// Scissored clears: the scissor goes through the cache, and the clear colour is set before every
// clear the device makes.
void GLDeviceImpl::fillWindow(const GLWindowFill* fills, int count) {
    if (!drawingEnabled) return;
    bindFramebuffer(presentTarget.framebuffer);
    setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
    for (int i = 0; i < count; ++i) {
        setScissor(fills[i].x, fills[i].y, fills[i].width, fills[i].height);
        glClearColor(fills[i].grey, fills[i].grey, fills[i].grey, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
}
