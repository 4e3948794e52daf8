#pragma once

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/use_future.hpp>

#include "logging/log_handler.hpp"
#include "logging/logger.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/http_transport/http_client_transport.hpp"

namespace lumenary::mcp::testing {

inline constexpr std::chrono::seconds deadline{10};

// Log records kept under a lock: the transport logs from its strand while
// the test reads.
class SharedRecords {
public:
    struct Record {
        logging::LogLevel level;
        std::string message;
        logging::Metadata metadata;
        std::string function;
        std::string source;
    };

    void add(Record record) {
        std::lock_guard lock(mutex_);
        records_.push_back(std::move(record));
    }
    std::vector<Record> all() const {
        std::lock_guard lock(mutex_);
        return records_;
    }
    std::optional<Record> find(const std::string& message) const {
        std::lock_guard lock(mutex_);
        for (const auto& record : records_) {
            if (record.message == message) return record;
        }
        return std::nullopt;
    }
    std::size_t count(const std::string& prefix) const {
        std::lock_guard lock(mutex_);
        std::size_t found = 0;
        for (const auto& record : records_) found += record.message.starts_with(prefix) ? 1 : 0;
        return found;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Record> records_;
};

class SharedRecordingLogHandler final : public logging::LogHandler {
public:
    explicit SharedRecordingLogHandler(std::shared_ptr<SharedRecords> records) : records_(std::move(records)) {}

    std::unique_ptr<LogHandler> clone() const override { return std::make_unique<SharedRecordingLogHandler>(*this); }
    std::optional<logging::MetadataProvider> metadataProvider() const override { return std::nullopt; }
    void setMetadataProvider(std::optional<logging::MetadataProvider>) override {}
    using LogHandler::log;
    void log(logging::LogLevel level, const std::string& message, const logging::Metadata* metadata,
             std::string_view source, std::string_view, std::string_view function, std::size_t) const override {
        records_->add({level, message, metadata ? *metadata : logging::Metadata{}, std::string(function),
                       std::string(source)});
    }
    std::optional<logging::MetadataValue> metadataValue(std::string_view) const override { return std::nullopt; }
    void setMetadataValue(std::string, std::optional<logging::MetadataValue>) override {}
    logging::Metadata metadata() const override { return {}; }
    void setMetadata(logging::Metadata) override {}
    logging::LogLevel logLevel() const override { return logging::LogLevel::trace; }
    void setLogLevel(logging::LogLevel) override {}

private:
    std::shared_ptr<SharedRecords> records_;
};

// One io_context thread for the transport, and awaiting from the test's
// thread with a deadline.
class TransportHarness {
public:
    TransportHarness() : work_(asio::make_work_guard(io_)), thread_([this] { io_.run(); }) {}
    ~TransportHarness() {
        work_.reset();
        io_.stop();
        thread_.join();
    }

    asio::any_io_executor executor() { return io_.get_executor(); }

    // A transport whose records land in `records`.
    std::shared_ptr<HTTPClientTransport> transport(std::string url, HTTPClientTransport::Options options = {}) {
        options.logger = logging::Logger("test.http.client", SharedRecordingLogHandler(records));
        return HTTPClientTransport::create(executor(), std::move(url), std::move(options));
    }

    template <typename T>
    std::future<T> start(asio::awaitable<T> operation) {
        return asio::co_spawn(io_, std::move(operation), asio::use_future);
    }

    template <typename T>
    T await(asio::awaitable<T> operation) {
        auto future = start(std::move(operation));
        if (future.wait_for(deadline) != std::future_status::ready) {
            throw std::runtime_error("the operation did not end before the test deadline");
        }
        return future.get();
    }

    // The text of the MCPError `operation` fails with, or a note that it
    // failed otherwise or not at all.
    std::string failureText(asio::awaitable<void> operation) {
        try {
            await(std::move(operation));
        } catch (const MCPError& error) {
            return error.errorDescription();
        } catch (const std::exception& error) {
            return std::string("not an MCPError: ") + error.what();
        }
        return "no failure";
    }

    // The next inbound message's text, absent at the stream's end.
    std::optional<std::string> nextMessage(async::Queue<ReceivedMessage> inbound) {
        auto message = await(inbound.next());
        if (!message) return std::nullopt;
        return message->text;
    }

    std::shared_ptr<SharedRecords> records = std::make_shared<SharedRecords>();

private:
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
};

// Waits for `condition` with a deadline.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = deadline) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace lumenary::mcp::testing
