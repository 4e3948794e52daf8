#pragma once

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include <asio/awaitable.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "async/cancellation.hpp"
#include "async/quiet_timer.hpp"
#include "async/timeout_error.hpp"

namespace lumenary::async {

namespace detail {

// Where the operation leaves its outcome. The race below reports only the
// side that ended first and drops the other's result, yet an operation can
// still succeed after the timer fired (its result already on the way when
// the cancellation came), and that result must not be lost.
template <typename T>
struct Settled {
    std::optional<T> value;
    std::exception_ptr error;
    bool succeeded() const { return value.has_value(); }
};

template <>
struct Settled<void> {
    bool done = false;
    std::exception_ptr error;
    bool succeeded() const { return done; }
};

// Never fails: a failure counts as "not done" in the race and would sit out
// the whole limit before being reported.
template <typename T>
asio::awaitable<void> settleInto(asio::awaitable<T> operation, std::shared_ptr<Settled<T>> settled) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(operation);
            settled->done = true;
        } else {
            settled->value.emplace(co_await std::move(operation));
        }
    } catch (...) {
        settled->error = std::current_exception();
    }
}

}  // namespace detail

// Runs `operation` on the calling coroutine's executor and returns its
// result, or throws TimeoutError once `limit` has passed, naming `what` in
// the message when given. Whichever side loses is cancelled, and the call
// returns only after it has ended, so the operation must honour cancellation
// for the timeout to take effect promptly. A result that arrives as the timer
// fires is still returned, never dropped. The operation's own exceptions pass
// through unchanged.
template <typename T>
asio::awaitable<T> withTimeout(asio::awaitable<T> operation, std::chrono::steady_clock::duration limit,
                               std::string what = {}) {
    using namespace asio::experimental::awaitable_operators;
    throwIfCancelled(co_await asio::this_coro::cancellation_state);
    asio::steady_timer timer(co_await asio::this_coro::executor, limit);
    auto settled = std::make_shared<detail::Settled<T>>();
    auto winner = co_await (detail::settleInto(std::move(operation), settled) || timer.async_wait(asio::use_awaitable));
    if (winner.index() == 0) {
        cancelQuietly(timer);
    }
    if (settled->succeeded()) {
        if constexpr (std::is_void_v<T>) {
            co_return;
        } else {
            co_return std::move(*settled->value);
        }
    }
    // An error after the timer fired is most likely the cancellation we sent.
    if (winner.index() == 1) {
        throw TimeoutError(limit, what);
    }
    std::rethrow_exception(settled->error);
}

}  // namespace lumenary::async
