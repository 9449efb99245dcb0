// test_synth_song.cpp: the song and instrument tables against a second reading of their
// listings, the sequencer's timing and pitch rules, and rows and instruments no table should
// hold (which must stay inside the image).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "synth/synth.h"

namespace {

// "FF 55 00x8" -> bytes, with x standing for the listing's multiplication sign.
std::vector<int> expand(const std::string& text) {
    std::vector<int> out;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        const size_t times = token.find('x');
        const int value = std::stoi(token.substr(0, times), nullptr, 16);
        const int count = times == std::string::npos ? 1 : std::stoi(token.substr(times + 1));
        out.insert(out.end(), count, value);
    }
    return out;
}

struct Listing {
    std::vector<int> rows;
    const char* deltas;
    const char* steps;
};

const Listing listings[] = {
    {{0, 1}, "05", "C4"},
    {{2, 4, 5}, "FF 55", "04 C4"},
    {{3}, "05 00 00 00", "C4x4"},
    {{6, 7}, "FF 55 00x8", "10 C4 C4 C1 C2 C1x5"},
    {{8}, "30 00x26", "83 83 84 82x4 C1 83 84 82 82 C2 83 83 C1 83 83 81 82 82 C1 83 84 82 82 C2"},
    {{9}, "30 00 00 00", "41 41 C1 41"},
    {{10}, "24 00x15", "41 41 C1 41 41 41 C1 41 41 41 C1 41 41 41 C1 41"},
    {{11, 12, 13}, "FF 0B 00 00 03 FD 00 00 01", "02 C4x7 C2"},
    {{14}, "0A 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 0C 0C F4 F4 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 00 0C F4", "C1x32"},
    {{15, 16, 17}, "0A 00 0C F4 0C 00 F4 0C F4 00 0C F4 F7 0C 0C F4 FD 00 0C F4 0C 00 F4 0C F4 00 0C F4 01 00 0C F4", "C1x32"},
    {{18, 19, 20, 21, 30},
     "0A 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 0C 0C F4 F4 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 00 0C F4 "
     "FE 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 0C 0C F4 F4 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 00 0C F4",
     "C1x64"},
    {{22, 23, 25, 31},
     "06 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 0C 0C F4 F4 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 00 0C F4 "
     "09 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 0C 0C F4 F4 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 00 0C E8",
     "C1x64"},
    {{24},
     "06 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 0C 0C F4 F4 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 00 0C F4 "
     "09 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 0C 0C F4 F4 00 0C F4 0C 00 F4 0C F4 00 0C F4 00 00 0C E8",
     "01 C1x63"},
    {{26, 27}, "FF 0B 00x7 FE 00x7", "02 C4x15 C2"},
    {{28, 29}, "FF 07 00x7 09 00x6 F4", "02 C4x15 C2"},
    {{32}, "16 04 03 05 F4 05 02 05", "C1 C1 C1 DD C1 C1 C1 DD"},
    {{33, 35, 37}, "22 03 04 05 F2 05 04 03", "C1 C1 C1 DD C1 C1 C1 DD"},
    {{34, 36, 38}, "1E 04 03 05 F1 03 04 05", "C1 C1 C1 DD C1 C1 C1 DD"},
    {{39, 41}, "22 03 04 05 F2 05 04 03", "81 81 81 9D 81 81 81 9D"},
    {{40, 42}, "1E 04 03 05 F1 03 04 05", "81 81 81 9D 81 81 81 9D"},
    {{43, 44},
     "22 00 0C E8 0C 00 01 FF 03 F4 F4 0A 0C F3 0C 0C F7 F4 0C FD F4 18 EB F4 16 F4 0B 00 F4 18 F4 00 "
     "01 FF 03 F4 F4 0A F4 0B 18 00 EB 0C 00 FD F4 00 03 F4 22 DC",
     "C1 C1 C2 C1 C2 C1 C2 C1x8 C2 C1 C2 C1 C2 C1x8 C2 C1 C2 C1 C2 C1x8 C2 C1 C2 C1 C2 C1x6"},
    {{45, 46},
     "FF 23 00 18 DC 24 E8 01 FF 03 F4 F4 0A 0C F3 24 F4 03 E8 0C FD F4 18 EB 18 F2 F4 0B 00 F4 18 0C "
     "E8 01 FF 03 F4 F4 0A F4 0B 18 00 EB 18 F4 FD F4 00 03",
     "03 81 81 82 81 82 81 82 81x8 82 81 82 81 82 81x8 82 81 82 81 82 81x8 82 81 82 81 82 81 81 81"},
    {{47}, "22 07 03", "D0 D0 00"},
    {{48, 49, 50}, "22 07 03", "D0 D0 E0"},
    {{51, 52, 53, 54}, "29 FC 02 FD 01", "C8 D4 C4 D8 C8"},
    {{55}, "18", "C1"},
    {{56, 57, 58, 59, 60}, "18", "C4"},
};

