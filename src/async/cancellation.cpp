#include "async/cancellation.hpp"

#include <system_error>

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

bool isCancellationError(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::system_error& error) {
        return error.code() == std::errc::operation_canceled || error.code() == asio::error::operation_aborted;
    } catch (...) {
        return false;
    }
}

}  // namespace lumenary::async
