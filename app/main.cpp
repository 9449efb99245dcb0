// main.cpp: the show's command line; everything else happens in runIntro.
#include <cstdio>
#include <cstring>

#include "app/app.h"

namespace {

const char usage[] =
    "usage: quorbel [--window | --fullscreen | --help]\n"
    "  Plays the show (161 s); Escape ends it. Without an option it asks whether to run full\n"
    "  screen; --window and --fullscreen answer that question in advance.\n"
    "  Without a display, record the show instead: build/quorbel-capture --video quorbel.mp4\n";

}  // namespace

int main(int argc, char** argv) {
    ScreenChoice choice = ScreenChoice::Ask;
    for (int i = 1; i < argc; ++i) {
        const bool window = std::strcmp(argv[i], "--window") == 0;
        if (window || std::strcmp(argv[i], "--fullscreen") == 0) {
            const ScreenChoice chosen = window ? ScreenChoice::Window : ScreenChoice::FullScreen;
            if (choice != ScreenChoice::Ask && choice != chosen) {
                std::fprintf(stderr, "quorbel: --window and --fullscreen exclude each other\n");
                return 2;
            }
            choice = chosen;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "quorbel: unknown option '%s'\n%s", argv[i], usage);
            return 2;
        }
    }
    runIntro(choice);
}
