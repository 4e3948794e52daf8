#include "app/host/stdio_proxy.hpp"

#include <fcntl.h>
#include <poll.h>

#include <gtest/gtest.h>

#include <future>
#include <system_error>
#include <thread>

#include "mcp/core/json.hpp"
#include "support/fake_http_endpoint.hpp"

namespace lumenary::app {
namespace {

using namespace std::chrono_literals;
using mcp::Value;
using testing::CannedHTTPResponse;
using testing::FakeHTTPEndpoint;
using testing::ReceivedHTTPRequest;

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
    explicit ProxyRun(std::uint16_t port, StdioProxyTiming timing = {})
        : proxy_(port, {input_.readEnd(), output_.writeEnd(), diagnostics_.writeEnd()}, timing), runner_([this] {
              exitStatus_.set_value(proxy_.run());
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
    int exitStatus() {
        auto status = exitStatus_.get_future();
        EXPECT_EQ(status.wait_for(20s), std::future_status::ready);
        return status.get();
    }

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

    Pipe input_;
    Pipe output_;
    Pipe diagnostics_;
    StdioProxy proxy_;
    std::promise<int> exitStatus_;
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
        EXPECT_EQ(run.exitStatus(), 0);
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
             request("8", "ping") + "\n");
    run.endInput();

    const auto lines = run.remainingLines();
    ASSERT_EQ(lines.size(), 7u);
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
    EXPECT_EQ(run.exitStatus(), 0);
}

TEST(StdioProxy, AnswersTheWaitingRequestsAndFailsWhenTheInstanceGoesAway) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest& received) {
        return optionsOr(received, [&]() -> CannedHTTPResponse {
            return {.status = 200, .headers = {{"Mcp-Session-Id", "S-1"}}, .body = result("1")};
        });
    });
    ProxyRun run(endpoint.port());
    run.send(request("1", "initialize") + "\n");
    EXPECT_EQ(run.readLine(), result("1"));
    endpoint.stopListening();

    // One write, so the proxy reads both lines before it finds the instance gone.
    run.send(request("2", "tools/list") + "\n" + request("3", "tools/list") + "\n");
    const auto lines = run.remainingLines();
    ASSERT_EQ(lines.size(), 2u);
    for (std::size_t index = 0; index < 2; ++index) {
        const auto reply = mcp::parseJSON(lines[index]);
        EXPECT_EQ(*reply.find("id"), Value(static_cast<int>(index) + 2));
        EXPECT_EQ(*reply.find("error")->find("code"), Value(-32603));
        EXPECT_TRUE(reply.find("error")->find("message")->stringValue()->starts_with("Failed to forward request: "));
    }
    EXPECT_EQ(run.exitStatus(), StdioProxy::instanceLostExitStatus);
    EXPECT_NE(run.diagnostics().find("stopped accepting connections"), std::string::npos);
    EXPECT_EQ(endpoint.requests().size(), 2u);  // no session end sent to nobody
}

TEST(StdioProxy, SaysSoOnTheDiagnosticsWhenNoInstanceServes) {
    ProxyRun run(testing::unusedLoopbackPort());
    EXPECT_EQ(run.exitStatus(), 0);
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
    EXPECT_EQ(run.exitStatus(), 0);
}

}  // namespace
}  // namespace lumenary::app
