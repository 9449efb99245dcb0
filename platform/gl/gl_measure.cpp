// gl_measure.cpp: what the capture tool and the benchmarks read from the device: the pictures,
// the pixels a frame shades, a frame without pixel work, and a frame's time by D3DPERF event.
#include <chrono>

#include "platform/gl/gl_internal.h"

#ifdef __EMSCRIPTEN__
// The benchmark's tools are desktop GL's; in a browser they do nothing and count nothing.
void GLDeviceImpl::setRasterizerDiscard(bool) {}
void GLDeviceImpl::beginPixelCount() {}
uint64_t GLDeviceImpl::endPixelCount() { return 0; }
void GLDeviceImpl::beginEventTiming() {}
void GLDeviceImpl::endEventTiming(std::vector<GLEventPart>&) {}
void GLDeviceImpl::noteDrawEvent() {}
#else
void GLDeviceImpl::setRasterizerDiscard(bool on) {
    if (!hasContext) return;
    flush();
    setEnabled(GL_RASTERIZER_DISCARD, cache.rasterizerDiscard, on);
}

void GLDeviceImpl::beginPixelCount() {
    if (!hasContext || counting) return;
    flush();
    if (pixelQuery == 0) glGenQueries(1, &pixelQuery);
    glBeginQuery(GL_SAMPLES_PASSED, pixelQuery);
    counting = true;
}

uint64_t GLDeviceImpl::endPixelCount() {
    if (!counting) return 0;
    flush();
    glEndQuery(GL_SAMPLES_PASSED);
    counting = false;
    GLuint64 samples = 0;
    glGetQueryObjectui64v(pixelQuery, GL_QUERY_RESULT, &samples);
    return samples;
}

namespace {
double steadyMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void GLDeviceImpl::beginEventTiming() {
    if (!hasContext || counting || timingEvents) return;
    flush();
    glFinish();
    timingEvents = true;
    closedParts.clear();
    openPart = {d3dDrawEvent(), 0, 0};
    beginPixelCount();
    openPartStartMs = steadyMs();
}

// Reading the query's result waits for the renderer, so the part's time ends when it returns.
void GLDeviceImpl::closeEventPart() {
    openPart.pixels = endPixelCount();
    openPart.ms = steadyMs() - openPartStartMs;
    closedParts.push_back(openPart);
}

void GLDeviceImpl::noteDrawEvent() {
    if (!timingEvents || d3dDrawEvent() == openPart.event) return;
    closeEventPart();
    openPart = {d3dDrawEvent(), 0, 0};
    beginPixelCount();
    openPartStartMs = steadyMs();
}

void GLDeviceImpl::endEventTiming(std::vector<GLEventPart>& parts) {
    if (!timingEvents) return;
    closeEventPart();
    timingEvents = false;
    parts.insert(parts.end(), closedParts.begin(), closedParts.end());
    closedParts.clear();
}
#endif

// ---- read-back ----

void GLDeviceImpl::readBackBuffer(uint8_t* rgba) {
    if (!rgba) return;
    flush();
    bindFramebuffer(backBuffer.framebuffer);
    glReadPixels(0, 0, backBuffer.pixelWidth, backBuffer.pixelHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

void GLDeviceImpl::readTexture(IDirect3DTexture9* texture, uint8_t* rgba) {
    GLTextureImpl* ours = texture ? dynamic_cast<GLTextureImpl*>(texture) : nullptr;
    if (!ours || ours->device != this || !rgba) return;
    if (ours->surface.framebuffer) {
        flush();
        bindFramebuffer(ours->surface.framebuffer);
        glReadPixels(0, 0, ours->surface.pixelWidth, ours->surface.pixelHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return;
    }
    const bool opaque = ours->format == D3DFMT_X8R8G8B8;
    for (UINT y = 0; y < ours->height; ++y)
        bgraRowToRgba(ours->bits.data() + size_t(y) * size_t(ours->pitch), rgba + size_t(y) * ours->width * 4,
                      ours->width, opaque);
}
