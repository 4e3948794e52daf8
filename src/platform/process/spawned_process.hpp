#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_error.hpp"
#include "platform/process/owned_children.hpp"
#include "platform/process/process_exit.hpp"
#include "system/owned_descriptor.hpp"

namespace lumenary::platform {

// Where a new child's standard streams go. Each given descriptor is joined
// to the stream in the child only; the caller keeps and closes its own.
struct ChildStreams {
    // Absent: /dev/null.
    int standardInput = -1;
    // Absent: /dev/null. Never inherited: our standard output carries the
    // MCP stream.
    int standardOutput = -1;
    // Absent: our own standard error, where diagnostics belong anyway.
    int standardError = -1;
    // The child leads a new process group, so that signal() reaches
    // whatever it starts as well.
    bool ownProcessGroup = false;
};

// What a new child gets beyond its standard streams.
struct ChildExtras {
    // Further descriptors under fixed numbers (3 and up), for a
    // conversation apart from its standard streams; joined like the streams.
    struct Descriptor {
        int descriptor = -1;
        int numberInChild = -1;
    };
    std::vector<Descriptor> descriptors;
    // "NAME=value" entries set over the environment it inherits from us.
    std::vector<std::string> environment;
    // The list that ends the child with us (OwnedChildren::shared() for a
    // worker), which holds it until it is reaped or detached; absent for a
    // program opened for the person, which must outlive us.
    OwnedChildren* ownedBy = nullptr;
};

// The error for a program that could not be started because `error` (an
// errno) stood in the way, in the domain "ProcessLauncher".
PlatformError processStartFailure(const std::string& executable, int error);

// One child started with posix_spawnp, owned from its start to its reaping.
// It holds its three standard streams and the extras' descriptors, and no
// other descriptor of ours.
// A child still unreaped when its owner goes is killed and reaped, so no
// path leaves a zombie; detach() is the one way to let it live on.
class SpawnedProcess {
public:
    using Clock = std::chrono::steady_clock;

    // Starts `executable` (a name looked up on PATH, or a path) with
    // `arguments` after its name, never through a shell, with default signal
    // handling and nothing blocked, and our environment. The error's code
    // is the errno that refused the start (ENOENT: no such program).
    static PlatformOutcome<SpawnedProcess> spawn(const std::string& executable,
                                                 const std::vector<std::string>& arguments,
                                                 const ChildStreams& streams, const ChildExtras& extras = {});

    SpawnedProcess(SpawnedProcess&& other) noexcept;
    SpawnedProcess& operator=(SpawnedProcess&&) = delete;
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;
    ~SpawnedProcess();

    pid_t pid() const noexcept { return pid_; }
    // Becomes readable once the child has ended, for poll().
    int endNotice() const noexcept { return endNotice_.get(); }

    // Sends `number` to the child (to its whole group when it leads one).
    // Does nothing once the child is reaped, when its pid may name another.
    void signal(int number) const;

    // Waits until `until` for the child to end and reaps it; absent while
    // it still runs. Once reaped, answers the same exit every time.
    std::optional<ProcessExit> waitForExit(Clock::time_point until);
    // Waits as long as it takes.
    ProcessExit waitForExit();

    // Gives the unreaped child and its end notice to a new owner without
    // killing it, and takes it off the list that would end it with us.
    struct Detached {
        pid_t pid = -1;
        system::OwnedDescriptor endNotice;
    };
    Detached detach();

private:
    SpawnedProcess(pid_t pid, system::OwnedDescriptor endNotice, bool leadsGroup, OwnedChildren* ownedBy);
    ProcessExit reap();
    // Before the child is reaped or let go: once reaped, its pid may name
    // another process, which the list must never signal.
    void unlist();

    pid_t pid_ = -1;
    system::OwnedDescriptor endNotice_;
    bool leadsGroup_ = false;
    std::optional<ProcessExit> exit_;
    OwnedChildren* ownedBy_ = nullptr;
    std::uint64_t listing_ = 0;
};

}  // namespace lumenary::platform
