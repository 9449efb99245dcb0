// test_text_draw.cpp: what drawing a line of cube-pixel text sends to the device, and how many
// random values it takes.
#include "tests/recording_fixture.h"

#include <cmath>
#include <cstring>
#include <set>
#include <utility>

#include "text/text.h"

namespace {

class TextDrawTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        buildEdgeCube();
    }

    // (x, y) of every world transform, in order.
    std::vector<std::pair<int, int>> worldOrigins() const {
        std::vector<std::pair<int, int>> origins;
        for (const RecordedCall* call : callsOf(CallKind::SetTransform))
            if (call->args[0] == D3DTS_WORLD)
                origins.emplace_back(int(call->matrix._41), int(call->matrix._42));
        return origins;
    }

    // The lit pixels of a line in drawing order: characters left to right, rows
    // bottom up, columns left to right.
    static std::vector<std::pair<int, int>> expectedPixels(const char* text) {
        std::vector<std::pair<int, int>> pixels;
        for (int i = 0; text[i] != '\0'; ++i) {
            const int32_t g = glyphIndex(text[i]);
            if (g < 0) continue;
            for (int row = 0; row < 14; ++row)
                for (int col = 0; col < 8; ++col)
                    if (FontGlyphs[size_t(g) * 112 + size_t(col) * 14 + size_t(row)])
                        pixels.emplace_back(8 * i + col, row);
        }
        return pixels;
    }

    static uint32_t seedAfter(uint32_t seed, uint32_t draws) {
        const uint32_t saved = randomSeed;
        randomSeed = seed;
        advanceRandom(draws);
        const uint32_t after = randomSeed;
        randomSeed = saved;
        return after;
    }
};

TEST_F(TextDrawTest, EdgeCubeIsTwelveUnitEdges) {
    std::set<std::pair<int, int>> edges;
    for (int n = 0; n < 24; n += 2) {
        const ColorVertex& a = edgeCubeLines[n];
        const ColorVertex& b = edgeCubeLines[n + 1];
        EXPECT_EQ(a.color, 0x0FFFFFFFu);
        EXPECT_EQ(b.color, 0x0FFFFFFFu);
        EXPECT_EQ(std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z), 1.0f)
            << "edge " << n / 2 << " is not one unit along one axis";
        const int ka = int(a.x) * 2 + int(a.y) + int(a.z) * 4, kb = int(b.x) * 2 + int(b.y) + int(b.z) * 4;
        EXPECT_EQ(ka, EdgeCubeEdges[n]);
        EXPECT_EQ(kb, EdgeCubeEdges[n + 1]);
        edges.insert({std::min(ka, kb), std::max(ka, kb)});
    }
    EXPECT_EQ(edges.size(), 12u);
    EXPECT_EQ(EdgeCubeEdges[0], 0);
    EXPECT_EQ(EdgeCubeEdges[1], 1);
    EXPECT_EQ(EdgeCubeEdges[23], 4);
}

TEST_F(TextDrawTest, SpaceSkipsEightColumnsAndNoRandomValue) {
    const uint32_t start = randomSeed;
    drawText("a b", 1.0f, 12, 20, -250, 12, 20, 0);
    const auto origins = worldOrigins();
    ASSERT_EQ(origins, expectedPixels("a b"));
    size_t inA = 0, inB = 0;
    for (auto [x, y] : origins) {
        if (x <= 7) ++inA;
        else if (x >= 16 && x <= 23) ++inB;
        else ADD_FAILURE() << "cube at column " << x;
    }
    EXPECT_EQ(inA, expectedPixels("a").size());
    EXPECT_EQ(inB, expectedPixels("b").size());
    EXPECT_EQ(randomSeed, seedAfter(start, uint32_t(origins.size()))) << "one draw per lit pixel";
}

