#include "platform/music/worker_tag_reader.hpp"

#include <signal.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>
#include <variant>

#include "platform/music/tag_worker_protocol.hpp"
#include "platform/process/worker_process.hpp"
#include "platform/program/sibling_program.hpp"
#include "system/utf8.hpp"

namespace lumenary::platform {

namespace {

constexpr const char* tagWorkerProgramName = "lumenary-tags";
// A batch's request stays well inside a pipe's buffer, so the worker takes
// it at once.
constexpr std::size_t batchRequestBytes = 32 * 1024;

std::string tagWorkerExitText(const ProcessExit& exit) {
    if (exit.kind == ProcessExit::Kind::killedBySignal) {
        const char* name = ::sigabbrev_np(exit.signalNumber);
        return "it was killed by signal " + std::to_string(exit.signalNumber) +
               (name != nullptr ? std::string(" (SIG") + name + ")" : std::string());
    }
    return "it exited with status " + std::to_string(exit.exitStatus);
}

std::string tagTimeLimitText(std::chrono::milliseconds duration) {
    if (duration.count() % 1000 == 0) {
        return std::to_string(duration.count() / 1000) + " s";
    }
    return std::to_string(duration.count()) + " ms";
}

// The files from `first` that fit one batch: at least one, at most
// maximumTagBatchSize, and no more than batchRequestBytes of request.
std::size_t batchEnd(const std::vector<std::filesystem::path>& files, std::size_t first) {
    std::size_t end = first;
    std::size_t bytes = 0;
    while (end < files.size() && end - first < maximumTagBatchSize) {
        bytes += files[end].native().size() + 1;
        if (end > first && bytes > batchRequestBytes) {
            break;
        }
        ++end;
    }
    return end;
}

// Kills it at once: whatever it was doing is of no use any more.
void endTagWorker(std::optional<WorkerProcess>& worker) {
    worker->stop(std::chrono::milliseconds(0));
    worker.reset();
}

}  // namespace

WorkerTagReader::WorkerTagReader(TagWorkerSettings settings, std::function<void(const std::string&)> console)
    : settings_(std::move(settings)), console_(std::move(console)) {}

std::optional<AudioTags> WorkerTagReader::read(const std::filesystem::path& file) {
    auto readings = readEach({file});
    if (readings.tags.empty()) {
        return std::nullopt;
    }
    return std::move(readings.tags.front());
}

AudioTagReadings WorkerTagReader::readEach(const std::vector<std::filesystem::path>& files) {
    std::lock_guard lock(mutex_);
    AudioTagReadings readings;
    readings.tags.reserve(files.size());
    std::optional<WorkerProcess> worker;
    const auto start = [&]() -> std::optional<PlatformError> {
        const auto cannotStart = [&](const std::string& why) {
            return PlatformError{
                "MusicLibrary", 500,
                "The tag reader " + system::repairUTF8(settings_.executable) + " could not be started: " + why};
        };
        auto started = WorkerProcess::startOnOwnDescriptors(settings_.executable, settings_.arguments, {});
        if (!started) {
            return cannotStart(started.error().description);
        }
        worker.emplace(std::move(started).value());
        auto greeting = worker->readLine(tagWorkerGreeting.size(), settings_.startTimeLimit);
        if (!greeting || greeting.value() != tagWorkerGreeting) {
            endTagWorker(worker);
            return cannotStart(greeting ? "it did not greet as " + std::string(tagWorkerGreeting)
                                        : greeting.error().description);
        }
        return std::nullopt;
    };
    // Why the worker failed on the file it was reading; it is ended.
    const auto failedOn = [&](const PlatformError& error) {
        std::string why;
        if (error.code == ETIMEDOUT) {
            why = "the tag reader took longer than " + tagTimeLimitText(settings_.fileTimeLimit) + " and was stopped";
        } else if (error.code == EMSGSIZE) {
            why = "the tag reader sent an answer longer than " + std::to_string(maximumTagAnswerLength) + " bytes";
        } else if (const auto exit = worker->waitForExit(std::chrono::milliseconds(1'000))) {
            why = "the tag reader ended while reading it: " + tagWorkerExitText(*exit);
        } else {
            why = "the tag reader closed its pipes";
        }
        endTagWorker(worker);
        return why;
    };

    std::size_t next = 0;
    while (next < files.size()) {
        const bool fresh = !worker;
        if (fresh) {
            if (auto failure = start()) {
                readings.failure = std::move(failure);
                break;
            }
        }
        const std::size_t end = batchEnd(files, next);
        const std::vector<std::filesystem::path> batch(files.begin() + static_cast<std::ptrdiff_t>(next),
                                                       files.begin() + static_cast<std::ptrdiff_t>(end));
        if (auto failed = worker->write(encodeTagRequest(batch), settings_.fileTimeLimit)) {
            // Between two batches no file is to blame: a fresh worker tries
            // again, and one that fails at once fails the reading.
            endTagWorker(worker);
            if (fresh) {
                readings.failure = PlatformError{"MusicLibrary", 500,
                                                 "The tag reader " + system::repairUTF8(settings_.executable) +
                                                     " took no paths: " + failed->description};
                break;
            }
            continue;
        }
        for (; next < end; ++next) {
            auto line = worker->readLine(maximumTagAnswerLength, settings_.fileTimeLimit);
            std::optional<std::string> why;
            if (!line) {
                why = failedOn(line.error());
            } else if (auto answer = decodeTagAnswer(line.value());
                       auto* tags = std::get_if<std::optional<AudioTags>>(&answer)) {
                readings.tags.push_back(std::move(*tags));
                continue;
            } else {
                // Nothing it says next is to be trusted either.
                why = "the tag reader sent an answer that could not be read (" +
                      std::get<UnreadableTagAnswer>(answer).reason + ")";
                endTagWorker(worker);
            }
            console_("The tags of " + system::repairUTF8(files[next].string()) + " could not be read: " + *why +
                     ". It is listed by its file name.");
            readings.tags.emplace_back();
            ++next;
            break;
        }
    }
    if (worker) {
        worker->stop();
    }
    return readings;
}

TagWorkerSettings tagWorkerBesideThisProgram() {
    TagWorkerSettings settings;
    settings.executable = siblingProgramPath(tagWorkerProgramName);
    return settings;
}

}  // namespace lumenary::platform
