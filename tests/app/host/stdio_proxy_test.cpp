#include "app/host/stdio_proxy.hpp"

#include <fcntl.h>
#include <poll.h>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "app/host/local_endpoint.hpp"
#include "mcp/core/json.hpp"
#include "support/fake_http_endpoint.hpp"
#include "system/write_all.hpp"

namespace lumenary::app {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::CannedHTTPResponse;
using lumenary::testing::FakeHTTPEndpoint;
using lumenary::testing::ReceivedHTTPRequest;
using mcp::Value;

class Pipe {
public:
    Pipe() {
        if (::pipe2(ends_, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    ~Pipe() {
        closeReadEnd();
        closeWriteEnd();
    }
    int readEnd() const { return ends_[0]; }
    int writeEnd() const { return ends_[1]; }
    void closeReadEnd() { closeEnd(0); }
    void closeWriteEnd() { closeEnd(1); }

private:
    void closeEnd(int which) {
        if (ends_[which] >= 0) ::close(ends_[which]);
        ends_[which] = -1;
    }
    int ends_[2] = {-1, -1};
};

// A proxy running on its own thread with pipes for its three streams, the
// test playing the client on the other ends.
class ProxyRun {
public:
    // `prepare` sees the proxy's ends of the input and output pipes before it runs.
    explicit ProxyRun(std::uint16_t port, StdioProxyTiming timing = {},
                      const std::function<void(int input, int output)>& prepare = {})
        : proxy_(port, {input_.readEnd(), output_.writeEnd(), logging::Console({}, diagnosticsSink())}, timing),
          prepared_([&] {
              if (prepare) prepare(input_.readEnd(), output_.writeEnd());
              return true;
          }()),
          runner_([this] {
              proxy_.run();
              flagsAtEnd_ = {::fcntl(input_.readEnd(), F_GETFL), ::fcntl(output_.writeEnd(), F_GETFL)};
              endedPromise_.set_value();
              // The client sees the end of the output once the proxy ends.
              output_.closeWriteEnd();
              diagnostics_.closeWriteEnd();
          }) {}
    ~ProxyRun() {
        input_.closeWriteEnd();
        runner_.join();
    }

    void send(std::string_view bytes) {
        ASSERT_EQ(::write(input_.writeEnd(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    void endInput() { input_.closeWriteEnd(); }
    void stopReadingOutput() { output_.closeReadEnd(); }

    // The next output line; absent at the end of the output or past the deadline.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const auto end = buffered_.find('\n'); end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            if (!fill(output_.readEnd(), buffered_, deadline)) return std::nullopt;
        }
    }
    // Every remaining output line, once the proxy has ended.
    std::vector<std::string> remainingLines() {
        std::vector<std::string> lines;
        while (auto line = readLine()) lines.push_back(std::move(*line));
        return lines;
    }
    std::string diagnostics() {
        std::string text;
        while (fill(diagnostics_.readEnd(), text, std::chrono::steady_clock::now() + 10s)) {
        }
        return text;
    }
    bool ended() { return ended_.wait_for(20s) == std::future_status::ready; }
    // Once ended: the file status flags of the proxy's input and output as
    // the proxy left them.
    std::pair<int, int> flagsAtEnd() const { return flagsAtEnd_; }

private:
    static bool fill(int descriptor, std::string& into, std::chrono::steady_clock::time_point deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{descriptor, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return false;
        char chunk[4096];
        const ssize_t count = ::read(descriptor, chunk, sizeof(chunk));
        if (count <= 0) return false;
        into.append(chunk, static_cast<std::size_t>(count));
        return true;
    }

    logging::Console::Sink diagnosticsSink() {
        return [this](std::string_view line) {
            const std::string text = std::string(line) + "\n";
            std::lock_guard lock(diagnosticsMutex_);
            ASSERT_EQ(system::writeAll(diagnostics_.writeEnd(), text), 0);
        };
    }

    Pipe input_;
    Pipe output_;
    Pipe diagnostics_;
    std::mutex diagnosticsMutex_;
    StdioProxy proxy_;
    bool prepared_;
    std::pair<int, int> flagsAtEnd_{-1, -1};
    std::promise<void> endedPromise_;
    std::shared_future<void> ended_ = endedPromise_.get_future().share();
    std::string buffered_;
    std::thread runner_;
};

std::string request(const std::string& id, const std::string& method) {
    return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":")" + method + R"("})";
}

std::string result(const std::string& id) {
    return R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{}})";
}

Value idOf(const std::string& message) {
    const auto parsed = mcp::parseJSON(message);
    const Value* id = parsed.find("id");
    return id ? *id : Value("<none>");
}

CannedHTTPResponse optionsOr(const ReceivedHTTPRequest& received, const std::function<CannedHTTPResponse()>& post) {
    if (received.method == "OPTIONS" || received.method == "DELETE") return {.status = 204};
    return post();
}

TEST(StdioProxy, RelaysAConversationInOneSessionAndEndsItAtEndOfInput) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& received) {
        return optionsOr(received, [&]() -> CannedHTTPResponse {
            if (received.body.find("initialize\"") != std::string::npos) {
                return {.status = 200, .headers = {{"mcp-session-id", "S-1"}}, .body = result("1")};
            }
            if (received.body.find("notifications/") != std::string::npos) {
                return {.status = 202, .headers = {{"Mcp-Session-Id", "S-1"}}};
            }
            return {.status = 200,
                    .headers = {{"Mcp-Session-Id", "S-1"}},
                    .body = result(idOf(received.body).description())};
        });
    });
    const std::string listing = "   " + request("2", "tools/list");
    {
        ProxyRun run(endpoint.port());
        run.send("  \t\r\n" + request("1", "initialize") + "\r\n\n" +
                 R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
        run.send("\r\n" + listing);
        EXPECT_EQ(run.readLine(), result("1"));
        run.endInput();
        EXPECT_EQ(run.remainingLines(), std::vector<std::string>{result("2")});
        EXPECT_TRUE(run.ended());
    }

    const auto received = endpoint.requests();
    ASSERT_EQ(received.size(), 5u);
    EXPECT_EQ(received[0].method, "OPTIONS");
    EXPECT_EQ(received[1].body, request("1", "initialize"));
    EXPECT_EQ(received[1].header("mcp-session-id"), std::nullopt);
    for (std::size_t index = 1; index <= 3; ++index) {
        EXPECT_EQ(received[index].method, "POST");
        EXPECT_EQ(received[index].path, "/mcp");
        EXPECT_EQ(received[index].header("content-type"), "application/json");
        EXPECT_EQ(received[index].header("accept"), "application/json");
        if (index > 1) {
            EXPECT_EQ(received[index].header("mcp-session-id"), "S-1");
        }
    }
    // Leading blanks kept, the line end left off, the last line sent without one.
    EXPECT_EQ(received[3].body, listing);
    EXPECT_EQ(received[4].method, "DELETE");
    EXPECT_EQ(received[4].header("mcp-session-id"), "S-1");
}

TEST(StdioProxy, AnswersEveryRequestWhateverTheInstanceReplies) {
    const std::string relayedError = R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"boom"}})";
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest& received) {
        return optionsOr(received, [&]() -> CannedHTTPResponse {
            const auto body = received.body;
            if (body.starts_with("[") && body.find(R"("id":10)") != std::string::npos) {
                return {.status = 500,
                        .body = R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"gone"}})"};
            }
            if (body.starts_with("[")) return {.status = 500, .body = "<html>oops</html>"};
            const auto id = idOf(body).description();
            if (id == "1") return {.status = 500, .body = relayedError};
            if (id == "2") {
                return {
                    .status = 500,
                    .body = R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"Internal error: \"x\""}})"};
            }
            if (id == "three") return {.status = 404, .body = "Not Found"};
            if (id == "5") return {.hangUp = true};
            if (id == "<none>") return {.status = 503, .body = "busy"};
            return {.status = 200, .body = result(id)};
        });
    });
    ProxyRun run(endpoint.port());
    run.send("{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"\xff\"}\n");
    run.send(request("1", "tools/call") + "\n" + request("2", "tools/call") + "\n" +
             request("\"three\"", "tools/call") + "\n" + R"({"jsonrpc":"2.0","method":"notifications/progress"})" +
             "\n" + request("5", "tools/call") + "\n[" + request("6", "ping") + "," +
             R"({"jsonrpc":"2.0","method":"notifications/x"})" + "," + request("7", "ping") + "]\n" +
             request("8", "ping") + "\n[" + request("10", "ping") + "," + request("11", "ping") + "]\n");
    run.endInput();

    const auto lines = run.remainingLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0],
              R"({"error":{"code":-32700,"message":"Parse error: Invalid JSON: the message is not valid UTF-8"},)"
              R"("id":null,"jsonrpc":"2.0"})");
    EXPECT_EQ(lines[1], relayedError);
    EXPECT_EQ(mcp::parseJSON(lines[2]), mcp::parseJSON(R"({"jsonrpc":"2.0","id":2,"error":{"code":-32603,)"
                                                       R"("message":"Internal error: \"x\""}})"));
    EXPECT_EQ(lines[3], R"({"error":{"code":-32603,"message":"Failed to forward request: HTTP status 404: Not Found"},)"
                        R"("id":"three","jsonrpc":"2.0"})");
    const auto hungUp = mcp::parseJSON(lines[4]);
    EXPECT_EQ(*hungUp.find("id"), Value(5));
    EXPECT_TRUE(hungUp.find("error")->find("message")->stringValue()->starts_with("Failed to forward request: "));
    const auto batch = mcp::parseJSON(lines[5]);
    ASSERT_EQ(batch.arrayValue()->size(), 2u);
    EXPECT_EQ(*batch.arrayValue()->at(0).find("id"), Value(6));
    EXPECT_EQ(*batch.arrayValue()->at(1).find("id"), Value(7));
    EXPECT_EQ(*batch.arrayValue()->at(1).find("error")->find("message"),
              Value("Failed to forward request: HTTP status 500: <html>oops</html>"));
    EXPECT_EQ(lines[6], result("8"));
    EXPECT_EQ(mcp::parseJSON(lines[7]),
              mcp::parseJSON(R"([{"jsonrpc":"2.0","id":10,"error":{"code":-32603,"message":"gone"}},)"
                             R"({"jsonrpc":"2.0","id":11,"error":{"code":-32603,"message":"gone"}}])"));
    EXPECT_TRUE(run.ended());
}

