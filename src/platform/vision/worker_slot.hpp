#pragma once

#include <mutex>
#include <optional>

#include "platform/process/worker_process.hpp"

namespace lumenary::platform::vision {

// One worker program. One rule: the mutex guards the worker, and a call
// holds it from its request to its answer.
struct WorkerSlot {
    std::mutex mutex;
    std::optional<WorkerProcess> worker;
};

}  // namespace lumenary::platform::vision
