#include "async/sleep_for.hpp"

#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "async/cancellation.hpp"

namespace lumenary::async {

asio::awaitable<void> sleepFor(std::chrono::steady_clock::duration duration) {
    throwIfCancelled(co_await asio::this_coro::cancellation_state);
    asio::steady_timer timer(co_await asio::this_coro::executor, duration);
    co_await timer.async_wait(asio::use_awaitable);
}

}  // namespace lumenary::async
