#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <stdexcept>
#include <utility>
#include <variant>

#include <asio/awaitable.hpp>

#include "async/queue.hpp"

namespace lumenary::async {

// A value (or an error) delivered once, from any thread, to one waiting
// coroutine.
//
// The first resume() or fail() settles it; later ones are ignored and return
// false. wait() gets the outcome whether it was settled before or after the
// wait began, and is resumed on the waiting coroutine's own executor.
//
// A cheap handle over shared state: copies refer to the same one-shot, so it
// can be handed to callbacks by value. The value is moved out to the first
// wait() that completes; a wait() after that is a logic error. A cancelled
// wait throws asio::system_error(operation_aborted) and leaves the outcome
// for a later wait().
template <typename T>
class OneShot {
public:
    OneShot() : shared_(std::make_shared<Shared>()) {}

    bool resume(T value) const {
        if (shared_->settled.exchange(true)) {
            return false;
        }
        shared_->outcome.push(std::move(value));
        shared_->outcome.finish();
        return true;
    }

    // A null error counts as a failure too, reported as a logic_error.
    bool fail(std::exception_ptr error) const {
        if (shared_->settled.exchange(true)) {
            return false;
        }
        if (!error) {
            error = std::make_exception_ptr(std::logic_error("OneShot failed without an error"));
        }
        shared_->outcome.finish(std::move(error));
        return true;
    }

    asio::awaitable<T> wait() const { return waitOn(shared_); }

private:
    // A queue of at most one item carries the outcome, so waiting, wake-up on
    // the right executor and cancellation work exactly as they do for Queue.
    struct Shared {
        std::atomic<bool> settled{false};
        Queue<T> outcome;
    };

    static asio::awaitable<T> waitOn(std::shared_ptr<Shared> shared) {
        auto value = co_await shared->outcome.next();
        if (!value) {
            throw std::logic_error("OneShot::wait: the value was already taken by an earlier wait");
        }
        co_return std::move(*value);
    }

    std::shared_ptr<Shared> shared_;
};

// A one-shot that carries no value, only "done" or an error.
template <>
class OneShot<void> {
public:
    bool resume() const { return inner_.resume(std::monostate{}); }
    bool fail(std::exception_ptr error) const { return inner_.fail(std::move(error)); }
    asio::awaitable<void> wait() const { return waitOn(inner_); }

private:
    static asio::awaitable<void> waitOn(OneShot<std::monostate> inner) { co_await inner.wait(); }

    OneShot<std::monostate> inner_;
};

}  // namespace lumenary::async
