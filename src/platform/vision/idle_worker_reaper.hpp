#pragma once

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/vision/worker_slot.hpp"
#include "system/owned_descriptor.hpp"

namespace lumenary::platform::vision {

// How long a worker may sit idle before it is stopped: the first slot's,
// which serves every analysis and so is the last to go idle, and each other
// slot's, which only help with a folder or a video.
struct WorkerIdleLimits {
    std::chrono::milliseconds first{std::chrono::minutes(5)};
    std::chrono::milliseconds others{std::chrono::seconds(30)};
};

// Watches the slots' workers while no call uses them. A worker that ends by
// itself (killed, or crashed) is reaped at once, so that it never stays a
// zombie until the next call; one idle past its limit is stopped, giving
// its memory back. The next call then starts a fresh one. A worker that ends
// during a call is the call's to deal with.
//
// Concurrency: one thread of its own watches the idle workers. It touches a
// slot only while holding the slot's mutex, and never waits for it: a slot
// in use is left alone until callEnded() says it is idle again. A worker
// past its limit is taken out of its slot first and stopped after, so a call
// never waits for it to go. Other members may be called from any thread.
class IdleWorkerReaper {
public:
    // `slots` outlive the reaper.
    IdleWorkerReaper(std::vector<WorkerSlot*> slots, WorkerIdleLimits limits);
    // Stops watching and waits for the thread to end.
    ~IdleWorkerReaper();

    IdleWorkerReaper(const IdleWorkerReaper&) = delete;
    IdleWorkerReaper& operator=(const IdleWorkerReaper&) = delete;

    // A call let go of its slot, whose worker may be new or gone.
    void callEnded();

private:
    void wake();
    void watch();
    std::chrono::milliseconds idleLimitOf(std::size_t index) const;

    std::vector<WorkerSlot*> slots_;
    WorkerIdleLimits limits_;
    system::OwnedDescriptor wakeUp_;
    std::atomic<bool> stopping_{false};
    // Last: started once everything it reads exists.
    std::thread thread_;
};

}  // namespace lumenary::platform::vision
