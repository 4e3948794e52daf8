#include "app/host/http_exchange_workers.hpp"

namespace lumenary::app {

HTTPExchangeWorkers::~HTTPExchangeWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    jobArrived_.notify_all();
    for (auto& thread : threads_) {
        thread.join();
    }
}

void HTTPExchangeWorkers::post(Job job) {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    if (idleThreads_ >= jobs_.size()) {
        jobArrived_.notify_one();
        return;
    }
    try {
        threads_.emplace_back(&HTTPExchangeWorkers::work, this);
    } catch (...) {
        jobs_.pop_back();
        throw;
    }
}

void HTTPExchangeWorkers::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    becameIdle_.wait(lock, [this] { return jobs_.empty() && runningJobs_ == 0; });
}

void HTTPExchangeWorkers::work() {
    http_client::HTTPClient client;
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idleThreads_;
        jobArrived_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        --idleThreads_;
        if (jobs_.empty()) {
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        ++runningJobs_;
        lock.unlock();
        try {
            job(client);
        } catch (...) {
        }
        lock.lock();
        --runningJobs_;
        if (jobs_.empty() && runningJobs_ == 0) {
            becameIdle_.notify_all();
        }
    }
}

}  // namespace lumenary::app
