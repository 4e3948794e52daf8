#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "async/context_runner.hpp"
#include "mcp/core/json.hpp"
#include "mcp/core/mcp_error.hpp"
#include "mcp/server/server.hpp"
#include "support/recording_transport.hpp"

// What the server tests share: a server bound to a hand-driven transport on
// an io_context run by the test's own thread, and ways to talk to it.
namespace lumenary::mcp {

// A method and a notification of the tests' own, untyped so any JSON fits.
struct EchoMethod {
    static constexpr std::string_view name = "test/echo";
    using Parameters = Value;
    using Result = Value;
};

struct NoteNotification {
    static constexpr std::string_view name = "test/note";
    using Parameters = Value;
};

// What the host announces: only the tools group.
inline ServerCapabilities hostCapabilities() {
    return ServerCapabilities{.tools = ServerCapabilities::Tools{.listChanged = true}};
}

// Every fresh id in `line` (a random upper-case UUID string) replaced by
// "<fresh>", so a whole reply line can be compared.
inline std::string maskFreshIDs(const std::string& line) {
    static const std::regex freshID(R"re("id":"[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")re");
    return std::regex_replace(line, freshID, R"("id":"<fresh>")");
}

// The "id" member of a reply line as text; empty when it is not a string.
inline std::string stringIDOf(const std::string& line) {
    const Value reply = parseJSON(line);
    const Value* id = reply.find("id");
    return id != nullptr && id->stringValue() != nullptr ? *id->stringValue() : std::string();
}

// How an operation started by ServerHarness::launch ended, once `done`.
template <typename T>
struct Outcome {
    bool done = false;
    std::exception_ptr error;
    std::optional<T> value;
};

template <>
struct Outcome<void> {
    bool done = false;
    std::exception_ptr error;
};

class ServerHarness {
public:
    // Answered by the built-in ping handler in every mode: once its reply is
    // out, everything sent before it belongs to the messages before it.
    static constexpr std::string_view markerRequest = R"({"jsonrpc":"2.0","id":"marker","method":"ping"})";
    static constexpr std::string_view markerReply = R"({"id":"marker","jsonrpc":"2.0","result":{}})";

    explicit ServerHarness(ServerConfiguration configuration = ServerConfiguration::defaultConfiguration(),
                           std::optional<std::string> instructions = std::nullopt)
        : transport_(testing::RecordingTransport::create(io_.get_executor())),
          server_(Server::create(io_.get_executor(), "lumenary-test", "1.2.3", std::move(instructions),
                                 hostCapabilities(), configuration)) {}

    ServerHarness(const ServerHarness&) = delete;
    ServerHarness& operator=(const ServerHarness&) = delete;

    ~ServerHarness() {
        if (server_) {
            windDown();
        }
    }

    // Ends the stream, waits for the loop to end and stops the server, then
    // lets go of the harness's reference to it.
    std::weak_ptr<Server> windDownAndRelease() {
        windDown();
        return std::exchange(server_, nullptr);
    }

    asio::io_context& io() { return io_; }
    testing::RecordingTransport& transport() { return *transport_; }
    Server& server() { return *server_; }
    std::shared_ptr<Server> serverHandle() { return server_; }

    // Starts the operation on the test's io_context without waiting for it.
    // Its completion runs on that io_context too (a future's completion may
    // run on a thread of its own and leave the io_context waiting).
    template <typename T>
    std::shared_ptr<const Outcome<T>> launch(asio::awaitable<T> operation) {
        auto outcome = std::make_shared<Outcome<T>>();
        if constexpr (std::is_void_v<T>) {
            asio::co_spawn(io_, std::move(operation), [outcome](std::exception_ptr error) {
                outcome->error = error;
                outcome->done = true;
            });
        } else {
            asio::co_spawn(io_, std::move(operation), [outcome](std::exception_ptr error, T value) {
                outcome->error = error;
                if (!error) {
                    outcome->value.emplace(std::move(value));
                }
                outcome->done = true;
            });
        }
        return outcome;
    }

    // Runs the operation to its end and returns its result; rethrows its error.
    template <typename T>
    T complete(asio::awaitable<T> operation) {
        const auto outcome = launch(std::move(operation));
        if (!runUntil([&] { return outcome->done; })) {
            throw std::runtime_error("the operation did not end before the test deadline");
        }
        if (outcome->error) {
            std::rethrow_exception(outcome->error);
        }
        if constexpr (!std::is_void_v<T>) {
            return std::move(*outcome->value);
        }
    }

    template <typename Predicate>
    bool runUntil(Predicate done) {
        return async::test::runUntil(io_, std::move(done));
    }

    // Runs what is ready now, and what that makes ready, without waiting.
    void runReady() { async::test::runReady(io_); }

    // Returns once the loop waits for input, so that what the test does next
    // on the server's strand comes before the next message.
    void start(Server::InitializeHook hook = {}) {
        complete(server_->start(transport_, std::move(hook)));
        runReady();
    }

    // Delivers the messages, then a marker ping, and returns what the server
    // sent before the marker's reply.
    std::vector<std::string> repliesTo(const std::vector<std::string>& messages) {
        const std::size_t before = transport_->sentCount();
        for (const auto& message : messages) {
            transport_->deliver(message);
        }
        transport_->deliver(std::string(markerRequest));
        const bool answered = runUntil([&] {
            const auto sent = transport_->sent();
            return sent.size() > before && sent.back() == markerReply;
        });
        auto sent = transport_->sent();
        std::vector<std::string> replies(sent.begin() + static_cast<std::ptrdiff_t>(before), sent.end());
        if (answered) {
            replies.pop_back();
        } else {
            ADD_FAILURE() << "the server did not answer the marker ping before the deadline";
        }
        return replies;
    }

    // The one reply to one message; a test failure when there is not exactly one.
    std::string replyTo(const std::string& message) {
        const auto replies = repliesTo({message});
        if (replies.size() != 1) {
            ADD_FAILURE() << "expected one reply to " << message << ", got " << ::testing::PrintToString(replies);
            return {};
        }
        return replies.front();
    }

    // Runs until `count` messages have been sent in all, and returns them all.
    std::vector<std::string> sentOnceThereAre(std::size_t count) {
        if (!runUntil([&] { return transport_->sentCount() >= count; })) {
            ADD_FAILURE() << "fewer than " << count << " messages were sent before the deadline";
        }
        return transport_->sent();
    }

    std::size_t logCount(std::string_view message) const { return transport_->recordsWithMessage(message).size(); }

private:
    // Ends the loop, so no coroutine of the server outlives the test.
    void windDown() {
        try {
            transport_->endIncoming();
            complete(server_->waitForCompletion());
            complete(server_->stop());
            async::test::runReady(io_);
        } catch (...) {
            ADD_FAILURE() << "the server did not wind down: " << localizedDescription(std::current_exception());
        }
    }

    asio::io_context io_;
    std::shared_ptr<testing::RecordingTransport> transport_;
    std::shared_ptr<Server> server_;
};

}  // namespace lumenary::mcp
