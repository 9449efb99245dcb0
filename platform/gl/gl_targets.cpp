// gl_targets.cpp: render targets. Render-target textures are layers of array textures, one array
// per nominal size and format (glTargetLayers layers each, more arrays when they fill). Each
// target keeps a framebuffer of its own, on its layer; a draw that samples one passes the layer
// with each vertex, so draws that sample different targets of an array differ in nothing GL is
// told. Then the framebuffers, SetRenderTarget and Clear.
//
// Sections: the arrays | framebuffers | render targets and clear
#include "platform/gl/gl_internal.h"

// ---- the arrays ----

namespace {

int freeLayer(const TargetArray& array) {
    for (int layer = 0; layer < glTargetLayers; ++layer)
        if (!array.used[layer]) return layer;
    return -1;
}

}  // namespace

void GLDeviceImpl::placeTarget(GLTextureImpl& texture, const TargetArray* avoid) {
    const GLenum internalFormat = texture.format == D3DFMT_X8R8G8B8 ? GL_RGB8 : GL_RGBA8;
    TargetArray* home = nullptr;
    for (TargetArray* array : targetArrays)
        if (array != avoid && array->width == int(texture.width) && array->height == int(texture.height) &&
            array->internalFormat == internalFormat && freeLayer(*array) >= 0) {
            home = array;
            break;
        }
    if (!home) {
        home = new TargetArray;
        home->width = int(texture.width);
        home->height = int(texture.height);
        home->internalFormat = internalFormat;
        glGenTextures(1, &home->texture);
        sizeTargetArray(*home);
        targetArrays.push_back(home);
    }
    texture.layer = freeLayer(*home);
    home->used[texture.layer] = true;
    texture.targets = home;
    texture.texture = home->texture;
}

// WebGL (unlike desktop GL) refuses a draw that samples an array while one of its layers is
// the target, whichever layers: the scene drawn into the screen copy samples the cube's faces,
// its neighbours. The target moves to another array with what it holds, for good.
void GLDeviceImpl::moveTarget(GLTextureImpl& texture) {
    TargetArray* from = texture.targets;
    const int fromLayer = texture.layer;
    placeTarget(texture, from);
    bindFramebuffer(texture.surface.framebuffer);  // still on the old layer: the copy's source
    bindTexture(texture.texture, true);
    glCopyTexSubImage3D(GL_TEXTURE_2D_ARRAY, 0, 0, 0, texture.layer, 0, 0, texture.surface.pixelWidth,
                        texture.surface.pixelHeight);
    attachColor(texture.surface);
    releaseLayer(from, fromLayer);
}

void GLDeviceImpl::sizeTargetArray(TargetArray& array) {
    GLSurfaceImpl size;
    size.width = array.width;
    size.height = array.height;
    scalePixelSize(size);
    array.pixelWidth = size.pixelWidth;
    array.pixelHeight = size.pixelHeight;
    bindTexture(array.texture, true);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAX_LEVEL, 0);
    const GLenum format = array.internalFormat == GL_RGB8 ? GL_RGB : GL_RGBA;
    glTexImage3D(GL_TEXTURE_2D_ARRAY, 0, static_cast<GLint>(array.internalFormat), array.pixelWidth, array.pixelHeight,
                 glTargetLayers, 0, format, GL_UNSIGNED_BYTE, nullptr);
}

void GLDeviceImpl::targetGone(GLTextureImpl& texture) {
    TargetArray* array = texture.targets;
    if (!array) return;
    texture.targets = nullptr;
    texture.texture = 0;
    releaseLayer(array, texture.layer);
}

void GLDeviceImpl::releaseLayer(TargetArray* array, int layer) {
    array->used[layer] = false;
    for (bool used : array->used)
        if (used) return;
    for (size_t i = 0; i < targetArrays.size(); ++i)
        if (targetArrays[i] == array) {
            targetArrays[i] = targetArrays.back();
            targetArrays.pop_back();
            break;
        }
    if (cache.targetArray == array->texture) bindTexture(0, true);
    glDeleteTextures(1, &array->texture);
    delete array;
}

void GLDeviceImpl::deleteTargetArrays() {
    for (TargetArray* array : targetArrays) {
        glDeleteTextures(1, &array->texture);
        delete array;
    }
    targetArrays.clear();
}

// ---- framebuffers ----

