#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

namespace lumenary::http {

// The threads the HTTP endpoint runs on: each runs an io_context of its own,
// so that what one thread starts (a connection, a session's server) also
// completes there, without a lock or a wake-up on another CPU. The endpoint spreads its sessions over them.
//
// A thread that has run out of work may keep polling for
// `pollBeforeSleeping` before it sleeps, so that a request arriving within
// that moment finds it awake. By default it sleeps at once: measured under
// load, the polling cost more CPU per request than the wake-ups it saved,
// and on a busy machine it takes the CPU from threads that have work.
//
// Made and stopped by one owner; executors() may be read from any thread.
class EndpointThreads {
public:
    static constexpr std::chrono::microseconds defaultPollBeforeSleeping{0};

    explicit EndpointThreads(std::size_t count,
                             std::chrono::microseconds pollBeforeSleeping = defaultPollBeforeSleeping);
    // Stops and joins the threads.
    ~EndpointThreads();

    EndpointThreads(const EndpointThreads&) = delete;
    EndpointThreads& operator=(const EndpointThreads&) = delete;

    // One executor per thread, in a fixed order.
    const std::vector<asio::any_io_executor>& executors() const noexcept { return executors_; }

    // Stops every thread, dropping what is still queued, and waits for them.
    // Later calls do nothing.
    void stop();

private:
    using WorkGuard = asio::executor_work_guard<asio::io_context::executor_type>;

    std::vector<std::unique_ptr<asio::io_context>> contexts_;
    std::vector<WorkGuard> workGuards_;
    std::vector<asio::any_io_executor> executors_;
    std::vector<std::thread> threads_;
};

}  // namespace lumenary::http
