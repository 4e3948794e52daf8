#include "platform/process/spawned_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>
#include <utility>

#include "system/poll_until.hpp"

extern char** environ;

namespace lumenary::platform {

namespace {

// posix_spawn's two settings objects, destroyed on every path.
class SpawnSettings {
public:
    SpawnSettings() {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawnattr_init(&attributes_);
    }
    ~SpawnSettings() {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // The first error any setting reported, or 0.
    int configure(const ChildStreams& streams, const std::vector<ChildExtras::Descriptor>& descriptors) {
        joinStream(streams.standardInput, STDIN_FILENO, O_RDONLY);
        joinStream(streams.standardOutput, STDOUT_FILENO, O_WRONLY);
        if (streams.standardError >= 0) {
            note(::posix_spawn_file_actions_adddup2(&actions_, streams.standardError, STDERR_FILENO));
        }
        int firstNumberNotGiven = STDERR_FILENO + 1;
        for (const auto& extra : descriptors) {
            // A copy above every number a child gets, so that placing one
            // descriptor never overwrites another that is still to be placed.
            system::OwnedDescriptor copy(::fcntl(extra.descriptor, F_DUPFD_CLOEXEC, firstCopyNumber));
            if (!copy.isOpen()) {
                note(errno);
                continue;
            }
            note(::posix_spawn_file_actions_adddup2(&actions_, copy.get(), extra.numberInChild));
            copies_.push_back(std::move(copy));
            firstNumberNotGiven = std::max(firstNumberNotGiven, extra.numberInChild + 1);
        }
        // Ours are all close-on-exec; this catches what a library opened
        // without the flag, which the child would otherwise hold for its life.
        note(::posix_spawn_file_actions_addclosefrom_np(&actions_, firstNumberNotGiven));
        // The child starts as a fresh program would: our own thread's mask
        // and our ignored signals (SIGPIPE above all) are not its business.
        sigset_t none;
        sigemptyset(&none);
        note(::posix_spawnattr_setsigmask(&attributes_, &none));
        sigset_t all;
        sigfillset(&all);
        note(::posix_spawnattr_setsigdefault(&attributes_, &all));
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (streams.ownProcessGroup) {
            flags |= POSIX_SPAWN_SETPGROUP;
            note(::posix_spawnattr_setpgroup(&attributes_, 0));
        }
        note(::posix_spawnattr_setflags(&attributes_, flags));
        return error_;
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    void joinStream(int descriptor, int stream, int nullMode) {
        if (descriptor >= 0) {
            note(::posix_spawn_file_actions_adddup2(&actions_, descriptor, stream));
        } else {
            note(::posix_spawn_file_actions_addopen(&actions_, stream, "/dev/null", nullMode, 0));
        }
    }
    void note(int result) {
        if (error_ == 0) {
            error_ = result;
        }
    }

    static constexpr int firstCopyNumber = 64;

    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
    // Open until the child has started.
    std::vector<system::OwnedDescriptor> copies_;
    int error_ = 0;
};

// Our environment with `overrides` ("NAME=value") set over it.
std::vector<std::string> childEnvironment(const std::vector<std::string>& overrides) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const auto name = text.substr(0, text.find('=') + 1);
        const bool overridden = std::any_of(overrides.begin(), overrides.end(), [&](const std::string& override) {
            return override.starts_with(name);
        });
        if (!overridden) {
            entries.emplace_back(text);
        }
    }
    entries.insert(entries.end(), overrides.begin(), overrides.end());
    return entries;
}

}  // namespace

PlatformError processStartFailure(const std::string& executable, int error) {
    std::string description =
        "Could not start \"" + executable + "\": " + std::system_category().message(error);
    if (error == ENOENT && executable.find('/') == std::string::npos) {
        description += " (looked for it in the folders of PATH)";
    }
    return {"ProcessLauncher", error, std::move(description)};
}

PlatformOutcome<SpawnedProcess> SpawnedProcess::spawn(const std::string& executable,
                                                      const std::vector<std::string>& arguments,
                                                      const ChildStreams& streams, const ChildExtras& extras) {
    SpawnSettings settings;
    if (const int error = settings.configure(streams, extras.descriptors); error != 0) {
        return processStartFailure(executable, error);
    }
    std::vector<char*> argumentVector;
    argumentVector.reserve(arguments.size() + 2);
    argumentVector.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& argument : arguments) {
        argumentVector.push_back(const_cast<char*>(argument.c_str()));
    }
    argumentVector.push_back(nullptr);

