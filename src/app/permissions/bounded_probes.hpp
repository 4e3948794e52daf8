#pragma once

#include <chrono>
#include <cstddef>
#include <exception>
#include <future>
#include <memory>
#include <optional>
#include <system_error>
#include <type_traits>
#include <utility>

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <asio/thread_pool.hpp>

#include "async/one_shot.hpp"

namespace lumenary::app {

// Probes of the file system and the session bus can hang (a mount that no
// longer answers, a bus that accepts and never replies), and the libraries
// behind them cannot be cancelled. So each probe runs on a thread of this
// object's and its caller waits `bound` at most: a late answer is dropped
// and the probe finishes on its own. A probe answers nothing when it threw.
// Destruction waits for every probe started to end, however late, since an
// awaited one may still be resumed here from another thread; an object
// whose probes use another must go first.
class BoundedProbes {
public:
    explicit BoundedProbes(std::chrono::milliseconds bound, std::size_t threads = 2) : bound_(bound), threads_(threads) {}
    ~BoundedProbes() { threads_.wait(); }
    BoundedProbes(const BoundedProbes&) = delete;
    BoundedProbes& operator=(const BoundedProbes&) = delete;

    std::chrono::milliseconds bound() const noexcept { return bound_; }

    // Blocks the caller for the bound at most.
    template <typename Work>
    auto answerBlocking(Work work) -> std::optional<std::invoke_result_t<Work>> {
        return answer(blockingWork(std::move(work)));
    }

    // An awaited operation, started on one of these threads.
    template <typename T>
    std::optional<T> answer(asio::awaitable<T> operation) {
        auto promise = std::make_shared<std::promise<std::optional<T>>>();
        auto answer = promise->get_future();
        start(std::move(operation), [promise](std::optional<T> value) { promise->set_value(std::move(value)); });
        if (answer.wait_for(bound_) != std::future_status::ready) {
            return std::nullopt;
        }
        return answer.get();
    }

    // The same without blocking the awaiting coroutine, which resumes on its
    // own executor.
    template <typename Work>
    auto awaitBlocking(Work work) -> asio::awaitable<std::optional<std::invoke_result_t<Work>>> {
        return await(blockingWork(std::move(work)));
    }

    template <typename T>
    asio::awaitable<std::optional<T>> await(asio::awaitable<T> operation) {
        async::OneShot<std::optional<T>> answer;
        // On a strand of its own, so that an answer in time can cancel it
        // there: left to expire, it would hold the destructor's wait, and so
        // the program's exit, for the rest of the bound. Its handler keeps
        // it alive.
        auto timer = std::make_shared<asio::steady_timer>(asio::make_strand(threads_), bound_);
        timer->async_wait([answer, timer](const std::error_code&) { answer.resume(std::nullopt); });
        start(std::move(operation), [answer, timer](std::optional<T> value) {
            answer.resume(std::move(value));
            asio::post(timer->get_executor(), [timer] { timer->cancel(); });
        });
        co_return co_await answer.wait();
    }

private:
    template <typename Work>
    static asio::awaitable<std::invoke_result_t<Work>> blockingWork(Work work) {
        co_return work();
    }

    // co_spawn hands a default-made value with an error, which not every
    // answer has, so the operation's answer travels as an optional.
    template <typename T>
    static asio::awaitable<std::optional<T>> optionalAnswer(asio::awaitable<T> operation) {
        co_return co_await std::move(operation);
    }

    template <typename T, typename Deliver>
    void start(asio::awaitable<T> operation, Deliver deliver) {
        asio::co_spawn(threads_, optionalAnswer(std::move(operation)),
                       [deliver = std::move(deliver)](std::exception_ptr error, std::optional<T> value) mutable {
                           deliver(error ? std::nullopt : std::move(value));
                       });
    }

    std::chrono::milliseconds bound_;
    asio::thread_pool threads_;
};

}  // namespace lumenary::app
