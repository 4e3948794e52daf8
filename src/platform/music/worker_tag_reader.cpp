#include "platform/music/worker_tag_reader.hpp"

#include <signal.h>
#include <unistd.h>

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

// Whether the worker's end is the file's doing: a crash, or a failure it
// gave as its status. Any other signal came from outside and says nothing of
// the file: Ctrl-C in a terminal reaches the worker too, as it shares the
// server's process group, and a SIGTERM or SIGKILL may come from anyone (the
// SIGKILL of an overrun is ours, and blamed as the overrun).
bool endedByTheFile(const ProcessExit& exit) {
    if (exit.kind == ProcessExit::Kind::exited) {
        return exit.exitStatus > 0;
    }
    switch (exit.signalNumber) {
        case SIGSEGV:
        case SIGBUS:
        case SIGABRT:
        case SIGILL:
        case SIGFPE:
        case SIGSYS: return true;
        default: return false;
    }
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

// Why the worker failed on a file.
struct FileFailure {
    std::string why;
    // Whether the file is to blame, and so unreadable; else the reading
    // ends there, and the file is read again next time.
    bool blamesFile = true;
};

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
    // gives the index after the last file read. A file the worker failed on
    // is unreadable and ends the batch early; an error says no worker would
    // take the batch at all, or one was ended from outside.
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
            auto answer = nextAnswer(files[index]);
            if (const auto* failed = std::get_if<FileFailure>(&answer)) {
                if (!failed->blamesFile) {
                    return failure(failed->why);
                }
                console_("The tags of " + system::repairUTF8(files[index].string()) +
                         " could not be read: " + failed->why + ". It is listed by its file name.");
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
        // lumenary-tags is killed when the thread that started it ends, not
        // only this process. It is started, read and stopped within one
        // readEach, on the thread that calls it, which so outlives it: the
        // kill comes only when this process ends.
        auto arguments = settings_.arguments;
        arguments.push_back(std::to_string(::getpid()));
        auto started = WorkerProcess::startOnOwnDescriptors(settings_.executable, arguments, {});
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
    std::variant<std::optional<AudioTags>, FileFailure> nextAnswer(const std::filesystem::path& file) {
        auto line = worker_->readLine(maximumTagAnswerLength, settings_.fileTimeLimit);
        if (!line) {
            return failedOn(file, line.error());
        }
        auto answer = decodeTagAnswer(line.value());
        if (auto* tags = std::get_if<std::optional<AudioTags>>(&answer)) {
            return std::move(*tags);
        }
        // Nothing it says next is to be trusted either.
        kill();
        return FileFailure{"the tag reader sent an answer that could not be read (" +
                           std::get<UnreadableTagAnswer>(answer).reason + ")"};
    }

    FileFailure failedOn(const std::filesystem::path& file, const PlatformError& error) {
        FileFailure failed;
        if (error.code == ETIMEDOUT) {
            failed.why =
                "the tag reader took longer than " + timeLimitText(settings_.fileTimeLimit) + " and was stopped";
        } else if (error.code == EMSGSIZE) {
            failed.why =
                "the tag reader sent an answer longer than " + std::to_string(maximumTagAnswerLength) + " bytes";
        } else if (const auto exit = worker_->waitForExit(std::chrono::milliseconds(1'000))) {
            failed.blamesFile = endedByTheFile(*exit);
            failed.why = failed.blamesFile ? "the tag reader ended while reading it: " + exit->description()
                                           : "ended while reading " + system::repairUTF8(file.string()) +
                                                 ", not for that file: " + exit->description();
        } else {
            failed.why = "the tag reader closed its pipes";
        }
        kill();
        return failed;
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
