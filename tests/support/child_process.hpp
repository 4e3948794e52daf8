#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace lumenary::testing {

// A program started with pipes on its standard input and output, for tests
// that talk to a real process the way a client would. Its standard error is
// left to the test's own. The child is killed and reaped on destruction.
class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    // Starts `arguments[0]` (a path) with the rest as its arguments. With
    // `standardInput` the child reads that descriptor instead of a pipe from
    // the test (write() is then unavailable). With `standardErrorPath` the
    // child's standard error goes to that file. With `ownProcessGroup` the
    // child leads a process group of its own, so that what it starts can be
    // stopped with it (pid() names the group).
    explicit ChildProcess(const std::vector<std::string>& arguments, int standardInput = -1,
                          const std::string& standardErrorPath = {}, bool ownProcessGroup = false);
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes all of `bytes`; false when the child stopped reading.
    bool write(std::string_view bytes);
    bool writeLine(std::string_view line) { return write(std::string(line) + "\n"); }
    void closeInput();

    // The next line of output without its newline; absent at end of output
    // or when nothing arrives before the deadline.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Everything up to the end of output (or the deadline).
    std::string readAll(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // True when no output arrives within `quietFor`.
    bool staysQuiet(std::chrono::milliseconds quietFor);

    // The exit status once the child ends; absent past the deadline.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Sends `signal` to the child.
    void signal(int number) const;

    pid_t pid() const { return pid_; }
    int inputDescriptor() const { return input_; }
    // The read end of the child's standard output, for a transport of one's own.
    int outputDescriptor() const { return output_; }

private:
    bool fill(Clock::time_point deadline);

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
    bool outputEnded_ = false;
    std::optional<int> exitStatus_;
};

// The path of a program built beside the running test binary.
std::string siblingProgram(const std::string& name);

}  // namespace lumenary::testing
