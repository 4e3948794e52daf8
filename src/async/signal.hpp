#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace lumenary::async {

namespace detail {
struct SignalSubscribers {
    std::mutex mutex;
    std::uint64_t last = 0;
    std::map<std::uint64_t, std::function<void()>> entries;

    void remove(std::uint64_t number) {
        std::lock_guard lock(mutex);
        entries.erase(number);
    }
};
}  // namespace detail

// A value-less event with any number of subscribers: each `emit` calls every
// subscriber once, on the emitting thread, in subscription order. Nothing
// is buffered or replayed for later subscribers.
class Signal {
public:
    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    // Unsubscribes when destroyed; may outlive the signal.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept {
            if (this != &other) {
                cancel();
                subscribers_ = std::move(other.subscribers_);
                number_ = other.number_;
            }
            return *this;
        }
        ~Subscription() { cancel(); }

        void cancel() {
            if (auto subscribers = subscribers_.lock()) {
                subscribers->remove(number_);
            }
            subscribers_.reset();
        }

    private:
        friend class Signal;
        using Subscribers = detail::SignalSubscribers;
        Subscription(std::weak_ptr<Subscribers> subscribers, std::uint64_t number)
            : subscribers_(std::move(subscribers)), number_(number) {}

        std::weak_ptr<Subscribers> subscribers_;
        std::uint64_t number_ = 0;
    };

    [[nodiscard]] Subscription subscribe(std::function<void()> subscriber) {
        std::lock_guard lock(subscribers_->mutex);
        const auto number = ++subscribers_->last;
        subscribers_->entries.emplace(number, std::move(subscriber));
        return Subscription(subscribers_, number);
    }

    void emit() const {
        // A copy, so a subscriber may subscribe or unsubscribe while called.
        std::map<std::uint64_t, std::function<void()>> entries;
        {
            std::lock_guard lock(subscribers_->mutex);
            entries = subscribers_->entries;
        }
        for (const auto& [number, subscriber] : entries) {
            subscriber();
        }
    }

private:
    std::shared_ptr<detail::SignalSubscribers> subscribers_ = std::make_shared<detail::SignalSubscribers>();
};

}  // namespace lumenary::async
