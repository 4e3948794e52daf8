#pragma once

#include <chrono>
#include <mutex>
#include <optional>

#include "platform/process/worker_process.hpp"

namespace lumenary::platform::vision {

// One worker program. One rule: the mutex guards the worker and when a call
// last let go of it, and a call holds it from its request to its answer.
struct WorkerSlot {
    std::mutex mutex;
    std::optional<WorkerProcess> worker;
    std::chrono::steady_clock::time_point lastUsed = std::chrono::steady_clock::now();
};

}  // namespace lumenary::platform::vision
