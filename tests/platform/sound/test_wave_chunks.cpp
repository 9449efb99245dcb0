// test_wave_chunks.cpp: finding the samples the player plays inside a wave image, and
// refusing malformed images without reading past them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/sound/wave_chunks.h"

namespace {

void put32(std::vector<uint8_t>& bytes, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putChunk(std::vector<uint8_t>& bytes, const char* id, uint32_t size, size_t bodyBytes) {
    bytes.insert(bytes.end(), id, id + 4);
    put32(bytes, size);
    for (size_t i = 0; i < bodyBytes; ++i) bytes.push_back(static_cast<uint8_t>(0xA0 + i));
}

std::vector<uint8_t> riffHeader() {
    std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F'};
    put32(bytes, 0);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E'});
    return bytes;
}

TEST(WaveChunksTest, FindsTheDataChunkAfterOthersOddSizedOnesPadded) {
    std::vector<uint8_t> image = riffHeader();
    putChunk(image, "fmt ", 16, 16);
    putChunk(image, "LIST", 3, 4);  // 3 bytes and one pad byte
    putChunk(image, "data", 8, 8);
    const WaveData data = findWaveData(image.data(), static_cast<uint32_t>(image.size()));
    ASSERT_NE(data.data, nullptr);
    EXPECT_EQ(data.data, image.data() + image.size() - 8);
    EXPECT_EQ(data.bytes, 8u);
}

TEST(WaveChunksTest, TheShowsOwnHeaderLayoutPlaysFromByte44) {
    std::vector<uint8_t> image = riffHeader();
    putChunk(image, "fmt ", 16, 16);
    putChunk(image, "data", 400, 400);
    ASSERT_EQ(image.size(), 444u);
    const WaveData data = findWaveData(image.data(), static_cast<uint32_t>(image.size()));
    EXPECT_EQ(data.data, image.data() + 44);
    EXPECT_EQ(data.bytes, 400u);
}

TEST(WaveChunksTest, ADataSizePastTheImageIsCutToWhatIsThere) {
    std::vector<uint8_t> image = riffHeader();
    putChunk(image, "data", 0xFFFFFFFFu, 10);
    const WaveData data = findWaveData(image.data(), static_cast<uint32_t>(image.size()));
    EXPECT_EQ(data.bytes, 10u);
}

TEST(WaveChunksTest, MalformedImagesGiveNoData) {
    std::vector<uint8_t> notRiff = riffHeader();
    notRiff[0] = 'X';
    putChunk(notRiff, "data", 4, 4);
    EXPECT_EQ(findWaveData(notRiff.data(), static_cast<uint32_t>(notRiff.size())).data, nullptr);

    std::vector<uint8_t> noData = riffHeader();
    putChunk(noData, "fmt ", 16, 16);
    EXPECT_EQ(findWaveData(noData.data(), static_cast<uint32_t>(noData.size())).data, nullptr);

    // A chunk whose size jumps far past the end must end the walk, not wrap around.
    std::vector<uint8_t> huge = riffHeader();
    putChunk(huge, "junk", 0xFFFFFFF0u, 4);
    putChunk(huge, "data", 4, 4);
    EXPECT_EQ(findWaveData(huge.data(), static_cast<uint32_t>(huge.size())).data, nullptr);

    std::vector<uint8_t> cut = riffHeader();
    putChunk(cut, "data", 4, 4);
    EXPECT_EQ(findWaveData(cut.data(), 10).data, nullptr) << "shorter than its own header";
    EXPECT_EQ(findWaveData(cut.data(), 19).data, nullptr) << "chunk header cut off";
    EXPECT_EQ(findWaveData(nullptr, 100).data, nullptr);
}

}  // namespace
