// test_environment_faults.cpp: the real show binary in a broken environment (no display, no
// OpenGL 3.3, no sound card, its window closed under it, the question box, a narrow screen).
// Each case runs the built quorbel against an Xvfb of its own and judges its exit status, its
// stderr lines and the windows it makes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
// GCC 12 at -O1 with the sanitizers warns that std::regex's own std::function may be used
// uninitialised (a false positive inside the library, not in this file).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "tests/require.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;  // nullopt: unset

constexpr Seconds startLimit{12.0};  // launch to playing, generous for the sanitizer build
constexpr Seconds endLimit{6.0};     // an ended show to its exit

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (size_t begin = 0; begin <= dirs.size();) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        if (access((dirs.substr(begin, end - begin) + "/" + program).c_str(), X_OK) == 0) return true;
        begin = end + 1;
    }
    return false;
}

// A scratch folder of the test's own, removed afterwards.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorbel-env-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

std::vector<std::string> environmentWith(const EnvChanges& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string key = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& change : changes) replaced = replaced || change.first == key;
        if (!replaced) result.push_back(text);
    }
    for (const auto& change : changes)
        if (change.second) result.push_back(change.first + "=" + *change.second);
    return result;
}

// fork + exec with everything prepared beforehand: the child only calls what is safe there.
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& dir,
            const std::string& errorFile, int keepFd) {
    std::vector<char*> argv, envp;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
    const int quiet = open("/dev/null", O_RDWR);
    const int err = errorFile.empty() ? quiet : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(quiet, 0);
    dup2(quiet, 1);
    dup2(err, 2);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd) close(fd);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

struct Outcome {
    bool exited = false;  // ended by itself within the limit
    int status = -1;      // its exit code, or 128 + the signal that ended it
    std::vector<std::string> lines;  // on stderr, but for the end line on the frames shown
    std::string report;              // that line
    std::string text() const {
        std::string all;
        for (const std::string& line : lines) all += line + "\n";
        return all;
    }
};

// In the sanitizer build the show's exit reports leaks of the libraries (D-Bus inside SDL, Mesa's
// driver once SDL unloaded it); the show itself releases nothing by design. Memory errors and
// undefined behaviour are still reported.
EnvChanges withoutLeakCheck(EnvChanges env) {
    const char* options = std::getenv("ASAN_OPTIONS");
    env.push_back({"ASAN_OPTIONS", std::string(options != nullptr ? options : "") + ":detect_leaks=0"});
    return env;
}

// One run of the show binary, its stderr kept in a file of the scratch folder.
class ShowProcess {
public:
    ShowProcess(const ScratchDir& scratch, const std::vector<std::string>& options, const EnvChanges& env) {
        errorFile = (scratch.path / "stderr.txt").string();
        std::vector<std::string> args = {QUORBEL_SHOW_BINARY};
        args.insert(args.end(), options.begin(), options.end());
        pid = spawn(args, environmentWith(withoutLeakCheck(env)), scratch.path.string(), errorFile, -1);
    }
    ShowProcess(const ShowProcess&) = delete;
    ShowProcess& operator=(const ShowProcess&) = delete;
    ~ShowProcess() {
        if (pid > 0) finish(Seconds(0));
    }

    void signal(int number) {
        if (pid > 0) kill(pid, number);
    }

    bool running() {
        if (pid <= 0) return false;
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == 0) return true;
        record(status);
        return false;
    }

    // Waits up to the limit, then kills; the outcome says which.
    Outcome finish(Seconds limit) {
        const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(limit);
        while (running() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (pid > 0) {
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
            pid = -1;
            outcome.exited = false;
        }
        std::ifstream in(errorFile);
        for (std::string line; std::getline(in, line);)
            (line.find(" frames shown in ") != std::string::npos ? outcome.report : outcome.lines.emplace_back()) = line;
        return outcome;
    }

private:
    void record(int status) {
        outcome.exited = true;
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid = -1;
    }

    pid_t pid = -1;
    std::string errorFile;
    Outcome outcome;
};

Outcome runShow(const std::vector<std::string>& options, const EnvChanges& env, Seconds limit = startLimit) {
    ScratchDir scratch;
    ShowProcess show(scratch, options, env);
    return show.finish(limit);
}

bool waitFor(Seconds limit, const auto& ready) {
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(limit);
    while (!ready()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    return true;
}

// A display number nobody serves: no socket and no lock file.
std::string unservedDisplay() {
    for (int number = 150; number < 400; ++number) {
        const std::string n = std::to_string(number);
        const bool socket = access(("/tmp/.X11-unix/X" + n).c_str(), F_OK) == 0;
        if (!socket && access(("/tmp/.X" + n + "-lock").c_str(), F_OK) != 0) return ":" + n;
    }
    return ":399";
}

const EnvChanges noDisplay = {
    {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"SDL_VIDEODRIVER", std::nullopt}};

// ---- a command line refused: before the display is looked at ----

TEST(BadCommandLine, EachIsRefusedWithItsReasonAndStatusTwo) {
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--bogus"}, "quorbel: unknown option '--bogus'"},
        {{"--window", "--size"}, "quorbel: --size needs a value"},
        {{"--size", "3x2"}, "quorbel: --size needs WxH, from 4x3 to 65536x65536 pixels, not '3x2'"},
        {{"--scale", "2"}, "quorbel: --scale takes 1 (the 640 x 480 picture scaled up), not '2'"},
        {{"--min-scale", "0.1"}, "quorbel: --min-scale takes a number from 0.25 to 1, not '0.1'"},
        {{"--start", "161280"}, "quorbel: --start: '161280' is past the show's end"},
        {{"--loop", "5:3"}, "quorbel: --loop: the loop '5:3' ends before it starts"},
        {{"--window", "--fullscreen"}, "quorbel: --window and --fullscreen exclude each other"},
        {{"--loop", "1000:2000", "--start", "5000"}, "quorbel: --start 5000 lies outside the loop 1000:2000"},
        {{"--min-scale", "0.5", "--fixed-size"}, "quorbel: --min-scale lowers a drawing size"},
    };
    for (const auto& [options, line] : refused) {
        const Outcome run = runShow(options, noDisplay);
        ASSERT_TRUE(run.exited) << line;
        EXPECT_EQ(run.status, 2) << line;
        ASSERT_FALSE(run.lines.empty()) << line;
        EXPECT_EQ(run.lines[0].rfind(line, 0), 0u) << run.lines[0];
    }
}

