// gl_targets.cpp: render-target textures as layers of array textures, one array per nominal
// size and format (glTargetLayers layers each, more arrays when they fill). Each target keeps a
// framebuffer of its own, on its layer; a draw that samples one passes the layer with each
// vertex, so draws that sample different targets of an array differ in nothing GL is told.
#include "platform/gl/gl_internal.h"

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
