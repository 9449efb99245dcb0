// switches.cpp: the table of environment switches, read here and nowhere else.
#include "platform/switches.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/command_line.h"

namespace {

struct SwitchRow {
    Switch id;
    const char* name;   // as set in the environment
    const char* value;  // what it is set to, as the help shows it; nullptr: the help shows the name alone
    uint8_t readers;    // SwitchReaders
    const char* help;   // the help's right column, its lines apart by '\n'
};

constexpr uint8_t everyProgram = readByShow | readByCapture | readBySoak;

// In the order the help lists them.
constexpr SwitchRow switchTable[] = {
    {Switch::Display,         "DISPLAY",             nullptr, readByShow,
     "the X display the window opens on; with neither it nor\n"
     "WAYLAND_DISPLAY set the show does not start (record it with\n"
     "quorbel-capture instead)"},
    {Switch::WaylandDisplay,  "WAYLAND_DISPLAY",     nullptr, readByShow,
     "the Wayland display, tried before DISPLAY where both are set"},
    {Switch::VideoDriver,     "SDL_VIDEODRIVER",     "NAME",  readByShow,
     "SDL's video driver instead of the display the two above name;\n"
     "one that shows nothing (offscreen, dummy, evdev) is refused"},
    {Switch::AudioDriver,     "SDL_AUDIODRIVER",     "NAME",  readByShow,
     "SDL's sound driver: dummy plays silently, disk into a file"},
    {Switch::DiskAudioFile,   "SDL_DISKAUDIOFILE",   "FILE",  readByShow,
     "where SDL_AUDIODRIVER=disk writes the sound as raw PCM (default\n"
     "sdlaudio.raw)"},
    {Switch::FrameLog,        "QUORBEL_FRAME_LOG",   "FILE",  readByShow,
     "a line per show frame presented: its time in ms after the first,\n"
     "the height it was drawn at and the show time it drew"},
    {Switch::RendererThreads, "LP_NUM_THREADS",      "N",     readByCapture,
     "the software renderer's threads (all the cores when unset):\n"
     "--jobs runs the cores over this many processes unless told"},
    {Switch::GLNoCache,       "QUORBEL_GL_NO_CACHE", "1",     everyProgram,
     "the device sends every GL state every time, not only changes"},
    {Switch::GLCheck,         "QUORBEL_GL_CHECK",    "1",     everyProgram,
     "after each batch the device reads every state it keeps back\n"
     "from GL and ends the program, naming the state, at the first\n"
     "that differs"},
    {Switch::CallTrace,       "QUORBEL_CALL_TRACE",  "1",     readByShow,
     "quorbel.exe on Windows: a line on stdout per call of the\n"
     "design's own (the question, the window, Direct3D, the clock,\n"
     "the sound), in their order"},
};

// A switch's row is found by its id.
constexpr bool rowsInOrder() {
    for (size_t i = 0; i < std::size(switchTable); ++i)
        if (size_t(switchTable[i].id) != i) return false;
    return std::size(switchTable) == size_t(Switch::CallTrace) + 1;
}
static_assert(rowsInOrder(), "switchTable has one row per Switch, in its order");

}  // namespace

const char* switchValue(Switch id) { return std::getenv(switchTable[size_t(id)].name); }

bool switchNamed(Switch id) {
    const char* value = switchValue(id);
    return value != nullptr && *value != '\0';
}

bool switchOn(Switch id) { return switchNamed(id) && std::strcmp(switchValue(id), "0") != 0; }

std::string switchesHelp(uint8_t reader) {
    std::string help = "Environment:\n";
    for (const SwitchRow& row : switchTable)
        if ((row.readers & reader) != 0)
            help += helpRow(row.value ? std::string(row.name) + "=" + row.value : row.name, row.help, 26);
    return help;
}
