#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include <asio/associated_cancellation_slot.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/cancellation_type.hpp>
#include <asio/error.hpp>
#include <asio/system_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "async/cancellation.hpp"
#include "async/completion_handler.hpp"

namespace lumenary::async {

// An unbounded stream of items that ends once, cleanly or with an error.
//
// Any thread may push or finish; exactly one coroutine consumes with next().
// A Queue is a cheap handle over shared state: copies refer to the same
// stream, so producers and callbacks can hold it by value.
//
// Once finished, pushes are refused; items already queued are still handed
// out, then the end: std::nullopt for a clean finish, or the finishing error
// thrown once (later calls see a clean end).
//
// A waiting consumer is resumed on its own executor, never inline on the
// producer's thread, unless the producer hands the item over with
// handOver(): a producer running on the consumer's thread then resumes it
// before handOver returns, without a trip through the scheduler. Its wait
// is cancellable through the awaiting coroutine's cancellation slot: it then
// throws asio::system_error(operation_aborted) and the item it would have
// taken stays queued for the next call.
template <typename T>
class Queue {
public:
    Queue() : state_(std::make_shared<State>()) {}
    // `weigh` tells what an item costs (its size in bytes, say), so that a
    // producer can pace itself by weight as well as by count.
    explicit Queue(std::function<std::size_t(const T&)> weigh) : Queue() { state_->weigh = std::move(weigh); }

    // Returns false, dropping the item, once the queue is finished.
    bool push(T item) const { return add(std::move(item), false); }

    // As push, but a waiting consumer whose executor may run on this thread
    // now (asio::dispatch) runs here, before this returns: the producer must
    // hold no lock the consumer might take.
    bool handOver(T item) const { return add(std::move(item), true); }

    // True while fewer than `items` items weighing less than `weight` are
    // queued: one look, for a producer that paces itself.
    bool isBelow(std::size_t items, std::size_t weight = std::numeric_limits<std::size_t>::max()) const {
        std::lock_guard lock(state_->mutex);
        return state_->items.size() < items && state_->weight < weight;
    }

    void finish() const { finish(nullptr); }

    // A null error is a clean finish. Only the first finish counts.
    void finish(std::exception_ptr error) const {
        Waiter waiter;
        RoomWaiter producer;
        std::exception_ptr delivered;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->finished) {
                return;
            }
            state_->finished = true;
            state_->error = std::move(error);
            producer = takeRoomWaiterLocked(*state_);
            if (state_->waiter) {
                waiter = std::move(state_->waiter);
                delivered = std::exchange(state_->error, nullptr);
            }
        }
        if (producer) {
            producer.complete(nullptr);
        }
        if (waiter) {
            waiter.complete(std::move(delivered), std::nullopt);
        }
    }

    // Drops the items not yet taken, and what they hold with them, at once:
    // for a consumer that will never take them, whose copy of the queue may
    // live on a while. A producer waiting for room is let go.
    void clear() const {
        std::deque<T> dropped;
        RoomWaiter producer;
        {
            std::lock_guard lock(state_->mutex);
            dropped.swap(state_->items);
            state_->weight = 0;
            producer = takeRoomWaiterLocked(*state_);
        }
        if (producer) {
            producer.complete(nullptr);
        }
    }

    // The next item, std::nullopt at a clean end; rethrows a finishing error.
    asio::awaitable<std::optional<T>> next() const { return nextFrom(state_); }

    // True once finish has been called, even while items remain to be read.
    bool isFinished() const {
        std::lock_guard lock(state_->mutex);
        return state_->finished;
    }

    // Items pushed and not yet taken, so producers can hold back.
    std::size_t size() const {
        std::lock_guard lock(state_->mutex);
        return state_->items.size();
    }

    // Ends once fewer than `items` items weighing less than `weight` are
    // queued, or the queue is finished: a producer paces itself by its
    // consumer with it. One producer may wait at a time (a second one returns
    // at once); finish() ends the wait.
    asio::awaitable<void> waitUntilBelow(std::size_t items,
                                         std::size_t weight = std::numeric_limits<std::size_t>::max()) const {
        return roomFrom(state_, items, weight);
    }

    // The weight of the items queued; zero without a `weigh`.
    std::size_t weight() const {
        std::lock_guard lock(state_->mutex);
        return state_->weight;
    }

