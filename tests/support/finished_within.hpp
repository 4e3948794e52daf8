#pragma once

#include <chrono>
#include <future>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace lumenary::testing {

// What `work` answers, run on a thread of its own, when it ends within
// `limit`; nothing when it is still running then, so that a test of a call
// that must not hang fails instead of hanging. A call that never ends keeps
// its thread until the process exits, so the work owns everything it uses
// (capture by value) and runs on no pool that exit would wait for.
template <typename Work>
std::optional<std::invoke_result_t<Work>> finishedWithin(std::chrono::milliseconds limit, Work work) {
    std::packaged_task<std::invoke_result_t<Work>()> task(std::move(work));
    auto answer = task.get_future();
    std::thread(std::move(task)).detach();
    if (answer.wait_for(limit) != std::future_status::ready) {
        return std::nullopt;
    }
    return answer.get();
}

}  // namespace lumenary::testing
