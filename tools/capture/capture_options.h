// capture_options.h: the command line of quorbel-capture, parsed into what to record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class CaptureMode { Help, Frame, Frames, Faces, Video, Wav, Sheet, Trace, Bench, Stream, Replay };

struct CaptureOptions {
    CaptureMode mode = CaptureMode::Help;
    uint32_t frameMs = 0;       // --frame MS, --faces MS, --trace MS, --stream MS
    bool loading = false;       // --stream-loading N: frameMs is a loading frame's index, 1 to 63
    std::string input;          // --replay FILE: the frame stream replayed
    uint32_t repeat = 0;        // --repeat N: --replay's stream replayed N times more, timed
    bool cold = false;          // --cold: draw at MS without running the frames before it
    uint32_t fromMs = 0;        // --frames FROM:TO
    uint32_t toMs = 0;
    std::vector<uint32_t> frameList;  // --frames MS,MS,...: these frames only (ascending)
    std::string output;         // -o FILE.png or DIR, or the file after --video/--wav/--sheet
    uint32_t fps = 60;
    uint32_t startTick = 1;     // the tick count start-up reads for the random skip
    std::string json;           // --json FILE: --bench's figures as JSON too
    uint32_t jobs = 0;          // --jobs N: processes for --video and --frames (0: from the cores)
    uint32_t untilMs = UINT32_MAX;  // --until MS: the video stops after the frame at show time MS
    bool videoFrom = false;     // --from MS: the video starts at show time MS, without the loading screen
    uint32_t videoFromMs = 0;
    bool lossless = false;      // --lossless: the video's pictures without loss, for comparing runs
    bool part = false;          // --part FROM:TO: one process's share of --video or --frames
    uint32_t partFrom = 0, partTo = 0;
    int width = 640, height = 480;  // --size WxH: the pictures written, the 4:3 picture within
    int supersample = 1;            // --supersample N: drawn at N times the size, filtered down
};

// False, with one line in error, for anything it does not understand; --help alone is valid.
// --version prints the version and ends the program.
bool parseCaptureOptions(int argc, const char* const* argv, CaptureOptions& options, std::string& error);

extern const char captureUsage[];
