// shell_word.h: a text as one word of a shell command line, as the tool runs ffmpeg and ffprobe.
#pragma once

#include <string>

// In single quotes, each quote in it closed, escaped and opened again.
std::string shellQuoted(const std::string& text);
