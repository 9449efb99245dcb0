// capture_options.cpp: parsing of quorbel-capture's command line.
#include "tools/capture/capture_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/player.h"
#include "tools/capture/capture_run.h"

const char captureUsage[] =
    "Usage: quorbel-capture MODE [--fps N] [--start-tick N]\n"
    "  --frame MS -o FILE.png    the frame shown at show time MS (ms), reached by running the\n"
    "                            show from its start; add --cold to draw it directly\n"
    "  --frames FROM:TO -o DIR   every frame from FROM to TO ms, one PNG each; or MS,MS,...:\n"
    "                            those frames only. Each is the frame --frame gives for its\n"
    "                            time: one off the --fps grid is drawn and then undone\n"
    "  --faces MS -o DIR         the six particle face textures after the frame at MS:\n"
    "                            DIR/face0.png ... face5.png, 256 x 256 (--cold as --frame)\n"
    "  --video FILE.mp4          the whole show with its soundtrack (needs ffmpeg); --until MS\n"
    "                            ends it after show time MS; --from MS starts it there, its\n"
    "                            sound too, without the loading screen (the show is run up to\n"
    "                            MS with drawing off; the first frame is the first one of the\n"
    "                            --fps grid at or after MS); --lossless encodes the pictures\n"
    "                            without loss (large; to compare runs frame by frame)\n"
    "  --wav FILE.wav            the soundtrack, the exact wave image the show plays\n"
    "  --sheet FILE.png          a contact sheet: one thumbnail per bar of 3,840 ms, rows of 7\n"
    "  --trace MS                the device calls of the frame at MS, one per line, to stdout\n"
    "  --bench [--json FILE]     every frame drawn and timed; a table of frame times per phase\n"
    "  --stream MS -o FILE.d3ds  the frame at MS as a frame stream: its textures, the device state\n"
    "                            at its start and its calls with their data (docs/stream.md)\n"
    "  --stream-loading N -o FILE.d3ds   the same for loading frame N (1 to 63)\n"
    "  --replay FILE.d3ds -o FILE.png    a frame stream replayed into the OpenGL device: the\n"
    "                            picture --frame writes for the same frame; --repeat N replays it\n"
    "                            N times more and prints the median time of one replay\n"
    "  --size WxH                pictures of W x H pixels (every mode; default 640x480): the 4:3\n"
    "                            picture drawn at the largest size that fits, centred between\n"
    "                            black bars (1920x1080: 1440 x 1080 with bars left and right);\n"
    "                            the face textures scale with it (256 x 256 at 640 x 480)\n"
    "  --supersample N           draw at N times the size each way (1 to 4) and average each\n"
    "                            N x N block: smoother edges, N x N times the renderer's work\n"
    "  --fps N                   frames per second of the virtual clock (default 60)\n"
    "  --start-tick N            the tick count at start, which feeds the random skip (default 1)\n"
    "  --jobs N                  run --video and --frames FROM:TO in N processes, each drawing\n"
    "                            its share of the frames (default: the cores over the renderer's\n"
    "                            threads, LP_NUM_THREADS or all cores: 1 unless LP_NUM_THREADS is\n"
    "                            set lower); the other modes always run in one process\n"
    "  --part FROM:TO            one such process: only the frames from FROM to TO ms\n"
    "  --help                    this text\n"
    "  --version                 the version\n"
    "  Long runs (video, frames, sheet, bench) show their progress on stderr: frames done, time\n"
    "  elapsed and an estimate of the time left.\n"
    "  Pictures of the screen (frames, sheet, video) are opaque, as the window shows them; the\n"
    "  back buffer's alpha is no part of them. Face textures are written as their X8R8G8B8\n"
    "  format holds them: colour only, so opaque too.\n"
    "  Exit status: 0 once what the mode names is written and read back as what it should be (a\n"
    "  PNG file for --frame and --replay, six for --faces, a folder with every frame for --frames,\n"
    "  a PNG for --sheet, a whole WAV file for --wav, a video ffprobe can read for --video, a\n"
    "  stream that reads back whole for --stream); 1, with one line on stderr, when not; 2 for\n"
    "  a command line it does not understand.\n";

