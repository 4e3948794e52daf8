#pragma once

#include <mutex>

namespace lumenary::platform {

// Holds the one lock under which this process uses libical. libical keeps
// process-wide state that is not safe to touch from two threads at once:
// the table of time zones it loads from the system's tzdata on first use,
// its error number and its ring of temporary strings. The store is called
// from every thread of the worker pool, so every libical call, and every
// libical object (components, zones) while it is used, stays under this
// lock. The first lock also sets libical up for the process.
class ICalLibraryLock {
public:
    ICalLibraryLock();

private:
    std::unique_lock<std::mutex> lock_;
};

}  // namespace lumenary::platform
