#pragma once

#include <chrono>

#include <asio/awaitable.hpp>

namespace lumenary::async {

// Suspends the calling coroutine for `duration` on its own executor.
// Cancellable: throws asio::system_error(operation_aborted) when the
// coroutine is cancelled, including when it was cancelled before the call.
asio::awaitable<void> sleepFor(std::chrono::steady_clock::duration duration);

}  // namespace lumenary::async
