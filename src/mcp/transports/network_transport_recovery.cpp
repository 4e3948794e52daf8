// Recovery: the one routine that brings a broken connection back, or ends
// the stream when it cannot.
#include <string>
#include <utility>

#include "async/sleep_for.hpp"
#include "mcp/transports/network_transport.hpp"
#include "mcp/transports/network_transport_support.hpp"

namespace lumenary::mcp {

using network_transport::location;

void NetworkTransport::reportBroken(std::uint64_t generation, std::exception_ptr error, BreakCause cause) {
    // A report of an earlier connection, or one during a recovery, which
    // has it in hand already.
    if (generation != generation_ || phase_ != Phase::connected) {
        return;
    }
    phase_ = Phase::recovering;
    ++generation_;
    stopConnectionWork(std::make_exception_ptr(MCPError::connectionClosed()));
    connection_->cancel();
    if (connectionReplacedHandler_) {
        connectionReplacedHandler_();
    }
    recoveryTask_ = async::Task::spawn(strand_, recover(weak_from_this(), std::move(error), cause));
}

asio::awaitable<void> NetworkTransport::recover(std::weak_ptr<NetworkTransport> weak, std::exception_ptr error,
                                                BreakCause cause) {
    std::exception_ptr lastError = std::move(error);
    bool isFirstTry = true;
    for (;;) {
        std::chrono::steady_clock::duration delay{};
        if (auto self = weak.lock(); self && self->phase_ == Phase::recovering) {
            if (!self->mayRetry()) {
                self->endStream(lastError);
                co_return;
            }
            const auto attempt = ++self->reconnectAttempt_;
            const auto maxAttempts = self->reconnectionConfig_.maxAttempts;
            const auto progress = [&] {
                return " (" + std::to_string(attempt) + "/" + std::to_string(maxAttempts) + ")...";
            };
            if (!isFirstTry) {
                const char* ending = self->attemptEnding_;
                self->logger_.debug([&] { return std::string("Attempting reconnection after ") + ending + progress(); },
                                    {}, {}, location("handleReconnection(error:continuation:context:)"));
            } else if (cause == BreakCause::send) {
                self->logger_.warning("Connection appears broken, will attempt to reconnect...", {}, {},
                                      location("send(_:)"));
            } else {
                self->logger_.warning([&] { return "Error during receive, attempting reconnection" + progress(); },
                                      {}, {}, location("receiveLoop()"));
            }
            isFirstTry = false;
            delay = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                self->reconnectionConfig_.backoffDuration(attempt) * self->options_.backoffScale);
        } else {
            co_return;
        }

        try {
            co_await async::sleepFor(delay);
        } catch (...) {
            // Cancelled: disconnect() or the transport's end has taken over.
            co_return;
        }

        async::OneShot<void> outcome;
        if (auto self = weak.lock(); self && self->phase_ == Phase::recovering) {
            outcome = self->startAttempt();
        } else {
            co_return;
        }
        std::exception_ptr failure;
        try {
            co_await outcome.wait();
        } catch (...) {
            failure = std::current_exception();
        }
        auto self = weak.lock();
        if (!self || self->phase_ != Phase::recovering) {
            co_return;
        }
        if (!failure) {
            self->handleConnectionReady();
            co_return;
        }
        lastError = failure;
        self->connection_->cancel();
    }
}

void NetworkTransport::endStream(std::exception_ptr error) {
    phase_ = Phase::ended;
    messages_.finish(error);
    failConnectWaiters(std::move(error));
}

}  // namespace lumenary::mcp