// ---- no display: no Xvfb needed ----

TEST(NoDisplay, UnsetDisplaySaysHowToRecordInOneLine) {
    for (const char* option : {"--window", "--fullscreen"}) {
        const Outcome run = runShow({option}, noDisplay);
        ASSERT_TRUE(run.exited) << option << ": still running\n" << run.text();
        EXPECT_EQ(run.status, 1) << option;
        ASSERT_EQ(run.lines.size(), 1u) << run.text();
        EXPECT_NE(run.lines[0].find("quorbel: no display here"), std::string::npos) << run.lines[0];
        EXPECT_NE(run.lines[0].find("quorbel-capture --video"), std::string::npos) << run.lines[0];
    }
}

TEST(NoDisplay, UnservedDisplayIsNamedInsteadOfFallingBackToOffscreen) {
    const std::string display = unservedDisplay();
    for (const std::string& name : {display, std::string("not-a-display")}) {
        EnvChanges env = noDisplay;
        env.push_back({"DISPLAY", name});
        const Outcome run = runShow({"--window"}, env);
        ASSERT_TRUE(run.exited) << name << ": still running";
        EXPECT_EQ(run.status, 1) << name;
        ASSERT_EQ(run.lines.size(), 1u) << run.text();
        EXPECT_NE(run.lines[0].find("cannot open the display " + name), std::string::npos) << run.lines[0];
        EXPECT_NE(run.lines[0].find("quorbel-capture --video"), std::string::npos) << run.lines[0];
    }
}

TEST(NoDisplay, OffscreenDriverAskedForIsRefused) {
    EnvChanges env = noDisplay;
    env.push_back({"SDL_VIDEODRIVER", "offscreen"});
    const Outcome run = runShow({"--window"}, env);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 1u) << run.text();
    EXPECT_NE(run.lines[0].find("'offscreen' video driver"), std::string::npos) << run.lines[0];
}

int ignoreXError(Display*, XErrorEvent*) { return 0; }

// An Xvfb of the test's own (it picks a free display number itself), with one connection kept
// open: Xvfb drops connections when many open at once.
class VirtualDisplay {
public:
    VirtualDisplay() = default;
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    ~VirtualDisplay() {
        if (x != nullptr) XCloseDisplay(x);
        if (server > 0) {
            kill(server, SIGTERM);
            int status = 0;
            waitpid(server, &status, 0);
        }
    }

