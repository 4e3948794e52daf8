#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "system/owned_descriptor.hpp"

namespace lumenary::platform {

// The children this process starts and owns (its workers, the programs it
// runs to their end), so that an orderly stop ends them before the process
// goes instead of leaving them to finish work nobody will read. A program
// opened for the person is never listed: it outlives us.
//
// A child is listed from its start until its owner is about to reap it or
// lets it go, so while listed its pid (and its group's id) names it and no
// other process; the list signals a child only while it holds it listed.
// Reaping stays with the owner.
//
// Concurrency: every member may be called from any thread; one mutex guards
// the list, and it is never held while waiting.
class OwnedChildren {
public:
    // The one list the workers join. Never destroyed: a stop may still end
    // them while static destructors run.
    static OwnedChildren& shared();

    OwnedChildren() = default;
    OwnedChildren(const OwnedChildren&) = delete;
    OwnedChildren& operator=(const OwnedChildren&) = delete;

    // Lists a started child: signals go to its group when it leads one, and
    // `endNotice` (copied) becomes readable when it has ended. Once endAll()
    // has begun, the child is killed at once, as the stop would have.
    // Gives the id to unlist it with.
    std::uint64_t add(pid_t pid, bool leadsGroup, int endNotice);
    // Before its owner reaps it or lets it go.
    void remove(std::uint64_t id);

    // SIGTERM to every listed child, then SIGKILL to those that have not
    // ended within `grace`, and waits a moment more for those to end (a
    // child stuck in the kernel may take longer; it is left to its owner).
    // From the first call on, every child listed later is killed at once.
    void endAll(std::chrono::milliseconds grace);

private:
    struct Child {
        std::uint64_t id = 0;
        pid_t pid = -1;
        bool leadsGroup = false;
        system::OwnedDescriptor endNotice;
    };

    // Signals every listed child that has not ended yet; gives copies of
    // their end notices to wait on outside the lock.
    std::vector<system::OwnedDescriptor> signalRunning(int number);
    static void signal(const Child& child, int number);

    std::mutex mutex_;
    // Guarded by mutex_.
    std::vector<Child> children_;
    std::uint64_t nextId_ = 1;
    bool ending_ = false;
};

}  // namespace lumenary::platform
