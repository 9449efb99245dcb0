// main.cpp: the show's command line; everything else happens in runIntro.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/player.h"
#include "app/show_life.h"
#include "platform/sdl/window_options.h"

namespace {

const char usage[] =
    "Usage: quorbel [--window | --fullscreen] [--size WxH] [--scale 1 | --fixed-size | --min-scale S] [--start MS] [--loop A:B] [--help] [--version]\n"
    "  Plays the show (161 s); Escape ends it. Without an option it asks whether to run full\n"
    "  screen; --window and --fullscreen answer that question in advance.\n"
    "  The picture is drawn at the size it is shown at (4:3, black bars around it), lower while\n"
    "  frames come later than the display's rate (not below 640 x 480), and scaled up.\n"
    "\n"
    "  --size WxH      a resizable window of W x H pixels instead of the borderless 640 x 480\n"
    "  --scale 1       draw at 640 x 480 and scale that up to the window or the screen\n"
    "  --fixed-size    always draw at the size it is shown at, however late frames come\n"
    "  --min-scale S   slow frames may lower the drawing to 640 x 480 times S (0.25 to 1)\n"
    "  --start MS      start at show time MS (0 to 161279) after the loading screen\n"
    "  --loop A:B      play from A to B ms again and again\n"
    "  --version       the version\n"
    "\n"
    "  At the end one line on stderr says how many frames were shown, how regularly and at what size.\n"
    "  Without a display, record the show instead: build/quorbel-capture --video quorbel.mp4\n";

}  // namespace

int main(int argc, char** argv) {
    ScreenChoice choice = ScreenChoice::Ask;
    WindowOptions windowOptions;
    PlayerOptions playerOptions;
    bool minScaleGiven = false;
    for (int i = 1; i < argc; ++i) {
        const bool window = std::strcmp(argv[i], "--window") == 0;
        if (window || std::strcmp(argv[i], "--fullscreen") == 0) {
            const ScreenChoice chosen = window ? ScreenChoice::Window : ScreenChoice::FullScreen;
            if (choice != ScreenChoice::Ask && choice != chosen) {
                std::fprintf(stderr, "quorbel: --window and --fullscreen exclude each other\n");
                return 2;
            }
            choice = chosen;
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            int width = 0, height = 0;
            char end = 0;
            if (std::sscanf(argv[++i], "%dx%d%c", &width, &height, &end) != 2 || width < 4 || height < 3 ||
                width > 16384 || height > 16384) {
                std::fprintf(stderr, "quorbel: --size needs WxH, from 4x3 to 16384x16384 pixels, not '%s'\n", argv[i]);
                return 2;
            }
            windowOptions.width = width;
            windowOptions.height = height;
        } else if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
            if (std::strcmp(argv[++i], "1") != 0) {
                std::fprintf(stderr, "quorbel: --scale takes 1 (the 640 x 480 picture scaled up), not '%s'\n", argv[i]);
                return 2;
            }
            windowOptions.fixedScale = true;
        } else if ((std::strcmp(argv[i], "--start") == 0 || std::strcmp(argv[i], "--loop") == 0) && i + 1 < argc) {
            const bool start = std::strcmp(argv[i], "--start") == 0;
            std::string why;
            const bool good = start ? parseShowTime(argv[i + 1], playerOptions.startMs, why)
                                    : parseShowLoop(argv[i + 1], playerOptions.loopFromMs, playerOptions.loopToMs, why);
            if (!good) {
                std::fprintf(stderr, "quorbel: %s: %s\n", argv[i], why.c_str());
                return 2;
            }
            playerOptions.loop = playerOptions.loop || !start;
            playerOptions.start = playerOptions.start || start;
            ++i;
        } else if (std::strcmp(argv[i], "--fixed-size") == 0) {
            windowOptions.fixedSize = true;
        } else if (std::strcmp(argv[i], "--min-scale") == 0 && i + 1 < argc) {
            double scale = 0.0;
            char end = 0;
            if (std::sscanf(argv[++i], "%lf%c", &scale, &end) != 1 || !(scale >= 0.25 && scale <= 1.0)) {
                std::fprintf(stderr, "quorbel: --min-scale takes a number from 0.25 to 1, not '%s'\n", argv[i]);
                return 2;
            }
            windowOptions.minScale = scale;
            minScaleGiven = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            std::fputs("Keys while the show plays:\n", stdout);
            for (const PlayerKeyBinding& row : playerKeys) std::printf("  %-12s %s\n", row.label, row.action);
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("quorbel " QUORBEL_VERSION "\n", stdout);
            return 0;
        } else {
            std::fprintf(stderr, "quorbel: unknown option '%s'\n%s", argv[i], usage);
            return 2;
        }
    }
    if (playerOptions.loop && playerOptions.start &&
        (playerOptions.startMs < playerOptions.loopFromMs || playerOptions.startMs >= playerOptions.loopToMs)) {
        std::fprintf(stderr, "quorbel: --start %u lies outside the loop %u:%u\n", playerOptions.startMs,
                     playerOptions.loopFromMs, playerOptions.loopToMs);
        return 2;
    }
    if (minScaleGiven && (windowOptions.fixedScale || windowOptions.fixedSize)) {
        std::fprintf(stderr, "quorbel: --min-scale lowers a drawing size that --scale 1 and --fixed-size hold fixed\n");
        return 2;
    }
    setWindowOptions(windowOptions);
    runIntro(choice, playerOptions);
}