    // Empty on success, else why not.
    std::string start(const std::string& screen, const std::vector<std::string>& extra = {}) {
        if (!onPath("Xvfb")) return "Xvfb is not installed (Debian package xvfb)";
        int ready[2];
        if (pipe(ready) != 0) return "no pipe";
        std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", screen,
                                         "-nolisten", "tcp"};
        args.insert(args.end(), extra.begin(), extra.end());
        server = spawn(args, environmentWith({}), "", "", ready[1]);
        close(ready[1]);
        std::string number;
        pollfd wait = {ready[0], POLLIN, 0};
        char c = 0;
        while (poll(&wait, 1, 10000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
        close(ready[0]);
        if (number.empty()) return "Xvfb did not start";
        name = ":" + number;
        XSetErrorHandler(ignoreXError);
        x = XOpenDisplay(name.c_str());
        if (x == nullptr) return "cannot connect to Xvfb " + name;
        root = DefaultRootWindow(x);
        // Full-screen requests go to the root window as client messages (EWMH).
        XSelectInput(x, root, SubstructureNotifyMask);
        XSync(x, False);
        return "";
    }

    EnvChanges env(EnvChanges more = {}) const {
        more.push_back({"DISPLAY", name});
        more.push_back({"WAYLAND_DISPLAY", std::nullopt});
        more.push_back({"SDL_VIDEODRIVER", std::nullopt});
        return more;
    }

    // The window's title: EWMH's UTF-8 name where set (SDL's question box sets only that), else WM_NAME.
    std::string titleOf(Window window) {
        std::string title;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const Atom netName = XInternAtom(x, "_NET_WM_NAME", False), utf8 = XInternAtom(x, "UTF8_STRING", False);
        if (XGetWindowProperty(x, window, netName, 0, 256, False, utf8, &type, &format, &count, &after, &data) ==
                Success &&
            data != nullptr && format == 8)
            title.assign(reinterpret_cast<char*>(data), count);
        if (data != nullptr) XFree(data);
        char* name = nullptr;
        if (title.empty() && XFetchName(x, window, &name) != 0 && name != nullptr) title = name;
        if (name != nullptr) XFree(name);
        return title;
    }

    // Pixels of the text in SDL's question box font, 0 where the server has none.
    int textWidth(const char* text) {
        char** missing = nullptr;
        int missingCount = 0;
        char* fallback = nullptr;
        XFontSet fonts = XCreateFontSet(x, "-*-*-medium-r-normal--*-120-*-*-*-*-*-*", &missing, &missingCount, &fallback);
        if (missing != nullptr) XFreeStringList(missing);
        if (fonts == nullptr) return 0;
        XRectangle ink, logical;
        XmbTextExtents(fonts, text, static_cast<int>(std::strlen(text)), &ink, &logical);
        XFreeFontSet(x, fonts);
        return logical.width;
    }

    // A mapped top-level window of that title, or 0.
    Window findWindow(const char* title) {
        Window rootReturn = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(x, root, &rootReturn, &parent, &children, &count) == 0) return 0;
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            XWindowAttributes attributes;
            if (titleOf(children[i]) == title && XGetWindowAttributes(x, children[i], &attributes) != 0 &&
                attributes.map_state == IsViewable)
                found = children[i];
        }
        if (children != nullptr) XFree(children);
        return found;
    }

    Window waitForWindow(const char* title, ShowProcess& show, Seconds limit = startLimit) {
        Window found = 0;
        waitFor(limit, [&] { return (found = findWindow(title)) != 0 || !show.running(); });
        return found;
    }

    // A key press and release sent to the window itself, as xdotool key --window does.
    Time keyTime = 1000;
    void sendKey(Window window, KeySym key) {
        XEvent event = {};
        event.xkey.display = x;
        event.xkey.window = window;
        event.xkey.root = root;
        event.xkey.same_screen = True;
        event.xkey.keycode = XKeysymToKeycode(x, key);
        for (int type : {KeyPress, KeyRelease}) {
            // Times apart, as a keyboard's are: SDL reads a release and a press of one key at the
            // same time as the keyboard's own repeat, which the show ignores.
            keyTime += 50;
            event.xkey.time = keyTime;
            event.type = type;
            XSendEvent(x, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
        }
        XSync(x, False);
    }

    // What a window manager sends when the user closes a window.
    void sendDeleteWindow(Window window) {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x, window, False, NoEventMask, &event);
        XSync(x, False);
    }

    // Whether the window asked to be made full screen, going by the events seen so far.
    bool askedFullScreen(Window window) {
        const Atom state = XInternAtom(x, "_NET_WM_STATE", False);
        const Atom fullScreen = XInternAtom(x, "_NET_WM_STATE_FULLSCREEN", False);
        while (XPending(x) > 0) {
            XEvent event;
            XNextEvent(x, &event);
            if (event.type != ClientMessage || event.xclient.window != window) continue;
            const long* data = event.xclient.data.l;
            if (event.xclient.message_type == state && data[0] == 1 /* _NET_WM_STATE_ADD */ &&
                static_cast<Atom>(data[1]) == fullScreen)
                fullScreenSeen = true;
        }
        return fullScreenSeen;
    }

    Display* x = nullptr;
    Window root = 0;
    std::string name;

private:
    pid_t server = -1;
    bool fullScreenSeen = false;
};

#define START_DISPLAY(display, ...)                               \
    do {                                                          \
        const std::string why = (display).start(__VA_ARGS__);     \
        if (!why.empty()) SKIP_OR_FAIL(why);                      \
    } while (0)

struct Geometry {
    int x, y, width, height;
};

Geometry geometryOf(Display* x, Window window) {
    XWindowAttributes attributes = {};
    XGetWindowAttributes(x, window, &attributes);
    return {attributes.x, attributes.y, attributes.width, attributes.height};
}

// Starts the show, ends it with Escape once its window is up (the key waits in the queue until
// the frame loop's first test) and returns how it ended.
Outcome playAndEscape(VirtualDisplay& display, const EnvChanges& env, Geometry* seen = nullptr) {
    ScratchDir scratch;
    ShowProcess show(scratch, {"--window"}, display.env(env));
    const Window window = display.waitForWindow("Quorbel", show);
    if (window != 0) {
        if (seen != nullptr) *seen = geometryOf(display.x, window);
        display.sendKey(window, XK_Escape);
    }
    Outcome outcome = show.finish(startLimit);
    if (window == 0) outcome.lines.push_back("(test: the show's window never appeared)");
    return outcome;
}

// ---- the sound ----

TEST(NoSoundCard, EveryAudioDriverLeavesTheShowRunningWithAtMostOneLine) {
    VirtualDisplay display;
    START_DISPLAY(display, "800x600x24");
    // Unset means the machine's own device: without a sound card ALSA's complaints become one line.
    for (const char* driver : {"", "dummy", "no-such-driver"}) {
        EnvChanges env;
        env.push_back({"SDL_AUDIODRIVER", *driver != '\0' ? std::optional<std::string>(driver) : std::nullopt});
        const Outcome run = playAndEscape(display, env);
        ASSERT_TRUE(run.exited) << "driver '" << driver << "'\n" << run.text();
        EXPECT_EQ(run.status, 0) << "driver '" << driver << "'\n" << run.text();
        EXPECT_LE(run.lines.size(), 1u) << "driver '" << driver << "'\n" << run.text();
        if (std::strcmp(driver, "dummy") == 0) {
            EXPECT_TRUE(run.lines.empty()) << run.text();
        }
        if (std::strcmp(driver, "no-such-driver") == 0) {
            ASSERT_EQ(run.lines.size(), 1u);
            EXPECT_NE(run.lines[0].find("plays silently"), std::string::npos) << run.lines[0];
        }
    }
}

