// test_overlay_noise.cpp: the noise pattern, its scaling and the texture drawNoise uploads.
#include "tests/recording_fixture.h"

#include "overlays/overlays.h"

namespace {

class NoiseTest : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        noiseTexture = nullptr;
    }

    // Level 0 of the noise texture as the recording device holds it.
    const std::vector<uint8_t>& noiseBits() const {
        return device->textureById(static_cast<RecordingTexture*>(noiseTexture)->id)->levelBits[0];
    }
};

TEST_F(NoiseTest, TextureIsAFullChainOfManagedA8R8G8B8) {
    createNoiseTexture();
    ASSERT_NE(noiseTexture, nullptr);
    const RecordedCall* create = callsOf(CallKind::CreateTexture).at(0);
    EXPECT_EQ(std::vector<uint32_t>(create->args, create->args + 6),
              (std::vector<uint32_t>{256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED}));
}

TEST_F(NoiseTest, ResetGivesOnly0Or255FromTheNext256Draws) {
    randomSeed = 12345;
    std::vector<uint8_t> expected;
    for (int i = 0; i < 256; ++i) expected.push_back(nextRandom() > 0.5 ? 255 : 0);
    const uint32_t after = randomSeed;
    randomSeed = 12345;
    resetNoise();
    EXPECT_EQ(randomSeed, after) << "exactly 256 draws";
    EXPECT_EQ(std::vector<uint8_t>(noiseBase, noiseBase + 256), expected);
    EXPECT_EQ(std::vector<uint8_t>(noiseLevels, noiseLevels + 256), expected);

    // A draw of exactly 0.5 (state 0x40000000) rounds to even, to 0.
    uint32_t inverse = 1664525u;
    for (int i = 0; i < 5; ++i) inverse *= 2u - 1664525u * inverse;
    randomSeed = (0x40000000u - 1013904223u) * inverse;
    resetNoise();
    EXPECT_EQ(noiseBase[0], 0);
}

TEST_F(NoiseTest, ScaleZeroHidesScaleOneRestores) {
    resetNoise();
    const std::vector<uint8_t> base(noiseBase, noiseBase + 256);
    scaleNoise(0.0f);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(noiseLevels[i], 0);
    scaleNoise(0.5f);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(noiseLevels[i], base[i] ? 128 : 0) << "127.5 rounds to even";
    scaleNoise(1.0f);
    EXPECT_EQ(std::vector<uint8_t>(noiseLevels, noiseLevels + 256), base);
    EXPECT_EQ(std::vector<uint8_t>(noiseBase, noiseBase + 256), base) << "the base is kept";
}

TEST_F(NoiseTest, ModeOneGivesVerticalStripesModeZeroHorizontalLines) {
    createNoiseTexture();
    for (int i = 0; i < 256; ++i) noiseLevels[i] = uint8_t(i * 7 + 3);
    for (uint32_t mode : {1u, 0u}) {
        device->clearLog();
        drawNoise(mode);
        const std::vector<uint8_t>& bits = noiseBits();
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                const uint8_t v = mode ? noiseLevels[x] : noiseLevels[y];
                for (int b = 0; b < 4; ++b)
                    ASSERT_EQ(bits[(size_t(y) * 256 + x) * 4 + b], v) << "mode " << mode << " at " << x << ", " << y;
            }
        EXPECT_EQ(callsOf(CallKind::LockRect).at(0)->args[1], D3DLOCK_NOSYSLOCK);
        EXPECT_EQ(device->count(CallKind::UnlockRect), 1u);
        const RecordedCall* draw = callsOf(CallKind::DrawPrimitiveUP).at(0);
        EXPECT_EQ(draw->args[0], DWORD(D3DPT_TRIANGLESTRIP));
        EXPECT_EQ(draw->args[1], 2u);
        EXPECT_EQ(draw->args[2], 24u);
        ScreenTexVertex quad[4];
        std::memcpy(quad, draw->vertices.data(), sizeof quad);
        const float expected[4][4] = {{0, 480, 0, 6}, {0, 0, 0, 0}, {640, 480, 6, 6}, {640, 0, 6, 0}};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(quad[k].x, expected[k][0]);
            EXPECT_EQ(quad[k].y, expected[k][1]);
            EXPECT_EQ(quad[k].rhw, 1.0f);
            EXPECT_EQ(quad[k].u, expected[k][2]);
            EXPECT_EQ(quad[k].v, expected[k][3]);
        }
        EXPECT_EQ(device->texture(), noiseTexture);
        EXPECT_EQ(device->fvf(), D3DFVF_XYZRHW | D3DFVF_TEX1);
        EXPECT_EQ(RenderMode, 4);
    }
}

TEST_F(NoiseTest, WithoutTheTextureNothingIsDrawn) {
    drawNoise(1);
    EXPECT_EQ(device->count(CallKind::DrawPrimitiveUP), 0u) << "an untextured quad would flash white";
}

}  // namespace
