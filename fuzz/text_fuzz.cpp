// text_fuzz.cpp: libFuzzer entry that draws a line of cube-pixel text into the recording device
// and checks what the device saw against a second reading of the font.
//
// Input: one byte of mode (bit 0: through drawTextLine without a camera; bit 1: a null line),
// seven floats taken bit for bit (visibility, eye x y z, target x y z: NaN and infinities
// included), then the line's bytes up to the first 0 byte or the end of the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "core/frame_state.h"
#include "platform/recording/recording_device.h"
#include "text/text.h"

namespace {

constexpr size_t floatBytes = 7 * sizeof(float);
constexpr size_t maxLineBytes = 1024;  // far past any line of the show; bounds the device's log

// The codes the font carries, read from its layout rather than from glyphIndex.
int32_t expectedGlyph(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return 26 + (c - 'a');
    if (c >= '0' && c <= '<') return 52 + (c - '0');
    return -1;
}

void check(bool condition) {
    if (!condition) std::abort();
}

bool ready = false;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!ready) {
        loadMathApi();
        buildEdgeCube();
        ready = true;
    }
    const uint8_t mode = size > 0 ? data[0] : 0;
    float f[7] = {};
    if (size > 1) std::memcpy(f, data + 1, std::min(size - 1, floatBytes));
    const size_t textStart = 1 + floatBytes;
    std::string line;
    for (size_t i = textStart; i < size && line.size() < maxLineBytes && data[i] != 0; ++i)
        line.push_back(static_cast<char>(data[i]));
    const bool nullLine = (mode & 2) != 0;
    const float visibility = f[0];

    RecordingDevice device;
    d3dDevice = &device;
    RenderMode = 0;
    randomSeed = static_cast<uint32_t>(size) * 2654435761u;
    const uint32_t seedBefore = randomSeed;
    const char* text = nullLine ? nullptr : line.c_str();
    if (mode & 1)
        drawTextLine(text, visibility);
    else
        drawText(text, visibility, f[1], f[2], f[3], f[4], f[5], f[6]);
    const uint32_t seedAfter = randomSeed;

    // Every lit pixel, in drawing order, takes one world transform and one random value; the
    // cube is drawn when that value is not above the visibility.
    uint32_t lit = 0, drawn = 0;
    size_t call = 0;
    const auto nextWorld = [&]() -> const RecordedCall* {
        for (; call < device.calls.size(); ++call)
            if (device.calls[call].kind == CallKind::SetTransform && device.calls[call].args[0] == D3DTS_WORLD)
                return &device.calls[call++];
        return nullptr;
    };
    randomSeed = seedBefore;
    const std::string shown = nullLine ? std::string() : line;
    for (size_t i = 0; i < shown.size(); ++i) {
        const int32_t glyph = expectedGlyph(static_cast<uint8_t>(shown[i]));
        check(glyphIndex(shown[i]) == glyph);
        if (glyph < 0) continue;
        for (int32_t row = 0; row < fontGlyphRows; ++row)
            for (int32_t col = 0; col < fontGlyphColumns; ++col) {
                if (FontGlyphs[static_cast<size_t>(glyph) * fontGlyphBytes + col * fontGlyphRows + row] == 0)
                    continue;
                ++lit;
                const RecordedCall* world = nextWorld();
                check(world != nullptr);
                check(world->matrix._41 == static_cast<float>(8 * static_cast<int32_t>(i) + col));
                check(world->matrix._42 == static_cast<float>(row));
                const bool shows = nextRandom() <= visibility;
                // The call after the transform is the cube's draw exactly when it shows.
                const bool drew = call < device.calls.size() && device.calls[call].kind == CallKind::DrawPrimitiveUP;
                check(drew == shows);
                if (drew) {
                    ++drawn;
                    check(device.calls[call].args[1] == 12);
                    check(std::memcmp(device.calls[call].vertices.data(), edgeCubeLines, sizeof edgeCubeLines) == 0);
                }
            }
    }
    check(randomSeed == seedAfter);
    check(nextWorld() == nullptr);
    check(device.count(CallKind::DrawPrimitiveUP) == drawn);
    check(drawn <= lit);
    if (!(visibility >= 0.0f)) check(drawn == 0);  // negative and NaN hide every cube
    if (visibility >= 1.0f) check(drawn == lit);
    // The generator moved by exactly one step per lit pixel.
    randomSeed = seedBefore;
    advanceRandom(lit);
    check(randomSeed == seedAfter);
    check(device.fvf() == (D3DFVF_XYZ | D3DFVF_DIFFUSE));
    d3dDevice = nullptr;
    return 0;
}