bool hasSound(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    char byte = 0;
    while (in.get(byte))
        if (byte != 0) return true;
    return false;
}

TEST(NoSoundCard, DiskDriverWritesTheSoundWhereItSays) {
    VirtualDisplay display;
    START_DISPLAY(display, "800x600x24");
    ScratchDir scratch;
    const std::filesystem::path named = scratch.path / "sound.raw";
    // Without SDL_DISKAUDIOFILE the file is sdlaudio.raw in the working folder.
    for (const std::filesystem::path& file : {named, scratch.path / "sdlaudio.raw"}) {
        EnvChanges env = {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIODELAY", std::nullopt}};
        if (file == named) env.push_back({"SDL_DISKAUDIOFILE", file.string()});
        if (file != named) env.push_back({"SDL_DISKAUDIOFILE", std::nullopt});
        ShowProcess show(scratch, {"--window"}, display.env(env));
        // The file is opened as the music starts: the show is playing once it has data.
        const bool playing = waitFor(startLimit, [&] {
            std::error_code error;
            const uintmax_t bytes = std::filesystem::file_size(file, error);
            return (!error && bytes > 44100 * 4) || !show.running();
        });
        const Window window = display.findWindow("Quorbel");
        if (window != 0) display.sendKey(window, XK_Escape);
        const Outcome run = show.finish(endLimit);
        ASSERT_TRUE(playing) << file << " never filled\n" << run.text();
        ASSERT_TRUE(run.exited) << run.text();
        EXPECT_EQ(run.status, 0) << run.text();
        ASSERT_EQ(run.lines.size(), 1u) << run.text();
        const std::string shown = file == named ? file.string() : std::string("sdlaudio.raw");
        EXPECT_NE(run.lines[0].find("written to the file " + shown + " "), std::string::npos) << run.lines[0];
        EXPECT_TRUE(hasSound(file)) << file << " holds only silence";
    }
}

// The sound of a seek (--start) and a pause on the disk driver: the file holds the soundtrack's
// samples from exactly that show time; a pause holds it, and the samples go on after it where
// they stopped.
TEST(NoSoundCard, TheSoundFollowsASeekAndAPause) {
    VirtualDisplay display;
    START_DISPLAY(display, "800x600x24");
    ScratchDir scratch;
    const std::filesystem::path wav = scratch.path / "show.wav", raw = scratch.path / "sound.raw";
    ASSERT_EQ(std::system((std::string(QUORBEL_CAPTURE_BINARY) + " --wav " + wav.string() + " 2>/dev/null").c_str()), 0);
    auto fileSize = [](const std::filesystem::path& file) {
        std::error_code error;
        const uintmax_t bytes = std::filesystem::file_size(file, error);
        return error ? uintmax_t(0) : bytes;
    };
    std::ifstream wavIn(wav, std::ios::binary);
    const std::string wave((std::istreambuf_iterator<char>(wavIn)), {});
    const std::string data = wave.substr(44);  // show time 0 is the data's first sample
    const size_t seekedTo = size_t(40000) * 44100 / 1000 * 4;
    auto heardSoFar = [&raw] {
        std::ifstream rawIn(raw, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(rawIn)), {});
    };
    ShowProcess show(scratch, {"--window", "--start", "40000"},
                     display.env({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", raw.string()}}));
    // The sound starts at 0 while the seek runs up; the keys wait until it has moved to 40 s.
    const bool played = waitFor(startLimit, [&] {
        return heardSoFar().find(data.substr(seekedTo, 4096)) != std::string::npos || !show.running();
    });
    const Window window = display.findWindow("Quorbel");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (window != 0) display.sendKey(window, XK_space);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    if (window != 0) display.sendKey(window, XK_space);
    const uintmax_t resumedAt = fileSize(raw);
    waitFor(startLimit, [&] { return fileSize(raw) > resumedAt + 44100 * 4 || !show.running(); });
    if (window != 0) display.sendKey(window, XK_Escape);
    const Outcome run = show.finish(endLimit);
    ASSERT_TRUE(played && run.exited) << run.text();
    EXPECT_EQ(run.status, 0) << run.text();

    const std::string heard = heardSoFar();
    const size_t started = heard.find(data.substr(seekedTo, 4096));
    ASSERT_NE(started, std::string::npos) << "the samples of 40 s never came";
    // The pause is the first tenth of a second of silence after that; the sound is held to the
    // picture meanwhile (a few ms skipped or repeated now and then), so it is found block by block.
    const size_t silence = heard.find(std::string(4 * 44100 / 10, '\0'), started);
    ASSERT_NE(silence, std::string::npos) << "the pause did not hold the sound";
    const size_t after = heard.find_first_not_of('\0', silence);
    ASSERT_GT(silence, started + 4 * 44100 / 5) << "a fifth of a second at least played before the pause";
    ASSERT_LT(after + 4096, heard.size()) << "nothing after the pause";
    // Where in the soundtrack a heard byte was: from the nearest 1 KB block found whole (the
    // few around a jump are blends), looking back (-1) or on (+1) from it.
    const auto placeOf = [&](size_t heardAt, int direction) {
        for (size_t step = 0; step < 8; ++step) {
            const size_t block = direction < 0 ? heardAt - 1024 * (step + 1) : heardAt + 1024 * step;
            const size_t found = data.find(heard.substr(block, 1024), seekedTo);
            if (found != std::string::npos) return found + (heardAt - block);
        }
        return std::string::npos;
    };
    const size_t stopped = placeOf(silence, -1), resumed = placeOf(after, +1);
    ASSERT_NE(stopped, std::string::npos) << "the sound before the pause is not the soundtrack's";
    ASSERT_NE(resumed, std::string::npos) << "the sound after the pause is not the soundtrack's";
    // The silence may have swallowed some zero samples of the soundtrack: the sound goes on from
    // where it stopped, within the bytes the silence took and the 10 ms the sound may be off.
    const size_t offBy = 4 * 441;
    EXPECT_GE(resumed + offBy, stopped) << "after the pause the sound went back";
    EXPECT_LE(resumed, stopped + offBy + (after - silence)) << "after the pause the sound went on from elsewhere";
}

// ---- keys held down ----

// Right held for 2 s and let go (through XTest, so the server's auto-repeat runs as a keyboard's
// does), then the show plays 2 s more: it seeks at a steady rate while the key is held and not
// after. The auto-repeat made 27 to 34 seeks and its backlog went on after the release. (Space and
// the others ignore the repeats by the same path: PlayerKeysTest holds their rates.)
TEST(HeldKeys, ASeekKeyRepeatsSteadilyUntilLetGo) {
    if (!onPath("xdotool")) SKIP_OR_FAIL("xdotool is not installed (Debian package xdotool)");
    VirtualDisplay display;
    START_DISPLAY(display, "800x600x24");
    ScratchDir scratch;
    const std::filesystem::path log = scratch.path / "frames.log", sound = scratch.path / "sound.raw";
    ShowProcess show(scratch, {"--window", "--start", "20000"},
                     display.env({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", sound.string()},
                                  {"QUORBEL_FRAME_LOG", log.string()}}));
    // Mid-show: the window is there and the music has started.
    const Window window = display.waitForWindow("Quorbel", show);
    const bool playing = waitFor(startLimit, [&] { return std::filesystem::exists(sound) || !show.running(); });
    ASSERT_TRUE(playing && window != 0) << show.finish(Seconds(0)).text();
    auto key = [&](const char* upOrDown, const char* name) {
        const pid_t pid = spawn({"xdotool", upOrDown, name}, environmentWith(display.env()), "", "", -1);
        int status = 0;
        waitpid(pid, &status, 0);
    };
    std::this_thread::sleep_for(std::chrono::seconds(1));
    key("keydown", "Right");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    key("keyup", "Right");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    display.sendKey(window, XK_Escape);
    const Outcome run = show.finish(endLimit);
    ASSERT_TRUE(run.exited) << run.text();
    // Each Right adds 5 s to the show time, however the seeks' run-ups fall between frames.
    std::vector<std::pair<double, double>> frames;  // presented at, show time (ms)
    std::ifstream in(log);
    for (double at = 0, height = 0, ms = 0; in >> at >> height >> ms;) frames.push_back({at, ms});
    ASSERT_GT(frames.size(), 20u) << run.text();
    double skipped = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        const double shown = frames[i].second - frames[i - 1].second, passed = frames[i].first - frames[i - 1].first;
        if (shown >= 1000) skipped += shown - passed;
    }
    // One at the press, then one every 250 ms from 400 ms on: 8 in 2 s, and none once let go.
    const double seeks = skipped / 5000;
    EXPECT_GE(seeks, 3.5);
    EXPECT_LE(seeks, 9.5) << "Right acted more often than its rate, or after it was let go";
}

// ---- a window that cannot be seen ----

// Unmapped (as a minimised window is) for 2 s: no frame is presented meanwhile, and the first one
// after is where the clock says. It drew and presented at full cost all along.
TEST(HiddenWindow, PresentsNothingAndKeepsTheClock) {
    VirtualDisplay display;
    START_DISPLAY(display, "800x600x24");
    ScratchDir scratch;
    const std::filesystem::path log = scratch.path / "frames.log", sound = scratch.path / "sound.raw";
    ShowProcess show(scratch, {"--window", "--start", "30000"},
                     display.env({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", sound.string()},
                                  {"QUORBEL_FRAME_LOG", log.string()}}));
    // Mid-show: the window is there and the music has started.
    const Window window = display.waitForWindow("Quorbel", show);
    const bool playing = waitFor(startLimit, [&] { return std::filesystem::exists(sound) || !show.running(); });
    ASSERT_TRUE(playing && window != 0) << show.finish(Seconds(0)).text();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    XUnmapWindow(display.x, window);
    XSync(display.x, False);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    XMapWindow(display.x, window);
    XSync(display.x, False);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    display.sendKey(window, XK_Escape);
    const Outcome run = show.finish(endLimit);
    ASSERT_TRUE(run.exited) << run.text();
    double gap = 0, showGap = 0;
    std::ifstream in(log);
    for (double at = 0, height = 0, ms = 0, lastAt = -1, lastMs = 0; in >> at >> height >> ms; lastAt = at, lastMs = ms)
        if (lastAt >= 0 && at - lastAt > gap) gap = at - lastAt, showGap = ms - lastMs;
    EXPECT_GT(gap, 1500) << "frames were presented while the window was unmapped\n" << run.text();
    EXPECT_NEAR(showGap, gap, 200) << "the clock did not go on while hidden";
}

// ---- the end line ----

// A loop of one frame wraps, that is seeks, at every frame: the end line counted only the frames
// after another ("5424 frames shown in 181.3 s" where the frame log held 11,726 over 363.5 s).
// Its count and time are the frame log's.
TEST(EndLine, CountsTheFramesAndTimeOfTheFrameLogThroughLoops) {
    VirtualDisplay display;
    START_DISPLAY(display, "800x600x24");
    for (const char* loop : {"5000:5001", "5000:5400"}) {
        ScratchDir scratch;
        const std::filesystem::path log = scratch.path / "frames.log";
        ShowProcess show(scratch, {"--window", "--loop", loop},
                         display.env({{"SDL_AUDIODRIVER", "dummy"}, {"QUORBEL_FRAME_LOG", log.string()}}));
        // The log is written through a buffer: it shows once a few seconds of frames are in it.
        const bool playing = waitFor(startLimit + Seconds(5), [&] {
            std::error_code missing;
            const uintmax_t bytes = std::filesystem::file_size(log, missing);
            return (!missing && bytes > 0) || !show.running();
        });
        ASSERT_TRUE(playing) << show.finish(Seconds(0)).text();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        display.sendKey(display.findWindow("Quorbel"), XK_Escape);
        const Outcome run = show.finish(endLimit);
        ASSERT_TRUE(run.exited) << run.text();
        int frames = 0;
        double lastMs = 0;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line); ++frames) lastMs = std::stod(line);
        int reported = -1;
        double seconds = -1;
        ASSERT_EQ(std::sscanf(run.report.c_str(), "quorbel: %d frames shown in %lf s", &reported, &seconds), 2) << run.report;
        EXPECT_GT(frames, 60) << loop;
        EXPECT_EQ(reported, frames) << loop << ": " << run.report;
        EXPECT_NEAR(seconds, lastMs / 1000.0, 0.051) << loop << ": " << run.report;
    }
}