// A colour texture of level 0 only, left bound.
GLuint GLDeviceImpl::makeTargetTexture(int width, int height, GLenum internalFormat) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    bindTexture(texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    const GLenum format = internalFormat == GL_RGB8 ? GL_RGB : GL_RGBA;
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0, format,
                 GL_UNSIGNED_BYTE, nullptr);
    return texture;
}

// A framebuffer with the surface's colour and the depth buffer of its size, left bound.
GLuint GLDeviceImpl::makeFramebuffer(const GLSurfaceImpl& surface) {
    const GLuint depth = depthBufferFor(surface.pixelWidth, surface.pixelHeight);
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    bindFramebuffer(framebuffer);
    attachColor(surface);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    return framebuffer;
}

void GLDeviceImpl::attachColor(const GLSurfaceImpl& surface) {
    const GLTextureImpl* texture = surface.container;
    if (texture && texture->targets)
        glFramebufferTextureLayer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, texture->texture, 0, texture->layer);
    else
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, surface.colorTexture, 0);
}

// ---- render targets and clear ----

HRESULT GLDeviceImpl::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                                    IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (swapChain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
    ++backBuffer.ownReferences;
    *surface = &backBuffer;
    return D3D_OK;
}

// Like Direct3D, the viewport becomes the whole new target, even when it is the same one.
HRESULT GLDeviceImpl::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    if (index != 0 || !surface) return D3DERR_INVALIDCALL;
    GLSurfaceImpl* ours = dynamic_cast<GLSurfaceImpl*>(surface);
    if (!ours || ours->device != this || ours->framebuffer == 0) return D3DERR_INVALIDCALL;
    flush();
    depthLeaves(*ours);
    if (ours->container) ours->container->addReference();
    if (renderTarget->container) renderTarget->container->Release();
    if (ours != renderTarget) ++counters.stateChanges;
    renderTarget = ours;
    viewportWidth = ours->width;
    viewportHeight = ours->height;
    targetPixelWidth = ours->pixelWidth;
    targetPixelHeight = ours->pixelHeight;
    return D3D_OK;
}

// Direct3D clears the viewport only (and each rectangle within it), with full write masks.
HRESULT GLDeviceImpl::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                            DWORD stencil) {
    if ((count > 0 && !rects) || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0)
        return D3DERR_INVALIDCALL;
    noteDrawEvent();
    flush();
    if (!drawingEnabled || flags == 0) return D3D_OK;
    if (flags & D3DCLEAR_ZBUFFER) depthCleared(count == 0, z < 0.0f ? 0.0f : z > 1.0f ? 1.0f : z);
    bindFramebuffer(renderTarget->framebuffer);
    setViewportAndScissor(targetPixelWidth, targetPixelHeight);
    GLbitfield mask = 0;
    const GLboolean drawsDepthMask = cache.depthMask;  // Clear writes depth whatever the draws' mask
    if (flags & D3DCLEAR_TARGET) {
        mask |= GL_COLOR_BUFFER_BIT;
        const GLColor c = argbToGlColor(color);
        glClearColor(c.r, c.g, c.b, c.a);
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        mask |= GL_DEPTH_BUFFER_BIT;
        glClearDepthf(z < 0.0f ? 0.0f : z > 1.0f ? 1.0f : z);
        setDepthMask(GL_TRUE);
    }
    if (flags & D3DCLEAR_STENCIL) {
        mask |= GL_STENCIL_BUFFER_BIT;
        glClearStencil(static_cast<GLint>(stencil & 255));
    }
    if (count == 0) {
        glClear(mask);
    } else {
        for (DWORD i = 0; i < count; ++i) {
            const LONG x0 = rects[i].x1 < 0 ? 0 : rects[i].x1;
            const LONG y0 = rects[i].y1 < 0 ? 0 : rects[i].y1;
            const LONG x1 = rects[i].x2 > viewportWidth ? viewportWidth : rects[i].x2;
            const LONG y1 = rects[i].y2 > viewportHeight ? viewportHeight : rects[i].y2;
            if (x0 >= x1 || y0 >= y1) continue;
            const int left = scaled(x0, targetPixelWidth, viewportWidth);
            const int top = scaled(y0, targetPixelHeight, viewportHeight);
            setScissor(left, top, scaled(x1, targetPixelWidth, viewportWidth) - left,
                       scaled(y1, targetPixelHeight, viewportHeight) - top);
            glClear(mask);
        }
        setScissor(0, 0, targetPixelWidth, targetPixelHeight);
    }
    if (flags & D3DCLEAR_ZBUFFER) setDepthMask(drawsDepthMask);
    return D3D_OK;
}