TEST_F(TextDrawTest, EmptyLineStillSetsModeCameraFormatAndTexture) {
    setRenderMode(17);
    device->clearLog();
    drawText("", 1.0f, 60, 20, -120, 60, 20, 0);
    EXPECT_EQ(RenderMode, 0);
    EXPECT_EQ(device->renderState(D3DRS_CULLMODE), DWORD(D3DCULL_NONE));
    D3DXMATRIX view;
    const D3DXVECTOR3 eye = {60, 20, -120}, at = {60, 20, 0}, up = {0, 1, 0};
    MathApi.D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    EXPECT_EQ(std::memcmp(&device->transform(D3DTS_VIEW), &view, sizeof view), 0);
    EXPECT_EQ(device->fvf(), D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(callsOf(CallKind::SetTexture).size(), 1u);
    EXPECT_EQ(callsOf(CallKind::SetTexture)[0]->object, 0);
    EXPECT_EQ(device->count(CallKind::DrawPrimitiveUP), 0u);
    EXPECT_EQ(randomSeed, 0u);
}

TEST_F(TextDrawTest, VisibilityOneDrawsEveryLitPixelAsTwelveWhiteLines) {
    const char* line = "you have experienced Quorbel";
    drawText(line, 1.0f, 120, 0, -250, 120, 0, 0);
    const auto draws = callsOf(CallKind::DrawPrimitiveUP);
    ASSERT_EQ(draws.size(), expectedPixels(line).size());
    for (const RecordedCall* draw : draws) {
        EXPECT_EQ(draw->args[0], DWORD(D3DPT_LINELIST));
        EXPECT_EQ(draw->args[1], 12u);
        EXPECT_EQ(draw->args[2], 16u);
        ASSERT_EQ(draw->vertices.size(), sizeof edgeCubeLines);
        EXPECT_EQ(std::memcmp(draw->vertices.data(), edgeCubeLines, sizeof edgeCubeLines), 0);
    }
    EXPECT_EQ(worldOrigins(), expectedPixels(line)) << "world transform before each cube";
}

TEST_F(TextDrawTest, DropoutFollowsTheGeneratorOnePixelAtATime) {
    const char* line = "Quorbel";
    const size_t lit = expectedPixels(line).size();
    for (float visibility : {0.5f, 0.0f, -1.0f}) {
        device->clearLog();
        const uint32_t start = randomSeed;
        std::vector<bool> expected;
        for (size_t k = 0; k < lit; ++k) expected.push_back(nextRandom() <= visibility);
        randomSeed = start;
        drawText(line, visibility, 60, 20, -120, 60, 20, 0);
        EXPECT_EQ(randomSeed, seedAfter(start, uint32_t(lit))) << "visibility " << visibility;
        // Which pixels were drawn: a draw follows the world transform of its own pixel.
        std::vector<bool> drawn;
        for (const RecordedCall& call : device->calls) {
            if (call.kind == CallKind::SetTransform && call.args[0] == D3DTS_WORLD) drawn.push_back(false);
            if (call.kind == CallKind::DrawPrimitiveUP) drawn.back() = true;
        }
        EXPECT_EQ(drawn, expected) << "visibility " << visibility;
    }
    EXPECT_EQ(device->count(CallKind::DrawPrimitiveUP), 0u) << "below 0 nothing shows";
}

TEST_F(TextDrawTest, PunctuationCodesDrawTheirMarks) {
    drawText("x:", 1.0f, 0, 0, -100, 0, 0, 0);
    std::vector<std::pair<int, int>> stop;
    for (auto [x, y] : worldOrigins())
        if (x >= 8) stop.emplace_back(x, y);
    // The full stop: a 3 x 2 block in columns 3 to 5, rows 3 and 4.
    EXPECT_EQ(stop, (std::vector<std::pair<int, int>>{{11, 3}, {12, 3}, {13, 3}, {11, 4}, {12, 4}, {13, 4}}));
    device->clearLog();
    drawText(";<", 1.0f, 0, 0, -100, 0, 0, 0);
    EXPECT_EQ(worldOrigins(), expectedPixels(";<"));
    EXPECT_GT(worldOrigins().size(), 30u);
}

TEST_F(TextDrawTest, UnsupportedBytesDrawNothing) {
    char line[2] = {0, 0};
    for (int code = 1; code < 256; ++code) {
        if (glyphIndex(char(code)) >= 0) continue;
        line[0] = char(code);
        drawTextLine(line, 1.0f);
    }
    EXPECT_EQ(device->count(CallKind::DrawPrimitiveUP), 0u);
    EXPECT_EQ(randomSeed, 0u);
}

}  // namespace
