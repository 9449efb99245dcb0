// test_synth_image.cpp: the wave image against the plain second rendering, byte for byte, and
// the facts of the stored song's image (header, silent rows, last written frame).
#include <gtest/gtest.h>

#include <cstring>

#include "synth/synth.h"

namespace synthref {
extern uint8_t image[29106044];
extern uint32_t randState;
void clearImage();
void renderRow(const uint8_t* row, const uint8_t (*instruments)[7]);
}  // namespace synthref

namespace {

const uint8_t* imageBytes() { return reinterpret_cast<const uint8_t*>(&WaveImage); }

// Fresh image, fresh generators on both sides.
class SynthImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        initWaveBuffer();
        songRowIndex = 0;
        noiseRandomState = 1;
        synthref::clearImage();
        std::memcpy(synthref::image, waveHeaderTemplate, 44);
    }

    // Renders one stored row on both sides, from the same generator state.
    void renderBoth(int row) {
        synthref::randState = noiseRandomState;
        songRowIndex = static_cast<uint8_t>(row);
        renderSongStep();
        synthref::renderRow(reinterpret_cast<const uint8_t*>(&songRows[row]), instrumentTable);
        EXPECT_EQ(synthref::randState, noiseRandomState) << "row " << row << " drew a different amount of noise";
    }

    // First differing byte, or -1.
    static int64_t firstDifference() {
        const uint8_t* a = imageBytes();
        for (uint32_t i = 0; i < waveImageBytes; ++i)
            if (a[i] != synthref::image[i]) return i;
        return -1;
    }

    static int32_t lastWrittenFrame() {
        for (int32_t f = waveLastFrame; f >= waveFirstFrame; --f)
            if (waveFrame(f)[0] != 0 || waveFrame(f)[1] != 0) return f;
        return -1;
    }
};

TEST_F(SynthImageTest, HeaderBytesAreTheRiffTemplate) {
    const uint8_t expected[44] = {'R', 'I', 'F', 'F', 0x74, 0x1F, 0xBC, 0x01, 'W', 'A', 'V', 'E', 'f', 'm', 't',
                                  ' ', 16,  0,   0,   0,   1,    0,    2,    0,    0x44, 0xAC, 0, 0, 0x10, 0xB1,
                                  2,   0,   4,   0,   16,  0,    'd',  'a',  't',  'a',  0x50, 0x1F, 0xBC, 0x01};
    EXPECT_EQ(std::memcmp(imageBytes(), expected, 44), 0);
    uint32_t riffSize, dataSize, rate;
    std::memcpy(&riffSize, imageBytes() + 4, 4);
    std::memcpy(&rate, imageBytes() + 24, 4);
    std::memcpy(&dataSize, imageBytes() + 40, 4);
    EXPECT_EQ(riffSize, waveImageBytes - 8);
    EXPECT_EQ(dataSize, waveImageBytes - 44);
    EXPECT_EQ(rate, 44100u);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(waveFrame(11)) - imageBytes(), 44);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(waveFrame(waveLastFrame)) - imageBytes(), 4 * 7276510);
}

TEST_F(SynthImageTest, InitSilencesAnOldImage) {
    waveFrame(1000)[1] = 77;
    WaveImage.header[3] = 0;
    initWaveBuffer();
    EXPECT_EQ(waveFrame(1000)[1], 0);
    EXPECT_EQ(firstDifference(), -1);
}

// The noise rows, the 31-pass echoes, the long modulated pads, the sustained and tremolo
// voices and the high-pass kick: one row of each kind, alone.
TEST_F(SynthImageTest, SingleRowsMatchTheReference) {
    for (int row : {0, 2, 8, 11, 15, 24, 32, 43, 45, 47, 49, 53, 55}) {
        SetUp();
        renderBoth(row);
        EXPECT_EQ(firstDifference(), -1) << "row " << row;
        EXPECT_GT(lastWrittenFrame(), 0) << "row " << row << " should sound";
    }
}

TEST_F(SynthImageTest, EmptyRowsOnlyAdvanceTheIndex) {
    for (int row = 61; row < 64; ++row) {
        songRowIndex = static_cast<uint8_t>(row);
        renderSongStep();
        EXPECT_EQ(songRowIndex, row + 1);
    }
    EXPECT_EQ(noiseRandomState, 1u);
    EXPECT_EQ(lastWrittenFrame(), -1);
    EXPECT_EQ(std::memcmp(imageBytes(), waveHeaderTemplate, 44), 0);
}

TEST_F(SynthImageTest, WholeSongMatchesTheReference) {
    for (int row = 0; row < songRowCount; ++row) {
        ASSERT_EQ(songRowIndex, row);
        renderSongStep();
        synthref::renderRow(reinterpret_cast<const uint8_t*>(&songRows[row]), instrumentTable);
        ASSERT_EQ(synthref::randState, noiseRandomState) << "row " << row;
    }
    EXPECT_EQ(songRowIndex, 64);
    EXPECT_EQ(firstDifference(), -1);
    EXPECT_EQ(std::memcmp(imageBytes(), waveHeaderTemplate, 44), 0);
    EXPECT_EQ(lastWrittenFrame(), 7110617);  // about 161.2 s; the rest of the 165 s is silence
}

}  // namespace
