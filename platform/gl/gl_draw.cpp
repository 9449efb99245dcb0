// gl_draw.cpp: DrawPrimitiveUP on the CPU (software vertex processing: transform, lighting rule,
// fog factor, point sprites as four corners, wide lines as quads) into one batch per run of equal
// state, and the batch drawn from the streaming buffer. What GL is told of a batch's state goes
// through the cache in gl_cache.cpp.
//
// Sections: the state a batch is drawn with | the batch | vertices
#include <cmath>
#include <cstring>

#include "platform/d3d9_defaults.h"
#include "platform/gl/gl_internal.h"

namespace {

bool finitePosition(const BatchVertex& vertex) {
    return std::isfinite(vertex.x) && std::isfinite(vertex.y) && std::isfinite(vertex.z) && std::isfinite(vertex.w);
}

// Shift towards GL's pixel centres by 63/64 of half a pixel, not a whole half: edges through
// Direct3D's pixel centres then fall just before GL's, which reproduces Direct3D's top-left
// fill rule whatever GL's own tie rule is.
constexpr float pixelOffset = 63.0f / 64.0f;

void multiply(float out[4][4], const float a[4][4], const float b[4][4]) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c] + a[r][3] * b[3][c];
}

// Row vector (x, y, z, 1) times m.
void transformPoint(const float m[4][4], float x, float y, float z, float out[4]) {
    for (int c = 0; c < 4; ++c) out[c] = x * m[0][c] + y * m[1][c] + z * m[2][c] + m[3][c];
}

bool usesArg1(DWORD op) { return op != D3DTOP_DISABLE && op != D3DTOP_SELECTARG2; }
bool usesArg2(DWORD op) { return op != D3DTOP_DISABLE && op != D3DTOP_SELECTARG1; }

// The vertex t of the way from a to b, every attribute with it (colours rounded).
BatchVertex interpolate(const BatchVertex& a, const BatchVertex& b, float t) {
    auto mix = [t](float p, float q) { return p + (q - p) * t; };
    BatchVertex v;
    v.x = mix(a.x, b.x);
    v.y = mix(a.y, b.y);
    v.z = mix(a.z, b.z);
    v.w = mix(a.w, b.w);
    for (int i = 0; i < 4; ++i) v.rgba[i] = static_cast<uint8_t>(std::lround(mix(a.rgba[i], b.rgba[i])));
    v.u = mix(a.u, b.u);
    v.v = mix(a.v, b.v);
    v.fog = mix(a.fog, b.fog);
    v.layer = a.layer;
    return v;
}

float clampUnit(float f) {
    if (!(f > 0.0f)) return 0.0f;  // NaN too
    return f > 1.0f ? 1.0f : f;
}

}  // namespace