// ---- a signal ----

// SIGTERM while the show loads and runs up to a late start (no frame drawn yet, each step a
// loading frame or 4 s of show, a picture of 1600 x 1200 presented after each): it ends within a
// second, not only at its first frame as it did, and by the signal, not with 0 as if it had played.
TEST(Signal, DuringTheLoadingAndARunUpEndsTheShowWithinASecond) {
    VirtualDisplay display;
    START_DISPLAY(display, "1600x1200x24");
    ScratchDir scratch;
    ShowProcess show(scratch, {"--window", "--size", "1600x1200", "--start", "160000"},
                     display.env({{"SDL_AUDIODRIVER", "dummy"}}));
    ASSERT_NE(display.waitForWindow("Quorbel", show), 0u) << show.finish(Seconds(0)).text();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(show.running()) << show.finish(Seconds(0)).text();
    show.signal(SIGTERM);
    const Outcome run = show.finish(Seconds(1.0));
    ASSERT_TRUE(run.exited) << "still running a second after SIGTERM\n" << run.text();
    EXPECT_EQ(run.status, 128 + SIGTERM) << run.text();
    EXPECT_TRUE(run.lines.empty()) << run.text();
    EXPECT_EQ(run.report, "") << "the signal was meant to come before the show's first frame";
}

