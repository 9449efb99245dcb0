// interruption.h: what a run leaves behind when it stops half-way: its temporary files and the
// processes it started (ffmpeg, the parts of --jobs), removed and stopped however it ends, a
// signal included.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

// Files of the run in progress (a video's pictures and parts, the soundtrack for the mux, an
// output before its rename), removed on failure and on a signal.
void addTemporaryFile(const std::string& path);
void forgetTemporaryFile(const std::string& path);  // renamed into place: no longer removed
void removeTemporaryFiles();

// fork() for a process of the run, which is stopped with stopSignal (and waited for) on failure
// and on a signal until forgotten: 0 in the child, which has the signals' default actions.
pid_t forkChild(int stopSignal);
void forgetChild(pid_t pid);
void stopChildren();

// SIGINT, SIGTERM and SIGHUP stop the children, remove the temporary files, say so in one line
// naming output (unless quiet: a part, whose parent speaks) and end the process by that signal.
void watchInterruptions(const std::string& output, bool quiet);

// A command of the shell as popen ("w") and system run it, the process kept as a child, so that
// a signal stops it too: the write end of its standard input (null where it cannot start), and
// its exit status once it ends (-1 where it did not exit by itself).
FILE* startCommand(const std::string& command);
int finishCommand(FILE* input);
int runCommand(const std::string& command);