namespace {

// A whole decimal number in 0 ... 2^32 - 1, nothing else.
bool parseNumber(const char* text, uint32_t& value) {
    if (text == nullptr || *text == '\0') return false;
    uint64_t n = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        n = n * 10 + static_cast<uint64_t>(*p - '0');
        if (n > UINT32_MAX) return false;
    }
    value = static_cast<uint32_t>(n);
    return true;
}

bool fail(std::string& error, const std::string& line) {
    error = line;
    return false;
}

// WxH, each a whole number from 1 to 8192.
bool parseSize(const char* value, int& width, int& height) {
    const char* x = std::strchr(value, 'x');
    uint32_t w = 0, h = 0;
    if (x == nullptr || !parseNumber(std::string(value, x).c_str(), w) || !parseNumber(x + 1, h)) return false;
    if (w == 0 || h == 0 || w > 8192 || h > 8192) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// MS,MS,... ascending, at least two (one is --frame).
bool parseList(const char* value, std::vector<uint32_t>& list) {
    list.clear();
    std::string text = value;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        uint32_t ms = 0;
        if (!parseNumber(text.substr(start, comma - start).c_str(), ms)) return false;
        if (!list.empty() && ms <= list.back()) return false;
        list.push_back(ms);
        if (comma == std::string::npos) return list.size() >= 2;
        start = comma + 1;
    }
}

// FROM:TO in whole milliseconds, FROM not after TO.
bool parseRange(const char* value, uint32_t& from, uint32_t& to) {
    const char* colon = std::strchr(value, ':');
    const std::string first = colon ? std::string(value, colon) : std::string();
    return colon != nullptr && parseNumber(first.c_str(), from) && parseNumber(colon + 1, to);
}

}  // namespace