// SIGTERM or SIGINT while the question waits for its answer: the box goes and the program ends by
// the signal at once (the box, SDL's child process, stayed up for minutes, and the answer then
// started a show that ended with "0 frames shown" and status 0).
TEST(Signal, AtTheQuestionTakesTheBoxAwayAndEndsByTheSignal) {
    VirtualDisplay display;
    START_DISPLAY(display, "1024x768x24");
    const char* caption = "Quorbel by the Vantreli";
    for (int number : {SIGTERM, SIGINT}) {
        ScratchDir scratch;
        ShowProcess show(scratch, {}, display.env({{"SDL_AUDIODRIVER", "dummy"}}));
        ASSERT_NE(display.waitForWindow(caption, show), 0u) << show.finish(Seconds(0)).text();
        show.signal(number);
        const Outcome run = show.finish(Seconds(1.0));
        ASSERT_TRUE(run.exited) << "signal " << number << ": still running a second after it\n" << run.text();
        EXPECT_EQ(run.status, 128 + number) << run.text();
        EXPECT_TRUE(run.lines.empty()) << run.text();
        EXPECT_TRUE(waitFor(Seconds(2), [&] { return display.findWindow(caption) == 0; })) << "the box stayed";
    }
}

// A window larger than its screen is refused before it is made (at 16384 x 16384 it took
// gigabytes and showed no frame), naming the largest of its aspect that fits.
TEST(WindowSize, LargerThanTheScreenIsRefusedAtOnce) {
    VirtualDisplay display;
    START_DISPLAY(display, "800x600x24");
    const Outcome run = runShow({"--window", "--size", "16384x16384"}, display.env({{"SDL_AUDIODRIVER", "dummy"}}), Seconds(5));
    ASSERT_TRUE(run.exited) << run.text();
    EXPECT_EQ(run.status, 2) << run.text();
    ASSERT_EQ(run.lines.size(), 2u) << run.text();
    EXPECT_EQ(run.lines[0], "quorbel: --size 16384x16384 is larger than the screen (800 x 600); the largest that fits is "
                            "--size 600x600");
}

