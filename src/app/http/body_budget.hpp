#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

namespace lumenary::http {

// The memory that request bodies in flight may take together, so that many
// large POSTs at once cannot take the process's memory: a connection reserves
// what its body will take before reading it (a chunked body's, chunk by
// chunk) and holds the reservation while the body is in memory: until the
// connection ends, or, for a notification answered before its server has
// handled it, until the message leaves the session's queue (handled, or
// dropped as the session ends). When a reservation is given back, the
// release handler hears how large it was, so that memory the allocator keeps
// after large bodies can go back to the system.
//
// Its one count is atomic, so any thread reserves and releases without a
// lock; the release handler runs on the thread that releases.
class BodyBudget : public std::enable_shared_from_this<BodyBudget> {
public:
    // Gives its bytes back when it goes.
    class Reservation {
    public:
        Reservation() = default;
        Reservation(Reservation&& other) noexcept;
        Reservation& operator=(Reservation&& other) noexcept;
        ~Reservation() { release(); }

        void release() noexcept;
        // Takes over the bytes of `more`, from the same budget.
        void merge(Reservation&& more) noexcept;
        std::size_t bytes() const noexcept { return bytes_; }

    private:
        friend class BodyBudget;
        Reservation(std::shared_ptr<BodyBudget> budget, std::size_t bytes) : budget_(std::move(budget)), bytes_(bytes) {}

        std::shared_ptr<BodyBudget> budget_;
        std::size_t bytes_ = 0;
    };

    using ReleaseHandler = std::function<void(std::size_t releasedBytes)>;

    static std::shared_ptr<BodyBudget> create(std::size_t capacityBytes, ReleaseHandler onRelease = {});

    BodyBudget(const BodyBudget&) = delete;
    BodyBudget& operator=(const BodyBudget&) = delete;

    // Nothing when `bytes` more would pass the capacity.
    std::optional<Reservation> reserve(std::size_t bytes);

private:
    BodyBudget(std::size_t capacityBytes, ReleaseHandler onRelease)
        : capacity_(capacityBytes), onRelease_(std::move(onRelease)) {}

    const std::size_t capacity_;
    const ReleaseHandler onRelease_;
    std::atomic<std::size_t> reserved_{0};
};

}  // namespace lumenary::http
