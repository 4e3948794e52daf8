#pragma once

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/bind_executor.hpp>
#include <asio/post.hpp>
#include <asio/thread_pool.hpp>
#include <asio/use_awaitable.hpp>

// Blocking work kept off the main executor and off every strand: the caller
// awaits runBlocking and is resumed where it was, while the work runs on a
// pool of a few threads that the whole process shares.
namespace lumenary::async {

// The process's pool for blocking work: file scans, libical, SQLite, D-Bus
// calls, child processes. Such work never runs on the main executor.
// Started on first use; stopped and joined at exit, where queued work that
// has not begun is dropped and work that is running is waited for.
asio::thread_pool& workerPool();

namespace detail {

// Runs the work on `pool`, lets go of it there, then posts the outcome to
// the caller's executor. The caller's context needs no extra work count:
// the coroutine co_spawn started keeps it from running dry. Nothing of the
// caller's, not even a copy of its executor, stays on the pool thread once
// the outcome is posted, since the caller may finish and its context go at
// once.
struct StartBlockingWork {
    asio::thread_pool* pool;

    template <typename Handler, typename Work>
    void operator()(Handler handler, Work work) const {
        auto callerExecutor = asio::get_associated_executor(handler);
        asio::post(*pool, [handler = std::move(handler), work = std::move(work),
                           callerExecutor = std::move(callerExecutor)]() mutable {
            using Result = std::invoke_result_t<Work>;
            std::exception_ptr error;
            if constexpr (std::is_void_v<Result>) {
                try {
                    Work running = std::move(work);
                    running();
                } catch (...) {
                    error = std::current_exception();
                }
                asio::post(asio::bind_executor(std::move(callerExecutor),
                                               [handler = std::move(handler), error = std::move(error)]() mutable {
                                                   std::move(handler)(std::move(error));
                                               }));
            } else {
                std::optional<Result> result;
                try {
                    Work running = std::move(work);
                    result.emplace(running());
                } catch (...) {
                    error = std::current_exception();
                }
                asio::post(asio::bind_executor(
                    std::move(callerExecutor),
                    [handler = std::move(handler), error = std::move(error), result = std::move(result)]() mutable {
                        std::move(handler)(std::move(error), std::move(result));
                    }));
            }
        });
    }
};

}  // namespace detail

// Runs `work` on the worker pool and resumes the awaiting coroutine on its
// own executor (the main executor or the actor's strand it awaited on) with
// what `work` returned, or rethrows what it threw. `work` is moved to the
// pool and destroyed there before the caller resumes, so it must own what it
// uses: capture by value, never by reference.
//
// GCC 12 destroys a temporary (a lambda, any aggregate) made in the same
// expression as a co_await twice. The fault is the awaiting coroutine's, so
// no shape of runBlocking avoids it (a plain initiating function fails the
// same way); every caller names the work, or any other such temporary, first:
//     auto work = [path] { return readFile(path); };
//     auto text = co_await runBlocking(std::move(work));
//
// runBlockingOn does the same on a pool of the caller's own, such as a
// single thread for a library that must only ever be called from one
// thread: work awaited there runs one piece at a time, in the order posted.
template <typename Work>
asio::awaitable<std::invoke_result_t<Work>> runBlockingOn(asio::thread_pool& pool, Work work) {
    using Result = std::invoke_result_t<Work>;
    static_assert(!std::is_reference_v<Result>, "blocking work must return a value, not a reference");
    if constexpr (std::is_void_v<Result>) {
        co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr)>(
            detail::StartBlockingWork{&pool}, asio::use_awaitable, std::move(work));
    } else {
        auto result =
            co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, std::optional<Result>)>(
                detail::StartBlockingWork{&pool}, asio::use_awaitable, std::move(work));
        co_return std::move(*result);
    }
}

template <typename Work>
asio::awaitable<std::invoke_result_t<Work>> runBlocking(Work work) {
    co_return co_await runBlockingOn(workerPool(), std::move(work));
}

}  // namespace lumenary::async