void expectForwardFailure(const std::string& line, const Value& id) {
    const auto reply = mcp::parseJSON(line);
    EXPECT_EQ(*reply.find("id"), id) << line;
    EXPECT_EQ(*reply.find("error")->find("code"), Value(-32603)) << line;
    EXPECT_TRUE(reply.find("error")->find("message")->stringValue()->starts_with("Failed to forward request: "))
        << line;
}

TEST(StdioProxy, AnswersEveryRequestWhileNoInstanceServesAndReachesTheNextOneInTheSameSession) {
    const auto answerAll = [](const ReceivedHTTPRequest& received) {
        return optionsOr(received, [&]() -> CannedHTTPResponse {
            return {.status = 200,
                    .headers = {{"Mcp-Session-Id", "S-1"}},
                    .body = result(idOf(received.body).description())};
        });
    };
    auto first = std::make_unique<FakeHTTPEndpoint>(answerAll);
    const auto port = first->port();
    ProxyRun run(port);
    run.send(request("1", "initialize") + "\n");
    EXPECT_EQ(run.readLine(), result("1"));
    first.reset();

    // One write: the lines the client had queued when the instance went.
    run.send(request("2", "tools/list") + "\n" + R"({"jsonrpc":"2.0","method":"notifications/x"})" + "\n[" +
             request("3", "ping") + "," + R"({"jsonrpc":"2.0","method":"notifications/y"})" + "]\n" +
             request("4", "ping") + "\n");
    const auto second = run.readLine();
    ASSERT_TRUE(second);
    expectForwardFailure(*second, Value(2));
    const auto batch = run.readLine();
    ASSERT_TRUE(batch);
    ASSERT_EQ(mcp::parseJSON(*batch).arrayValue()->size(), 1u) << *batch;
    expectForwardFailure(mcp::writeJSON(mcp::parseJSON(*batch).arrayValue()->front()), Value(3));
    const auto fourth = run.readLine();
    ASSERT_TRUE(fourth);
    expectForwardFailure(*fourth, Value(4));

    FakeHTTPEndpoint next(answerAll, port);
    run.send(request("5", "tools/list") + "\n");
    EXPECT_EQ(run.readLine(), result("5"));
    run.endInput();
    EXPECT_EQ(run.remainingLines(), std::vector<std::string>{});
    EXPECT_TRUE(run.ended());

    const auto received = next.requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].header("mcp-session-id"), "S-1");
    EXPECT_EQ(received[1].method, "DELETE");
    const auto diagnostics = run.diagnostics();
    EXPECT_NE(diagnostics.find("[StdioProxy] The Lumenary server at " + localEndpointURL(port) +
                               " stopped accepting connections"),
              std::string::npos)
        << diagnostics;
    EXPECT_EQ(diagnostics.find("stopped accepting"), diagnostics.rfind("stopped accepting")) << "said once";
}

