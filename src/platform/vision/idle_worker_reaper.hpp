#pragma once

#include <atomic>
#include <thread>
#include <vector>

#include "platform/vision/worker_slot.hpp"
#include "system/owned_descriptor.hpp"

namespace lumenary::platform::vision {

// Reaps a slot's worker as soon as it ends while no call uses it (killed,
// or crashed on its own), so that it never stays a zombie until the next
// call; the next call then starts a fresh one. A worker that ends during a
// call is the call's to deal with.
//
// Concurrency: one thread of its own watches the idle workers. It touches a
// slot only while holding the slot's mutex, and never waits for it: a slot
// in use is left alone until callEnded() says it is idle again. Other
// members may be called from any thread.
class IdleWorkerReaper {
public:
    // `slots` outlive the reaper.
    explicit IdleWorkerReaper(std::vector<WorkerSlot*> slots);
    // Stops watching and waits for the thread to end.
    ~IdleWorkerReaper();

    IdleWorkerReaper(const IdleWorkerReaper&) = delete;
    IdleWorkerReaper& operator=(const IdleWorkerReaper&) = delete;

    // A call let go of its slot, whose worker may be new or gone.
    void callEnded();

private:
    void wake();
    void watch();

    std::vector<WorkerSlot*> slots_;
    system::OwnedDescriptor wakeUp_;
    std::atomic<bool> stopping_{false};
    // Last: started once everything it reads exists.
    std::thread thread_;
};

}  // namespace lumenary::platform::vision
