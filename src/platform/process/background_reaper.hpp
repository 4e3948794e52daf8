#pragma once

#include <sys/types.h>

#include <mutex>
#include <vector>

#include "system/owned_descriptor.hpp"

namespace lumenary::platform {

// Looks after children nobody waits for any more: a child left running at
// its deadline is reaped when it ends, so it never stays a zombie, and the
// output pipes it (or anything it started) still holds are read and
// discarded until they close, so a late write does not kill it with
// SIGPIPE. One thread for the whole process, started on first use; it is
// never stopped, so adopting stays safe while the process exits.
class BackgroundReaper {
public:
    static BackgroundReaper& shared();

    // Takes over a child (a negative pid for none) with the descriptor that
    // becomes readable when it ends, and output pipes to drain.
    void adopt(pid_t pid, system::OwnedDescriptor endNotice, std::vector<system::OwnedDescriptor> outputs);

    BackgroundReaper(const BackgroundReaper&) = delete;
    BackgroundReaper& operator=(const BackgroundReaper&) = delete;

private:
    struct Adopted {
        pid_t pid = -1;
        system::OwnedDescriptor endNotice;
        std::vector<system::OwnedDescriptor> outputs;
    };

    BackgroundReaper();
    void watch();
    std::vector<Adopted> takeArrivals();

    system::OwnedDescriptor wakeUp_;
    std::mutex mutex_;
    std::vector<Adopted> arrivals_;  // guarded by mutex_
};

}  // namespace lumenary::platform
