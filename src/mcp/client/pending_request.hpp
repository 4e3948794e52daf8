#pragma once

#include <exception>
#include <memory>
#include <type_traits>
#include <utility>

#include <asio/awaitable.hpp>

#include "async/one_shot.hpp"
#include "mcp/client/type_mismatch_error.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/decoder.hpp"
#include "mcp/core/value.hpp"

namespace lumenary::mcp {

// One request waiting for its response, as the client files it by id: it is
// settled once, with the result as it came off the wire or with an error,
// and whoever takes it out of the client's table settles it.
class AnyPendingRequest {
public:
    AnyPendingRequest() : outcome_(std::make_shared<async::OneShot<Value>>()) {}

    // False when it was settled already.
    bool resume(Value result) const { return outcome_->resume(std::move(result)); }
    bool fail(std::exception_ptr error) const { return outcome_->fail(std::move(error)); }

    asio::awaitable<Value> wait() const { return outcome_->wait(); }

    // The same waiting request, not merely an equal one: a failed send must
    // not settle a later request that reused the id.
    friend bool operator==(const AnyPendingRequest&, const AnyPendingRequest&) = default;

private:
    std::shared_ptr<async::OneShot<Value>> outcome_;
};

// The caller's side of a pending request: its result, read as T. Awaited
// once.
template <typename T>
class PendingRequest {
public:
    const AnyPendingRequest& erased() const noexcept { return erased_; }

    // The typed result, the error of the response, or TypeMismatchError when
    // the result does not read as T.
    asio::awaitable<T> wait() const { return waitFor(erased_); }

private:
    static asio::awaitable<T> waitFor(AnyPendingRequest pending) {
        Value result = co_await pending.wait();
        if constexpr (std::is_same_v<T, Value>) {
            co_return result;
        } else {
            std::optional<T> typed;
            try {
                typed.emplace(decodeValue<T>(result));
            } catch (const DecodingError&) {
            } catch (const EncodingError&) {
            }
            if (!typed) {
                throw TypeMismatchError();
            }
            co_return std::move(*typed);
        }
    }

    AnyPendingRequest erased_;
};

}  // namespace lumenary::mcp