// instrument/start bar/repeats/steps of rows 0-60, as the arrangement lists them.
const char arrangement[] =
    "4/8/33/1 4/40/1/1 2/8/16/2 4/16/48/4 2/20/48/2 2/36/16/2 2/19/1/10 2/35/1/10 5/4/2/27 5/8/32/4 "
    "5/16/48/16 3/36/4/9 3/8/4/9 3/20/4/9 3/4/4/32 6/8/4/32 6/20/4/32 6/36/4/32 3/12/1/64 3/16/1/64 "
    "6/24/1/64 6/28/1/64 6/26/1/64 3/14/1/64 3/18/1/64 6/30/1/64 3/24/1/17 3/28/1/17 3/26/1/17 "
    "3/30/1/17 3/32/1/64 3/34/1/64 0/0/4/8 0/12/1/8 0/14/1/8 0/16/1/8 0/18/1/8 0/32/1/8 0/34/1/8 "
    "0/24/1/8 0/26/1/8 0/28/1/8 0/30/1/8 1/10/7/52 1/32/5/52 9/10/7/50 9/32/5/50 7/24/1/3 7/28/1/3 "
    "10/24/1/3 10/28/1/3 7/26/1/5 7/30/1/5 10/26/1/5 10/30/1/5 8/12/1/1 8/16/1/1 8/24/1/1 8/28/1/1 "
    "8/32/1/1 8/40/1/1";

TEST(SynthSongTables, RowsMatchTheArrangementAndListings) {
    std::istringstream in(arrangement);
    for (int row = 0; row < 61; ++row) {
        int instrument, bar, repeats, steps;
        char slash;
        ASSERT_TRUE(in >> instrument >> slash >> bar >> slash >> repeats >> slash >> steps);
        EXPECT_EQ(songRows[row].instrument, instrument) << row;
        EXPECT_EQ(songRows[row].startBar, bar) << row;
        EXPECT_EQ(songRows[row].repeats, repeats) << row;
        EXPECT_EQ(songRows[row].steps, steps) << row;
    }
    int listed = 0;
    for (const Listing& listing : listings) {
        const std::vector<int> deltas = expand(listing.deltas), steps = expand(listing.steps);
        for (int row : listing.rows) {
            ++listed;
            ASSERT_EQ(deltas.size(), songRows[row].steps) << row;
            ASSERT_EQ(steps.size(), songRows[row].steps) << row;
            for (size_t j = 0; j < deltas.size(); ++j) {
                EXPECT_EQ(songRows[row].noteDeltas[j], deltas[j]) << row << " " << j;
                EXPECT_EQ(songRows[row].stepBytes[j], steps[j]) << row << " " << j;
            }
        }
    }
    EXPECT_EQ(listed, 61);
    const uint8_t* tail = reinterpret_cast<const uint8_t*>(&songRows[61]);
    for (int i = 0; i < 3 * 132; ++i) ASSERT_EQ(tail[i], 0) << i;
}

// Walks every stored row as the sequencer does: notes and lengths of the sounding steps.
TEST(SynthSongTables, StoredNotesStayInTheirRanges) {
    int32_t longest = 0;
    for (int row = 0; row < 61; ++row) {
        const SongRow& r = songRows[row];
        const uint8_t* b = instrumentTable[r.instrument];
        const int32_t attack = 344 << ((b[0] & 7) + 1), release = 344 << (((b[0] >> 3) & 7) + 1);
        int8_t note = 0;
        for (int j = 0; j < r.steps; ++j) {
            note = static_cast<int8_t>(note + static_cast<int8_t>(r.noteDeltas[j]));
            if ((r.stepBytes[j] >> 6) == 0) continue;
            EXPECT_GE(note, 1) << row;
            EXPECT_LE(note, 84) << row;
            const int32_t length = (b[0] & 0x40) ? (r.stepBytes[j] & 63) * 5292 + release : attack + release;
            longest = std::max(longest, length);
        }
    }
    EXPECT_EQ(longest, 191360);
}

