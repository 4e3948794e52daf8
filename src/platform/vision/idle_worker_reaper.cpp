#include "platform/vision/idle_worker_reaper.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <system_error>
#include <utility>

#include "system/poll_until.hpp"

namespace lumenary::platform::vision {

namespace {

// A worker told to finish ends within moments; one that does not is killed.
constexpr std::chrono::milliseconds idleStopGrace{1'000};

}  // namespace

IdleWorkerReaper::IdleWorkerReaper(std::vector<WorkerSlot*> slots, WorkerIdleLimits limits)
    : slots_(std::move(slots)), limits_(limits), wakeUp_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    // Without a wake-up or a thread, a worker that ends while idle is
    // reaped at the next call, as the calls do anyway, and idle ones stay.
    if (!wakeUp_.isOpen()) {
        return;
    }
    try {
        thread_ = std::thread([this] { watch(); });
    } catch (const std::system_error&) {
    }
}

IdleWorkerReaper::~IdleWorkerReaper() {
    if (thread_.joinable()) {
        stopping_.store(true);
        wake();
        thread_.join();
    }
}

void IdleWorkerReaper::callEnded() {
    wake();
}

void IdleWorkerReaper::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeUp_.get(), &one, sizeof one);
}

std::chrono::milliseconds IdleWorkerReaper::idleLimitOf(std::size_t index) const {
    return index == 0 ? limits_.first : limits_.others;
}

void IdleWorkerReaper::watch() {
    using Clock = std::chrono::steady_clock;
    while (!stopping_.load()) {
        // Copies of the idle workers' end notices: a call may end a worker,
        // and close its notice, while we wait on ours.
        std::vector<pollfd> entries{{wakeUp_.get(), POLLIN, 0}};
        std::vector<system::OwnedDescriptor> notices(slots_.size());
        auto firstIdleEnd = Clock::time_point::max();
        for (std::size_t index = 0; index < slots_.size(); ++index) {
            std::unique_lock lock(slots_[index]->mutex, std::try_to_lock);
            if (lock && slots_[index]->worker) {
                notices[index] = system::OwnedDescriptor(::fcntl(slots_[index]->worker->endNotice(), F_DUPFD_CLOEXEC, 0));
                firstIdleEnd = std::min(firstIdleEnd, slots_[index]->lastUsed + idleLimitOf(index));
            }
            // A closed copy is -1, which poll() passes over.
            entries.push_back({notices[index].get(), POLLIN, 0});
        }
        if (system::pollUntil(entries.data(), entries.size(), firstIdleEnd) < 0) {
            continue;
        }
        if (entries[0].revents != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(wakeUp_.get(), &count, sizeof count);
        }
        std::vector<std::optional<WorkerProcess>> leaving;
        for (std::size_t index = 0; index < slots_.size(); ++index) {
            // Only a worker that was idle as we began to wait can have ended
            // or stayed idle long enough.
            if (!notices[index].isOpen()) {
                continue;
            }
            auto& slot = *slots_[index];
            std::unique_lock lock(slot.mutex, std::try_to_lock);
            if (!lock || !slot.worker) {
                continue;
            }
            // The worker may since be another one, still running: exit()
            // then leaves it be.
            if (entries[index + 1].revents != 0 && slot.worker->exit()) {
                slot.worker.reset();
            } else if (Clock::now() - slot.lastUsed >= idleLimitOf(index)) {
                leaving.push_back(std::exchange(slot.worker, std::nullopt));
            }
        }
        for (auto& worker : leaving) {
            worker->stop(idleStopGrace);
        }
    }
}

}  // namespace lumenary::platform::vision
