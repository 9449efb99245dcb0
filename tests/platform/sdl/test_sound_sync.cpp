// test_sound_sync.cpp: the desktop's sound, played through SDL's disk driver into a pipe that
// this test reads: held to the show's clock through a device that runs fast, a device that
// stalls and a stop of the whole process; a device that hangs at start-up does not hold the
// show; one that goes away comes back in step. Each case runs the show's sound in a child
// process, which the test can stop, and whose hang is a failure rather than the test's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t firstMs = 5000;  // nowhere near frame 0, which silence would look like
constexpr uint32_t waveSeconds = 40;

// A wave whose every stereo frame names its own index (left: the low 16 bits, right: the
// high), so that what the device took says where in the wave it was.
std::vector<uint8_t> countingWave() {
    const uint32_t frames = waveSeconds * 44100, bytes = frames * 4;
    std::vector<uint8_t> image(44 + bytes);
    const auto put32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) image[at + i] = uint8_t(v >> 8 * i); };
    std::memcpy(&image[0], "RIFF", 4);
    put32(4, 36 + bytes);
    std::memcpy(&image[8], "WAVEfmt ", 8);
    const uint8_t format[16] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
    put32(16, 16);
    std::memcpy(&image[20], format, 16);
    std::memcpy(&image[36], "data", 4);
    put32(40, bytes);
    for (uint32_t i = 0; i < frames; ++i) put32(44 + 4 * size_t(i), i);
    return image;
}

int64_t nanosOf(Clock::time_point t) { return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count(); }

// What the child shares with the test: when its show's clock read 0 (steady nanoseconds), and
// how long the start-up took from systemPlayWave until the sound counted as heard.
struct Shared {
    std::atomic<int64_t> clockZeroNs;
    std::atomic<int64_t> startUpNs;
};

// The show's side: the sound started as the start-up starts it, then a frame every 16 ms with
// the show's clock, until the test ends it.
[[noreturn]] void playShow(Shared* shared, const std::string& fifo, uint32_t seconds) {
    signal(SIGPIPE, SIG_IGN);  // a reader that goes away is a device lost, not the process's end
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", fifo.c_str(), 1);
    const std::vector<uint8_t> wave = countingWave();
    const Clock::time_point asked = Clock::now();
    systemSetWavePosition(firstMs);
    systemPlayWave(wave.data(), uint32_t(wave.size()));
    while (!systemWaveHeard()) std::this_thread::sleep_for(1ms);
    const Clock::time_point heard = Clock::now();
    shared->startUpNs = (heard - asked).count();
    const Clock::time_point zero = heard - std::chrono::milliseconds(firstMs);
    shared->clockZeroNs = nanosOf(zero);
    while (Clock::now() < heard + std::chrono::seconds(seconds)) {
        systemShowFrameAt(uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - zero).count()));
        std::this_thread::sleep_for(16ms);
    }
    systemStopWave();
    _exit(0);
}

// The test's side of the pipe: what it read when, as the show time heard against the show's.
class Listener {
public:
    explicit Listener(const std::string& path) : fifo(path) {}
    ~Listener() { close(); }

    void open() { fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK); }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    // Reads what comes for a while; each read's last counted frame becomes an offset: the wave's
    // time in it minus the show's clock when it was read (positive: the sound is ahead of the picture).
    void listen(Clock::duration span, const Shared* shared) {
        const Clock::time_point end = Clock::now() + span;
        uint8_t buffer[4096 + 4];
        while (Clock::now() < end) {
            pollfd p = {fd, POLLIN, 0};
            poll(&p, 1, 5);
            const ssize_t got = read(fd, buffer + carried, 4096);
            if (got <= 0) continue;  // no writer yet, or nothing written
            const size_t bytes = carried + size_t(got);
            int64_t heard = -1;
            for (size_t at = 0; at + 4 <= bytes; at += 4) {
                uint32_t frame;
                std::memcpy(&frame, buffer + at, 4);
                if (frame == previous + 1 && previous == beforePrevious + 1) heard = frame;
                beforePrevious = previous;
                previous = frame;
            }
            carried = bytes % 4;
            std::memmove(buffer, buffer + bytes - carried, carried);
            const int64_t zero = shared->clockZeroNs;
            if (heard < 0 || zero == 0) continue;
            const double clockMs = double(nanosOf(Clock::now()) - zero) / 1e6;
            offsets.push_back(double(heard) * 1000.0 / 44100.0 - clockMs);
        }
    }
    std::vector<double> offsets;

