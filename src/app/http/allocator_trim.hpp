#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include <asio/any_io_executor.hpp>

namespace lumenary::http {

// Gives memory that the allocator keeps after a burst of frees back to the
// system: an ended session frees much, but the allocator holds on to it, so
// the process would stay at its busiest size. A trim walks the whole heap,
// so requests are gathered: one trim follows a while after the first of a
// burst, however many come meanwhile.
//
// Its one flag is atomic, so any thread may ask.
class AllocatorTrim : public std::enable_shared_from_this<AllocatorTrim> {
public:
    static std::shared_ptr<AllocatorTrim> create(std::chrono::milliseconds delay);

    AllocatorTrim(const AllocatorTrim&) = delete;
    AllocatorTrim& operator=(const AllocatorTrim&) = delete;

    // Trims `delay` from now on `executor`, unless a trim is due already.
    void request(const asio::any_io_executor& executor);

private:
    explicit AllocatorTrim(std::chrono::milliseconds delay) : delay_(delay) {}

    const std::chrono::milliseconds delay_;
    std::atomic<bool> isDue_{false};
};

}  // namespace lumenary::http
