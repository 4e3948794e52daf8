#include "async/cancellation.hpp"

#include <asio/error.hpp>
#include <asio/system_error.hpp>
#include <asio/this_coro.hpp>

namespace lumenary::async {

asio::awaitable<bool> isCancelled() {
    auto state = co_await asio::this_coro::cancellation_state;
    co_return state.cancelled() != asio::cancellation_type::none;
}

void throwIfCancelled(const asio::cancellation_state& state) {
    if (state.cancelled() != asio::cancellation_type::none) {
        throw asio::system_error(asio::error::operation_aborted);
    }
}

}  // namespace lumenary::async
