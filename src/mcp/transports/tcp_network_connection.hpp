#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mcp/transports/network_connection.hpp"

namespace lumenary::mcp {

// A network connection over TCP to a host and port. Each start resolves the
// host afresh, tries its addresses in turn on a new socket, and reports
// preparing, then ready for the first address that accepts (with Nagle's
// delay off, since every message is a small write that waits for an
// answer) or failed with the last address's error.
//
// Every member runs on the executor given to start(); nothing else touches
// it.
class TCPNetworkConnection final : public NetworkConnection,
                                   public std::enable_shared_from_this<TCPNetworkConnection> {
public:
    static std::shared_ptr<TCPNetworkConnection> create(std::string host, std::uint16_t port);

    TCPNetworkConnection(const TCPNetworkConnection&) = delete;
    TCPNetworkConnection& operator=(const TCPNetworkConnection&) = delete;
    ~TCPNetworkConnection() override;

    NetworkConnectionState state() const override { return state_; }
    void start(asio::any_io_executor executor, StateHandler handler) override;
    void cancel() override;
    asio::awaitable<void> send(asio::const_buffer bytes) override;
    asio::awaitable<std::size_t> receive(asio::mutable_buffer buffer) override;

    const std::string& host() const noexcept { return host_; }
    std::uint16_t port() const noexcept { return port_; }

private:
    struct Attempt;

    TCPNetworkConnection(std::string host, std::uint16_t port) : host_(std::move(host)), port_(port) {}

    static asio::awaitable<void> connect(std::shared_ptr<TCPNetworkConnection> self, std::shared_ptr<Attempt> attempt);
    void report(const std::shared_ptr<Attempt>& attempt, NetworkConnectionStateReport report);
    // The socket of a ready attempt; throws ENOTCONN otherwise.
    std::shared_ptr<Attempt> readyAttempt() const;

    const std::string host_;
    const std::uint16_t port_;
    NetworkConnectionState state_ = NetworkConnectionState::setup;
    std::shared_ptr<Attempt> attempt_;
};

}  // namespace lumenary::mcp
