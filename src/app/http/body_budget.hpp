#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>

namespace lumenary::http {

// The memory that request bodies in flight may take together, so that many
// large POSTs at once cannot take the process's memory: a connection reserves
// its body's declared size before reading it and holds the reservation until
// it ends. Its one count is atomic, so any thread reserves and releases
// without a lock.
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

    private:
        friend class BodyBudget;
        Reservation(std::shared_ptr<BodyBudget> budget, std::size_t bytes) : budget_(std::move(budget)), bytes_(bytes) {}

        std::shared_ptr<BodyBudget> budget_;
        std::size_t bytes_ = 0;
    };

    static std::shared_ptr<BodyBudget> create(std::size_t capacityBytes);

    BodyBudget(const BodyBudget&) = delete;
    BodyBudget& operator=(const BodyBudget&) = delete;

    // Nothing when `bytes` more would pass the capacity.
    std::optional<Reservation> reserve(std::size_t bytes);

private:
    explicit BodyBudget(std::size_t capacityBytes) : capacity_(capacityBytes) {}

    const std::size_t capacity_;
    std::atomic<std::size_t> reserved_{0};
};

}  // namespace lumenary::http
