#pragma once

#include <exception>
#include <optional>
#include <type_traits>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

namespace lumenary::testing {

// Runs one awaitable to its end on a private io_context and hands back its
// result or rethrows its error.
template <typename T>
T runAwaitable(asio::awaitable<T> awaitable) {
    asio::io_context context;
    std::exception_ptr failure;
    if constexpr (std::is_void_v<T>) {
        asio::co_spawn(context, std::move(awaitable), [&](std::exception_ptr error) { failure = error; });
        context.run();
        if (failure) std::rethrow_exception(failure);
    } else {
        std::optional<T> result;
        asio::co_spawn(context, std::move(awaitable), [&](std::exception_ptr error, T value) {
            failure = error;
            if (!error) result.emplace(std::move(value));
        });
        context.run();
        if (failure) std::rethrow_exception(failure);
        return std::move(*result);
    }
}

}  // namespace lumenary::testing
