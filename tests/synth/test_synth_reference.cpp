// test_synth_reference.cpp: a second, deliberately plain rendering of the soundtrack, step by step
// as the design describes it (a sine per sample and stage, direct window sums, byte-level frame
// writes), against which the shipped synthesizer is compared byte for byte. The benchmark
// includes this file too.
#include <cmath>
#include <cstdint>
#include <cstring>

namespace synthref {

constexpr uint32_t imageBytes = 29106044u;
constexpr int32_t lastFrame = 7276510;
constexpr int32_t bufferLength = 264600;

alignas(4) uint8_t image[imageBytes];
uint32_t randState = 1;

namespace {

int16_t work[bufferLength];
int16_t averages[bufferLength];

int32_t rand15() {
    randState = randState * 214013u + 2531011u;
    return static_cast<int32_t>((randState >> 16) & 0x7FFF);
}

int64_t roundEven(double x) { return static_cast<int64_t>(std::nearbyint(x)); }

struct Voice {
    int sustain, source, attack, release, detune, period, velocity, length, pos;
    int drive, mix, lpRuns, lpWidth, hpRuns, hpWidth, echoCount, echoWidth, volume, pan;
    int selShaper, selLow, selHigh, selEcho, selTremolo;
    int selector;
};
Voice voice;

int16_t modulator(int32_t i) {
    static const int rate[4] = {0, 16, 160, 32};
    static const int depth[4] = {0, 5, 3, 6};
    static const int sync[4] = {0, 1, 0, 0};
    const int s = voice.selector;
    const uint32_t t = static_cast<uint32_t>(i) + static_cast<uint32_t>(sync[s]) * static_cast<uint32_t>(voice.pos);
    const double value = std::sin(static_cast<double>(rate[s] + 16) * static_cast<double>(t) * 1e-6) * depth[s] * 256;
    return static_cast<int16_t>(roundEven(value));
}

void tone() {
    const int divisor = (voice.period * (voice.detune + 240) * 16) >> 12;
    int32_t phase = 0;
    for (int i = 0; i < voice.length; ++i) {
        if (divisor == 0) {
            work[i] = 0;
            continue;
        }
        phase = static_cast<int32_t>(static_cast<uint32_t>(phase) + static_cast<uint32_t>(65536 / divisor));
        int64_t v = phase;
        if (i < voice.attack) v = static_cast<int64_t>(static_cast<int16_t>(phase)) * i / voice.attack;
        if (i > voice.length - voice.release)
            v = static_cast<int64_t>(static_cast<int16_t>(v)) * (voice.length - i) / voice.release;
        work[i] = static_cast<int16_t>(static_cast<int16_t>(v) >> 1);
    }
}

void noise() {
    for (int i = 0; i < voice.length; ++i) {
        const int64_t v = (rand15() & 0x5FFF) - 0x3000;
        int64_t out = v;
        if (i < voice.attack) out = v * i / voice.attack;
        if (i > voice.length - voice.release) out = v * (voice.length - i) / voice.release;
        work[i] = static_cast<int16_t>(out);
    }
}

void smooth(int w) {
    if (w == 0) return;
    const int width = w < 0 ? -w : w;
    for (int i = 0; i < voice.length; ++i) {
        const int m = modulator(i);
        const int h = ((m + 2048) * width) >> 11;
        if (h <= 0) {
            averages[i] = 0;
            continue;
        }
        int64_t sum = 0;
        for (int j = i - h; j < i + h; ++j)
            if (j >= 0 && j < voice.length) sum += work[j];
        averages[i] = static_cast<int16_t>(sum / (2 * h));
    }
    for (int i = 0; i < voice.length; ++i) {
        if (w > 0)
            work[i] = averages[i];
        else
            work[i] = static_cast<int16_t>(work[i] - (averages[i] >> 1));
    }
}

void shaper() {
    const int level = (4 - voice.drive) * 4096;
    const float k = static_cast<float>(static_cast<double>(voice.mix) * static_cast<double>(0.06666667f));
    for (int i = 0; i < voice.length; ++i) {
        const int m = modulator(i);
        const double x = static_cast<double>(k) * static_cast<double>(m / 256 + 1);
        const int s = work[i];
        const int t = s > level ? level : (s < -level ? -level : s);
        work[i] = static_cast<int16_t>(roundEven((1 - x) * s + x * t));
    }
}

void addSample(int32_t byteOffset, int32_t amount) {
    int32_t old = static_cast<int16_t>(image[byteOffset] | (image[byteOffset + 1] << 8));
    int32_t sum = old + amount;
    if (sum > 32767) sum = 32767;
    if (sum < -32767) sum = -32767;
    image[byteOffset] = static_cast<uint8_t>(sum & 0xFF);
    image[byteOffset + 1] = static_cast<uint8_t>((sum >> 8) & 0xFF);
}

void mix() {
    const int saved = voice.selector;
    voice.selector = voice.selTremolo;
    const int left = voice.pan < 3 ? 4 : 7 - voice.pan;
    const int right = voice.pan <= 4 ? voice.pan : 4;
    for (int i = 0; i < voice.length; ++i) {
        const int32_t f = voice.pos + i;
        if (f > lastFrame) break;
        const int m = modulator(i);
        const int e = static_cast<int16_t>(((m / 2) + 1024) * work[i] / 2048);
        addSample(4 * f, (voice.volume + 1) * voice.velocity * e * left / 48);
        addSample(4 * f + 2, (voice.volume + 1) * voice.velocity * e * right / 48);
    }
    voice.selector = saved;
}

void echo() {
    int gap = 0;
    for (int k = 0; k < voice.echoCount; ++k) {
        mix();
        smooth(voice.echoWidth);
        gap += 24;
        voice.pos += gap;
        for (int i = 0; i < voice.length; ++i)
            work[i] = static_cast<int16_t>(roundEven(static_cast<double>(work[i]) * static_cast<double>(0.95f)));
    }
}

void note(const uint8_t* b) {
    voice.attack = 344 << ((b[0] & 7) + 1);
    voice.release = 344 << (((b[0] >> 3) & 7) + 1);
    voice.sustain = (b[0] >> 6) & 1;
    voice.source = b[0] >> 7;
    voice.detune = b[1] & 15;
    voice.drive = b[2] & 3;
    voice.mix = (b[2] >> 2) & 15;
    voice.selShaper = b[2] >> 6;
    voice.lpRuns = (b[3] & 3) + 1;
    voice.lpWidth = (b[3] >> 2) & 15;
    voice.selLow = b[3] >> 6;
    voice.hpRuns = (b[4] & 3) + 1;
    voice.hpWidth = (b[4] >> 2) & 15;
    voice.selHigh = b[4] >> 6;
    voice.echoCount = ((10 << (b[5] & 7)) - 9) & 0xFF;
    voice.echoWidth = (b[5] >> 3) & 7;
    voice.selEcho = b[5] >> 6;
    voice.volume = b[6] & 7;
    voice.pan = (b[6] >> 3) & 7;
    voice.selTremolo = b[6] >> 6;
    voice.length = voice.sustain ? voice.length + voice.release : voice.attack + voice.release;
    if (voice.length > bufferLength) voice.length = bufferLength;
    voice.selector = b[1] >> 6;
    if (voice.source == 0)
        tone();
    else
        noise();
    voice.selector = voice.selLow;
    for (int p = 0; p < voice.lpRuns; ++p) smooth(voice.lpWidth);
    voice.selector = voice.selHigh;
    for (int p = 0; p < voice.hpRuns; ++p) smooth(-voice.hpWidth);
    voice.selector = voice.selShaper;
    shaper();
    voice.selector = voice.selEcho;
    echo();
}

}  // namespace

// Zero header-less image: only the sample area matters to the rows; the header is the
// caller's to write.
void clearImage() {
    std::memset(image, 0, sizeof image);
    randState = 1;
}

// Renders one 132-byte row with the 11 x 7 instrument bytes.
void renderRow(const uint8_t* row, const uint8_t (*instruments)[7]) {
    int32_t pos = row[1] * 21168000 / 125 + 22;
    for (int r = 0; r < row[2]; ++r) {
        int8_t runningNote = 0;
        for (int j = 0; j < row[3]; ++j) {
            const int32_t start = pos;
            const int length = (row[68 + j] & 63) * 5292;
            voice.velocity = row[68 + j] >> 6;
            runningNote = static_cast<int8_t>(static_cast<uint8_t>(runningNote) + row[4 + j]);
            voice.period = static_cast<uint16_t>(
                roundEven(1348.623821745617 / std::pow(static_cast<double>(static_cast<float>(std::pow(2.0, 1.0 / 12))),
                                                        runningNote)));
            voice.length = length;
            voice.pos = pos;
            if (voice.velocity != 0) note(instruments[row[0]]);
            pos = start + length;
        }
    }
}

}  // namespace synthref