TEST(SynthSongTables, InstrumentsUnpackToTheirListedFields) {
    // source, sustain, attack, release, detune, drive, mix, shaper mod, low-pass runs, width, mod,
    // high-pass runs, width, mod, echo count, width, mod, volume, pan, tremolo mod.
    const int fields[11][20] = {
        {0, 0, 88064, 88064, 0, 1, 5, 2, 1, 15, 1, 1, 0, 0, 1, 0, 0, 1, 4, 0},
        {0, 0, 688, 2752, 0, 1, 5, 1, 1, 9, 1, 1, 0, 0, 1, 0, 0, 2, 3, 0},
        {1, 0, 688, 5504, 14, 0, 0, 0, 1, 3, 0, 1, 7, 0, 31, 1, 0, 2, 4, 0},
        {0, 0, 688, 5504, 0, 3, 5, 0, 3, 15, 1, 1, 0, 0, 1, 0, 0, 4, 3, 0},
        {0, 0, 688, 688, 8, 0, 0, 0, 4, 15, 0, 1, 0, 0, 31, 7, 0, 5, 3, 0},
        {1, 0, 688, 1376, 8, 0, 0, 0, 1, 0, 0, 3, 2, 0, 1, 0, 0, 4, 3, 0},
        {0, 0, 688, 5504, 0, 3, 15, 2, 3, 8, 1, 1, 6, 2, 1, 0, 0, 7, 4, 0},
        {0, 1, 5504, 22016, 0, 3, 5, 2, 1, 15, 1, 1, 0, 0, 1, 0, 0, 1, 3, 0},
        {1, 0, 688, 88064, 8, 0, 0, 0, 1, 1, 0, 2, 5, 3, 1, 0, 0, 2, 5, 0},
        {0, 0, 688, 2752, 0, 1, 5, 1, 1, 9, 1, 1, 0, 0, 1, 0, 0, 1, 5, 0},
        {0, 1, 5504, 22016, 2, 3, 5, 2, 1, 15, 1, 1, 0, 0, 1, 0, 0, 1, 4, 3},
    };
    for (uint8_t i = 0; i < 11; ++i) {
        initWaveBuffer();
        voiceState.velocity = 0;  // silent: only the unpacking is looked at
        voiceState.noteLength = 0;
        voiceState.writePos = 1000;
        renderNote(i);
        const VoiceState& v = voiceState;
        const int got[20] = {v.sourceKind,       v.sustain,           v.attackLength,      v.releaseLength,
                             v.detune,           v.shaperDrive,       v.shaperMix,         v.shaperModulator,
                             v.lowPassPasses + 1, v.lowPassWidth,      v.lowPassModulator,  v.highPassPasses + 1,
                             v.highPassWidth,    v.highPassModulator, v.echoCount,         v.echoWidth,
                             v.echoModulator,    v.volume,            v.pan,               v.tremoloModulator};
        for (int f = 0; f < 20; ++f) EXPECT_EQ(got[f], fields[i][f]) << "instrument " << int(i) << " field " << f;
        EXPECT_EQ(v.sourceModulator, 0);
    }
    const uint8_t echoes[8] = {1, 11, 31, 71, 151, 55, 119, 247};
    for (uint8_t e = 0; e < 8; ++e) {
        const InstrumentBytes probe = {0, 0, 0, 0, 0, e, 0};
        voiceState.writePos = 1000;
        renderInstrumentNote(probe);
        EXPECT_EQ(voiceState.echoCount, echoes[e]);
    }
}

// ---- sequencer ----

class SynthSequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        initWaveBuffer();
        noiseRandomState = 1;
        songRowIndex = 0;
    }
    static SongRow row(uint8_t instrument, uint8_t bar, uint8_t repeats, std::vector<uint8_t> deltas,
                       std::vector<uint8_t> steps) {
        SongRow r{};
        r.instrument = instrument;
        r.startBar = bar;
        r.repeats = repeats;
        r.steps = static_cast<uint8_t>(steps.size());
        std::copy(deltas.begin(), deltas.end(), r.noteDeltas);
        std::copy(steps.begin(), steps.end(), r.stepBytes);
        return r;
    }
    static std::vector<int16_t> samples() {
        return std::vector<int16_t>(WaveImage.samples, WaveImage.samples + 2 * waveFrameCount);
    }
    static int32_t firstWrittenFrame() {
        for (int32_t f = waveFirstFrame; f <= waveLastFrame; ++f)
            if (waveFrame(f)[0] != 0 || waveFrame(f)[1] != 0) return f;
        return -1;
    }
    static bool headerIsTemplate() { return std::memcmp(WaveImage.header, waveHeaderTemplate, 44) == 0; }
};