bool operator==(const DrawKey& a, const DrawKey& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---- the state a batch is drawn with ----

DrawKey GLDeviceImpl::currentKey(PrimitiveClass primitiveClass) const {
    DrawKey key;
    std::memset(&key, 0, sizeof key);  // padding too: keys are compared bytewise
    key.framebuffer = renderTarget->framebuffer;
    key.viewportWidth = targetPixelWidth;
    key.viewportHeight = targetPixelHeight;
    key.primitiveClass = primitiveClass;
    key.blendEnabled = renderStates[D3DRS_ALPHABLENDENABLE] != 0;
    if (key.blendEnabled) {
        key.blendSource = blendFactorToGl(renderStates[D3DRS_SRCBLEND]);
        key.blendDest = blendFactorToGl(renderStates[D3DRS_DESTBLEND]);
        key.blendEquation = blendOpToGl(renderStates[D3DRS_BLENDOP]);
    }
    key.depthEnabled = renderStates[D3DRS_ZENABLE] != D3DZB_FALSE;
    if (key.depthEnabled) {
        key.depthWrite = renderStates[D3DRS_ZWRITEENABLE] != 0;
        key.depthFunc = compareToGl(renderStates[D3DRS_ZFUNC]);
    }
    // Lines are never culled, so their batches ignore the cull mode; sprites pick the winding
    // it keeps.
    key.cullMode = static_cast<uint8_t>(primitiveClass != ClassLines ? renderStates[D3DRS_CULLMODE]
                                                                      : DWORD(D3DCULL_NONE));

    // Stage 0 passes the diffuse colour through when it is disabled or when it would read a
    // texture that is not there (never sample "no texture": GL gives opaque black).
    const DWORD colorOp = stageStates[D3DTSS_COLOROP];
    const DWORD colorArg1 = stageStates[D3DTSS_COLORARG1] & D3DTA_SELECTMASK;
    const DWORD colorArg2 = stageStates[D3DTSS_COLORARG2] & D3DTA_SELECTMASK;
    const bool readsTexture = (usesArg1(colorOp) && colorArg1 == D3DTA_TEXTURE) ||
                              (usesArg2(colorOp) && colorArg2 == D3DTA_TEXTURE);
    key.stageActive = colorOp != D3DTOP_DISABLE && (texture0 || !readsTexture);
    if (key.stageActive) {
        const DWORD alphaOp = stageStates[D3DTSS_ALPHAOP];
        const DWORD alphaArg1 = stageStates[D3DTSS_ALPHAARG1] & D3DTA_SELECTMASK;
        const DWORD alphaArg2 = stageStates[D3DTSS_ALPHAARG2] & D3DTA_SELECTMASK;
        key.colorOp = static_cast<int8_t>(shaderTextureOp(colorOp));
        key.colorArg1 = static_cast<int8_t>(shaderTextureArg(colorArg1));
        key.colorArg2 = static_cast<int8_t>(shaderTextureArg(colorArg2));
        key.alphaOp = static_cast<int8_t>(shaderTextureOp(alphaOp));
        key.alphaArg1 = static_cast<int8_t>(shaderTextureArg(alphaArg1));
        key.alphaArg2 = static_cast<int8_t>(shaderTextureArg(alphaArg2));
        const bool readsFactor = (usesArg1(colorOp) && colorArg1 == D3DTA_TFACTOR) ||
                                 (usesArg2(colorOp) && colorArg2 == D3DTA_TFACTOR) ||
                                 (usesArg1(alphaOp) && alphaArg1 == D3DTA_TFACTOR) ||
                                 (usesArg2(alphaOp) && alphaArg2 == D3DTA_TFACTOR);
        if (readsFactor) key.textureFactor = renderStates[D3DRS_TEXTUREFACTOR];
        if (texture0) {
            key.texture = texture0->texture;
            key.swapRedBlue = texture0->swapRedBlue;
            key.targetLayers = texture0->targets != nullptr;
            key.magFilter = filterToGl(samplerStates[D3DSAMP_MAGFILTER]);
            key.minFilter = filterToGl(samplerStates[D3DSAMP_MINFILTER]);
            key.addressU = addressToGl(samplerStates[D3DSAMP_ADDRESSU]);
            key.addressV = addressToGl(samplerStates[D3DSAMP_ADDRESSV]);
        }
    }
    if (renderStates[D3DRS_FOGENABLE]) {
        key.fogEnabled = 1;
        key.fogColor = renderStates[D3DRS_FOGCOLOR] & 0x00FFFFFFu;
    }
    return key;
}

// ---- the batch ----

void GLDeviceImpl::flush() {
    if (!batchOpen) return;
    batchOpen = false;
    if (batchSize == 0) return;
    GLTextureImpl* drawnInto = renderTarget->container;
    if (batchKey.targetLayers && drawnInto && batchKey.texture == drawnInto->texture) moveTarget(*drawnInto);
    depthUsed(batchKey);
    applyKey(batchKey);
    const bool lineQuadBatch = batchKey.primitiveClass == ClassLines && lineQuads;
    const bool sprites = batchKey.primitiveClass == ClassSprites || lineQuadBatch;
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    // Into the streaming buffer after the last batch (sprites from a multiple of four, where
    // their indices start); orphaned and refilled from the start when the batch does not fit.
    size_t first = sprites ? (streamVertex + 3) / 4 * 4 : streamVertex;
    if (first + batchSize > glStreamVertices) {
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(glStreamVertices * sizeof(BatchVertex)), nullptr,
                     GL_STREAM_DRAW);
        first = 0;
    }
    glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(first * sizeof(BatchVertex)),
                    static_cast<GLsizeiptr>(batchSize * sizeof(BatchVertex)), batch.data());
    streamVertex = first + batchSize;
    if (sprites) {
        // Direct3D never culls sprites: the winding is the one the cull mode keeps (lines have
        // no cull mode).
        const size_t pattern = batchKey.cullMode == D3DCULL_CW ? glStreamVertices / 4 * 6 : 0;
        const size_t firstIndex = pattern + first / 4 * 6;
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(batchSize / 4 * 6), GL_UNSIGNED_SHORT,
                       reinterpret_cast<const void*>(firstIndex * sizeof(uint16_t)));
    } else {
        glDrawArrays(batchKey.primitiveClass == ClassLines ? GL_LINES : GL_TRIANGLES, static_cast<GLint>(first),
                     static_cast<GLsizei>(batchSize));
    }
    ++counters.glDrawCalls;
    counters.flushedVertices += batchSize;
    batchSize = 0;
    if (checking) checkCache();
}