// ---- the window closed under the show ----

TEST(WindowClosed, ByTheWindowManagerKillOrDestroyTheShowEndsAsWithEscape) {
    VirtualDisplay display;
    START_DISPLAY(display, "800x600x24");
    enum How { DeleteMessage, Destroy, KillClient };
    for (How how : {DeleteMessage, Destroy, KillClient}) {
        ScratchDir scratch;
        const std::filesystem::path sound = scratch.path / "sound.raw";
        ShowProcess show(scratch, {"--window"},
                         display.env({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", sound.string()}}));
        // Mid-show: the music has started.
        const bool playing =
            waitFor(startLimit, [&] { return std::filesystem::exists(sound) || !show.running(); });
        const Window window = display.findWindow("Quorbel");
        ASSERT_TRUE(playing && window != 0) << "case " << how << "\n" << show.finish(Seconds(0)).text();
        if (how == DeleteMessage) display.sendDeleteWindow(window);
        if (how == Destroy) XDestroyWindow(display.x, window);
        if (how == KillClient) XKillClient(display.x, window);
        XSync(display.x, False);
        const Outcome run = show.finish(endLimit);
        ASSERT_TRUE(run.exited) << "case " << how << ": the show went on\n" << run.text();
        EXPECT_EQ(run.status, 0) << "case " << how << "\n" << run.text();
        // The disk driver's line, and for a lost connection the line that says so.
        ASSERT_EQ(run.lines.size(), how == KillClient ? 2u : 1u) << "case " << how << "\n" << run.text();
        if (how == KillClient) {
            EXPECT_NE(run.lines[1].find("closed the show's connection"), std::string::npos) << run.lines[1];
        }
    }
}

// ---- the question box ----

TEST(QuestionBox, EscapeMeansWindowAndReturnMeansFullScreen) {
    VirtualDisplay display;
    START_DISPLAY(display, "1024x768x24");
    for (KeySym answer : {XK_Escape, XK_Return}) {
        ScratchDir scratch;
        ShowProcess show(scratch, {}, display.env({{"SDL_AUDIODRIVER", "dummy"}}));
        const Window box = display.waitForWindow("Quorbel by the Vantreli", show);
        if (box == 0) {
            const Outcome run = show.finish(endLimit);
            if (run.text().find("question cannot be shown") != std::string::npos)
                SKIP_OR_FAIL("SDL cannot draw its question box on this Xvfb (no X fonts: Debian package "
                             "xfonts-base)\n"
                             << run.text());
            FAIL() << "no question box\n" << run.text();
        }
        // Its title whole in the title bar: at least as wide as the caption in the box's own font
        // beside four buttons of the window manager (SDL made it 200 px, and the title was cut).
        EXPECT_GE(geometryOf(display.x, box).width, display.textWidth("Quorbel by the Vantreli") + 4 * 20);
        display.sendKey(box, answer);
        const Window window = display.waitForWindow("Quorbel", show);
        ASSERT_NE(window, 0u) << show.finish(Seconds(0)).text();
        const Geometry geometry = geometryOf(display.x, window);
        display.sendKey(window, XK_Escape);
        const Outcome run = show.finish(startLimit);
        ASSERT_TRUE(run.exited) << run.text();
        EXPECT_EQ(run.status, 0) << run.text();
        EXPECT_TRUE(run.lines.empty()) << run.text();
        if (answer == XK_Escape) {
            EXPECT_FALSE(display.askedFullScreen(window)) << "Escape gave full screen";
            EXPECT_EQ(geometry.x, 192);
            EXPECT_EQ(geometry.y, 144);
            EXPECT_EQ(geometry.width, 640);
            EXPECT_EQ(geometry.height, 480);
        } else {
            EXPECT_TRUE(display.askedFullScreen(window)) << "Return gave no full-screen request";
        }
    }
}

TEST(QuestionBox, ThatCannotBeDrawnWarnsOnceAndPlaysInAWindow) {
    if (onPath("zenity")) GTEST_SKIP() << "zenity is installed: SDL would ask through it";
    VirtualDisplay display;
    // Only the server's built-in fonts: SDL's own box finds none to draw with.
    START_DISPLAY(display, "1024x768x24", {"-fp", "built-ins"});
    ScratchDir scratch;
    ShowProcess show(scratch, {}, display.env({{"SDL_AUDIODRIVER", "dummy"}}));
    const Window window = display.waitForWindow("Quorbel", show);
    ASSERT_NE(window, 0u) << show.finish(Seconds(0)).text();
    display.sendKey(window, XK_Escape);
    const Outcome run = show.finish(startLimit);
    ASSERT_TRUE(run.exited) << run.text();
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 1u) << run.text();
    EXPECT_NE(run.lines[0].find("the show plays in a window"), std::string::npos) << run.lines[0];
    EXPECT_FALSE(display.askedFullScreen(window));
}

// ---- a window of the size asked ----

// Lit pixels of the window as the X server holds it: the picture the show presented.
int litPixels(Display* x, Window window, int width, int height) {
    XImage* image = XGetImage(x, window, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (image == nullptr) return -1;
    int lit = 0;
    for (int y = 0; y < height; y += 2)
        for (int i = 0; i < width; i += 2) lit += (XGetPixel(image, i, y) & 0xFFFFFF) != 0;
    XDestroyImage(image);
    return lit;
}

TEST(WindowSize, SizeAskedGivesAWindowOfThatSizeThatShowsThePictureAndFollowsAResize) {
    VirtualDisplay display;
    START_DISPLAY(display, "1600x1200x24");
    ScratchDir scratch;
    ShowProcess show(scratch, {"--window", "--size", "1280x960"}, display.env({{"SDL_AUDIODRIVER", "dummy"}}));
    const Window window = display.waitForWindow("Quorbel", show);
    ASSERT_NE(window, 0u) << show.finish(startLimit).text();
    const Geometry geometry = geometryOf(display.x, window);
    EXPECT_EQ(geometry.width, 1280);
    EXPECT_EQ(geometry.height, 960);
    EXPECT_EQ(geometry.x, 160) << "centred";
    EXPECT_TRUE(waitFor(startLimit, [&] { return litPixels(display.x, window, 1280, 960) > 1000; }))
        << "a frame is presented";
    // Resized under it, the show draws its targets again at the new size and goes on.
    XResizeWindow(display.x, window, 800, 600);
    XSync(display.x, False);
    EXPECT_TRUE(waitFor(startLimit, [&] { return geometryOf(display.x, window).width == 800; }));
    EXPECT_TRUE(waitFor(startLimit, [&] { return litPixels(display.x, window, 800, 600) > 1000; }));
    display.sendKey(window, XK_Escape);
    const Outcome run = show.finish(startLimit);
    ASSERT_TRUE(run.exited) << run.text();
    EXPECT_EQ(run.status, 0) << run.text();
    // The end line (no show frame at all when Escape came during the loading screen); drawn at
    // most at the window's own sizes, however the frames went.
    EXPECT_TRUE(std::regex_match(run.report, std::regex("quorbel: [0-9]+ frames shown in [0-9.]+ s, frame interval "
                                                        "median [0-9.]+ ms, 99th percentile [0-9.]+ ms; (nothing drawn|"
                                                        "drawn at (1280x960|800x600|[1-7][0-9][0-9]x[1-5][0-9][0-9]) "
                                                        "for [0-9.]+ s(, [0-9]+x[0-9]+ for [0-9.]+ s)*)")))
        << run.report;
}

// ---- placement on a narrow screen ----

TEST(NarrowScreen, WindowGoesToNegativeXUnchangedAndTheShowRuns) {
    VirtualDisplay display;
    START_DISPLAY(display, "600x400x24");
    Geometry geometry = {};
    const Outcome run = playAndEscape(display, {{"SDL_AUDIODRIVER", "dummy"}}, &geometry);
    ASSERT_TRUE(run.exited) << run.text();
    EXPECT_EQ(run.status, 0) << run.text();
    // 600 / 2 - 320 and 400 / 2 - 240.
    EXPECT_EQ(geometry.x, -20);
    EXPECT_EQ(geometry.y, -40);
    EXPECT_EQ(geometry.width, 640);
    EXPECT_EQ(geometry.height, 480);
}

// ---- OpenGL ----

TEST(NoOpenGL33, OlderOrMissingOpenGLEndsWithOneLine) {
    struct Case {
        const char* what;
        std::vector<std::string> serverOptions;
        EnvChanges env;
        const char* expected;
    };
    const Case cases[] = {
        {"Mesa capped at 2.1", {}, {{"MESA_GL_VERSION_OVERRIDE", "2.1"}}, "no OpenGL 3.3 core context"},
        {"indirect GLX", {}, {{"LIBGL_ALWAYS_INDIRECT", "1"}}, "no OpenGL 3.3 core context"},
        {"EGL capped at 2.1", {}, {{"SDL_VIDEO_X11_FORCE_EGL", "1"}, {"MESA_GL_VERSION_OVERRIDE", "2.1"}},
         "no OpenGL 3.3 core context"},
        {"a server without GLX", {"-extension", "GLX"}, {}, "cannot create the show's OpenGL window (GLX"},
    };
    for (const Case& c : cases) {
        VirtualDisplay display;
        START_DISPLAY(display, "800x600x24", c.serverOptions);
        EnvChanges env = c.env;
        env.push_back({"SDL_AUDIODRIVER", "dummy"});
        const Outcome run = runShow({"--window"}, display.env(env));
        ASSERT_TRUE(run.exited) << c.what << "\n" << run.text();
        EXPECT_EQ(run.status, 1) << c.what << "\n" << run.text();
        ASSERT_EQ(run.lines.size(), 1u) << c.what << "\n" << run.text();
        EXPECT_NE(run.lines[0].find(c.expected), std::string::npos) << c.what << ": " << run.lines[0];
    }
}

TEST(NoOpenGL33, ContextMadeThroughEglIsAccepted) {
    VirtualDisplay display;
    START_DISPLAY(display, "800x600x24");
    const Outcome run = playAndEscape(display, {{"SDL_VIDEO_X11_FORCE_EGL", "1"}, {"SDL_AUDIODRIVER", "dummy"}});
    ASSERT_TRUE(run.exited) << run.text();
    EXPECT_EQ(run.status, 0) << run.text();
    EXPECT_TRUE(run.lines.empty()) << run.text();
}

}  // namespace
