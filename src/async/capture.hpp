#pragma once

#include <exception>
#include <type_traits>
#include <utility>
#include <variant>

#include <asio/awaitable.hpp>

namespace lumenary::async {

// What an awaited call came to: the value it returned, or the exception it
// threw. A coroutine may not co_await inside a catch handler, so code that
// answers a failure with more awaited work holds it as a value instead of
// carrying an exception_ptr out of a try block by hand.
//
// value() rethrows the failure of a call that failed.
template <typename T>
class Outcome {
public:
    explicit Outcome(T value) : storage_(std::in_place_index<0>, std::move(value)) {}
    explicit Outcome(std::exception_ptr failure) : storage_(std::in_place_index<1>, std::move(failure)) {}

    bool succeeded() const noexcept { return storage_.index() == 0; }
    explicit operator bool() const noexcept { return succeeded(); }

    T& value() & {
        rethrowFailure();
        return std::get<0>(storage_);
    }
    T&& value() && {
        rethrowFailure();
        return std::get<0>(std::move(storage_));
    }
    // Null for a call that succeeded.
    std::exception_ptr failure() const noexcept {
        const auto* failure = std::get_if<1>(&storage_);
        return failure != nullptr ? *failure : nullptr;
    }

private:
    void rethrowFailure() const {
        if (const auto* failure = std::get_if<1>(&storage_)) {
            std::rethrow_exception(*failure);
        }
    }

    std::variant<T, std::exception_ptr> storage_;
};

template <>
class Outcome<void> {
public:
    Outcome() = default;
    explicit Outcome(std::exception_ptr failure) : failure_(std::move(failure)) {}

    bool succeeded() const noexcept { return !failure_; }
    explicit operator bool() const noexcept { return succeeded(); }
    void value() const {
        if (failure_) {
            std::rethrow_exception(failure_);
        }
    }
    std::exception_ptr failure() const noexcept { return failure_; }

private:
    std::exception_ptr failure_;
};

// Awaits `operation` and returns how it ended; never throws. A cancelled
// operation's error is captured like any other. The awaitable must be made
// before this is called, so whatever throws while making it (a function
// that checks its arguments before returning its awaitable) is not caught.
template <typename T>
asio::awaitable<Outcome<T>> capture(asio::awaitable<T> operation) {
    std::exception_ptr failure;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(operation);
            co_return Outcome<void>();
        } else {
            co_return Outcome<T>(co_await std::move(operation));
        }
    } catch (...) {
        failure = std::current_exception();
    }
    co_return Outcome<T>(std::move(failure));
}

}  // namespace lumenary::async
