// synth.h: the soundtrack: wave image, song and instrument tables, sequencer, voices, playback.
#pragma once

#include <bit>
#include <cstdint>

// ---- wave image ----

// The wave image is one static object of exactly 29,106,044 bytes holding a complete RIFF/WAVE
// file (PCM, 44,100 Hz, stereo, 16-bit, 165 s); the capture tool writes its bytes as they are.
constexpr uint32_t waveImageBytes = 29106044u;

constexpr int32_t waveHeaderBytes = 44;
constexpr int32_t waveFirstFrame = 11;        // frames 0-10 share their bytes with the header
constexpr int32_t waveLastFrame = 7276510;    // last frame of the sample area
constexpr int32_t waveFrameCount = 7276500;   // 165.0 s of stereo frames
constexpr int32_t framesPerStepUnit = 5292;   // 0.12 s, a thirty-second of a bar

// Frame f lies at byte 4f of the image, counted from the header's first byte; samples[0] is the
// left sample of frame 11.
struct WaveFile {
    uint8_t header[waveHeaderBytes];
    int16_t samples[2 * waveFrameCount];
};
static_assert(sizeof(WaveFile) == waveImageBytes);
static_assert(std::endian::native == std::endian::little, "the image is stored as the file is");

extern WaveFile WaveImage;                  // built during the loading screen, then only played
extern const uint8_t waveHeaderTemplate[waveHeaderBytes];  // the RIFF/fmt/data header

// Left sample of frame f (the right one follows it); f must lie in 11 ... 7,276,510.
inline int16_t* waveFrame(int32_t f) { return &WaveImage.samples[2 * (f - waveFirstFrame)]; }

void initWaveBuffer();  // header written, sample area silenced; once, before the loading screen

// ---- song and instrument tables ----

struct SongRow {
    uint8_t instrument;      // index into instrumentTable, 0-10
    uint8_t startBar;        // bar of the first repeat
    uint8_t repeats;         // step sequence played back to back this often; 0 = empty row
    uint8_t steps;           // steps used, 0-64
    uint8_t noteDeltas[64];  // signed 8-bit, as two's-complement bytes: added to the running note
    uint8_t stepBytes[64];   // bits 0-5 length in step units, bits 6-7 velocity (0 = rest)
};
static_assert(sizeof(SongRow) == 132);

constexpr int32_t songRowCount = 64;
constexpr int32_t instrumentCount = 11;
using InstrumentBytes = uint8_t[7];

extern const SongRow songRows[songRowCount];                  // the stored song, rendered in order
extern const InstrumentBytes instrumentTable[instrumentCount]; // packed instruments, 7 bytes each

// ---- sequencer and voice parameters ----

struct VoiceState {
    uint8_t sourceKind;         // 0 tone, 1 noise: index into oscillatorTable
    uint8_t sustain;            // 1: step length + release; 0: attack + release
    int32_t attackLength;       // samples
    int32_t releaseLength;      // samples
    uint8_t detune;             // 0-15
    uint16_t period;            // samples per cycle of the running note
    int16_t velocity;           // 0-3, set for every step
    int32_t noteLength;         // samples of workBuffer the note occupies
    int32_t writePos;           // frame where the note is mixed; the echo moves it on
    uint8_t shaperDrive;        // 0-3
    uint8_t shaperMix;          // 0-15
    uint8_t lowPassPasses;      // the low-pass runs this + 1 times
    uint8_t lowPassWidth;       // 0-15
    uint8_t highPassPasses;     // the high-pass runs this + 1 times
    uint8_t highPassWidth;      // 0-15
    uint8_t echoCount;          // mixes of the note: 1, 11, 31, 71, 151, 55, 119 or 247
    uint8_t echoWidth;          // 0-7, low-pass after each echo pass
    uint8_t volume;             // 0-7
    uint8_t pan;                // 0 left only ... 7 right only
    uint8_t sourceModulator;    // selectors 0-3, one per stage
    uint8_t lowPassModulator;
    uint8_t highPassModulator;
    uint8_t shaperModulator;
    uint8_t echoModulator;
    uint8_t tremoloModulator;
    uint8_t modulatorSelector;  // the selector in force for the running stage
};

extern VoiceState voiceState;   // the note being built; every field rewritten per note
extern uint8_t songRowIndex;    // next row for renderSongStep; 0 at start, 64 after loading

void renderSongStep();          // renders the next song row; 64 calls, one per loading frame
void renderNote(uint8_t instrument);  // builds one note from voiceState and mixes it
// The sequencer behind renderSongStep, for any row and instrument set (the stored ones by default).
void renderSongRow(const SongRow& row, const InstrumentBytes* instruments);
// Builds and mixes one note with the given packed instrument.
void renderInstrumentNote(const InstrumentBytes& instrument);
uint16_t notePeriod(int8_t note);  // samples per cycle on the equal-tempered scale, note 0 = low C

// ---- voice chain ----

constexpr int32_t workBufferLength = 264600;  // 6 s: the longest note the buffers can hold

extern int16_t workBuffer[workBufferLength];    // mono samples of the note being built
extern int16_t filterBuffer[workBufferLength];  // averages of smoothFilter before write-back
extern void (*const oscillatorTable[2])();      // toneOscillator, noiseOscillator

extern uint32_t noiseRandomState;  // state of the noise generator; 1 at start, never reseeded
int32_t noiseRandom();             // 0-32,767, the runtime's classic generator

int16_t modulatorValue(int32_t i); // selector in force, at sample i of the note
void toneOscillator();
void noiseOscillator();
void smoothFilter(int8_t w);       // w > 0 low-pass, w < 0 high-pass of width -w, 0 nothing
void clipShaper();
void scaleWork(float f);
void echoNote();
void mixNote();

// ---- playback ----

void startMusic();      // asynchronous playback of the finished image
void stopMusic();       // stops playback on the way out
