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

// The worker of one readEach: started when first needed and again after a
// failure, stopped at the end.
class TagWorkerConversation {
public:
    TagWorkerConversation(const TagWorkerSettings& settings, const std::function<void(const std::string&)>& console)
        : settings_(settings), console_(console) {}
    ~TagWorkerConversation() {
        if (worker_) {
            worker_->stop();
        }
    }
    TagWorkerConversation(const TagWorkerConversation&) = delete;
    TagWorkerConversation& operator=(const TagWorkerConversation&) = delete;

    // Reads the files of one batch from `first` on, appending to `tags`, and
    // gives the index after the last file read. A file during which the
    // worker failed is unreadable and ends the batch early; an error says no
    // worker would take the batch at all.
    PlatformOutcome<std::size_t> readBatch(const std::vector<std::filesystem::path>& files, std::size_t first,
                                           std::vector<std::optional<AudioTags>>& tags) {
        const bool fresh = !worker_;
        if (fresh) {
            if (auto failure = start()) {
                return *std::move(failure);
            }
        }
        const std::size_t end = batchEnd(files, first);
        const std::vector<std::filesystem::path> batch(files.begin() + static_cast<std::ptrdiff_t>(first),
                                                       files.begin() + static_cast<std::ptrdiff_t>(end));
        if (auto failed = worker_->write(encodeTagRequest(batch), settings_.fileTimeLimit)) {
            // Between two batches no file is to blame: a fresh worker tries
            // again, and one that fails at once fails the reading.
            kill();
            if (fresh) {
                return failure("took no paths: " + failed->description);
            }
            return first;
        }
        for (std::size_t index = first; index < end; ++index) {
            auto answer = nextAnswer();
            if (const auto* why = std::get_if<std::string>(&answer)) {
                console_("The tags of " + system::repairUTF8(files[index].string()) + " could not be read: " + *why +
                         ". It is listed by its file name.");
                tags.emplace_back();
                return index + 1;
            }
            tags.push_back(std::get<std::optional<AudioTags>>(std::move(answer)));
        }
        return end;
    }

private:
    PlatformError failure(const std::string& why) const {
        return {"MusicLibrary", 500, "The tag reader " + system::repairUTF8(settings_.executable) + " " + why};
    }

    std::optional<PlatformError> start() {
        auto started = WorkerProcess::startOnOwnDescriptors(settings_.executable, settings_.arguments, {});
        if (!started) {
            return failure("could not be started: " + started.error().description);
        }
        worker_.emplace(std::move(started).value());
        auto greeting = worker_->readLine(tagWorkerGreeting.size(), settings_.startTimeLimit);
        if (!greeting || greeting.value() != tagWorkerGreeting) {
            kill();
            return failure("could not be started: " + (greeting
                                                           ? "it did not greet as " + std::string(tagWorkerGreeting)
                                                           : greeting.error().description));
        }
        return std::nullopt;
    }

    // The next file's tags, or why the worker failed on it (it is then
    // ended).
    std::variant<std::optional<AudioTags>, std::string> nextAnswer() {
        auto line = worker_->readLine(maximumTagAnswerLength, settings_.fileTimeLimit);
        if (!line) {
            return failedOn(line.error());
        }
        auto answer = decodeTagAnswer(line.value());
        if (auto* tags = std::get_if<std::optional<AudioTags>>(&answer)) {
            return std::move(*tags);
        }
        // Nothing it says next is to be trusted either.
        kill();
        return "the tag reader sent an answer that could not be read (" + std::get<UnreadableTagAnswer>(answer).reason +
               ")";
    }

    std::string failedOn(const PlatformError& error) {
        std::string why;
        if (error.code == ETIMEDOUT) {
            why = "the tag reader took longer than " + tagTimeLimitText(settings_.fileTimeLimit) + " and was stopped";
        } else if (error.code == EMSGSIZE) {
            why = "the tag reader sent an answer longer than " + std::to_string(maximumTagAnswerLength) + " bytes";
        } else if (const auto exit = worker_->waitForExit(std::chrono::milliseconds(1'000))) {
            why = "the tag reader ended while reading it: " + tagWorkerExitText(*exit);
        } else {
            why = "the tag reader closed its pipes";
        }
        kill();
        return why;
    }

    // At once: whatever it was doing is of no use any more.
    void kill() {
        worker_->stop(std::chrono::milliseconds(0));
        worker_.reset();
    }

    const TagWorkerSettings& settings_;
    const std::function<void(const std::string&)>& console_;
    std::optional<WorkerProcess> worker_;
};

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
    TagWorkerConversation conversation(settings_, console_);
    for (std::size_t next = 0; next < files.size();) {
        auto read = conversation.readBatch(files, next, readings.tags);
        if (!read) {
            readings.failure = read.error();
            break;
        }
        next = read.value();
    }
    return readings;
}

TagWorkerSettings tagWorkerBesideThisProgram() {
    TagWorkerSettings settings;
    settings.executable = siblingProgramPath(tagWorkerProgramName);
    return settings;
}

}  // namespace lumenary::platform
