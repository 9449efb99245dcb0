// switches.h: every environment variable the programs read, one row each in switches.cpp's
// table: its name, the programs that read it and what it does. The programs read them only
// through here, and each lists its own in the Environment section of its --help (and so of its
// manual page). docs/environment.md lists these and the scripts' and tests' own.
#pragma once

#include <cstdint>
#include <string>

enum class Switch : uint8_t {
    Display,          // DISPLAY
    WaylandDisplay,   // WAYLAND_DISPLAY
    VideoDriver,      // SDL_VIDEODRIVER
    AudioDriver,      // SDL_AUDIODRIVER
    DiskAudioFile,    // SDL_DISKAUDIOFILE
    FrameLog,         // QUORBEL_FRAME_LOG
    RendererThreads,  // LP_NUM_THREADS
    GLNoCache,        // QUORBEL_GL_NO_CACHE
    GLCheck,          // QUORBEL_GL_CHECK
    CallTrace,        // QUORBEL_CALL_TRACE
};

// The programs that read a switch, as bits.
enum SwitchReaders : uint8_t { readByShow = 1, readByCapture = 2, readBySoak = 4 };

// The variable's value; nullptr where it is unset.
const char* switchValue(Switch id);

// Set to something other than nothing.
bool switchNamed(Switch id);

// Set to something other than nothing or "0": an on switch.
bool switchOn(Switch id);

// "Environment:" and a row for each switch the program (one of SwitchReaders) reads.
std::string switchesHelp(uint8_t reader);
