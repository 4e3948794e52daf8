#include "platform/process/owned_children.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>

#include "system/poll_until.hpp"

namespace lumenary::platform {

namespace {

using Clock = std::chrono::steady_clock;

// How long children killed at the end of their grace get to be gone: a
// killed process ends within moments unless the kernel holds it.
constexpr std::chrono::milliseconds killedChildEndWait{200};

bool hasEnded(int endNotice) {
    pollfd entry{endNotice, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
}

// Returns once every notice is readable, or at `until`.
void awaitEnds(const std::vector<system::OwnedDescriptor>& notices, Clock::time_point until) {
    std::vector<pollfd> entries;
    for (const auto& notice : notices) {
        if (notice.isOpen()) {
            entries.push_back({notice.get(), POLLIN, 0});
        }
    }
    while (!entries.empty()) {
        if (system::pollUntil(entries.data(), entries.size(), until) <= 0) {
            return;
        }
        std::erase_if(entries, [](const pollfd& entry) { return entry.revents != 0; });
    }
}

}  // namespace

OwnedChildren& OwnedChildren::shared() {
    static OwnedChildren* const children = new OwnedChildren();
    return *children;
}

std::uint64_t OwnedChildren::add(pid_t pid, bool leadsGroup, int endNotice) {
    std::lock_guard lock(mutex_);
    // Without a copy of its notice the child is still signalled; only its
    // end cannot be waited for.
    Child child{nextId_++, pid, leadsGroup, system::OwnedDescriptor(::fcntl(endNotice, F_DUPFD_CLOEXEC, 0))};
    if (ending_) {
        signal(child, SIGKILL);
    }
    children_.push_back(std::move(child));
    return children_.back().id;
}

void OwnedChildren::remove(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    std::erase_if(children_, [id](const Child& child) { return child.id == id; });
}

void OwnedChildren::endAll(std::chrono::milliseconds grace) {
    awaitEnds(signalRunning(SIGTERM), Clock::now() + grace);
    awaitEnds(signalRunning(SIGKILL), Clock::now() + killedChildEndWait);
}

std::vector<system::OwnedDescriptor> OwnedChildren::signalRunning(int number) {
    std::lock_guard lock(mutex_);
    ending_ = true;
    std::vector<system::OwnedDescriptor> notices;
    for (const auto& child : children_) {
        if (child.endNotice.isOpen() && hasEnded(child.endNotice.get())) {
            continue;
        }
        signal(child, number);
        // A copy: the owner may unlist the child, closing the list's notice,
        // while we wait on it.
        notices.emplace_back(::fcntl(child.endNotice.get(), F_DUPFD_CLOEXEC, 0));
    }
    return notices;
}

void OwnedChildren::signal(const Child& child, int number) {
    ::kill(child.leadsGroup ? -child.pid : child.pid, number);
}

}  // namespace lumenary::platform
