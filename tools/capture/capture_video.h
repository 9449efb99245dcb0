// capture_video.h: --video: the show's pictures encoded by ffmpeg, in one process or in parts
// joined without encoding them again, muxed with the soundtrack.
#pragma once

#include <cstdint>

#include "tools/capture/capture_options.h"
#include "tools/capture/capture_route.h"

// Writes the video (or a part's pictures, for CaptureWriter::VideoPart) and checks it; returns
// the exit status, or fails.
int captureVideo(const CaptureOptions& options, const CaptureRoute& route);

