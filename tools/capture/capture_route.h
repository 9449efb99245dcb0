// capture_route.h: what a command line of quorbel-capture runs: which writer makes its files,
// and whether the frames are split into parts, each drawn by a process of this program.
#pragma once

#include <cstdint>

#include "tools/capture/capture_options.h"

enum class CaptureWriter {
    None,        // --help: nothing written
    Frame,       // one PNG, the file -o names
    Faces,       // face0.png ... face5.png in the folder -o names
    Frames,      // frame-MS.png for every frame asked for, in the folder -o names
    FramesPart,  // a process's share of a range's frames, in the same folder
    Sheet,       // the contact sheet, one PNG
    Video,       // the pictures encoded and joined with the soundtrack
    VideoPart,   // a process's share of the pictures, encoded alone, no sound
    Wav,         // the soundtrack's wave image
    Trace,       // a frame's device calls, to stdout
    Bench,       // the table of frame times, and --json's file
    Stream,      // one frame's stream, the file -o names
    Replay,      // a stream replayed into the OpenGL device, its picture the file -o names
};

struct CaptureRoute {
    CaptureWriter writer;
    uint32_t parts;  // 1: not split; N: this process starts N parts and joins what they write
};

// jobs: the processes the run may use, 1 or more (--jobs, or what the cores allow). Only a
// range of frames and the video (the whole show or from --from on) are split; a single picture, a
// list of frames and a part never are.
CaptureRoute captureRouteFor(const CaptureOptions& options, uint32_t jobs);
