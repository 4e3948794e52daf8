#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace lumenary::platform {

// A process as other processes can tell it apart over time: its id and
// the moment it started (in clock ticks after boot), since an id is given
// to a new process once its old one has ended.
struct ProcessIdentity {
    pid_t pid = 0;
    std::uint64_t startTime = 0;

    bool operator==(const ProcessIdentity&) const = default;
};

// The process with id `pid` as it is now; absent when none runs or it has
// ended and waits to be reaped.
std::optional<ProcessIdentity> runningProcess(pid_t pid);

// This process.
ProcessIdentity currentProcess();

// Whether `process` still runs: the id names a live process that started
// when it did.
bool isRunning(const ProcessIdentity& process);

}  // namespace lumenary::platform
