#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include "async/context_runner.hpp"
#include "logging/recording_log_handler.hpp"
#include "mcp/transports/network_transport.hpp"
#include "mcp/transports/scripted_network_connection.hpp"

namespace lumenary::mcp::testing {

// Pauses of a millisecond or so: the transport's timing without the wait.
inline NetworkTransport::Options quickOptions() {
    NetworkTransport::Options options;
    options.connectTimeout = std::chrono::seconds(5);
    options.firstHeartbeatDelay = std::chrono::milliseconds(1);
    options.heartbeatRetryPause = std::chrono::milliseconds(1);
    options.emptyReadPause = std::chrono::milliseconds(1);
    options.backoffScale = 0.002;
    return options;
}

// A network transport over a scripted connection, run on the test's own
// thread, with every log record kept.
class NetworkTransportHarness {
public:
    explicit NetworkTransportHarness(
        NetworkTransport::ReconnectionConfiguration reconnection =
            NetworkTransport::ReconnectionConfiguration::defaultConfiguration,
        NetworkTransport::HeartbeatConfiguration heartbeat = NetworkTransport::HeartbeatConfiguration::disabled,
        NetworkTransport::Options options = quickOptions())
        : connection_(std::make_shared<ScriptedNetworkConnection>()),
          records_(std::make_shared<logging::testing::RecordLog>()),
          transport_(NetworkTransport::create(
              io_.get_executor(), connection_,
              logging::Logger("mcp.transport.network",
                              logging::testing::RecordingLogHandler("network", logging::LogLevel::trace, records_)),
              heartbeat, reconnection, NetworkTransport::BufferConfiguration::defaultConfiguration, options)),
          stream_(transport_->receive()) {
        transport_->setConnectionReplacedHandler([count = replacements_] { ++*count; });
    }

    NetworkTransportHarness(const NetworkTransportHarness&) = delete;
    NetworkTransportHarness& operator=(const NetworkTransportHarness&) = delete;

    ~NetworkTransportHarness() {
        if (transport_) {
            try {
                complete(transport_->disconnect());
            } catch (...) {
                ADD_FAILURE() << "disconnect failed";
            }
        }
    }

    asio::io_context& io() { return io_; }
    ScriptedNetworkConnection& connection() { return *connection_; }
    NetworkTransport& transport() { return *transport_; }
    int replacements() const { return *replacements_; }
    // Drops the transport without disconnecting it.
    void dropTransport() { transport_.reset(); }

    template <typename T>
    T complete(asio::awaitable<T> operation) {
        return async::test::runToEnd(io_, std::move(operation));
    }
    template <typename T>
    std::future<T> begin(asio::awaitable<T> operation) {
        return asio::co_spawn(io_, std::move(operation), asio::use_future);
    }
    template <typename Predicate>
    bool runUntil(Predicate done) {
        return async::test::runUntil(io_, std::move(done));
    }
    // Runs until nothing is left to do: no timer, no task, no wait.
    bool runOut() {
        const auto deadline = std::chrono::steady_clock::now() + async::test::kDeadline;
        io_.restart();
        for (;;) {
            io_.run_one_for(std::chrono::milliseconds(10));
            if (io_.stopped()) {
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
        }
    }

    void connect() { complete(transport_->connect()); }
    NetworkTransport::Status status() { return complete(transport_->status()); }

    // The next message of the stream, or nothing at its clean end.
    std::optional<std::string> nextMessage() {
        auto message = complete(stream_.next());
        return message ? std::optional<std::string>(std::move(message->text)) : std::nullopt;
    }
    // The error the stream ended with; empty at a clean end.
    std::string streamEnd() {
        try {
            while (complete(stream_.next())) {
            }
        } catch (const std::exception& error) {
            return error.what();
        }
        return {};
    }

    std::vector<std::string> messages() const {
        std::vector<std::string> found;
        for (const auto& record : *records_) {
            found.push_back(record.message);
        }
        return found;
    }
    std::size_t count(std::string_view message) const {
        std::size_t found = 0;
        for (const auto& record : *records_) {
            found += record.message == message ? 1 : 0;
        }
        return found;
    }
    const logging::testing::RecordLog& records() const { return *records_; }
    bool waitForRecord(std::string_view message, std::size_t times = 1) {
        return runUntil([&] { return count(message) >= times; });
    }

private:
    asio::io_context io_;
    std::shared_ptr<ScriptedNetworkConnection> connection_;
    std::shared_ptr<logging::testing::RecordLog> records_;
    std::shared_ptr<int> replacements_ = std::make_shared<int>(0);
    std::shared_ptr<NetworkTransport> transport_;
    async::Queue<ReceivedMessage> stream_;
};

// The description an awaited operation fails with; empty when it succeeds.
template <typename T>
std::string failureOf(std::future<T>& future) {
    try {
        future.get();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

}  // namespace lumenary::mcp::testing
