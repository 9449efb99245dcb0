// compare_main.cpp: quorbel-compare, two pictures of one frame measured against limits.
//   quorbel-compare OURS.png THEIRS.png [--limits MEAN,OVER,MOVED] [--pictures PREFIX]
// Prints the mean difference (levels), the pixels over 24 levels apart and those moved (both in
// per cent). Above a limit it exits 1 and writes PREFIX-side.png (the two side by side) and
// PREFIX-diff.png (their difference, moved pixels red); 2 for a command line or a picture it
// cannot use.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "tools/capture/png_file.h"
#include "tools/stream/picture_compare.h"

namespace {

const char program[] = "quorbel-compare";

void printHelp() {
    std::fputs("Usage: quorbel-compare OURS.png THEIRS.png [--limits MEAN,OVER,MOVED] [--pictures PREFIX]\n"
               "  Measures two pictures of one frame against each other and prints the mean difference\n"
               "  (levels), the pixels over 24 levels apart and those moved (both in per cent).\n"
               "\n"
               "  --limits MEAN,OVER,MOVED  the most each may be (default: no limit)\n"
               "  --pictures PREFIX         above a limit, PREFIX-side.png (the two side by side) and\n"
               "                            PREFIX-diff.png (their difference, moved pixels red)\n"
               "  --help, -h                this text\n"
               "\n"
               "  Exit status: 0 within the limits, 1 above one, 2 for a command line or a picture it\n"
               "  cannot use.\n",
               stdout);
}

[[noreturn]] void fail(const std::string& line, int status) {
    std::fprintf(stderr, "%s: %s\n", program, line.c_str());
    std::exit(status);
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

Picture readPicture(const std::string& path) {
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    Picture picture;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) fail("cannot read " + path + " as PNG", 2);
    png.format = PNG_FORMAT_RGBA;
    picture.rgba.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, picture.rgba.data(), 0, nullptr) == 0) fail("cannot read " + path + " as PNG", 2);
    picture.width = int(png.width);
    picture.height = int(png.height);
    return picture;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    std::string prefix;
    double limits[3] = {255, 100, 100};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        }
        const bool takesValue = arg == "--pictures" || arg == "--limits";
        if (takesValue && i + 1 >= argc) refuseCommandLine(program, arg + " needs a value");
        char end = 0;
        if (arg == "--pictures") {
            prefix = argv[++i];
        } else if (arg == "--limits") {
            if (std::sscanf(argv[++i], "%lf,%lf,%lf%c", &limits[0], &limits[1], &limits[2], &end) != 3)
                refuseCommandLine(program, std::string("--limits needs MEAN,OVER,MOVED, not '") + argv[i] + "'");
        } else if (arg.rfind("--", 0) == 0) {
            refuseCommandLine(program, "unknown option '" + arg + "'");
        } else if (paths.size() < 2) {
            paths.push_back(arg);
        } else {
            refuseCommandLine(program, "a third picture, '" + arg + "': it compares two, OURS.png and THEIRS.png");
        }
    }
    if (paths.size() != 2) refuseCommandLine(program, "needs two pictures, OURS.png and THEIRS.png");
    const Picture a = readPicture(paths[0]), b = readPicture(paths[1]);
    if (a.width != b.width || a.height != b.height) fail(paths[0] + " and " + paths[1] + " differ in size", 2);
    const PictureDifference d = comparePictures(a.rgba.data(), b.rgba.data(), a.width, a.height);
    std::printf("%.3f %.3f %.3f\n", d.mean, d.over * 100, d.moved * 100);
    if (d.mean <= limits[0] && d.over * 100 <= limits[1] && d.moved * 100 <= limits[2]) return 0;
    if (!prefix.empty()) {
        std::string error;
        const std::vector<uint8_t> side = sideBySide(a.rgba.data(), b.rgba.data(), a.width, a.height);
        const std::vector<uint8_t> diff = differencePicture(a.rgba.data(), b.rgba.data(), d, a.width, a.height);
        if (!writePng(prefix + "-side.png", side.data(), a.width * 2, a.height, error) ||
            !writePng(prefix + "-diff.png", diff.data(), a.width, a.height, error))
            fail(error, 2);
    }
    return 1;
}
