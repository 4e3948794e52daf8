#pragma once

// Declared here so that callers can be written against it; the definition
// (a process-wide asio::thread_pool and the awaitable below) lands with the
// worker pool itself.
#include <type_traits>

#include <asio/awaitable.hpp>
#include <asio/thread_pool.hpp>

namespace lumenary::async {

// The process's pool for blocking work: file scans, libical, SQLite, D-Bus
// calls, child processes. Such work never runs on the main executor.
asio::thread_pool& workerPool();

// Runs `work` on the worker pool and resumes the awaiting coroutine on its
// own executor with what `work` returned, or rethrows what it threw.
template <typename Work>
asio::awaitable<std::invoke_result_t<Work>> runBlocking(Work work);

}  // namespace lumenary::async
