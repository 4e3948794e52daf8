#pragma once

#include <asio/io_context.hpp>
#include <asio/strand.hpp>

namespace lumenary::async {

using MainExecutor = asio::strand<asio::io_context::executor_type>;

// The process's main context: the program's entry runs it, and the state
// that the platform's main thread would own lives on its strand.
asio::io_context& mainContext();
const MainExecutor& mainExecutor();

}  // namespace lumenary::async