// Room for the next primitive's vertices; a full batch is drawn and the run goes on.
BatchVertex* GLDeviceImpl::room(int vertices) {
    if (batchSize + size_t(vertices) > batch.size()) {
        const DrawKey key = batchKey;
        flush();
        batchKey = key;
        batchOpen = true;
    }
    BatchVertex* at = batch.data() + batchSize;
    batchSize += size_t(vertices);
    return at;
}

// ---- vertices ----

void GLDeviceImpl::updateMatrices() {
    if (!matricesDirty) return;
    matricesDirty = false;
    multiply(worldView, world.m, view.m);
    multiply(worldViewProjection, worldView, projection.m);
}

// One vertex to GL clip space. eye receives the camera-space position (zero for XYZRHW).
void GLDeviceImpl::transformVertex(const uint8_t* vertex, BatchVertex& out, float eye[3]) const {
    const bool pretransformed = (fvf & D3DFVF_XYZRHW) != 0;
    const size_t colorOffset = pretransformed ? 16 : 12;
    const size_t uvOffset = colorOffset + ((fvf & D3DFVF_DIFFUSE) ? 4 : 0);
    float position[4];
    std::memcpy(position, vertex, pretransformed ? 16 : 12);
    const float width = float(viewportWidth), height = float(viewportHeight);

    float clip[4];
    if (pretransformed) {
        // Render-target pixels; w = 1 / rhw keeps interpolation perspective-correct.
        const float w = position[3] != 0.0f ? 1.0f / position[3] : 1.0f;
        const float z = renderStates[D3DRS_ZENABLE] != D3DZB_FALSE ? position[2] : 0.0f;
        clip[0] = (2.0f * position[0] / width - 1.0f) * w;
        clip[1] = (1.0f - 2.0f * position[1] / height) * w;
        clip[2] = z * w;
        clip[3] = w;
        eye[0] = eye[1] = eye[2] = 0.0f;
    } else {
        float eye4[4];
        transformPoint(worldView, position[0], position[1], position[2], eye4);
        eye[0] = eye4[0];
        eye[1] = eye4[1];
        eye[2] = eye4[2];
        transformPoint(worldViewProjection, position[0], position[1], position[2], clip);
    }
    clip[0] += pixelOffset * clip[3] / float(targetPixelWidth);
    clip[1] -= pixelOffset * clip[3] / float(targetPixelHeight);
    out.x = clip[0];
    out.y = -clip[1];                  // upside down into the framebuffer
    out.z = 2.0f * clip[2] - clip[3];  // Direct3D's 0..w depth to GL's -w..w
    out.w = clip[3];

    // Lighting with no lights and the all-zero default material leaves only the diffuse
    // material's alpha, which is the vertex colour's when the colour feeds the material.
    DWORD diffuse = 0xFFFFFFFFu;
    if (fvf & D3DFVF_DIFFUSE) std::memcpy(&diffuse, vertex + colorOffset, 4);
    if (!pretransformed && renderStates[D3DRS_LIGHTING]) {
        const bool colorFeedsMaterial = renderStates[D3DRS_COLORVERTEX] && (fvf & D3DFVF_DIFFUSE) &&
                                        renderStates[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
        diffuse = colorFeedsMaterial ? diffuse & 0xFF000000u : 0;
    }
    argbToRgba(diffuse, out.rgba);

    if (fvf & D3DFVF_TEX1) {
        std::memcpy(&out.u, vertex + uvOffset, 4);
        std::memcpy(&out.v, vertex + uvOffset + 4, 4);
    } else {
        out.u = out.v = 0.0f;
    }

    // Vertex fog from camera-space depth; pretransformed vertices carry no fog (no specular).
    out.layer = drawLayer;
    out.fog = 1.0f;
    if (!pretransformed && renderStates[D3DRS_FOGENABLE] && renderStates[D3DRS_FOGTABLEMODE] == D3DFOG_NONE) {
        const float distance = renderStates[D3DRS_RANGEFOGENABLE]
                                   ? std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2])
                                   : std::fabs(eye[2]);
        const float density = d3dBitsFloat(renderStates[D3DRS_FOGDENSITY]);
        switch (renderStates[D3DRS_FOGVERTEXMODE]) {
            case D3DFOG_LINEAR: {
                const float start = d3dBitsFloat(renderStates[D3DRS_FOGSTART]);
                const float end = d3dBitsFloat(renderStates[D3DRS_FOGEND]);
                // start = end: a step at end (the limit of the ramp), never a division by zero.
                out.fog = end == start ? (distance < end ? 1.0f : 0.0f) : clampUnit((end - distance) / (end - start));
                break;
            }
            case D3DFOG_EXP:  out.fog = clampUnit(std::exp(-density * distance)); break;
            case D3DFOG_EXP2: out.fog = clampUnit(std::exp(-(density * distance) * (density * distance))); break;
        }
    }
}

