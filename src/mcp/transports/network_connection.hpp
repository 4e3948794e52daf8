#pragma once

#include <cstddef>
#include <functional>
#include <system_error>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/buffer.hpp>

namespace lumenary::mcp {

// Where a network connection stands, as it reports it.
enum class NetworkConnectionState { setup, waiting, preparing, ready, failed, cancelled };

struct NetworkConnectionStateReport {
    NetworkConnectionState state;
    // Why, for waiting and failed.
    std::error_code error{};
};

// The byte-stream connection under a network transport, as the transport
// drives it. The real one is TCP to a host and port; tests script one.
//
// start() begins a fresh attempt (a cancelled connection may start again)
// and reports each state change to the handler on the given executor,
// which must run one thing at a time; reports of an attempt stop once the
// connection is cancelled or started again. cancel() closes the connection
// and reports cancelled. send() and receive() are for a ready connection,
// one of each at a time, awaited on that same executor.
class NetworkConnection {
public:
    using StateHandler = std::function<void(NetworkConnectionStateReport)>;

    virtual ~NetworkConnection() = default;

    virtual NetworkConnectionState state() const = 0;
    virtual void start(asio::any_io_executor executor, StateHandler handler) = 0;
    virtual void cancel() = 0;
    // Ends once all the bytes are written; throws std::system_error when the
    // connection fails them. The bytes stay the caller's until it ends.
    virtual asio::awaitable<void> send(asio::const_buffer bytes) = 0;
    // One read of at least one byte into `buffer`, or none when the
    // connection has nothing yet; throws std::system_error, with
    // asio::error::eof once the peer has closed.
    virtual asio::awaitable<std::size_t> receive(asio::mutable_buffer buffer) = 0;
};

}  // namespace lumenary::mcp
