#include "platform/process/worker_process.hpp"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/process/owned_children.hpp"
#include "system/ignore_broken_pipe_signals.hpp"
#include "system/pipe.hpp"
#include "system/poll_until.hpp"

namespace lumenary::platform {

namespace {

using Clock = SpawnedProcess::Clock;

constexpr std::size_t workerPipeChunkSize = 64 * 1024;

bool workerPipeWouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

}  // namespace

PlatformOutcome<WorkerProcess> WorkerProcess::start(const std::string& executable,
                                                    const std::vector<std::string>& arguments) {
    return start(executable, arguments, {}, Channel::standardStreams);
}

PlatformOutcome<WorkerProcess> WorkerProcess::startOnOwnDescriptors(const std::string& executable,
                                                                    const std::vector<std::string>& arguments,
                                                                    const std::vector<std::string>& environment) {
    return start(executable, arguments, environment, Channel::ownDescriptors);
}

PlatformOutcome<WorkerProcess> WorkerProcess::start(const std::string& executable,
                                                    const std::vector<std::string>& arguments,
                                                    const std::vector<std::string>& environment, Channel channel) {
    system::ignoreBrokenPipeSignals();
    system::Pipe input, output;
    for (auto* pipe : {&input, &output}) {
        if (const int failure = system::openPipe(*pipe); failure != 0) {
            return processStartFailure(executable, failure);
        }
    }
    for (const auto* ours : {&input.writeEnd, &output.readEnd}) {
        if (const int failure = system::makeNonBlocking(ours->get()); failure != 0) {
            return processStartFailure(executable, failure);
        }
    }
    ChildStreams streams{input.readEnd.get(), output.writeEnd.get(), -1, false};
    // Ours to end when we stop: its work is of no use to anyone else.
    ChildExtras extras{{}, environment, &OwnedChildren::shared()};
    if (channel == Channel::ownDescriptors) {
        streams.standardInput = -1;
        streams.standardOutput = STDERR_FILENO;
        extras.descriptors = {{input.readEnd.get(), requestDescriptor}, {output.writeEnd.get(), answerDescriptor}};
    }
    auto spawned = SpawnedProcess::spawn(executable, arguments, streams, extras);
    input.readEnd.reset();
    output.writeEnd.reset();
    if (!spawned) {
        return spawned.error();
    }
    return WorkerProcess(executable, std::move(spawned).value(), std::move(input.writeEnd),
                         std::move(output.readEnd));
}

WorkerProcess::WorkerProcess(std::string executable, SpawnedProcess process, system::OwnedDescriptor input,
                             system::OwnedDescriptor output)
    : executable_(std::move(executable)),
      process_(std::move(process)),
      input_(std::move(input)),
      output_(std::move(output)) {}

WorkerProcess::~WorkerProcess() {
    if (process_.pid() > 0) {
        stop();
    }
}

std::optional<PlatformError> WorkerProcess::write(std::string_view bytes, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (!bytes.empty()) {
        if (!input_.isOpen()) {
            return failure(EPIPE, "no longer reads its input");
        }
        const ssize_t count = ::write(input_.get(), bytes.data(), std::min(bytes.size(), workerPipeChunkSize));
        if (count >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(count));
            continue;
        }
        if (!workerPipeWouldBlock()) {
            input_.reset();
            return failure(EPIPE, "no longer reads its input");
        }
        pollfd entry{input_.get(), POLLOUT, 0};
        if (system::pollUntil(&entry, 1, until) == 0) {
            return failure(ETIMEDOUT, "took no input for " + std::to_string(timeout.count()) + " ms");
        }
    }
    return std::nullopt;
}

PlatformOutcome<std::string> WorkerProcess::readLine(std::size_t maximumLength, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    std::size_t searched = 0;
    for (;;) {
        const auto newline = received_.find('\n', searched);
        if (newline != std::string::npos && newline <= maximumLength) {
            std::string line = received_.substr(0, newline);
            received_.erase(0, newline + 1);
            return line;
        }
        if (newline != std::string::npos || received_.size() > maximumLength) {
            return failure(EMSGSIZE, "sent a line longer than " + std::to_string(maximumLength) + " bytes");
        }
        searched = received_.size();
        switch (receive(until)) {
            case Arrival::received:
                break;
            case Arrival::ended:
                return failure(EPIPE, "closed its output");
            case Arrival::timedOut:
                return failure(ETIMEDOUT, "sent no line within " + std::to_string(timeout.count()) + " ms");
        }
    }
}

PlatformOutcome<std::string> WorkerProcess::read(std::size_t count, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (received_.size() < count) {
        switch (receive(until)) {
            case Arrival::received:
                break;
            case Arrival::ended:
                return failure(EPIPE, "closed its output");
            case Arrival::timedOut:
                return failure(ETIMEDOUT, "sent no reply within " + std::to_string(timeout.count()) + " ms");
        }
    }
    std::string bytes = received_.substr(0, count);
    received_.erase(0, count);
    return bytes;
}

std::optional<ProcessExit> WorkerProcess::exit() {
    return process_.waitForExit(Clock::now());
}

std::optional<ProcessExit> WorkerProcess::waitForExit(std::chrono::milliseconds timeout) {
    return process_.waitForExit(Clock::now() + timeout);
}

ProcessExit WorkerProcess::stop(std::chrono::milliseconds grace) {
    input_.reset();
    auto ended = process_.waitForExit(Clock::now() + grace);
    if (!ended) {
        process_.signal(SIGKILL);
        ended = process_.waitForExit();
    }
    output_.reset();
    return *ended;
}

WorkerProcess::Arrival WorkerProcess::receive(Clock::time_point until) {
    for (;;) {
        if (!output_.isOpen()) {
            return Arrival::ended;
        }
        char buffer[workerPipeChunkSize];
        const ssize_t count = ::read(output_.get(), buffer, sizeof buffer);
        if (count > 0) {
            received_.append(buffer, static_cast<std::size_t>(count));
            return Arrival::received;
        }
        if (count == 0 || !workerPipeWouldBlock()) {
            output_.reset();
            return Arrival::ended;
        }
        pollfd entry{output_.get(), POLLIN, 0};
        if (system::pollUntil(&entry, 1, until) == 0) {
            return Arrival::timedOut;
        }
    }
}

PlatformError WorkerProcess::failure(std::int64_t code, const std::string& what) const {
    return {"ProcessLauncher", code,
            "The worker \"" + executable_ + "\" (pid " + std::to_string(process_.pid()) + ") " + what};
}

std::string timeLimitText(std::chrono::milliseconds duration) {
    const auto milliseconds = duration.count();
    if (milliseconds % 1000 == 0) {
        return std::to_string(milliseconds / 1000) + " s";
    }
    return std::to_string(milliseconds) + " ms";
}

}  // namespace lumenary::platform