private:
    std::string fifo;
    int fd = -1;
    size_t carried = 0;
    uint32_t previous = 0, beforePrevious = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 1e9 : values[values.size() / 2];
}

// What the test does to the device and the process while the show plays.
enum class Trouble { None, Stall, Stop, HangAtStart, GoAway };

struct Case {
    const char* name;
    Trouble trouble;
    uint32_t showSeconds;
    const char* warning;  // the one warning it gives (null: none)
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class SoundSyncTest : public testing::TestWithParam<Case> {};

// The disk driver sleeps 11 ms per 11.6 ms buffer: left alone, its sound runs 4 % fast. A stall
// holds the device's writes on a full pipe; a stop holds the whole process.
TEST_P(SoundSyncTest, TheSoundIsHeardWhereThePictureIs) {
    const Case& c = GetParam();
    char dir[] = "/tmp/quorbel-sound-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string fifo = std::string(dir) + "/device", errors = std::string(dir) + "/stderr";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto* shared = static_cast<Shared*>(mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(shared, MAP_FAILED);
    new (shared) Shared{};
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        playShow(shared, fifo, c.showSeconds);
    }
    Listener device(fifo);
    if (c.trouble == Trouble::HangAtStart) std::this_thread::sleep_for(2500ms);
    device.open();
    device.listen(1s, shared);
    switch (c.trouble) {
        case Trouble::Stall: std::this_thread::sleep_for(1500ms); break;
        case Trouble::Stop:
            kill(child, SIGSTOP);
            std::this_thread::sleep_for(1500ms);
            kill(child, SIGCONT);
            break;
        case Trouble::GoAway:
            device.close();
            std::this_thread::sleep_for(1000ms);
            device.open();
            break;
        default: break;
    }
    device.offsets.clear();
    device.listen(2500ms, shared);
    // The last second: by then every correction has had its time.
    const size_t tail = std::min<size_t>(device.offsets.size(), 40);
    const std::vector<double> last(device.offsets.end() - long(tail), device.offsets.end());
    // Read on while the show ends: a device that cannot write holds its close.
    int status = 0;
    for (int i = 0; i < 40 && waitpid(child, &status, WNOHANG) == 0; ++i) device.listen(100ms, shared);
    if (waitpid(child, &status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ADD_FAILURE() << "the show did not end";
    }
    std::ifstream lines(errors);
    // A machine busy enough may delay any start-up past the deadline: that warning is no fault.
    std::string line, said;
    int expected = 0, others = 0;
    while (std::getline(lines, line)) {
        said += line + "\n";
        if (c.warning != nullptr && line.find(c.warning) != std::string::npos) ++expected;
        else if (line.find("warning") != std::string::npos && line.find("took no sound") == std::string::npos) ++others;
    }
    ASSERT_GE(last.size(), 20u) << "too little came through the device\n" << said;
    const double startUpMs = double(shared->startUpNs) / 1e6;
    EXPECT_LT(startUpMs, 1500.0) << "the start-up waited for the device";
    // The disk driver writes each buffer as it gets it, which the show counts as heard one
    // buffer (11.6 ms) later; the picture on screen is a frame (16 ms) behind the show's clock.
    // A read this busy test makes late makes the sound look later: only the median says how
    // far behind it is, while nothing makes it look ahead.
    const double lead = 512 * 1000.0 / 44100.0 - 16.0;
    EXPECT_NEAR(median(last), lead, 15.0) << "the sound is not where the picture is\n" << said;
    EXPECT_LT(*std::max_element(last.begin(), last.end()), lead + 40.0) << said;
    EXPECT_EQ(expected, c.warning != nullptr ? 1 : 0) << "said:\n" << said;
    EXPECT_EQ(others, 0) << "said:\n" << said;
    munmap(shared, sizeof(Shared));
    unlink(fifo.c_str());
    unlink(errors.c_str());
    rmdir(dir);
}

const Case cases[] = {
    {"FastDevice", Trouble::None, 5, nullptr},
    {"StalledDevice", Trouble::Stall, 6, nullptr},
    {"StoppedProcess", Trouble::Stop, 6, nullptr},
    {"DeviceHangsAtStart", Trouble::HangAtStart, 6, "took no sound within a second"},
    {"DeviceGoesAway", Trouble::GoAway, 6, "went away"},
};

INSTANTIATE_TEST_SUITE_P(Troubles, SoundSyncTest, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
