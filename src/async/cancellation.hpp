#pragma once

#include <exception>

// Any standard header must come before the first asio header: asio chooses
// its frame allocator from a macro the standard library defines, and files
// that disagree pair one allocator with the other's free.
#include <version>

#include <asio/awaitable.hpp>
#include <asio/cancellation_state.hpp>

namespace lumenary::async {

// Whether the calling coroutine has been asked to stop. The answer is sticky:
// once a cancellation has reached the coroutine it stays true, so a loop that
// tests it at each step stops at the next step even when the request arrived
// while the loop was busy with something that cannot be cancelled.
//
// Meant for bodies run by Task, which turn asio's throw-on-await behaviour
// off. In any other coroutine asio keeps it on, and awaiting this after a
// cancellation throws operation_aborted instead of returning true.
//
// Bind the answer before testing it: g++ 12 miscompiles a co_await written
// inside an if or while condition.
//   const bool stop = co_await isCancelled();
//   if (stop) ...
asio::awaitable<bool> isCancelled();

// Whether a failure is the end of a cancelled wait (operation_aborted or
// operation_canceled), as opposed to a real error.
bool isCancellationError(const std::exception_ptr& failure);

// Throws asio::system_error(operation_aborted) when `state` has seen a
// cancellation. Our waits call it before suspending, so a cancelled task does
// not start a new wait that could outlive the request.
void throwIfCancelled(const asio::cancellation_state& state);

}  // namespace lumenary::async
