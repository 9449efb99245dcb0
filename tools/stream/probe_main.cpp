// probe_main.cpp: quorbel-probe-streams DIR, small frame streams that each isolate one behaviour
// in which two Direct3D 9 implementations may differ, for scripts/wine_check.sh:
//   columns.d3ds      a 64 x 64 texture of black and white columns drawn 1:1 with linear
//                     filtering by a pretransformed quad: where a pixel's texture coordinates
//                     are taken (at Direct3D's pixel centre every pixel is the columns' mean)
//   sprite-in.d3ds    a 32-pixel point sprite whose centre lies inside the back buffer
//   sprite-edge.d3ds  the same sprite with its centre 4 pixels left of the back buffer: Direct3D
//                     draws the 12 columns of its square that reach in
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "tools/stream/frame_stream.h"

namespace {

// Direct3D 9's numbers, spelled out: this file includes no Direct3D header.
constexpr uint32_t fvfXyzrhw = 0x004, fvfDiffuse = 0x040, fvfTex1 = 0x100;
constexpr uint32_t stateZEnable = 7, stateCullMode = 22, stateLighting = 137, statePointSize = 154,
                   statePointSpriteEnable = 156, statePointScaleEnable = 157;
constexpr uint32_t samplerMagFilter = 5, samplerMinFilter = 6, filterLinear = 2;
constexpr uint32_t triangleStrip = 5, pointList = 1, clearTarget = 1;

void add(std::vector<uint8_t>& data, std::initializer_list<float> floats) {
    for (float f : floats) {
        uint8_t bytes[4];
        std::memcpy(bytes, &f, 4);
        data.insert(data.end(), bytes, bytes + 4);
    }
}

uint32_t bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

FrameStream frame(std::vector<StreamCall> draw) {
    FrameStream s;
    s.start = {{StreamOp::SetRenderState, {stateLighting, 0}, {}, {}},
               {StreamOp::SetRenderState, {stateZEnable, 0}, {}, {}},
               {StreamOp::SetRenderState, {stateCullMode, 1}, {}, {}}};
    s.calls = {{StreamOp::BeginScene, {}, {}, {}}, {StreamOp::Clear, {clearTarget, 0xFF000000u, bits(1.0f), 0}, {}, {}}};
    s.calls.insert(s.calls.end(), draw.begin(), draw.end());
    s.calls.push_back({StreamOp::EndScene, {}, {}, {}});
    s.calls.push_back({StreamOp::Present, {}, {}, {}});
    return s;
}

FrameStream columns() {
    std::vector<uint8_t> texels;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) texels.insert(texels.end(), 4, x % 2 ? 255 : 0);
    std::vector<uint8_t> quad;
    for (float corner : {0.0f, 1.0f, 2.0f, 3.0f}) {
        const float x = corner == 2.0f || corner == 3.0f ? 64.0f : 0.0f, y = corner == 1.0f || corner == 3.0f ? 64.0f : 0.0f;
        add(quad, {x, y, 0.0f, 1.0f, x / 64.0f, y / 64.0f});
    }
    FrameStream s = frame({{StreamOp::SetFVF, {fvfXyzrhw | fvfTex1}, {}, {}},
                           {StreamOp::SetTexture, {0, 1}, {}, {}},
                           {StreamOp::SetSamplerState, {0, samplerMagFilter, filterLinear}, {}, {}},
                           {StreamOp::SetSamplerState, {0, samplerMinFilter, filterLinear}, {}, {}},
                           {StreamOp::DrawPrimitiveUP, {triangleStrip, 2, 24}, {}, quad}});
    s.textures.push_back({64, 64, 1, 0, 21, 1, {texels}});
    return s;
}

FrameStream sprite(float x) {
    std::vector<uint8_t> point;
    add(point, {x, 100.0f, 0.0f, 1.0f});
    point.insert(point.end(), 4, 255);  // opaque white
    return frame({{StreamOp::SetFVF, {fvfXyzrhw | fvfDiffuse}, {}, {}},
                  {StreamOp::SetRenderState, {statePointSpriteEnable, 1}, {}, {}},
                  {StreamOp::SetRenderState, {statePointScaleEnable, 0}, {}, {}},
                  {StreamOp::SetRenderState, {statePointSize, bits(32.0f)}, {}, {}},
                  {StreamOp::DrawPrimitiveUP, {pointList, 1, 20}, {}, point}});
}

}  // namespace

int main(int argc, char** argv) {
    const char program[] = "quorbel-probe-streams";
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("Usage: quorbel-probe-streams DIR\n"
                   "  Writes into DIR the frame streams that each isolate one behaviour in which two\n"
                   "  Direct3D 9 implementations may differ: columns.d3ds, sprite-in.d3ds, sprite-edge.d3ds.\n"
                   "  Exit status: 0 once written, 1 when one cannot be, 2 for a command line it does not\n"
                   "  understand.\n",
                   stdout);
        return 0;
    }
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-') refuseCommandLine(program, std::string("unknown option '") + argv[i] + "'");
    if (argc < 2) refuseCommandLine(program, "needs the folder to write the streams into (DIR)");
    if (argc > 2) refuseCommandLine(program, std::string("takes one folder, not also '") + argv[2] + "'");
    const std::pair<const char*, FrameStream> probes[] = {
        {"columns", columns()}, {"sprite-in", sprite(20.0f)}, {"sprite-edge", sprite(-4.0f)}};
    for (const auto& [name, stream] : probes) {
        const std::string path = std::string(argv[1]) + "/" + name + ".d3ds";
        const std::vector<uint8_t> bytes = encodeFrameStream(stream);
        FILE* out = std::fopen(path.c_str(), "wb");
        const bool written = out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        if (out == nullptr || std::fclose(out) != 0 || !written) {
            std::fprintf(stderr, "quorbel-probe-streams: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