// Whatever the instance does with a message, the client hears back under
// the id the message's own id stands for, and gets no made-up answer for a
// message that waits for none.
TEST(StdioProxy, AnswersUnderTheIdTheMessageStandsFor) {
    struct Case {
        // "ACTION" tells the endpoint what to do with it.
        std::string message;
        std::optional<Value> answeredUnder;
    };
    const std::vector<Case> cases = {
        {request("7.0", "ACTION"), Value(7)},
        {request("1e3", "ACTION"), Value(1000)},
        {request("\"7\"", "ACTION"), Value("7")},
        {request("-9223372036854775808", "ACTION"), Value(std::numeric_limits<std::int64_t>::min())},
        {request("1.5", "ACTION"), std::nullopt},
        {request("true", "ACTION"), std::nullopt},
        // Refused by the instance under its id.
        {R"({"jsonrpc":"1.0","id":7.0,"method":"ACTION"})", Value(7)},
        // The client's own reply to a request of the instance.
        {R"({"jsonrpc":"2.0","id":7,"result":{"ACTION":1}})", std::nullopt},
    };
    const std::string nullIDError = R"({"jsonrpc":"2.0","id":null,"error":{"code":-32000,"message":"unread"}})";
    FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest& received) {
        return optionsOr(received, [&]() -> CannedHTTPResponse {
            if (received.body.find("\"fail\"") != std::string::npos) return {.status = 500, .body = nullIDError};
            if (received.body.find("\"drop\"") != std::string::npos) return {.hangUp = true};
            return {.status = 200, .body = result(idOf(received.body).description())};
        });
    });
    const auto withAction = [](std::string message, const std::string& action) {
        return message.replace(message.find("ACTION"), 6, action);
    };
    ProxyRun run(endpoint.port());
    for (const auto& [message, answeredUnder] : cases) {
        SCOPED_TRACE(message);
        run.send(withAction(message, "fail") + "\n" + withAction(message, "drop") + "\n" +
                 request("\"after\"", "ping") + "\n");
        const auto failed = run.readLine();
        ASSERT_TRUE(failed);
        EXPECT_EQ(*mcp::parseJSON(*failed).find("id"), answeredUnder.value_or(Value(nullptr))) << *failed;
        EXPECT_EQ(*mcp::parseJSON(*failed).find("error")->find("message"), Value("unread"));
        if (answeredUnder) {
            const auto dropped = run.readLine();
            ASSERT_TRUE(dropped);
            expectForwardFailure(*dropped, *answeredUnder);
        }
        EXPECT_EQ(run.readLine(), result("after"));
    }
    run.endInput();
    EXPECT_TRUE(run.ended());
}

