#include "platform/process/process_launcher.hpp"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

#include "platform/process/background_reaper.hpp"
#include "platform/process/owned_children.hpp"
#include "platform/process/spawned_process.hpp"
#include "system/ignore_broken_pipe_signals.hpp"
#include "system/pipe.hpp"
#include "system/poll_until.hpp"

namespace lumenary::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t pipeChunkSize = 64 * 1024;
// Once the child has ended, what is left in its pipes is read in at most
// this many chunks; anything its own children write later is drained in
// the background.
constexpr int finalReads = 64;

bool pipeWouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

// Our end of one of the child's output pipes, with what it kept so far.
struct OutputStream {
    system::OwnedDescriptor descriptor;
    CapturedOutput captured;
    std::size_t limit = 0;

    // Reads one chunk; closes the pipe at its end. False when nothing was
    // waiting.
    bool readChunk(std::vector<char>& buffer) {
        const ssize_t count = ::read(descriptor.get(), buffer.data(), buffer.size());
        if (count < 0 && pipeWouldBlock()) {
            return false;
        }
        if (count <= 0) {
            descriptor.reset();
            return false;
        }
        const auto received = static_cast<std::size_t>(count);
        const auto room = limit - std::min(limit, captured.bytes.size());
        captured.bytes.append(buffer.data(), std::min(room, received));
        captured.truncated = captured.truncated || received > room;
        return true;
    }
};

// Our end of the child's standard input, with what is still to be written.
struct InputStream {
    system::OwnedDescriptor descriptor;
    std::string_view pending;

    void writeChunk() {
        const ssize_t count = ::write(descriptor.get(), pending.data(), std::min(pending.size(), pipeChunkSize));
        if (count < 0 && pipeWouldBlock()) {
            return;
        }
        if (count < 0) {
            // The child stopped reading; that is its choice, not a failure.
            descriptor.reset();
            return;
        }
        pending.remove_prefix(static_cast<std::size_t>(count));
        if (pending.empty()) {
            descriptor.reset();
        }
    }
};

// The three streams of one child while the call waits for it.
class ChildStreamsInFlight {
public:
    ChildStreamsInFlight(InputStream input, OutputStream output, OutputStream error)
        : input_(std::move(input)), output_(std::move(output)), error_(std::move(error)), buffer_(pipeChunkSize) {}

    // Moves bytes until the child ends or `until` passes. True once the
    // child has ended.
    bool pump(const SpawnedProcess& child, Clock::time_point until) {
        for (;;) {
            pollfd entries[] = {
                {child.endNotice(), POLLIN, 0},
                {output_.descriptor.get(), POLLIN, 0},
                {error_.descriptor.get(), POLLIN, 0},
                {input_.descriptor.get(), POLLOUT, 0},
            };
            const int ready = system::pollUntil(entries, std::size(entries), until);
            if (ready == 0 || (ready < 0 && Clock::now() >= until)) {
                return false;
            }
            if (ready < 0) {
                continue;
            }
            if (entries[1].revents != 0) {
                output_.readChunk(buffer_);
            }
            if (entries[2].revents != 0) {
                error_.readChunk(buffer_);
            }
            if (entries[3].revents != 0) {
                input_.writeChunk();
            }
            if (entries[0].revents != 0) {
                return true;
            }
        }
    }

    // After the child ended: the input goes, and the bytes already in the
    // output pipes are read.
    void finish() {
        input_.descriptor.reset();
        for (int read = 0; read < finalReads && output_.readChunk(buffer_); ++read) {
        }
        for (int read = 0; read < finalReads && error_.readChunk(buffer_); ++read) {
        }
    }

    // Output pipes something still holds open, for the background reaper.
    std::vector<system::OwnedDescriptor> openOutputs() {
        input_.descriptor.reset();
        std::vector<system::OwnedDescriptor> outputs;
        for (auto* stream : {&output_, &error_}) {
            if (stream->descriptor.isOpen()) {
                outputs.push_back(std::move(stream->descriptor));
            }
        }
        return outputs;
    }

    void fill(ProcessRun& run) {
        run.standardOutput = std::move(output_.captured);
        run.standardError = std::move(error_.captured);
    }

private:
    InputStream input_;
    OutputStream output_;
    OutputStream error_;
    std::vector<char> buffer_;
};