bool parseCaptureOptions(int argc, const char* const* argv, CaptureOptions& options, std::string& error) {
    options = CaptureOptions{};
    bool haveMode = false, haveOutput = false, wantsHelp = false;
    std::string modeName;
    auto setMode = [&](CaptureMode mode, const char* name) {
        if (haveMode) return fail(error, "choose one of --frame, --frames, --faces, --video, --wav, --sheet, --trace, --bench, --stream, --replay (got " +
                                             modeName + " and " + name + ")");
        options.mode = mode;
        modeName = name;
        haveMode = true;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const bool takesValue = arg == "--frame" || arg == "--trace" || arg == "--faces" || arg == "--frames" || arg == "--video" ||
                                arg == "--wav" || arg == "--sheet" || arg == "-o" || arg == "--fps" ||
                                arg == "--start-tick" || arg == "--json" || arg == "--jobs" || arg == "--until" || arg == "--from" ||
                                arg == "--part" || arg == "--size" || arg == "--supersample" || arg == "--stream" ||
                                arg == "--stream-loading" || arg == "--replay" || arg == "--repeat";
        if (takesValue && value == nullptr) return fail(error, arg + " needs a value");
        if (arg == "--help" || arg == "-h") {
            wantsHelp = true;
        } else if (arg == "--version") {
            // Answered at once, whatever else the line holds, as --version usually is.
            std::fputs("quorbel-capture " QUORBEL_VERSION "\n", stdout);
            std::exit(0);
        } else if (arg == "--frame" || arg == "--trace" || arg == "--faces") {
            const CaptureMode mode = arg == "--frame"   ? CaptureMode::Frame
                                     : arg == "--faces" ? CaptureMode::Faces
                                                        : CaptureMode::Trace;
            if (!setMode(mode, argv[i])) return false;
            if (!parseNumber(value, options.frameMs))
                return fail(error, arg + " needs a show time in whole milliseconds, not '" + value + "'");
            ++i;
        } else if (arg == "--stream" || arg == "--stream-loading") {
            if (!setMode(CaptureMode::Stream, argv[i])) return false;
            options.loading = arg == "--stream-loading";
            if (options.loading && (!parseNumber(value, options.frameMs) || options.frameMs < 1 || options.frameMs > 63))
                return fail(error, std::string("--stream-loading needs a loading frame from 1 to 63 (frame 0 follows the start-up "
                                               "directly), not '") + value + "'");
            if (!options.loading && !parseNumber(value, options.frameMs))
                return fail(error, arg + " needs a show time in whole milliseconds, not '" + value + "'");
            ++i;
        } else if (arg == "--replay") {
            if (!setMode(CaptureMode::Replay, argv[i])) return false;
            options.input = value;
            ++i;
        } else if (arg == "--repeat") {
            if (!parseNumber(value, options.repeat) || options.repeat == 0 || options.repeat > 10000)
                return fail(error, std::string("--repeat needs a whole number from 1 to 10000, not '") + value + "'");
            ++i;
        } else if (arg == "--frames") {
            if (!setMode(CaptureMode::Frames, argv[i])) return false;
            if (std::strchr(value, ',') != nullptr) {
                if (!parseList(value, options.frameList))
                    return fail(error, std::string("--frames needs MS,MS,... in whole milliseconds, ascending, not '") +
                                           value + "'");
                options.fromMs = options.frameList.front();
                options.toMs = options.frameList.back();
                ++i;
                continue;
            }
            if (!parseRange(value, options.fromMs, options.toMs))
                return fail(error, std::string("--frames needs FROM:TO or MS,MS,... in whole milliseconds, not '") +
                                       value + "'");
            if (options.fromMs > options.toMs)
                return fail(error, "--frames " + std::string(value) + ": FROM is after TO");
            ++i;
        } else if (arg == "--video" || arg == "--wav" || arg == "--sheet") {
            const CaptureMode mode = arg == "--video" ? CaptureMode::Video
                                     : arg == "--wav" ? CaptureMode::Wav
                                                      : CaptureMode::Sheet;
            if (!setMode(mode, argv[i])) return false;
            if (haveOutput) return fail(error, arg + " names its file itself; -o is for --frame, --frames and --faces");
            options.output = value;
            haveOutput = true;
            ++i;
        } else if (arg == "-o") {
            if (haveOutput) return fail(error, "-o given twice, or with a mode that names its own file");
            options.output = value;
            haveOutput = true;
            ++i;
        } else if (arg == "--bench") {
            if (!setMode(CaptureMode::Bench, argv[i])) return false;
        } else if (arg == "--json") {
            options.json = value;
            ++i;
        } else if (arg == "--jobs") {
            if (!parseNumber(value, options.jobs) || options.jobs == 0 || options.jobs > 64)
                return fail(error, std::string("--jobs needs a whole number from 1 to 64, not '") + value + "'");
            ++i;
        } else if (arg == "--until") {
            if (!parseNumber(value, options.untilMs))
                return fail(error, std::string("--until needs a show time in whole milliseconds, not '") + value + "'");
            ++i;
        } else if (arg == "--from") {
            std::string why;
            if (!parseShowTime(value, options.videoFromMs, why)) return fail(error, "--from " + why);
            options.videoFrom = true;
            ++i;
        } else if (arg == "--part") {
            if (!parseRange(value, options.partFrom, options.partTo) || options.partFrom > options.partTo)
                return fail(error, std::string("--part needs FROM:TO in whole milliseconds, FROM not after TO, not '") +
                                       value + "'");
            options.part = true;
            ++i;
        } else if (arg == "--size") {
            if (!parseSize(value, options.width, options.height))
                return fail(error, std::string("--size needs WxH, each from 1 to 8192 pixels, not '") + value + "'");
            if (options.width < 4 || options.height < 3)
                return fail(error, std::string("--size ") + value + " has no room for a 4:3 picture");
            ++i;
        } else if (arg == "--supersample") {
            uint32_t n = 0;
            if (!parseNumber(value, n) || n < 1 || n > 4)
                return fail(error, std::string("--supersample needs a whole number from 1 to 4, not '") + value + "'");
            options.supersample = static_cast<int>(n);
            ++i;
        } else if (arg == "--lossless") {
            options.lossless = true;
        } else if (arg == "--cold") {
            options.cold = true;
        } else if (arg == "--fps") {
            if (!parseNumber(value, options.fps) || options.fps == 0 || options.fps > 1000)
                return fail(error, std::string("--fps needs a whole number from 1 to 1000, not '") + value + "'");
            ++i;
        } else if (arg == "--start-tick") {
            if (!parseNumber(value, options.startTick))
                return fail(error, std::string("--start-tick needs a whole number from 0 to 4294967295, not '") +
                                       value + "'");
            ++i;
        } else {
            return fail(error, "unknown argument '" + arg + "'");
        }
    }
    if (wantsHelp) {
        options.mode = CaptureMode::Help;
        return true;
    }
    if (!haveMode)
        return fail(error, "nothing to do: give one of --frame, --frames, --faces, --video, --wav, --sheet, --trace, --bench, --stream, --replay");
    const bool needsO = options.mode == CaptureMode::Frame || options.mode == CaptureMode::Frames ||
                        options.mode == CaptureMode::Faces || options.mode == CaptureMode::Stream || options.mode == CaptureMode::Replay;
    const char* const outputName = options.mode == CaptureMode::Frame || options.mode == CaptureMode::Replay ? "FILE.png"
                                   : options.mode == CaptureMode::Stream                                  ? "FILE.d3ds"
                                                                                                          : "DIR";
    if (needsO && !haveOutput) return fail(error, modeName + " needs -o " + outputName);
    if (options.repeat != 0 && options.mode != CaptureMode::Replay) return fail(error, "--repeat goes with --replay only");
    if (options.mode == CaptureMode::Trace && haveOutput) return fail(error, "--trace writes to stdout; it takes no -o");
    if (options.cold && options.mode != CaptureMode::Frame && options.mode != CaptureMode::Faces &&
        options.mode != CaptureMode::Trace)
        return fail(error, "--cold goes with --frame, --faces or --trace only");
    if (!options.json.empty() && options.mode != CaptureMode::Bench) return fail(error, "--json goes with --bench only");
    const bool shared = options.mode == CaptureMode::Video || options.mode == CaptureMode::Frames;
    if (options.jobs != 0 && !shared) return fail(error, "--jobs goes with --video or --frames only");
    if (options.part && !shared) return fail(error, "--part goes with --video or --frames only");
    if (options.part && options.jobs != 0) return fail(error, "--part is one process's share; it takes no --jobs");
    if (options.untilMs != UINT32_MAX && options.mode != CaptureMode::Video) return fail(error, "--until goes with --video only");
    if (options.lossless && options.mode != CaptureMode::Video) return fail(error, "--lossless goes with --video only");
    if (options.videoFrom && options.mode != CaptureMode::Video)
        return fail(error, "--from goes with --video only (--frames FROM:TO names its own start)");
    if (options.videoFrom && options.videoFromMs >= options.untilMs)
        return fail(error, "--from " + std::to_string(options.videoFromMs) + " is not before --until " +
                               std::to_string(options.untilMs));
    if (options.mode == CaptureMode::Video && videoShowFrames(options) == 0)
        return fail(error, "no frame of the " + std::to_string(options.fps) + " fps grid lies between --from " +
                               std::to_string(options.videoFromMs) + " ms and " +
                               (options.untilMs != UINT32_MAX ? "--until " + std::to_string(options.untilMs) + " ms"
                                                              : "the show's end (" + std::to_string(lastShowFrameMs) + " ms)"));
    if (!options.frameList.empty() && (options.jobs != 0 || options.part))
        return fail(error, "--frames MS,MS,... runs in one process; it takes no --jobs or --part");
    if (options.mode == CaptureMode::Video && (options.width % 2 != 0 || options.height % 2 != 0))
        return fail(error, "--video needs an even width and height (the encoder halves the colour planes)");
    if ((options.width != 640 || options.height != 480 || options.supersample != 1) &&
        (options.mode == CaptureMode::Wav || options.mode == CaptureMode::Trace || options.mode == CaptureMode::Stream ||
         options.mode == CaptureMode::Replay))
        return fail(error, "--size and --supersample go with the modes that draw the show's pictures");
    if (options.mode == CaptureMode::Bench && haveOutput) return fail(error, "--bench prints a table; it takes no -o");
    if (options.output.empty() && options.mode != CaptureMode::Trace && options.mode != CaptureMode::Bench)
        return fail(error, modeName + " needs a file name");
    return true;
}
