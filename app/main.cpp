// main.cpp: the show's command line, read through its table of options; everything else happens
// in runIntro.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/player.h"
#include "app/show_life.h"
#include "platform/command_line.h"
#include "platform/draw_scale.h"
#include "platform/memory_budget.h"
#include "platform/window_options.h"
#include "platform/switches.h"

namespace {

struct ShowLine {
    ScreenChoice choice = ScreenChoice::Ask;
    WindowOptions window;
    PlayerOptions player;
    bool minScaleGiven = false;
    bool help = false, version = false;
};

Took takeScreen(ShowLine& line, const char* option, const char*, std::string& error) {
    const ScreenChoice chosen = std::strcmp(option, "--window") == 0 ? ScreenChoice::Window : ScreenChoice::FullScreen;
    if (line.choice != ScreenChoice::Ask && line.choice != chosen)
        return refuse(error, "--window and --fullscreen exclude each other");
    line.choice = chosen;
    return Took::Taken;
}

Took takeSize(ShowLine& line, const char*, const char* value, std::string& error) {
    int width = 0, height = 0;
    char end = 0;
    // The bound only keeps the numbers sane: what the machine and SDL hold is checked once the
    // table is read, what the renderer draws once the window's GL is there.
    if (std::sscanf(value, "%dx%d%c", &width, &height, &end) != 2 || width < 4 || height < 3 || width > 65536 ||
        height > 65536)
        return refuse(error, std::string("--size needs WxH, from 4x3 to 65536x65536 pixels, not '") + value + "'");
    line.window.width = width;
    line.window.height = height;
    return Took::Taken;
}

Took takeScale(ShowLine& line, const char* option, const char* value, std::string& error) {
    const std::string fault = scaleOptionFault(value);
    if (!fault.empty()) return refuse(error, std::string(option) + " " + fault);
    line.window.fixedScale = true;
    return Took::Taken;
}

Took takeFixedSize(ShowLine& line, const char*, const char*, std::string&) {
    line.window.fixedSize = true;
    return Took::Taken;
}

Took takeMinScale(ShowLine& line, const char* option, const char* value, std::string& error) {
    const std::string fault = minScaleOptionFault(value, line.window.minScale);
    if (!fault.empty()) return refuse(error, std::string(option) + " " + fault);
    line.minScaleGiven = true;
    return Took::Taken;
}

Took takeStart(ShowLine& line, const char* option, const char* value, std::string& error) {
    std::string why;
    if (!parseShowTime(value, line.player.startMs, why)) return refuse(error, std::string(option) + ": " + why);
    line.player.start = true;
    return Took::Taken;
}

Took takeLoop(ShowLine& line, const char* option, const char* value, std::string& error) {
    std::string why;
    if (!parseShowLoop(value, line.player.loopFromMs, line.player.loopToMs, why))
        return refuse(error, std::string(option) + ": " + why);
    line.player.loop = true;
    return Took::Taken;
}

const std::string startHelp =
    "start at show time MS (0 to " + std::to_string(lastShowFrameMs) + ") after the loading screen";

const OptionRow<ShowLine> showOptionRows[] = {
    {"--window", nullptr, nullptr, "play in a window, without the question", takeScreen},
    {"--fullscreen", nullptr, nullptr, "play full screen, without the question", takeScreen},
    {"--size", nullptr, "WxH", "a resizable window of W x H pixels instead of the borderless 640 x 480", takeSize},
    {"--scale", nullptr, "1", "draw at 640 x 480 and scale that up to the window or the screen", takeScale},
    {"--fixed-size", nullptr, nullptr, "always draw at the size it is shown at, however late frames come", takeFixedSize},
    {"--min-scale", nullptr, "S", "slow frames may lower the drawing to 640 x 480 times S (0.25 to 1)", takeMinScale},
    {"--start", nullptr, "MS", startHelp.c_str(), takeStart},
    {"--loop", nullptr, "A:B", "play from A to B ms again and again", takeLoop},
    {"--help", "-h", nullptr, "this text", setField<&ShowLine::help, true, Took::Last>},
    {"--version", nullptr, nullptr, "the version", setField<&ShowLine::version, true, Took::Last>},
};

// The command line's part of --help.
std::string usage() {
    return "Usage: quorbel [--window | --fullscreen] [--size WxH] [--scale 1 | --fixed-size | --min-scale S] "
           "[--start MS] [--loop A:B] [--help] [--version]\n"
           "  Plays the show (" + std::to_string(showLengthMs / 1000) + " s); Escape ends it. Without an option it asks whether to run full\n"
           "  screen; --window and --fullscreen answer that question in advance.\n"
           "  The picture is drawn at the size it is shown at (4:3, black bars around it), lower while\n"
           "  frames come later than the display's rate (not below 640 x 480), and scaled up.\n"
           "\n" +
           optionsHelp(showOptionRows, 18) +
           "\n"
           "  At the end one line on stderr says how many frames were shown, how regularly and at what size.\n"
           "  Without a display, record the show instead: build/quorbel-capture --video quorbel.mp4\n";
}

void printHelp() {
    std::fputs(usage().c_str(), stdout);
    std::fputs("Keys while the show plays:\n", stdout);
    for (const PlayerKeyBinding& row : playerKeys) std::printf("  %-12s %s\n", row.label, row.action);
    std::printf("\n%s", switchesHelp(readByShow).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    ShowLine line;
    const CommandLineFault fault = readCommandLine(showOptionRows, argc, argv, line);
    if (fault.kind != CommandLineFault::None) refuseCommandLine("quorbel", faultLine(fault));
    if (line.help) {
        printHelp();
        return 0;
    }
    if (line.version) {
        std::fputs("quorbel " QUORBEL_VERSION "\n", stdout);
        return 0;
    }
    const PlayerOptions& player = line.player;
    if (player.loop && player.start && (player.startMs < player.loopFromMs || player.startMs >= player.loopToMs))
        refuseCommandLine("quorbel", "--start " + std::to_string(player.startMs) + " lies outside the loop " +
                                         std::to_string(player.loopFromMs) + ":" + std::to_string(player.loopToMs));
    if (line.minScaleGiven && (line.window.fixedScale || line.window.fixedSize))
        refuseCommandLine("quorbel", "--min-scale " + minScaleConflict("--scale 1", "--fixed-size"));
    // Before the display is opened: a window the machine cannot hold or SDL cannot make is never made.
    if (line.window.width > 0) {
        const std::string why =
            windowSizeRefusal(line.window.width, line.window.height, memoryAvailableBytes(), largestWindowSide);
        if (!why.empty()) refuseCommandLine("quorbel", why);
    }
    setWindowOptions(line.window);
    runIntro(line.choice, line.player);
}