// Opens a pipe for each of the child's streams (standard input only when
// there is text for it) with our ends non-blocking. Returns 0 or the errno.
int openStreamPipes(bool withInput, system::Pipe& input, system::Pipe& output, system::Pipe& error) {
    for (auto* pipe : {&output, &error}) {
        if (const int failure = system::openPipe(*pipe); failure != 0) {
            return failure;
        }
    }
    if (withInput) {
        if (const int failure = system::openPipe(input); failure != 0) {
            return failure;
        }
    }
    for (const auto* ours : {&input.writeEnd, &output.readEnd, &error.readEnd}) {
        if (ours->isOpen()) {
            if (const int failure = system::makeNonBlocking(ours->get()); failure != 0) {
                return failure;
            }
        }
    }
    return 0;
}

// SIGTERM to the child's group, SIGKILL after `grace`; returns once the
// child has ended.
void killAtDeadline(SpawnedProcess& child, ChildStreamsInFlight& inFlight, std::chrono::milliseconds grace) {
    child.signal(SIGTERM);
    if (!inFlight.pump(child, Clock::now() + grace)) {
        child.signal(SIGKILL);
        inFlight.pump(child, Clock::time_point::max());
    }
    // Whatever the child started in its group goes with it. The group's id
    // stays ours until the child is reaped.
    child.signal(SIGKILL);
}

// True when the child ended in the further wait the launch asked for at
// its deadline; a zero wait still sees a child that ended while asked.
bool waitedLonger(const ProcessLaunch& launch, const SpawnedProcess& child, ChildStreamsInFlight& inFlight) {
    if (!launch.waitLongerAtDeadline) {
        return false;
    }
    const auto longer = std::max(launch.waitLongerAtDeadline(), std::chrono::milliseconds(0));
    return inFlight.pump(child, Clock::now() + longer);
}

}  // namespace

PlatformOutcome<ProcessRun> ProcessLauncher::run(const ProcessLaunch& launch) const {
    system::ignoreBrokenPipeSignals();
    system::Pipe input, output, error;
    if (const int failure = openStreamPipes(launch.standardInput.has_value(), input, output, error); failure != 0) {
        return processStartFailure(launch.executable, failure);
    }
    const ChildStreams streams{input.readEnd.get(), output.writeEnd.get(), error.writeEnd.get(), true};
    // A program that may outlive its deadline was opened for the person, and
    // outlives us as well; one we kill at its deadline is ours to end.
    ChildExtras extras;
    if (launch.atDeadline == ProcessLaunch::AtDeadline::kill) {
        extras.ownedBy = &OwnedChildren::shared();
    }
    auto spawned = SpawnedProcess::spawn(launch.executable, launch.arguments, streams, extras);
    // The child has its own copies now; ours would hold its output open
    // after it ended.
    input.readEnd.reset();
    output.writeEnd.reset();
    error.writeEnd.reset();
    if (!spawned) {
        return spawned.error();
    }
    SpawnedProcess& child = spawned.value();
    const auto deadline = Clock::now() + launch.deadline;
    ChildStreamsInFlight inFlight(
        InputStream{std::move(input.writeEnd), launch.standardInput ? *launch.standardInput : std::string_view{}},
        OutputStream{std::move(output.readEnd), {}, launch.standardOutputLimit},
        OutputStream{std::move(error.readEnd), {}, launch.standardErrorLimit});

    ProcessRun run;
    run.pid = child.pid();
    if (!inFlight.pump(child, deadline) && !waitedLonger(launch, child, inFlight)) {
        run.deadlinePassed = true;
        if (launch.atDeadline == ProcessLaunch::AtDeadline::leaveRunning) {
            // Reached before detaching: should it fail to start, the child
            // is still ours to kill and reap.
            auto& reaper = BackgroundReaper::shared();
            auto detached = child.detach();
            reaper.adopt(detached.pid, std::move(detached.endNotice), inFlight.openOutputs());
            inFlight.fill(run);
            return run;
        }
        killAtDeadline(child, inFlight, launch.killGrace);
    }
    run.exit = child.waitForExit();
    inFlight.finish();
    if (auto outputs = inFlight.openOutputs(); !outputs.empty()) {
        BackgroundReaper::shared().adopt(-1, {}, std::move(outputs));
    }
    inFlight.fill(run);
    return run;
}

}  // namespace lumenary::platform
