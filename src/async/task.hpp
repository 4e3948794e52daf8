#pragma once

#include <concepts>
#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

namespace lumenary::async {

// A handle to a coroutine started with co_spawn: it can be cancelled and
// awaited to its end. Copies share one task; dropping every handle leaves the
// task running.
//
// The executor must run one thing at a time (a strand, or an io_context run
// by a single thread): the body runs there, and so does the cancellation
// signal, which asio does not make thread-safe.
//
// Cancellation is cooperative. cancel() sets the sticky isCancelled() flag at
// once and delivers a terminal cancellation to the body on its executor:
// whatever cancellable wait the body is in (a timer, a socket, Queue::next,
// OneShot::wait, sleepFor) ends with operation_aborted, every such wait the
// body starts afterwards throws at once, and async::isCancelled() turns true
// for good. Other awaits carry on, so a cancelled body can still finish its
// own clean-up.
//
// The body never runs inside spawn(); it starts on the executor even when
// cancelled first, and then sees the cancellation. An exception escaping the
// body ends the task and is kept in error(); it never reaches join() and
// never terminates the process.
class Task {
public:
    static Task spawn(asio::any_io_executor executor, asio::awaitable<void> body);

    // Runs the awaitable that makeBody returns, keeping makeBody (and what a
    // lambda captured, which must be by value) alive until the body ends.
    template <typename MakeBody>
    requires std::invocable < std::decay_t<MakeBody>
    & > &&std::same_as<std::invoke_result_t<std::decay_t<MakeBody>&>, asio::awaitable<void>> static Task spawn(
            asio::any_io_executor executor, MakeBody&& makeBody) {
        return spawn(std::move(executor), runKeepingAlive(std::decay_t<MakeBody>(std::forward<MakeBody>(makeBody))));
    }

    // Safe from any thread, any number of times, after the end too.
    void cancel() const;
    bool isCancelled() const;

    bool isFinished() const;
    // What escaped the body, once it has ended; null for a normal end.
    std::exception_ptr error() const;

    // Ends when the task has ended (at once if it already has), on the joining
    // coroutine's executor. Any number of coroutines may join; the wait is
    // cancellable like any other.
    asio::awaitable<void> join() const;

private:
    struct State;

    explicit Task(std::shared_ptr<State> state);

    static asio::awaitable<void> joinState(std::shared_ptr<State> state);

    template <typename MakeBody>
    static asio::awaitable<void> runKeepingAlive(MakeBody makeBody) {
        co_await makeBody();
    }

    std::shared_ptr<State> state_;
};

}  // namespace lumenary::async
