// interruption.cpp: the run's temporary files and child processes, and the signal handler that
// cleans up after a run stopped from outside. The handler does only what is safe in one: kill,
// waitpid, unlink and write on what was prepared before; the lists change with signals blocked.
#include "tools/capture/interruption.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

struct Child {
    pid_t pid;
    int stopSignal;
};

std::vector<std::string> temporaryFiles;
std::vector<Child> children;
std::string stoppedWhat;    // " before OUTPUT was complete", or nothing where a run names none
bool speaks = true;
bool progressOnTerminal;    // the progress line ends without a newline there

// The lists change only while no handler can look at them.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, number);
        sigprocmask(SIG_BLOCK, &set, &before);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t before;
};

void say(const char* text) {
    if (write(STDERR_FILENO, text, std::strlen(text)) < 0) {}
}

void waitForChild(pid_t pid) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {}
}

// SA_RESETHAND has put the default action back: raised again, the signal ends the process as
// it would have without the handler, and the parent sees which one it was.
void onInterruption(int number) {
    stopChildren();
    removeTemporaryFiles();
    if (speaks) {
        const char* name = number == SIGINT ? "SIGINT" : number == SIGTERM ? "SIGTERM" : "SIGHUP";
        say(progressOnTerminal ? "\nquorbel-capture: stopped by " : "quorbel-capture: stopped by ");
        say(name);
        say(stoppedWhat.c_str());
        say("; its temporary files are removed\n");
    }
    raise(number);
}

}  // namespace

void addTemporaryFile(const std::string& path) {
    SignalsHeld held;
    temporaryFiles.push_back(path);
}

void forgetTemporaryFile(const std::string& path) {
    SignalsHeld held;
    temporaryFiles.erase(std::remove(temporaryFiles.begin(), temporaryFiles.end(), path), temporaryFiles.end());
}

void removeTemporaryFiles() {
    SignalsHeld held;
    for (const std::string& path : temporaryFiles) unlink(path.c_str());
    temporaryFiles.clear();
}

void forgetChild(pid_t pid) {
    SignalsHeld held;
    children.erase(std::remove_if(children.begin(), children.end(), [pid](const Child& c) { return c.pid == pid; }),
                   children.end());
}

void stopChildren() {
    SignalsHeld held;
    for (const Child& child : children) kill(child.pid, child.stopSignal);
    for (const Child& child : children) waitForChild(child.pid);
    children.clear();
}

void watchInterruptions(const std::string& output, bool quiet) {
    stoppedWhat = output.empty() ? "" : " before " + output + " was complete";
    speaks = !quiet;
    progressOnTerminal = isatty(STDERR_FILENO) == 1;
    struct sigaction action = {};
    action.sa_handler = onInterruption;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, number);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

// ---- commands ----

// A child from the moment it exists: no signal comes between the fork and the list. The child
// goes on with the signals' default actions, not this process's cleanup.
pid_t forkChild(int stopSignal) {
    std::fflush(nullptr);
    SignalsHeld held;
    const pid_t pid = fork();
    if (pid == 0) {
        for (int number : {SIGINT, SIGTERM, SIGHUP}) signal(number, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
    }
    if (pid > 0) children.push_back({pid, stopSignal});
    return pid;
}

namespace {

// The shell replaces itself with the command (exec), so the child is ffmpeg itself and a signal
// stops it, not a shell that would leave it running.
pid_t spawnShell(const std::string& command, int input) {
    const std::string line = "exec " + command;
    const pid_t pid = forkChild(SIGKILL);
    if (pid == 0) {
        if (input >= 0) dup2(input, STDIN_FILENO);
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

int exitStatus(pid_t pid) {
    int status = 0;
    pid_t done;
    while ((done = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {}
    forgetChild(pid);
    return done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Started {
    FILE* input;
    pid_t pid;
};
std::vector<Started> started;

}  // namespace

FILE* startCommand(const std::string& command) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return nullptr;
    const pid_t pid = spawnShell(command, ends[0]);
    close(ends[0]);
    FILE* input = pid > 0 ? fdopen(ends[1], "w") : nullptr;
    if (input == nullptr) {
        close(ends[1]);
        if (pid > 0) exitStatus(pid);
        return nullptr;
    }
    started.push_back({input, pid});
    return input;
}

int finishCommand(FILE* input) {
    const auto found = std::find_if(started.begin(), started.end(), [input](const Started& s) { return s.input == input; });
    if (found == started.end()) return -1;
    const pid_t pid = found->pid;
    started.erase(found);
    std::fclose(input);
    return exitStatus(pid);
}

int runCommand(const std::string& command) {
    const pid_t pid = spawnShell(command, -1);
    return pid < 0 ? -1 : exitStatus(pid);
}
