#include "platform/process/background_reaper.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>

#include "system/poll_until.hpp"

namespace lumenary::platform {

namespace {

constexpr std::size_t discardBufferSize = 64 * 1024;

// True while the pipe may still carry bytes.
bool discardAvailable(int descriptor, std::vector<char>& buffer) {
    const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
    return count > 0 || (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
}

}  // namespace

BackgroundReaper& BackgroundReaper::shared() {
    // Never destroyed: a worker thread may still hand over a child while
    // static destructors run at exit.
    static BackgroundReaper* const reaper = new BackgroundReaper();
    return *reaper;
}

BackgroundReaper::BackgroundReaper() : wakeUp_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!wakeUp_.isOpen()) {
        throw std::system_error(errno, std::generic_category(), "eventfd for the background reaper");
    }
    std::thread([this] { watch(); }).detach();
}

void BackgroundReaper::adopt(pid_t pid, system::OwnedDescriptor endNotice,
                             std::vector<system::OwnedDescriptor> outputs) {
    {
        std::lock_guard lock(mutex_);
        arrivals_.push_back({pid, std::move(endNotice), std::move(outputs)});
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeUp_.get(), &one, sizeof one);
}

std::vector<BackgroundReaper::Adopted> BackgroundReaper::takeArrivals() {
    std::lock_guard lock(mutex_);
    return std::exchange(arrivals_, {});
}

void BackgroundReaper::watch() {
    std::vector<Adopted> watched;
    std::vector<pollfd> entries;
    std::vector<char> discarded(discardBufferSize);
    for (;;) {
        entries.assign(1, pollfd{wakeUp_.get(), POLLIN, 0});
        for (const auto& child : watched) {
            // A closed descriptor is -1, which poll() passes over.
            entries.push_back({child.endNotice.get(), POLLIN, 0});
            for (const auto& output : child.outputs) {
                entries.push_back({output.get(), POLLIN, 0});
            }
        }
        if (system::pollUntil(entries.data(), entries.size(), std::chrono::steady_clock::time_point::max()) < 0) {
            continue;
        }

        std::size_t index = 1;
        for (auto& child : watched) {
            if (entries[index++].revents != 0) {
                int status = 0;
                if (::waitpid(child.pid, &status, WNOHANG) != 0) {
                    child.pid = -1;
                    child.endNotice.reset();
                }
            }
            for (auto& output : child.outputs) {
                if (entries[index++].revents != 0 && !discardAvailable(output.get(), discarded)) {
                    output.reset();
                }
            }
            std::erase_if(child.outputs, [](const auto& output) { return !output.isOpen(); });
        }
        std::erase_if(watched, [](const auto& child) { return child.pid < 0 && child.outputs.empty(); });

        if (entries[0].revents != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(wakeUp_.get(), &count, sizeof count);
            for (auto& arrival : takeArrivals()) {
                watched.push_back(std::move(arrival));
            }
        }
    }
}

}  // namespace lumenary::platform
