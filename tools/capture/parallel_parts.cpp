// parallel_parts.cpp: starting this program once per part, and following the parts' progress.
#include "tools/capture/parallel_parts.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "core/frame_grid.h"
#include "platform/switches.h"
#include "tools/capture/capture_job.h"
#include "tools/capture/capture_run.h"

unsigned coreCount() {
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<unsigned>(cores) : 1;
}

// llvmpipe renders with LP_NUM_THREADS threads, all the cores by default: more processes than
// cores over threads would only take turns on the same cores.
uint32_t jobCount(const CaptureOptions& options) {
    if (options.jobs != 0) return options.jobs;
    const unsigned cores = coreCount();
    unsigned threads = cores;
    if (switchNamed(Switch::RendererThreads)) {
        char* end = nullptr;
        const long value = std::strtol(switchValue(Switch::RendererThreads), &end, 10);
        if (*end == '\0' && value >= 0) threads = std::max(1L, value);
    }
    return std::max(1u, cores / threads);
}

namespace {

// What every part takes from the whole run, and its share.
std::vector<std::string> commonArguments(const CaptureOptions& options, const Part& part) {
    return {"--fps", std::to_string(options.fps), "--start-tick", std::to_string(options.startTick),
            "--size", std::to_string(options.width) + "x" + std::to_string(options.height),
            "--supersample", std::to_string(options.supersample), "--part",
            std::to_string(part.fromMs) + ":" + std::to_string(part.toMs)};
}

}  // namespace

std::vector<Part> frameParts(const CaptureOptions& options, uint32_t count) {
    std::vector<Part> parts;
    if (count == 0) return parts;
    const uint64_t span = uint64_t(options.toMs) - options.fromMs + 1;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t from = static_cast<uint32_t>(options.fromMs + span * i / count);
        const uint32_t end = static_cast<uint32_t>(options.fromMs + span * (i + 1) / count);
        if (end == from) continue;
        // Every part runs the whole range's frames, so the extra frame at FROM too.
        Part part{from, end - 1, "",
                  {"--frames", std::to_string(options.fromMs) + ":" + std::to_string(options.toMs), "-o", options.output}};
        for (std::string& arg : commonArguments(options, part)) part.arguments.push_back(arg);
        parts.push_back(part);
    }
    return parts;
}

std::vector<Part> videoParts(const CaptureOptions& options, uint32_t count, uint64_t firstFrame, uint64_t showFrames) {
    std::vector<Part> parts;
    if (count == 0) return parts;
    const FrameGrid grid{options.fps};
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t from = grid.frameMs(firstFrame + showFrames * i / count);
        const uint32_t to = i + 1 < count ? grid.frameMs(firstFrame + showFrames * (i + 1) / count) - 1 : UINT32_MAX;
        const std::string file = options.output + ".part" + std::to_string(i) + ".mp4";
        Part part{from, to, file, {"--video", file}};
        if (options.untilMs != UINT32_MAX) part.arguments.insert(part.arguments.end(), {"--until", std::to_string(options.untilMs)});
        if (options.videoFrom) part.arguments.insert(part.arguments.end(), {"--from", std::to_string(options.videoFromMs)});
        if (options.lossless) part.arguments.push_back("--lossless");
        for (std::string& arg : commonArguments(options, part)) part.arguments.push_back(arg);
        parts.push_back(part);
    }
    return parts;
}

// This program again for each part, the renderer's threads split between the processes; their
// frames, counted through pipes, feed the progress line.
void runParts(std::vector<Part>& parts, Progress& progress) {
    const std::string threads = std::to_string(std::max<unsigned>(1, coreCount() / static_cast<unsigned>(parts.size())));
    setenv("LP_NUM_THREADS", threads.c_str(), 1);
    std::fflush(nullptr);
    for (Part& part : parts) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) fail("cannot start the processes for --jobs (no pipe)");
        std::vector<char*> argv;
        static char name[] = "quorbel-capture";
        argv.push_back(name);
        for (const std::string& arg : part.arguments) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        // SIGTERM: a part stopped from here removes what it started itself.
        const pid_t pid = forkChild(SIGTERM);
        if (pid == 0) {
            dup2(ends[1], STDOUT_FILENO);
            execv("/proc/self/exe", argv.data());
            const char message[] = "quorbel-capture: cannot run /proc/self/exe for a part\n";
            if (write(STDERR_FILENO, message, sizeof message - 1) < 0) {}
            _exit(127);
        }
        close(ends[1]);
        if (pid < 0) fail("cannot start the processes for --jobs (fork failed)");
        part.pid = pid;
        part.progress = ends[0];
    }
    uint64_t frames = 0;
    size_t open = parts.size();
    while (open > 0) {
        std::vector<pollfd> watched;
        std::vector<Part*> owners;
        for (Part& part : parts)
            if (part.progress >= 0) watched.push_back({part.progress, POLLIN, 0}), owners.push_back(&part);
        if (poll(watched.data(), watched.size(), -1) < 0) continue;
        for (size_t i = 0; i < watched.size(); ++i) {
            if (watched[i].revents == 0) continue;
            Part& part = *owners[i];
            char bytes[256];
            const ssize_t got = read(part.progress, bytes, sizeof bytes);
            if (got > 0) {
                frames += static_cast<uint64_t>(got);
                progress.update(frames);
                continue;
            }
            close(part.progress);
            part.progress = -1;
            --open;
            int status = 0;
            waitpid(part.pid, &status, 0);
            forgetChild(part.pid);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                std::fputc('\n', stderr);
                fail("the process for the frames from " + std::to_string(part.fromMs) + " to " +
                     (part.toMs == UINT32_MAX ? std::string("the end") : std::to_string(part.toMs) + " ms") +
                     " failed (see its message above)");
            }
        }
    }
    progress.finish(frames);
}