// Instrument 4 is an unmodulated tone: its notes do not depend on where they are placed.
constexpr uint8_t plainTone = 4;

TEST_F(SynthSequencerTest, PeriodsFollowTheScale) {
    EXPECT_EQ(notePeriod(0), 1349);
    EXPECT_EQ(notePeriod(12), 674);
    EXPECT_EQ(notePeriod(-67), 64661);
    // The single-precision twelfth root of two is 4.6e-8 sharp of the true one, which adds up
    // to a few millionths over 67 semitones.
    for (int note = -67; note <= 117; ++note) {
        const double expected = 44100 / 32.7 / std::pow(2.0, note / 12.0);
        EXPECT_NEAR(notePeriod(static_cast<int8_t>(note)), expected, 0.5 + 4e-6 * expected) << note;
    }
    EXPECT_EQ(notePeriod(117), 2);
    EXPECT_LE(notePeriod(127), 1);
}

TEST_F(SynthSequencerTest, RowsStartAtTheirBarPlusTwentyTwoFrames) {
    const InstrumentBytes noise[instrumentCount] = {{0x80, 0, 0, 0, 0, 0, 0x07}};  // fast noise, loud, left
    renderSongRow(row(0, 0, 1, {0}, {0xC1}), noise);
    EXPECT_EQ(firstWrittenFrame(), 23);  // sample 0 of every note is 0 (the attack starts there)
    EXPECT_EQ(waveFrame(22)[0], 0);
    initWaveBuffer();
    renderSongRow(row(0, 1, 1, {0}, {0xC1}), noise);
    EXPECT_EQ(firstWrittenFrame(), 169344 + 23);
    EXPECT_TRUE(headerIsTemplate());
}

TEST_F(SynthSequencerTest, EmptyRowsAndRestsWriteNothing) {
    renderSongRow(row(plainTone, 0, 0, {5}, {0xC4}), instrumentTable);
    renderSongRow(row(plainTone, 0, 3, {}, {}), instrumentTable);
    renderSongRow(row(plainTone, 0, 2, {5, 9}, {0x3F, 0x04}), instrumentTable);
    EXPECT_EQ(firstWrittenFrame(), -1);

    // A rest takes its time: the note after it sounds exactly 4 units later.
    renderSongRow(row(plainTone, 0, 1, {0, 5}, {0x04, 0xC4}), instrumentTable);
    const std::vector<int16_t> rested = samples();
    initWaveBuffer();
    renderSongRow(row(plainTone, 0, 1, {5}, {0xC4}), instrumentTable);
    const std::vector<int16_t> plain = samples();
    const size_t shift = 2 * 4 * 5292;
    EXPECT_TRUE(std::equal(plain.begin(), plain.end() - shift, rested.begin() + shift));
    EXPECT_NE(firstWrittenFrame(), -1);
}

TEST_F(SynthSequencerTest, LengthZeroStepSoundsWithTheNextOne) {
    renderSongRow(row(plainTone, 0, 1, {5}, {0xC4}), instrumentTable);
    renderSongRow(row(plainTone, 0, 1, {5}, {0xC4}), instrumentTable);
    const std::vector<int16_t> twice = samples();
    initWaveBuffer();
    renderSongRow(row(plainTone, 0, 1, {5, 0}, {0xC0, 0xC4}), instrumentTable);
    EXPECT_EQ(samples(), twice);
    // Alone, the zero-length step still rings for attack + release (and its echoes).
    initWaveBuffer();
    renderSongRow(row(plainTone, 0, 1, {5}, {0xC0}), instrumentTable);
    EXPECT_NE(waveFrame(22 + 1000)[0], 0);
}

TEST_F(SynthSequencerTest, RunningNoteRestartsEachRepeatAndWraps) {
    renderSongRow(row(plainTone, 0, 3, {5}, {0xC4}), instrumentTable);
    EXPECT_EQ(voiceState.period, notePeriod(5));
    EXPECT_EQ(voiceState.writePos, 22 + 2 * 4 * 5292 + 24 * 31 * 32 / 2);  // last note, moved by its 31 echoes
    renderSongRow(row(plainTone, 0, 1, {0xFF, 0x55}, {0x04, 0xC1}), instrumentTable);
    EXPECT_EQ(voiceState.period, notePeriod(84));
    renderSongRow(row(plainTone, 0, 1, {0x7F, 0x7F}, {0x04, 0x01}), instrumentTable);
    EXPECT_EQ(voiceState.period, notePeriod(-2));
    EXPECT_EQ(voiceState.velocity, 0);
}

