// gl_textures.cpp: textures: made (render targets as layers of the arrays gl_targets.cpp keeps),
// locked and unlocked as Direct3D lays them out, and uploaded, red and blue as written.
#include <cstring>
#include <new>

#include "platform/gl/gl_internal.h"

// ---- textures ----

HRESULT GLDeviceImpl::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (sharedHandle || width == 0 || height == 0 || width > 4096 || height > 4096)
        return D3DERR_INVALIDCALL;
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) {
        refusals.report(Refused::TextureFormat, format, 0);
        return D3DERR_INVALIDCALL;
    }
    const bool target = usage == D3DUSAGE_RENDERTARGET;
    if (usage != 0 && !target) {
        refusals.report(Refused::TextureUsage, usage, 0);
        return D3DERR_INVALIDCALL;
    }
    // Render targets share the 640 x 480 depth buffer, so none may be larger than it.
    if (target && (pool != D3DPOOL_DEFAULT || width > UINT(glBackBufferWidth) ||
                   height > UINT(glBackBufferHeight)))
        return D3DERR_INVALIDCALL;
    if (!target && pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;

    UINT fullChain = 1;
    for (UINT size = width > height ? width : height; size > 1; size /= 2) ++fullChain;
    if (levels == 0) levels = fullChain;  // a full chain, of which only level 0 is ever sampled
    if (levels > fullChain) return D3DERR_INVALIDCALL;

    flush();
    GLTextureImpl* made = new (std::nothrow) GLTextureImpl;
    if (!made) return D3DERR_INVALIDCALL;
    made->device = this;
    made->width = width;
    made->height = height;
    made->levels = levels;
    made->usage = usage;
    made->format = format;
    made->pool = pool;
    made->surface.device = this;
    made->surface.container = made;
    made->surface.width = made->surface.pixelWidth = static_cast<int>(width);
    made->surface.height = made->surface.pixelHeight = static_cast<int>(height);
    if (target) {  // drawn at the device's scale; textures the show writes keep their size
        scalePixelSize(made->surface);
        const GLuint previous = cache.framebuffer;
        placeTarget(*made);
        made->surface.framebuffer = makeFramebuffer(made->surface);
        if (!boundFramebufferComplete()) {
            glDeleteFramebuffers(1, &made->surface.framebuffer);
            targetGone(*made);
            delete made;
            bindFramebuffer(renderTarget->framebuffer);
            return D3DERR_INVALIDCALL;
        }
        // Direct3D leaves a new target's contents undefined; start from black, not garbage.
        setEnabled(GL_SCISSOR_TEST, cache.scissor, false);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        setEnabled(GL_SCISSOR_TEST, cache.scissor, true);
        bindFramebuffer(previous);
    } else {
        made->texture = makeTargetTexture(made->surface.pixelWidth, made->surface.pixelHeight,
                                          format == D3DFMT_X8R8G8B8 ? GL_RGB8 : GL_RGBA8);
        // Rows padded to 64 bytes: the show must honour the pitch, as Direct3D asks.
        made->pitch = static_cast<int>((width * 4 + 63) / 64 * 64);
        made->bits.assign(size_t(made->pitch) * height, 0);
        made->swapRedBlue = true;
        uploadScratch.assign(size_t(width) * height * 4, 0);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height),
                        GL_RGBA, GL_UNSIGNED_BYTE, uploadScratch.data());
    }
    liveTextures.push_back(made);
    *texture = made;
    return D3D_OK;
}

HRESULT GLTextureImpl::GetSurfaceLevel(UINT level, IDirect3DSurface9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (level != 0 || !device) return D3DERR_INVALIDCALL;
    addReference();
    *out = &surface;
    return D3D_OK;
}

HRESULT GLTextureImpl::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD) {
    if (!lockedRect || level != 0 || locked || bits.empty() || !device) return D3DERR_INVALIDCALL;
    LONG left = 0, top = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            rect->right > LONG(width) || rect->bottom > LONG(height))
            return D3DERR_INVALIDCALL;
        left = rect->left;
        top = rect->top;
    }
    locked = true;
    lockedRect->Pitch = pitch;
    lockedRect->pBits = bits.data() + size_t(top) * size_t(pitch) + size_t(left) * 4;
    return D3D_OK;
}

// The locked bytes go to GL as they are (B, G, R, A read as R, G, B, A: the shader swaps red
// and blue back; an X8R8G8B8 texture's RGB storage drops the fourth byte); the draws already
// batched still see the old contents because the batch is drawn first.
// While drawing is off (the run-up to a frame), the bytes wait for drawing to come back on:
// the noise texture alone would otherwise cost a 256 KB upload every frame of the run-up.
HRESULT GLTextureImpl::UnlockRect(UINT level) {
    if (level != 0 || !locked) return D3DERR_INVALIDCALL;
    locked = false;
    if (!device) return D3D_OK;
    uploadPending = true;
    if (device->drawing()) device->upload(*this);
    return D3D_OK;
}

void GLDeviceImpl::upload(GLTextureImpl& texture) {
    flush();
    bindTexture(texture.texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, texture.pitch / 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(texture.width), static_cast<GLsizei>(texture.height),
                    GL_RGBA, GL_UNSIGNED_BYTE, texture.bits.data());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    texture.uploadPending = false;
}
