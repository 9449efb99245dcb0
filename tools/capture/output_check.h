// output_check.h: what a finished run of quorbel-capture left where its options say, read back
// before the tool reports success, so that a wrong or missing file is never called a success.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/capture_options.h"
#include "tools/capture/capture_route.h"

// A path as one word for the shell, as ffprobe and ffmpeg are run.
std::string shellQuoted(const std::string& text);

// Where --frames puts the frame at show time ms.
std::string framePath(const std::string& dir, uint32_t ms);

// The show times --frames writes: the list; or FROM and every grid frame up to TO (a part's
// share only, for a part).
std::vector<uint32_t> framesWritten(const CaptureOptions& options);

// Empty when what the writer names is there and of its kind: a PNG file of the asked size for
// --frame, six PNG files for --faces, a folder with every frame's PNG for --frames, a PNG for
// --sheet, a whole WAV file for --wav, a video ffprobe reads (with sound where withSound; only
// a non-empty file where there is no ffprobe), --bench's JSON file, a stream of the frame asked
// for that decodes whole for --stream, a 640 x 480 PNG for --replay. Otherwise one line saying
// what is missing.
std::string missingOutput(const CaptureOptions& options, CaptureWriter writer, bool withSound = false);