// Rows and instruments beyond what the format allows: they must stay inside the image and keep
// the header; what they sound like does not matter.
TEST_F(SynthSequencerTest, HostileRowsStayInsideTheImage) {
    InstrumentBytes hostile[instrumentCount];
    for (int i = 0; i < instrumentCount; ++i)
        for (int b = 0; b < 7; ++b) hostile[i][b] = static_cast<uint8_t>(0xFF - 7 * i - b);
    hostile[0][0] = 0x7F;  // sustained tone, longest ramps: 63 units + release passes the buffers
    hostile[1][0] = 0xFF;  // the same with the noise
    SongRow wild = row(1, 40, 255, {}, {});
    wild.steps = 255;  // more steps than the columns hold: only 64 are read
    for (int j = 0; j < 64; ++j) {
        wild.noteDeltas[j] = static_cast<uint8_t>(0x75 + 13 * j);  // notes far outside -67 ... 117
        wild.stepBytes[j] = static_cast<uint8_t>(0xFF - j % 3);
    }
    renderSongRow(wild, hostile);
    EXPECT_TRUE(headerIsTemplate());
    EXPECT_NE(waveFrame(waveLastFrame)[0], 0);
    EXPECT_EQ(voiceState.noteLength, workBufferLength);
    wild.instrument = 0;
    renderSongRow(wild, hostile);
    EXPECT_TRUE(headerIsTemplate());

    for (uint8_t bar : {43, 200, 255}) {
        initWaveBuffer();
        renderSongRow(row(0, bar, 255, {1}, {0xFF}), hostile);
        EXPECT_EQ(firstWrittenFrame(), -1) << int(bar);
    }
    initWaveBuffer();
    renderSongRow(row(200, 0, 1, {1}, {0xC4}), instrumentTable);  // no such instrument
    renderNote(11);
    EXPECT_EQ(firstWrittenFrame(), -1);
    songRowIndex = 64;
    for (int i = 0; i < 192; ++i) renderSongStep();  // past the table: nothing to read
    EXPECT_EQ(songRowIndex, 0);  // 8 bits: a further call would start the song over
    EXPECT_EQ(firstWrittenFrame(), -1);
    EXPECT_TRUE(headerIsTemplate());
}

TEST_F(SynthSequencerTest, ExtremeWidthsAndWeightsStayInsideTheBuffers) {
    const auto fill = [](int32_t n, int16_t value) {
        voiceState.noteLength = n;
        std::fill(workBuffer, workBuffer + n, value);
    };
    // A width of 127 under selector 3 reaches 224: a full window of a constant averages to it.
    voiceState.modulatorSelector = 3;
    fill(workBufferLength, 300);
    smoothFilter(127);
    EXPECT_EQ(workBuffer[224], 300);
    EXPECT_EQ(workBuffer[workBufferLength - 225], 300);
    EXPECT_GT(workBuffer[workBufferLength - 1], 0);
    EXPECT_LT(workBuffer[workBufferLength - 1], 300);
    fill(500, 300);
    smoothFilter(-128);
    EXPECT_EQ(workBuffer[250], 150);

    // An echo pass far past the end of the song still smooths as the modulator says.
    voiceState.modulatorSelector = 1;
    voiceState.writePos = waveLastFrame + 700000;
    fill(1000, 300);
    smoothFilter(15);
    EXPECT_EQ(workBuffer[0], 150);  // half the window lies before the note, whatever h is
    EXPECT_EQ(workBuffer[500], 300);

    // At the selector-3 peak the shaper's weight is 7 k: the blend leaves 16 bits and wraps.
    voiceState.modulatorSelector = 3;
    voiceState.shaperMix = 15;
    voiceState.shaperDrive = 0;
    fill(32726, 0);
    workBuffer[32725] = 30000;
    clipShaper();
    const double k = static_cast<float>(15 * static_cast<double>(0.06666667f));
    const int64_t blend = static_cast<int64_t>(std::nearbyint((1 - 7 * k) * 30000 + 7 * k * 16384));
    EXPECT_LT(blend, -32768);
    EXPECT_EQ(workBuffer[32725], static_cast<int16_t>(blend));
}

}  // namespace