private:
    bool add(T item, bool resumeHere) const {
        Waiter waiter;
        {
            std::lock_guard lock(state_->mutex);
            if (state_->finished) {
                return false;
            }
            if (!state_->waiter) {
                if (state_->weigh) {
                    state_->weight += state_->weigh(item);
                }
                state_->items.push_back(std::move(item));
                return true;
            }
            // A consumer only waits on an empty queue, so it takes this item.
            waiter = std::move(state_->waiter);
        }
        if (resumeHere) {
            waiter.completeHere(nullptr, std::optional<T>(std::move(item)));
        } else {
            waiter.complete(nullptr, std::optional<T>(std::move(item)));
        }
        return true;
    }

    using Waiter = CompletionHandler<std::optional<T>>;
    using RoomWaiter = CompletionHandler<>;

    struct State {
        std::mutex mutex;
        std::deque<T> items;
        bool finished = false;
        std::exception_ptr error;  // cleared once handed to the consumer
        Waiter waiter;             // set only while the queue is empty and open
        std::uint64_t waitNumber = 0;
        RoomWaiter roomWaiter;  // a producer waiting for the queue to shrink
        std::size_t roomLimit = 0;
        std::size_t roomWeightLimit = 0;
        std::function<std::size_t(const T&)> weigh;
        std::size_t weight = 0;
    };

    // The waiting producer, once the queue has shrunk below its limit.
    static RoomWaiter takeRoomWaiterLocked(State& state) {
        if (state.roomWaiter &&
            (state.finished || (state.items.size() < state.roomLimit && state.weight < state.roomWeightLimit))) {
            return std::move(state.roomWaiter);
        }
        return RoomWaiter();
    }

    // What the consumer gets without waiting: an item, or the end.
    struct Ready {
        std::exception_ptr error;
        std::optional<T> item;
    };

    static std::optional<Ready> takeReadyLocked(State& state) {
        if (!state.items.empty()) {
            Ready ready{nullptr, std::move(state.items.front())};
            if (state.weigh) {
                state.weight -= state.weigh(*ready.item);
            }
            state.items.pop_front();
            return ready;
        }
        if (state.finished) {
            return Ready{std::exchange(state.error, nullptr), std::nullopt};
        }
        return std::nullopt;
    }

    // Ends one particular wait with operation_aborted, unless a producer has
    // already taken it. Holds the state weakly: the slot may outlive the queue.
    class CancelWait {
    public:
        CancelWait(std::weak_ptr<State> state, std::uint64_t waitNumber)
            : state_(std::move(state)), waitNumber_(waitNumber) {}

        void operator()(asio::cancellation_type_t type) {
            if (type == asio::cancellation_type::none) {
                return;
            }
            auto state = state_.lock();
            if (!state) {
                return;
            }
            Waiter waiter;
            {
                std::lock_guard lock(state->mutex);
                if (!state->waiter || state->waitNumber != waitNumber_) {
                    return;
                }
                waiter = std::move(state->waiter);
            }
            waiter.complete(std::make_exception_ptr(asio::system_error(asio::error::operation_aborted)), std::nullopt);
        }

    private:
        std::weak_ptr<State> state_;
        std::uint64_t waitNumber_;
    };

    class StartWait {
    public:
        explicit StartWait(std::shared_ptr<State> state) : state_(std::move(state)) {}

        template <typename Handler>
        void operator()(Handler&& handler) const {
            auto slot = asio::get_associated_cancellation_slot(handler);
            std::unique_lock lock(state_->mutex);
            // A producer may have pushed since next() last looked.
            if (auto ready = takeReadyLocked(*state_)) {
                auto producer = takeRoomWaiterLocked(*state_);
                lock.unlock();
                if (producer) {
                    producer.complete(nullptr);
                }
                Waiter(std::forward<Handler>(handler)).complete(std::move(ready->error), std::move(ready->item));
                return;
            }
            if (state_->waiter) {
                lock.unlock();
                Waiter(std::forward<Handler>(handler))
                    .complete(
                        std::make_exception_ptr(std::logic_error("Queue::next: another consumer is already waiting")),
                        std::nullopt);
                return;
            }
            const auto waitNumber = ++state_->waitNumber;
            // Installed before the wait is visible to producers: once it is, a
            // producer may resume the consumer, which clears this slot.
            if (slot.is_connected()) {
                slot.template emplace<CancelWait>(std::weak_ptr<State>(state_), waitNumber);
            }
            state_->waiter = Waiter(std::forward<Handler>(handler));
        }

    private:
        std::shared_ptr<State> state_;
    };

    static asio::awaitable<std::optional<T>> nextFrom(std::shared_ptr<State> state) {
        throwIfCancelled(co_await asio::this_coro::cancellation_state);
        std::optional<Ready> ready;
        RoomWaiter producer;
        {
            std::lock_guard lock(state->mutex);
            ready = takeReadyLocked(*state);
            producer = takeRoomWaiterLocked(*state);
        }
        if (producer) {
            producer.complete(nullptr);
        }
        if (!ready) {
            // Made apart from the co_await, like every temporary of ours.
            StartWait start(state);
            co_return co_await asio::async_initiate<const asio::use_awaitable_t<>&,
                                                    void(std::exception_ptr, std::optional<T>)>(std::move(start),
                                                                                                asio::use_awaitable);
        }
        if (ready->error) {
            std::rethrow_exception(ready->error);
        }
        co_return std::move(ready->item);
    }

    class StartRoomWait {
    public:
        StartRoomWait(std::shared_ptr<State> state, std::size_t items, std::size_t weight)
            : state_(std::move(state)), items_(items), weight_(weight) {}

        template <typename Handler>
        void operator()(Handler&& handler) const {
            RoomWaiter waiter(std::forward<Handler>(handler));
            {
                std::lock_guard lock(state_->mutex);
                const bool full = state_->items.size() >= items_ || state_->weight >= weight_;
                if (!state_->finished && full && !state_->roomWaiter) {
                    state_->roomLimit = items_;
                    state_->roomWeightLimit = weight_;
                    state_->roomWaiter = std::move(waiter);
                    return;
                }
            }
            waiter.complete(nullptr);
        }

    private:
        std::shared_ptr<State> state_;
        std::size_t items_;
        std::size_t weight_;
    };

    static asio::awaitable<void> roomFrom(std::shared_ptr<State> state, std::size_t items, std::size_t weight) {
        throwIfCancelled(co_await asio::this_coro::cancellation_state);
        // Made apart from the co_await: g++ 12 destroys a capturing temporary
        // of a statement holding a co_await twice.
        StartRoomWait start(std::move(state), items, weight);
        co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr)>(std::move(start),
                                                                                                asio::use_awaitable);
    }

    std::shared_ptr<State> state_;
};

}  // namespace lumenary::async
