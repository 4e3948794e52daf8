#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_error.hpp"
#include "platform/process/process_exit.hpp"
#include "platform/process/spawned_process.hpp"
#include "system/owned_descriptor.hpp"

namespace lumenary::platform {

// A long-lived helper program we talk to through its standard input and
// output, or through descriptors of its own, so that a crash in it never
// takes the server down. Its standard error is our own, where its
// diagnostics belong. It is listed with OwnedChildren::shared(), so that an
// orderly stop ends it. Every
// call blocks for at most its timeout; callers run them on the worker pool.
// One caller at a time: the class guards nothing.
//
// Errors are in the domain "ProcessLauncher" with an errno as code: EPIPE
// when the worker no longer reads or its output ended, ETIMEDOUT when the
// timeout passed first, EMSGSIZE for a line over the asked length.
class WorkerProcess {
public:
    static constexpr std::chrono::milliseconds defaultStopGrace{2'000};

    // Starts `executable` (a name looked up on PATH, or a path) with
    // `arguments` after its name; the error says why it could not start.
    static PlatformOutcome<WorkerProcess> start(const std::string& executable,
                                                const std::vector<std::string>& arguments);

    // The numbers under which a worker started on its own descriptors
    // reads what we write and writes what we read.
    static constexpr int requestDescriptor = 3;
    static constexpr int answerDescriptor = 4;

    // Starts a worker that talks through requestDescriptor and
    // answerDescriptor, for a program whose libraries print on standard
    // output: that goes to our standard error, and its standard input is
    // /dev/null. `environment` ("NAME=value") is set over ours.
    static PlatformOutcome<WorkerProcess> startOnOwnDescriptors(const std::string& executable,
                                                                const std::vector<std::string>& arguments,
                                                                const std::vector<std::string>& environment);

    WorkerProcess(WorkerProcess&&) noexcept = default;
    WorkerProcess& operator=(WorkerProcess&&) = delete;
    // Stops the worker (see stop()) unless it was already stopped.
    ~WorkerProcess();

    pid_t pid() const noexcept { return process_.pid(); }
    // Becomes readable once the worker has ended, for poll(); exit() then
    // reaps it.
    int endNotice() const noexcept { return process_.endNotice(); }

    // Writes all of `bytes` to the worker's standard input.
    std::optional<PlatformError> write(std::string_view bytes, std::chrono::milliseconds timeout);

    // The next line of the worker's standard output, without its newline.
    // After an error other than ETIMEDOUT the stream is out of step: stop
    // the worker.
    PlatformOutcome<std::string> readLine(std::size_t maximumLength, std::chrono::milliseconds timeout);
    // Exactly the next `count` bytes of its standard output.
    PlatformOutcome<std::string> read(std::size_t count, std::chrono::milliseconds timeout);

    // How the worker ended, once it has (it is then reaped); absent while
    // it runs. Does not wait.
    std::optional<ProcessExit> exit();
    // Waits up to `timeout` for the worker to end.
    std::optional<ProcessExit> waitForExit(std::chrono::milliseconds timeout);

    // Closes the worker's standard input, which tells a well-behaved worker
    // to finish, gives it `grace` to end by itself, then kills it; reaps it
    // either way. Later calls answer the same exit.
    ProcessExit stop(std::chrono::milliseconds grace = defaultStopGrace);

private:
    enum class Arrival { received, ended, timedOut };
    enum class Channel { standardStreams, ownDescriptors };

    static PlatformOutcome<WorkerProcess> start(const std::string& executable,
                                                const std::vector<std::string>& arguments,
                                                const std::vector<std::string>& environment, Channel channel);

    WorkerProcess(std::string executable, SpawnedProcess process, system::OwnedDescriptor input,
                  system::OwnedDescriptor output);
    Arrival receive(SpawnedProcess::Clock::time_point until);
    PlatformError failure(std::int64_t code, const std::string& what) const;

    std::string executable_;
    SpawnedProcess process_;
    system::OwnedDescriptor input_;
    system::OwnedDescriptor output_;
    // Read from the worker but not yet handed out.
    std::string received_;
};

// A worker's time limit for a message: "15 s", or "1500 ms" where it is no
// whole number of seconds.
std::string timeLimitText(std::chrono::milliseconds duration);

}  // namespace lumenary::platform