    std::vector<std::string> environmentEntries;
    std::vector<char*> environmentVector;
    if (!extras.environment.empty()) {
        environmentEntries = childEnvironment(extras.environment);
        for (auto& entry : environmentEntries) {
            environmentVector.push_back(entry.data());
        }
        environmentVector.push_back(nullptr);
    }

    pid_t pid = -1;
    const int result = ::posix_spawnp(&pid, executable.c_str(), settings.actions(), settings.attributes(),
                                      argumentVector.data(),
                                      extras.environment.empty() ? environ : environmentVector.data());
    if (result != 0) {
        return processStartFailure(executable, result);
    }
    // Waiting on a descriptor rather than on SIGCHLD lets one poll() watch
    // the child's pipes and its end together, on any thread.
    // Through syscall(): this C library's <sys/pidfd.h> lacks C linkage.
    system::OwnedDescriptor endNotice(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!endNotice.isOpen()) {
        const int error = errno;
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return processStartFailure(executable, error);
    }
    return SpawnedProcess(pid, std::move(endNotice), streams.ownProcessGroup, extras.ownedBy);
}

SpawnedProcess::SpawnedProcess(pid_t pid, system::OwnedDescriptor endNotice, bool leadsGroup,
                               OwnedChildren* ownedBy)
    : pid_(pid), endNotice_(std::move(endNotice)), leadsGroup_(leadsGroup), ownedBy_(ownedBy) {
    if (ownedBy_ != nullptr) {
        listing_ = ownedBy_->add(pid_, leadsGroup_, endNotice_.get());
    }
}

SpawnedProcess::SpawnedProcess(SpawnedProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      endNotice_(std::move(other.endNotice_)),
      leadsGroup_(other.leadsGroup_),
      exit_(std::move(other.exit_)),
      ownedBy_(std::exchange(other.ownedBy_, nullptr)),
      listing_(std::exchange(other.listing_, 0)) {}

SpawnedProcess::~SpawnedProcess() {
    if (pid_ > 0 && !exit_) {
        signal(SIGKILL);
        reap();
    }
}

void SpawnedProcess::signal(int number) const {
    if (pid_ <= 0 || exit_) {
        return;
    }
    ::kill(leadsGroup_ ? -pid_ : pid_, number);
}

std::optional<ProcessExit> SpawnedProcess::waitForExit(Clock::time_point until) {
    if (exit_ || pid_ <= 0) {
        return exit_;
    }
    pollfd entry{endNotice_.get(), POLLIN, 0};
    if (system::pollUntil(&entry, 1, until) <= 0) {
        return std::nullopt;
    }
    return reap();
}

ProcessExit SpawnedProcess::waitForExit() {
    if (exit_) {
        return *exit_;
    }
    return reap();
}

SpawnedProcess::Detached SpawnedProcess::detach() {
    unlist();
    if (exit_) {
        pid_ = -1;
        return {};
    }
    return {std::exchange(pid_, -1), std::move(endNotice_)};
}

ProcessExit SpawnedProcess::reap() {
    const ProcessExit statusLost{ProcessExit::Kind::exited, -1, 0};
    if (pid_ <= 0) {
        // Moved away or detached: waitpid(-1) would take someone else's child.
        return statusLost;
    }
    unlist();
    int status = 0;
    pid_t reaped;
    while ((reaped = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    // Only a process that ignores SIGCHLD, or reaps every child itself, can
    // take the status from us; the child is gone all the same.
    exit_ = reaped == pid_ ? ProcessExit::fromWaitStatus(status) : statusLost;
    endNotice_.reset();
    return *exit_;
}

void SpawnedProcess::unlist() {
    if (auto* list = std::exchange(ownedBy_, nullptr)) {
        list->remove(listing_);
    }
}

}  // namespace lumenary::platform
