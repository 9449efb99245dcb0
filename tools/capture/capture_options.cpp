// capture_options.cpp: quorbel-capture's command line: its table of options, from which it is
// read and its --help written, and what the options must satisfy together.
#include "tools/capture/capture_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/player.h"
#include "platform/command_line.h"
#include "platform/switches.h"
#include "tools/capture/capture_run.h"

namespace {

// The options so far, and what the checks after the table need to know of how they were given.
struct CaptureLine {
    CaptureOptions options;
    bool haveMode = false, haveOutput = false, wantsHelp = false;
    std::string modeName;  // the mode's option as typed
};

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

// A whole number from low to high into the field, or the line "OPTION needs a whole number from
// LOW to HIGH, not 'TEXT'".
bool inRange(const char* option, const char* text, uint32_t low, uint32_t high, uint32_t& value, std::string& error) {
    if (parseNumber(text, value) && value >= low && value <= high) return true;
    error = std::string(option) + " needs a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
            ", not '" + text + "'";
    return false;
}

template <uint32_t CaptureOptions::*field, uint32_t low, uint32_t high>
Took takeNumber(CaptureLine& line, const char* option, const char* value, std::string& error) {
    return inRange(option, value, low, high, line.options.*field, error) ? Took::Taken : Took::Refused;
}

// A time of the show, 0 to its last frame: a later one is refused here rather than found out
// after running the whole show.
Took showTime(const char* option, const char* text, uint32_t& ms, std::string& error) {
    std::string why;
    if (parseShowTime(text, ms, why)) return Took::Taken;
    return refuse(error, std::string(option) + " " + why);
}

template <uint32_t CaptureOptions::*field>
Took takeShowTime(CaptureLine& line, const char* option, const char* value, std::string& error) {
    return showTime(option, value, line.options.*field, error);
}

template <bool CaptureOptions::*flag>
Took takeFlag(CaptureLine& line, const char*, const char*, std::string&) {
    line.options.*flag = true;
    return Took::Taken;
}

template <std::string CaptureOptions::*field>
Took takeText(CaptureLine& line, const char*, const char* value, std::string&) {
    line.options.*field = value;
    return Took::Taken;
}

// WxH, each a whole number from 1 to 65536: a bound that keeps the numbers sane; what the
// machine and the renderer hold is checked before the pictures are allocated.
bool parseSize(const char* value, int& width, int& height) {
    const char* x = std::strchr(value, 'x');
    uint32_t w = 0, h = 0;
    if (x == nullptr || !parseNumber(std::string(value, x).c_str(), w) || !parseNumber(x + 1, h)) return false;
    if (w == 0 || h == 0 || w > 65536 || h > 65536) return false;
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

// FROM:TO in whole milliseconds.
bool parseRange(const char* value, uint32_t& from, uint32_t& to) {
    const char* colon = std::strchr(value, ':');
    const std::string first = colon ? std::string(value, colon) : std::string();
    return colon != nullptr && parseNumber(first.c_str(), from) && parseNumber(colon + 1, to);
}

const char modeNames[] = "--frame, --frames, --faces, --video, --wav, --sheet, --trace, --bench, --stream, --replay";

Took setMode(CaptureLine& line, CaptureMode mode, const char* option, std::string& error) {
    if (line.haveMode)
        return refuse(error, std::string("choose one of ") + modeNames + " (got " + line.modeName + " and " + option + ")");
    line.options.mode = mode;
    line.modeName = option;
    line.haveMode = true;
    return Took::Taken;
}

Took setOutput(CaptureLine& line, const char* file) {
    line.options.output = file;
    line.haveOutput = true;
    return Took::Taken;
}

// ---- the rows' takes ----

// --frame, --faces and --trace: the mode and its frame's show time.
template <CaptureMode mode>
Took takeOneFrame(CaptureLine& line, const char* option, const char* value, std::string& error) {
    if (setMode(line, mode, option, error) == Took::Refused) return Took::Refused;
    return showTime(option, value, line.options.frameMs, error);
}

// --frames' last time against the show's end.
Took framesWithinShow(const char* value, uint32_t lastMs, std::string& error) {
    if (lastMs <= lastShowFrameMs) return Took::Taken;
    return refuse(error, "--frames " + std::string(value) + ": " + std::to_string(lastMs) +
                             " is past the show's end (its last frame is at " + std::to_string(lastShowFrameMs) +
                             " ms)");
}

Took takeFrames(CaptureLine& line, const char* option, const char* value, std::string& error) {
    if (setMode(line, CaptureMode::Frames, option, error) == Took::Refused) return Took::Refused;
    CaptureOptions& o = line.options;
    if (std::strchr(value, ',') != nullptr) {
        if (!parseList(value, o.frameList))
            return refuse(error, std::string("--frames needs MS,MS,... in whole milliseconds, ascending, not '") + value + "'");
        o.fromMs = o.frameList.front();
        o.toMs = o.frameList.back();
        return framesWithinShow(value, o.toMs, error);
    }
    if (!parseRange(value, o.fromMs, o.toMs))
        return refuse(error, std::string("--frames needs FROM:TO or MS,MS,... in whole milliseconds, not '") + value + "'");
    if (o.fromMs > o.toMs) return refuse(error, "--frames " + std::string(value) + ": FROM is after TO");
    return framesWithinShow(value, o.toMs, error);
}

// --video, --wav and --sheet name their file themselves.
template <CaptureMode mode>
Took takeFileMode(CaptureLine& line, const char* option, const char* value, std::string& error) {
    if (setMode(line, mode, option, error) == Took::Refused) return Took::Refused;
    if (line.haveOutput)
        return refuse(error, std::string(option) + " names its file itself; -o is for --frame, --frames and --faces");
    return setOutput(line, value);
}

// --stream MS, or --stream-loading N for a loading frame.
template <bool loading>
Took takeStream(CaptureLine& line, const char* option, const char* value, std::string& error) {
    if (setMode(line, CaptureMode::Stream, option, error) == Took::Refused) return Took::Refused;
    CaptureOptions& o = line.options;
    o.loading = loading;
    if (!loading) return showTime(option, value, o.frameMs, error);
    if (parseNumber(value, o.frameMs) && o.frameMs >= 1 && o.frameMs <= 63) return Took::Taken;
    return refuse(error, std::string("--stream-loading needs a loading frame from 1 to 63 (frame 0 follows the start-up "
                                     "directly), not '") + value + "'");
}

Took takeReplay(CaptureLine& line, const char* option, const char* value, std::string& error) {
    if (setMode(line, CaptureMode::Replay, option, error) == Took::Refused) return Took::Refused;
    line.options.input = value;
    return Took::Taken;
}

Took takeBench(CaptureLine& line, const char* option, const char*, std::string& error) {
    return setMode(line, CaptureMode::Bench, option, error);
}

Took takeOutput(CaptureLine& line, const char*, const char* value, std::string& error) {
    if (line.haveOutput) return refuse(error, "-o given twice, or with a mode that names its own file");
    return setOutput(line, value);
}

Took takeFrom(CaptureLine& line, const char*, const char* value, std::string& error) {
    std::string why;
    if (!parseShowTime(value, line.options.videoFromMs, why)) return refuse(error, "--from " + why);
    line.options.videoFrom = true;
    return Took::Taken;
}

Took takeSize(CaptureLine& line, const char*, const char* value, std::string& error) {
    CaptureOptions& o = line.options;
    if (!parseSize(value, o.width, o.height))
        return refuse(error, std::string("--size needs WxH, each from 1 to 65536 pixels, not '") + value + "'");
    if (o.width < 4 || o.height < 3) return refuse(error, std::string("--size ") + value + " has no room for a 4:3 picture");
    return Took::Taken;
}

Took takeSupersample(CaptureLine& line, const char* option, const char* value, std::string& error) {
    uint32_t n = 0;
    if (!inRange(option, value, 1, 4, n, error)) return Took::Refused;
    line.options.supersample = static_cast<int>(n);
    return Took::Taken;
}

Took takePart(CaptureLine& line, const char*, const char* value, std::string& error) {
    CaptureOptions& o = line.options;
    if (!parseRange(value, o.partFrom, o.partTo) || o.partFrom > o.partTo)
        return refuse(error, std::string("--part needs FROM:TO in whole milliseconds, FROM not after TO, not '") + value + "'");
    o.part = true;
    return Took::Taken;
}

// Answered at once, whatever else the line holds, as --version usually is.
Took takeVersion(CaptureLine&, const char*, const char*, std::string&) {
    std::fputs("quorbel-capture " QUORBEL_VERSION "\n", stdout);
    std::exit(0);
}

// The script's phases as JSON, for scripts that measure by phase (bench/web_fps.mjs): the
// timeline's table is the only place their times are written.
Took takePhases(CaptureLine&, const char*, const char*, std::string&) {
    std::string json = "[";
    for (int32_t i = 0; i < showPhaseCount; ++i) {
        const ShowPhase& phase = showPhases[i];
        json += std::string(i ? ",\n " : "") + "{\"name\": \"" + phase.name + "\", \"startMs\": " +
                std::to_string(phase.startMs) + ", \"endMs\": " + std::to_string(phase.endMs) + "}";
    }
    std::fputs((json + "]\n").c_str(), stdout);
    std::exit(0);
}

// ---- the table ----

const OptionRow<CaptureLine> captureOptionRows[] = {
    {"--frame", nullptr, "MS",
     "the frame shown at show time MS (ms), reached by running the\nshow from its start",
     takeOneFrame<CaptureMode::Frame>, "--frame MS -o FILE.png"},
    {"--frames", nullptr, "FROM:TO",
     "every frame from FROM to TO ms, one PNG each; or MS,MS,...:\nthose frames only. Each is the frame --frame gives for its\n"
     "time: one off the --fps grid is drawn and then undone",
     takeFrames, "--frames FROM:TO -o DIR"},
    {"--faces", nullptr, "MS",
     "the six particle face textures after the frame at MS:\nDIR/face0.png ... face5.png, 256 x 256",
     takeOneFrame<CaptureMode::Faces>, "--faces MS -o DIR"},
    {"--video", nullptr, "FILE.mp4", "the whole show with its soundtrack (needs ffmpeg)",
     takeFileMode<CaptureMode::Video>},
    {"--wav", nullptr, "FILE.wav", "the soundtrack, the exact wave image the show plays",
     takeFileMode<CaptureMode::Wav>},
    {"--sheet", nullptr, "FILE.png", "a contact sheet: one thumbnail per bar of 3,840 ms, rows of 7",
     takeFileMode<CaptureMode::Sheet>},
    {"--trace", nullptr, "MS", "the device calls of the frame at MS, one per line, to stdout",
     takeOneFrame<CaptureMode::Trace>},
    {"--bench", nullptr, nullptr, "every frame drawn and timed; a table of frame times per phase", takeBench},
    {"--stream", nullptr, "MS",
     "the frame at MS as a frame stream: its textures, the device state\nat its start and its calls with their data "
     "(docs/stream.md)",
     takeStream<false>, "--stream MS -o FILE.d3ds"},
    {"--stream-loading", nullptr, "N", "the same for loading frame N (1 to 63)", takeStream<true>,
     "--stream-loading N -o FILE.d3ds"},
    {"--replay", nullptr, "FILE.d3ds",
     "a frame stream replayed into the OpenGL device: the\npicture --frame writes for the same frame",
     takeReplay, "--replay FILE.d3ds -o FILE.png"},
    {"-o", nullptr, "FILE",
     "the file that --frame, --stream and --replay write, the folder that\n--frames and --faces write into",
     takeOutput},
    {"--cold", nullptr, nullptr,
     "--frame, --faces, --trace: the frame drawn directly, without the\nframes before it",
     takeFlag<&CaptureOptions::cold>},
    {"--until", nullptr, "MS", "--video: ends after the frame at show time MS",
     takeShowTime<&CaptureOptions::untilMs>},
    {"--from", nullptr, "MS",
     "--video: starts at show time MS, its sound too, without the loading\nscreen (the show is run up to MS with drawing "
     "off; the first frame\nis the first one of the --fps grid at or after MS)",
     takeFrom},
    {"--lossless", nullptr, nullptr,
     "--video: the pictures encoded without loss (large; to compare runs\nframe by frame)",
     takeFlag<&CaptureOptions::lossless>},
    {"--json", nullptr, "FILE", "--bench: its figures as JSON too", takeText<&CaptureOptions::json>},
    {"--repeat", nullptr, "N",
     "--replay: the stream replayed N times more (1 to 10000), printing\nthe median time of one replay",
     takeNumber<&CaptureOptions::repeat, 1, 10000>},
    {"--size", nullptr, "WxH",
     "pictures of W x H pixels (every mode; default 640x480): the 4:3\npicture drawn at the largest size that fits, "
     "centred between\nblack bars (1920x1080: 1440 x 1080 with bars left and right);\nthe face textures scale with it "
     "(256 x 256 at 640 x 480)",
     takeSize},
    {"--supersample", nullptr, "N",
     "draw at N times the size each way (1 to 4) and average each\nN x N block: smoother edges, N x N times the "
     "renderer's work",
     takeSupersample},
    {"--fps", nullptr, "N", "frames per second of the virtual clock (default 60)",
     takeNumber<&CaptureOptions::fps, 1, 1000>},
    {"--start-tick", nullptr, "N", "the tick count at start, which feeds the random skip (default 1)",
     takeNumber<&CaptureOptions::startTick, 0, UINT32_MAX>},
    {"--jobs", nullptr, "N",
     "run --video and --frames FROM:TO in N processes, each drawing\nits share of the frames (default: the cores over "
     "the renderer's\nthreads, LP_NUM_THREADS or all cores: 1 unless LP_NUM_THREADS is\nset lower); the other modes "
     "always run in one process",
     takeNumber<&CaptureOptions::jobs, 1, 64>},
    {"--part", nullptr, "FROM:TO", "one such process: only the frames from FROM to TO ms", takePart},
    {"--help", "-h", nullptr, "this text", setField<&CaptureLine::wantsHelp, true>},
    {"--version", nullptr, nullptr, "the version", takeVersion},
    {"--phases", nullptr, nullptr, "the show's phases as JSON: name, startMs, endMs each", takePhases},
};

}  // namespace

std::string captureHelp() {
    return "Usage: quorbel-capture MODE [OPTION...]\n"
           "  Records the show headless on a virtual clock, one mode a run: a frame, frames, the\n"
           "  particle faces, a video, the soundtrack, a contact sheet, a frame's device calls,\n"
           "  a frame benchmark, a frame stream or its replay.\n"
           "\n" +
           optionsHelp(captureOptionRows, 28) +
           "\n"
           "  Long runs (video, frames, sheet, bench) show their progress on stderr: frames done, time\n"
           "  elapsed and an estimate of the time left.\n"
           "  Pictures of the screen (frames, sheet, video) are opaque, as the window shows them; the\n"
           "  back buffer's alpha is no part of them. Face textures are written as their X8R8G8B8\n"
           "  format holds them: colour only, so opaque too.\n"
           "  Exit status: 0 once what the mode names is written and read back as what it should be (a\n"
           "  PNG file for --frame and --replay, six for --faces, a folder with every frame for --frames,\n"
           "  a PNG for --sheet, a whole WAV file for --wav, a video ffprobe can read for --video, a\n"
           "  stream that reads back whole for --stream); 1, with one line on stderr, when not; 2 for\n"
           "  a command line it does not understand.\n"
           "\n" +
           switchesHelp(readByCapture);
}

bool parseCaptureOptions(int argc, const char* const* argv, CaptureOptions& options, std::string& error) {
    CaptureLine line;
    const CommandLineFault fault = readCommandLine(captureOptionRows, argc, argv, line);
    options = line.options;
    if (fault.kind != CommandLineFault::None) {
        error = faultLine(fault);
        return false;
    }
    if (line.wantsHelp) {
        options.mode = CaptureMode::Help;
        return true;
    }
    auto fail = [&](const std::string& why) {
        error = why;
        return false;
    };
    const std::string& modeName = line.modeName;
    const bool haveOutput = line.haveOutput;
    if (!line.haveMode) return fail(std::string("nothing to do: give one of ") + modeNames);
    const CaptureMode mode = options.mode;
    const bool needsO = mode == CaptureMode::Frame || mode == CaptureMode::Frames || mode == CaptureMode::Faces ||
                        mode == CaptureMode::Stream || mode == CaptureMode::Replay;
    const char* const outputName = mode == CaptureMode::Frame || mode == CaptureMode::Replay ? "FILE.png"
                                   : mode == CaptureMode::Stream                            ? "FILE.d3ds"
                                                                                            : "DIR";
    if (needsO && !haveOutput) return fail(modeName + " needs -o " + outputName);
    if (options.repeat != 0 && mode != CaptureMode::Replay) return fail("--repeat goes with --replay only");
    if (mode == CaptureMode::Trace && haveOutput) return fail("--trace writes to stdout; it takes no -o");
    if (options.cold && mode != CaptureMode::Frame && mode != CaptureMode::Faces && mode != CaptureMode::Trace)
        return fail("--cold goes with --frame, --faces or --trace only");
    if (!options.json.empty() && mode != CaptureMode::Bench) return fail("--json goes with --bench only");
    const bool shared = mode == CaptureMode::Video || mode == CaptureMode::Frames;
    if (options.jobs != 0 && !shared) return fail("--jobs goes with --video or --frames only");
    if (options.part && !shared) return fail("--part goes with --video or --frames only");
    if (options.part && options.jobs != 0) return fail("--part is one process's share; it takes no --jobs");
    if (options.untilMs != UINT32_MAX && mode != CaptureMode::Video) return fail("--until goes with --video only");
    if (options.lossless && mode != CaptureMode::Video) return fail("--lossless goes with --video only");
    if (options.videoFrom && mode != CaptureMode::Video)
        return fail("--from goes with --video only (--frames FROM:TO names its own start)");
    if (options.videoFrom && options.videoFromMs >= options.untilMs)
        return fail("--from " + std::to_string(options.videoFromMs) + " is not before --until " +
                    std::to_string(options.untilMs));
    if (mode == CaptureMode::Video && videoShowFrames(options) == 0)
        return fail("no frame of the " + std::to_string(options.fps) + " fps grid lies between --from " +
                    std::to_string(options.videoFromMs) + " ms and " +
                    (options.untilMs != UINT32_MAX ? "--until " + std::to_string(options.untilMs) + " ms"
                                                   : "the show's end (" + std::to_string(lastShowFrameMs) + " ms)"));
    if (!options.frameList.empty() && (options.jobs != 0 || options.part))
        return fail("--frames MS,MS,... runs in one process; it takes no --jobs or --part");
    if (mode == CaptureMode::Video && (options.width % 2 != 0 || options.height % 2 != 0))
        return fail("--video needs an even width and height (the encoder halves the colour planes)");
    if ((options.width != 640 || options.height != 480 || options.supersample != 1) &&
        (mode == CaptureMode::Wav || mode == CaptureMode::Trace || mode == CaptureMode::Stream ||
         mode == CaptureMode::Replay))
        return fail("--size and --supersample go with the modes that draw the show's pictures");
    if (mode == CaptureMode::Bench && haveOutput) return fail("--bench prints a table; it takes no -o");
    if (options.output.empty() && mode != CaptureMode::Trace && mode != CaptureMode::Bench)
        return fail(modeName + " needs a file name");
    return true;
}