TEST(StdioProxy, SaysSoOnTheDiagnosticsWhenNoInstanceServes) {
    ProxyRun run(lumenary::testing::unusedLoopbackPort());
    EXPECT_TRUE(run.ended());
    EXPECT_EQ(run.remainingLines(), std::vector<std::string>{});
    EXPECT_EQ(run.diagnostics(), std::string(StdioProxy::notRunningLine) + "\n");
}

TEST(StdioProxy, WritesALateReplyOnceWithoutHoldingUpTheNextMessage) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& received) {
        return optionsOr(received, [&]() -> CannedHTTPResponse {
            const auto id = idOf(received.body).description();
            return {.status = 200, .body = result(id), .heldUntilReleased = id == "1"};
        });
    });
    ProxyRun run(endpoint.port(), {.replyWait = 1ms});
    run.send(request("1", "tools/call") + "\n" + request("2", "ping") + "\n");
    EXPECT_EQ(run.readLine(), result("2"));
    endpoint.release();
    // The input ends while the late reply is on its way: it still arrives.
    run.endInput();
    EXPECT_EQ(run.remainingLines(), std::vector<std::string>{result("1")});
    EXPECT_TRUE(run.ended());
}

TEST(StdioProxy, EndsWithoutWaitingForTheInputWhenTheClientStopsReading) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& received) {
        return optionsOr(received, [&]() -> CannedHTTPResponse {
            return {.status = 200, .body = result(idOf(received.body).description())};
        });
    });
    ProxyRun run(endpoint.port());
    run.stopReadingOutput();
    run.send(request("1", "ping") + "\n");
    EXPECT_TRUE(run.ended()) << "the input is still open";
    EXPECT_NE(run.diagnostics().find("[StdioProxy] Writing a reply failed, ending the relay: "), std::string::npos);
}