// Points as screen-aligned squares of two triangles, side S pixels around their projections,
// wound the way the current cull mode keeps (Direct3D never culls sprites). The states that
// size them are read once a draw.
void GLDeviceImpl::appendPointSprites(const uint8_t* data, UINT count, UINT stride) {
    const bool pretransformed = (fvf & D3DFVF_XYZRHW) != 0;
    const bool scaled = renderStates[D3DRS_POINTSCALEENABLE] && !pretransformed;
    const float pointSize = d3dBitsFloat(renderStates[D3DRS_POINTSIZE]);
    const float a = d3dBitsFloat(renderStates[D3DRS_POINTSCALE_A]);
    const float b = d3dBitsFloat(renderStates[D3DRS_POINTSCALE_B]);
    const float c = d3dBitsFloat(renderStates[D3DRS_POINTSCALE_C]);
    float maximum = d3dBitsFloat(renderStates[D3DRS_POINTSIZE_MAX]);
    if (!(maximum < d3dMaxPointSize)) maximum = d3dMaxPointSize;
    float minimum = d3dBitsFloat(renderStates[D3DRS_POINTSIZE_MIN]);
    if (minimum > maximum) minimum = maximum;
    const bool sprite = renderStates[D3DRS_POINTSPRITEENABLE] != 0;
    const float width = float(viewportWidth), height = float(viewportHeight);
    for (UINT n = 0; n < count; ++n) {
        BatchVertex centre;
        float eye[3];
        transformVertex(data + size_t(n) * stride, centre, eye);
        if (!finitePosition(centre)) {
            ++counters.droppedPrimitives;
            continue;
        }
        float size = pointSize;
        if (scaled) {
            const float distance = std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
            const float scale = a + b * distance + c * distance * distance;
            size = scale > 0.0f ? height * size * std::sqrt(1.0f / scale) : d3dMaxPointSize;
        }
        if (!(size >= minimum)) size = minimum;
        if (size > maximum) size = maximum;

        // Half the side in NDC, times w; the y flip has already happened, so +y is down here.
        const float halfX = size / width * centre.w;
        const float halfY = size / height * centre.w;
        BatchVertex* corner = room(4);
        for (int i = 0; i < 4; ++i, ++corner) {  // top-left, top-right, bottom-left, bottom-right on screen
            *corner = centre;
            corner->x = centre.x + ((i & 1) ? halfX : -halfX);
            corner->y = centre.y + ((i & 2) ? halfY : -halfY);
            if (sprite) {
                corner->u = (i & 1) ? 1.0f : 0.0f;
                corner->v = (i & 2) ? 1.0f : 0.0f;
            }
        }
    }
}

