#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "http_client/http_client.hpp"

namespace lumenary::app {

// Runs HTTP exchanges on background threads, each thread with its own
// client so that its connection stays open from one exchange to the next.
// A job goes to an idle thread; a new thread starts only when every thread
// is busy, so a relay that waits for each reply in turn keeps one thread and
// one connection, and a late reply never holds up the next exchange.
class HTTPExchangeWorkers {
public:
    // Must not throw: an escaping error is swallowed.
    using Job = std::function<void(http_client::HTTPClient&)>;

    HTTPExchangeWorkers() = default;
    // Runs every job already posted to its end, then joins the threads.
    ~HTTPExchangeWorkers();
    HTTPExchangeWorkers(const HTTPExchangeWorkers&) = delete;
    HTTPExchangeWorkers& operator=(const HTTPExchangeWorkers&) = delete;

    // Throws std::system_error when a needed thread cannot start.
    void post(Job job);
    // Returns once no job is queued or running.
    void waitUntilIdle();

private:
    void work();

    std::mutex mutex_;
    std::condition_variable jobArrived_;
    std::condition_variable becameIdle_;
    std::deque<Job> jobs_;
    std::size_t idleThreads_ = 0;
    std::size_t runningJobs_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace lumenary::app