// The blocking mode is a flag of the open pipe, shared with whoever started
// the proxy: it relays either way and leaves the flag as it found it.
TEST(StdioProxy, RelaysOverBlockingOrNonBlockingStreamsAndLeavesTheirModeAsItFoundIt) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& received) {
        return optionsOr(received, [&]() -> CannedHTTPResponse {
            return {.status = 200, .body = result(idOf(received.body).description())};
        });
    });
    for (const bool inputNonBlocking : {false, true}) {
        for (const bool outputNonBlocking : {false, true}) {
            SCOPED_TRACE(::testing::Message()
                         << "input non-blocking " << inputNonBlocking << ", output non-blocking " << outputNonBlocking);
            int inputFlags = -1;
            int outputFlags = -1;
            ProxyRun run(endpoint.port(), {}, [&](int input, int output) {
                ::fcntl(input, F_SETFL, ::fcntl(input, F_GETFL) | (inputNonBlocking ? O_NONBLOCK : 0));
                ::fcntl(output, F_SETFL, ::fcntl(output, F_GETFL) | (outputNonBlocking ? O_NONBLOCK : 0));
                inputFlags = ::fcntl(input, F_GETFL);
                outputFlags = ::fcntl(output, F_GETFL);
            });
            run.send(request("1", "ping") + "\n");
            EXPECT_EQ(run.readLine(), result("1"));
            run.endInput();
            ASSERT_TRUE(run.ended());
            EXPECT_EQ(run.flagsAtEnd(), std::make_pair(inputFlags, outputFlags));
        }
    }
}

}  // namespace
}  // namespace lumenary::app