// A line one nominal pixel wide as a quad of four corners, drawn as sprites are: a and b
// each moved half the scaled width to either side, across the line's direction on screen.
void GLDeviceImpl::appendLineQuad(BatchVertex a, BatchVertex b) {
    // Behind the near plane the direction on screen means nothing: cut the line there first.
    const float nearA = a.z + a.w, nearB = b.z + b.w;
    if (nearA < 0.0f && nearB < 0.0f) return;
    if (nearA < 0.0f) a = interpolate(a, b, nearA / (nearA - nearB));
    if (nearB < 0.0f) b = interpolate(b, a, nearB / (nearB - nearA));
    if (!(a.w > 0.0f) || !(b.w > 0.0f)) return;
    const float width = float(targetPixelWidth), height = float(targetPixelHeight);
    const float dx = (b.x / b.w - a.x / a.w) * width, dy = (b.y / b.w - a.y / a.w) * height;  // 2 x pixels
    const float length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0.0f)) return;  // no length covers no pixel, as in Direct3D
    const float lineWidth = 0.5f * (width / float(viewportWidth) + height / float(viewportHeight));
    // Across the line, half the width to each side, in NDC.
    const float acrossX = -dy / length * lineWidth / width, acrossY = dx / length * lineWidth / height;
    BatchVertex* corner = room(4);
    for (int i = 0; i < 4; ++i, ++corner) {
        *corner = i < 2 ? a : b;
        const float side = (i & 1) ? -1.0f : 1.0f;
        corner->x += side * acrossX * corner->w;
        corner->y += side * acrossY * corner->w;
    }
}

void GLDeviceImpl::appendPrimitives(D3DPRIMITIVETYPE type, UINT primitiveCount, const uint8_t* data,
                                    UINT stride) {
    updateMatrices();
    if (type == D3DPT_POINTLIST) {
        appendPointSprites(data, primitiveCount, stride);
        return;
    }
    const UINT vertexCount = d3dVertexCount(type, primitiveCount);
    sourceScratch.resize(vertexCount);
    float eye[3];
    for (UINT i = 0; i < vertexCount; ++i) transformVertex(data + size_t(i) * stride, sourceScratch[i], eye);
    const BatchVertex* v = sourceScratch.data();
    // A primitive with a position that is not a number is dropped whole: GL leaves its
    // rasterisation undefined, and it would otherwise smear across the target.
    auto line = [&](UINT a, UINT b) {
        if (!finitePosition(v[a]) || !finitePosition(v[b])) {
            ++counters.droppedPrimitives;
            return;
        }
        if (lineQuads) {
            appendLineQuad(v[a], v[b]);
            return;
        }
        BatchVertex* out = room(2);
        out[0] = v[a];
        out[1] = v[b];
    };
    auto triangle = [&](UINT a, UINT b, UINT c) {
        if (!finitePosition(v[a]) || !finitePosition(v[b]) || !finitePosition(v[c])) {
            ++counters.droppedPrimitives;
            return;
        }
        BatchVertex* out = room(3);
        out[0] = v[a];
        out[1] = v[b];
        out[2] = v[c];
    };
    d3dForEachPrimitive(type, primitiveCount, [](UINT) {}, line, triangle);
}

HRESULT GLDeviceImpl::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                                      UINT stride) {
    // More primitives than a draw may hold is refused before any vertex is read.
    if (d3dVertexCount(type, primitiveCount > 0 ? primitiveCount : 1) == 0 || !vertices || fvf == 0)
        return D3DERR_INVALIDCALL;
    const UINT vertexSize = ((fvf & D3DFVF_XYZRHW) ? 16 : 12) + ((fvf & D3DFVF_DIFFUSE) ? 4 : 0) +
                            ((fvf & D3DFVF_TEX1) ? 8 : 0);
    if (stride < vertexSize) return D3DERR_INVALIDCALL;
    noteDrawEvent();
    ++counters.d3dDrawCalls;
    if (!drawingEnabled || primitiveCount == 0) return D3D_OK;
    const PrimitiveClass primitiveClass = (type == D3DPT_LINELIST || type == D3DPT_LINESTRIP) ? ClassLines
                                          : type == D3DPT_POINTLIST                            ? ClassSprites
                                                                                               : ClassTriangles;
    const DrawKey key = currentKey(primitiveClass);
    if (batchOpen && !(key == batchKey)) flush();
    drawLayer = key.targetLayers ? float(texture0->layer) : 0.0f;
    batchKey = key;
    batchOpen = true;
    appendPrimitives(type, primitiveCount, static_cast<const uint8_t*>(vertices), stride);
    return D3D_OK;
}
