#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"
#include "platform/process/process_exit.hpp"

namespace lumenary::platform {

// One program to run to its end (or its deadline).
struct ProcessLaunch {
    enum class AtDeadline {
        // SIGTERM to the child and whatever it started, SIGKILL after
        // `killGrace`; the call returns once the child is reaped. Until
        // then an orderly stop of this process ends it too.
        kill,
        // The call returns at once and the child lives on (a mail program
        // opened by a link must); it is reaped in the background when it
        // ends, and its output is read and thrown away until then.
        leaveRunning,
    };

    // A name looked up on PATH, or a path. Never run through a shell.
    std::string executable;
    // The arguments after the program's name.
    std::vector<std::string> arguments;
    // Written to the child's standard input, which is then closed; absent:
    // the child reads /dev/null.
    std::optional<std::string> standardInput;
    // How much of each stream is kept; the rest is read and discarded so
    // the child never blocks on a full pipe.
    std::size_t standardOutputLimit = 1024 * 1024;
    std::size_t standardErrorLimit = 64 * 1024;
    // Counted from the start.
    std::chrono::milliseconds deadline{30'000};
    AtDeadline atDeadline = AtDeadline::kill;
    std::chrono::milliseconds killGrace{1'000};
    // Asked once when the deadline passes with the child still running:
    // how much longer to wait for it before `atDeadline` applies (zero: no
    // longer). The child runs on while it is asked, its output waiting in
    // the pipes; a child that ended meanwhile counts as ended in time.
    // Absent: the deadline stands.
    std::function<std::chrono::milliseconds()> waitLongerAtDeadline{};
};

// What a stream carried, up to its limit.
struct CapturedOutput {
    std::string bytes;
    // More arrived than the limit kept.
    bool truncated = false;
};

// What one run came to.
struct ProcessRun {
    pid_t pid = -1;
    // How the child ended; absent when it was left running at its deadline.
    std::optional<ProcessExit> exit;
    // The deadline came before the child ended: it was killed or left running.
    bool deadlinePassed = false;
    CapturedOutput standardOutput;
    CapturedOutput standardError;
};

// Runs programs with an argument vector, captured and bounded output and a
// deadline. Blocking: callers run it on the worker pool. Every pipe is
// opened close-on-exec, so no descriptor leaks into any other child, and
// each is closed on every path; the child is reaped on every path.
//
// Output the child's own children keep writing after the child ended is
// drained in the background, so the call returns when the child ends.
class ProcessLauncher {
public:
    // A run whose child ended any way at all, even by a signal, is a value;
    // the error (domain "ProcessLauncher", code the errno) says the program
    // could not be started: ENOENT when there is no such program.
    PlatformOutcome<ProcessRun> run(const ProcessLaunch& launch) const;
};

}  // namespace lumenary::platform
