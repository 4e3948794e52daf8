#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/music/audio_tag_reader.hpp"

namespace lumenary::platform {

struct TagWorkerSettings {
    // The worker program (lumenary-tags or a stand-in) and its arguments;
    // the reader adds this process's id as the last, which lumenary-tags
    // takes for the parent it ends with.
    std::string executable;
    std::vector<std::string> arguments;
    // How long one file may take. A worker that overruns it is killed, and
    // the file is unreadable.
    std::chrono::milliseconds fileTimeLimit{15'000};
    // How long a started worker may take to greet.
    std::chrono::milliseconds startTimeLimit{10'000};
};

// Reads tags in the tag worker program, never in this process: TagLib reads
// many containers, and a file that crashes it (atoms nested 70,000 deep) or
// holds it must cost that file, not the server. One worker serves a whole
// readEach, batches of paths going down its pipe, and is stopped at the end.
// A file during which the worker crashed, exited with a failure, overran
// fileTimeLimit or answered nonsense is unreadable (said on the console,
// naming the file); a fresh worker reads the rest. A worker that cannot be
// started or does not greet, or that another signal ends (Ctrl-C, a
// SIGTERM or SIGKILL not ours), fails the reading: the file in hand and
// those left are not read, and `failure` says why.
//
// Calls from several threads take turns.
class WorkerTagReader final : public AudioTagReader {
public:
    WorkerTagReader(TagWorkerSettings settings, std::function<void(const std::string&)> console);

    // Unreadable also when the worker cannot be started.
    std::optional<AudioTags> read(const std::filesystem::path& file) override;
    AudioTagReadings readEach(const std::vector<std::filesystem::path>& files) override;

private:
    TagWorkerSettings settings_;
    std::function<void(const std::string&)> console_;
    std::mutex mutex_;
};

// The worker program beside the running executable (lumenary-tags).
TagWorkerSettings tagWorkerBesideThisProgram();

}  // namespace lumenary::platform
