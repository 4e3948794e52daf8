// The routes against a real listener on a loopback port, through raw sockets.
#include <ifaddrs.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <regex>
#include <sstream>

#include <asio/detail/socket_option.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "http_test_support.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::http::test {
namespace {

const std::string ping = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
const std::string echo =
    R"({"jsonrpc":"2.0","id":"e","method":"tools/call","params":{"name":"echo","arguments":{"a":1}}})";

std::int64_t errorCode(const Response& response) {
    return *mcp::parseJSON(response.body).find("error")->find("code")->intValue();
}

TEST(HTTPRoutes, AnswersEachRouteWithItsStatusAndBody) {
    ServerHarness harness;
    struct Case {
        std::string request;
        int status;
        std::string body;
    };
    const std::string host = "Host: localhost:" + std::to_string(harness.port()) + "\r\n";
    const std::vector<Case> cases{
        {"OPTIONS /sse HTTP/1.1\r\n\r\n", 204, ""},
        {"DELETE /sse HTTP/1.1\r\nMcp-Session-Id: x\r\n\r\n", 404, "Not Found"},
        {"DELETE /mcp HTTP/1.1\r\n\r\n", 400, "Missing Mcp-Session-Id header"},
        {"DELETE /mcp HTTP/1.1\r\nMcp-Session-Id: never-seen\r\n\r\n", 204, ""},
        {"PUT /mcp HTTP/1.1\r\n\r\n", 404, "Not Found"},
        {"get /mcp HTTP/1.1\r\n\r\n", 404, "Not Found"},
        {"GET / HTTP/1.1\r\n\r\n", 404, "Not Found"},
        {"GET /mcp?stream=1 HTTP/1.1\r\n\r\n", 404, "Not Found"},
        {"POST /mcp/ HTTP/1.1\r\n\r\n", 404, "Not Found"},
        {"OPTIONS /mcp HTTP/1.1\r\n" + host + "Origin: http://127.0.0.1:3000\r\n\r\n", 204, ""},
        {"OPTIONS /mcp HTTP/1.1\r\nOrigin: http://localhost.evil.example\r\n\r\n", 403, "Origin not allowed"},
        {"OPTIONS /mcp HTTP/1.1\r\nOrigin: null\r\n\r\n", 403, "Origin not allowed"},
        {"OPTIONS /mcp HTTP/1.1\r\nHost: rebound.evil.example:8765\r\n\r\n", 403, "Host not allowed"},
        {"OPTIONS /mcp HTTP/1.1\r\nOrigin: http://evil.example\r\nOrigin: http://localhost\r\n\r\n", 400,
         "Request has more than one Origin header"},
        {"OPTIONS /mcp HTTP/1.1\r\nHost: localhost\r\n .evil.example\r\n\r\n", 400,
         "Host header is folded over several lines"},
        {"POST /mcp HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400, "Content-Length is not a decimal number"},
        {"POST /mcp HTTP/1.1\r\nTransfer-Encoding\t: chunked\r\n\r\n0\r\n\r\n", 400,
         "Request header name holds whitespace"},
        {"POST /mcp HTTP/1.1\r\nX-A: 1\r\n Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400,
         "Request header line is folded over several lines"},
        // Answered at once, not closed once the request's time is up.
        {"OPTIONS /mcp HTTP/1.1\nHost: localhost\n\n", 400, "Request header line ends in a bare LF"},
        {"POST /mcp HTTP/1.1\r\nContent-Length: 40000000\r\n\r\n", 413, "Request body is too large"},
        {"POST /mcp HTTP/1.1\r\nX: " + std::string(70000, 'a') + "\r\n\r\n", 431, "Request header block is too large"},
    };
    for (const auto& test : cases) {
        const auto response = harness.exchange(test.request);
        EXPECT_EQ(response.status, test.status) << test.request.substr(0, 60);
        EXPECT_EQ(response.body, test.body) << test.request.substr(0, 60);
    }
    EXPECT_TRUE(harness.sessionIDs().empty());
}

TEST(HTTPRoutes, SendsThePreflightAndExchangeHeadersInTheirOrder) {
    ServerHarness harness;
    const auto preflight = harness.exchange("OPTIONS /mcp HTTP/1.1\r\n\r\n");
    EXPECT_EQ(preflight.statusLine, "HTTP/1.1 204 No Content");
    EXPECT_EQ(preflight.headers, (std::vector<std::pair<std::string, std::string>>{
                                     {"Access-Control-Allow-Origin", "*"},
                                     {"Access-Control-Allow-Methods", "GET, POST, DELETE, OPTIONS"},
                                     {"Access-Control-Allow-Headers", "Content-Type, Accept, Mcp-Session-Id"},
                                     {"Access-Control-Expose-Headers", "Mcp-Session-Id"},
                                     {"Access-Control-Max-Age", "86400"},
                                     {"Content-Length", "0"},
                                     {"Connection", "close"},
                                 }));
    const auto answered = harness.exchange(postRequest(ping, "s1"));
    EXPECT_EQ(answered.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answered.headerNames(), (std::vector<std::string>{"Content-Type", "Access-Control-Allow-Origin",
                                                                "Mcp-Session-Id", "Content-Length", "Connection"}));
    EXPECT_EQ(answered.header("Content-Type"), "application/json");
    EXPECT_EQ(answered.header("Mcp-Session-Id"), "s1");
    EXPECT_EQ(answered.body, R"({"id":1,"jsonrpc":"2.0","result":{}})");
}

TEST(HTTPRoutes, GivesANewSessionAnUpperCaseUUIDAndKeepsItsServer) {
    ServerHarness harness;
    const auto first = harness.exchange(postRequest(ping));
    const auto id = first.header("Mcp-Session-Id").value_or("");
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
        << id;
    EXPECT_EQ(harness.exchange(postRequest(echo, id)).body,
              R"({"id":"e","jsonrpc":"2.0","result":{"content":[{"text":"{\"a\":1}","type":"text"}]}})");
    EXPECT_EQ(harness.exchange(postRequest(ping, "client-made", "/sse")).header("Mcp-Session-Id"), "client-made");
    EXPECT_EQ(harness.setupCount(), 2);
    EXPECT_EQ(harness.sessionIDs(), (std::vector<std::string>{id, "client-made"}));

    EXPECT_EQ(harness.exchange("DELETE /mcp HTTP/1.1\r\nMcp-Session-Id: " + id + "\r\n\r\n").status, 204);
    EXPECT_EQ(harness.sessionIDs(), (std::vector<std::string>{"client-made"}));
}

TEST(HTTPRoutes, AnswersNotificationsBatchesAndInputThatIsNotJSON) {
    ServerHarness harness;
    const auto notification = harness.exchange(postRequest(R"({"jsonrpc":"2.0","method":"note"})", "s"));
    EXPECT_EQ(notification.status, 202);
    EXPECT_EQ(notification.body, "");
    EXPECT_EQ(notification.header("Mcp-Session-Id"), "s");
    EXPECT_EQ(notification.header("Content-Type"), "application/json");

    const auto batch = harness.exchange(postRequest("[" + ping + "," + echo + "]", "s"));
    EXPECT_EQ(batch.status, 200);
    EXPECT_EQ(batch.body, R"([{"id":1,"jsonrpc":"2.0","result":{}},)"
                          R"({"id":"e","jsonrpc":"2.0","result":{"content":[{"text":"{\"a\":1}","type":"text"}]}}])");

    for (const std::string body : {"{\"jsonrpc\":", "", "\xff"}) {
        const auto refused = harness.exchange(postRequest(body, "s"));
        EXPECT_EQ(refused.status, 400);
        EXPECT_EQ(errorCode(refused), -32700);
    }
    EXPECT_EQ(errorCode(harness.exchange(postRequest("[]", "s"))), -32600);
}

TEST(HTTPRoutes, AnswersAFailedExchangeWithAnInternalErrorBody) {
    ServerHarness harness;
    harness.failSetups(true);
    const auto failed = harness.exchange(postRequest(ping, "s"));
    EXPECT_EQ(failed.status, 500);
    EXPECT_EQ(failed.header("Mcp-Session-Id"), "s");
    EXPECT_EQ(failed.body, R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"setup \"failed\""}})");
    EXPECT_EQ(harness.exchange("GET /mcp HTTP/1.1\r\nMcp-Session-Id: g\r\n\r\n").status, 500);
    EXPECT_TRUE(harness.sessionIDs().empty());
    harness.failSetups(false);
    EXPECT_EQ(harness.exchange(postRequest(ping, "s")).status, 200);
}

// A peer's end of stream while its request waits means the client is gone
// (most clients never half-close), so the answer may not be written; the
// request still counts, and only the first.
TEST(HTTPRoutes, AnswersAChunkedBodyAsTheSameMessage) {
    ServerHarness harness;
    const auto response = harness.exchange(
        "POST /mcp HTTP/1.1\r\nTransfer-Encoding: chunked\r\nMcp-Session-Id: c\r\n\r\n10\r\n" + ping.substr(0, 16) +
        "\r\n" + (std::stringstream() << std::hex << ping.size() - 16).str() + ";x=1\r\n" + ping.substr(16) +
        "\r\n0\r\n\r\n");
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, R"({"id":1,"jsonrpc":"2.0","result":{}})");
    for (const auto& [request, status] : std::vector<std::pair<std::string, int>>{
             {"POST /mcp HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", 501},
             {"POST /mcp HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 2\r\n\r\n2\r\n{}\r\n0\r\n\r\n", 400},
         }) {
        EXPECT_EQ(harness.exchange(request).status, status) << request;
    }
}

TEST(HTTPRoutes, ReadsARequestThatEndsWithThePeersEndOfStreamAndOnlyTheFirst) {
    ServerHarness harness;
    RawConnection connection(harness.port());
    connection.send(postRequest(ping, "first") + postRequest(ping, "second"));
    connection.shutdownWrite();
    EXPECT_TRUE(connection.waitForClose());
    EXPECT_EQ(harness.sessionIDs(), (std::vector<std::string>{"first"}));
}

TEST(HTTPRoutes, RefusesABodyThatWouldPassTheSharedBudgetBeforeReadingIt) {
    auto options = ServerHarness::quietOptions();
    options.maximumBodyBytesInFlight = 3000;
    ServerHarness harness(options);
    const std::string prefix = R"({"jsonrpc":"2.0","method":"note","params":{"pad":")";
    const auto noteOf = [&](std::size_t size) { return prefix + std::string(size - prefix.size() - 3, 'x') + "\"}}"; };

    // A body counts three times: as its text, in the JSON reader and as the
    // value read from it.
    const auto tooLarge = harness.exchange(postRequest(noteOf(1001), "s"));
    EXPECT_EQ(tooLarge.status, 503);
    EXPECT_EQ(tooLarge.body, "Too many request bodies are in flight");
    // So does a chunked body whose every chunk comes in the read that ends it.
    const std::string chunked = noteOf(1001);
    const auto tooLargeInChunks = harness.exchange(
        "POST /mcp HTTP/1.1\r\nTransfer-Encoding: chunked\r\nMcp-Session-Id: s\r\n\r\n" +
        (std::stringstream() << std::hex << chunked.size()).str() + "\r\n" + chunked + "\r\n0\r\n\r\n");
    EXPECT_EQ(tooLargeInChunks.status, 503);

    // A body under way holds its share until its request is done.
    const std::string held = postRequest(noteOf(600), "s");
    RawConnection holder(harness.port());
    holder.send(held.substr(0, held.size() - 100));
    EXPECT_TRUE(harness.eventually([&] { return harness.exchange(postRequest(noteOf(600), "s")).status == 503; }));
    holder.send(held.substr(held.size() - 100));
    EXPECT_EQ(parseResponse(holder.readToEnd()).status, 202);
    // The share comes back when the request's task ends, which may be just
    // after its answer has gone out.
    EXPECT_TRUE(harness.eventually([&] { return harness.exchange(postRequest(noteOf(600), "s")).status == 202; }));
}

// A notification is answered 202 as soon as it is queued; its body, and the
// value read from it, stay in memory until the session's server has handled
// it, and so stay charged.
TEST(HTTPRoutes, KeepsANotificationsBodyChargedUntilItsServerHasHandledIt) {
    auto options = ServerHarness::quietOptions();
    options.maximumBodyBytesInFlight = 3000;
    ServerHarness harness(options);
    const std::string prefix = R"({"jsonrpc":"2.0","method":"note","params":{"pad":")";
    const auto noteOf = [&](std::size_t size) { return prefix + std::string(size - prefix.size() - 3, 'x') + "\"}}"; };

    // The session's server is busy with a call that never ends, so the
    // notification waits behind it.
    RawConnection busy(harness.port());
    busy.send(postRequest(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"wait"}})", "busy"));
    ASSERT_TRUE(harness.eventually([&] { return harness.waitingCalls() == 1; }));
    EXPECT_EQ(harness.exchange(postRequest(noteOf(600), "busy")).status, 202);

    EXPECT_EQ(harness.exchange(postRequest(noteOf(600), "other")).status, 503);
    // Once its session is gone, so is the notification, and its charge.
    EXPECT_EQ(harness.exchange("DELETE /mcp HTTP/1.1\r\nMcp-Session-Id: busy\r\n\r\n").status, 204);
    EXPECT_TRUE(harness.eventually([&] { return harness.exchange(postRequest(noteOf(600), "other")).status == 202; }));
}

TEST(HTTPRoutes, ClosesConnectionsThatSendNothingOrTrickle) {
    auto options = ServerHarness::quietOptions();
    options.requestTimeLimit = std::chrono::milliseconds(300);
    ServerHarness harness(options);
    RawConnection silent(harness.port());
    EXPECT_TRUE(silent.waitForClose());

    RawConnection trickling(harness.port());
    const std::string request = postRequest(ping, "slow");
    const auto started = std::chrono::steady_clock::now();
    bool closed = false;
    for (std::size_t index = 0; index < request.size() && !closed; ++index) {
        trickling.send(request.substr(index, 1));
        closed = trickling.waitForClose(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(closed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_TRUE(harness.sessionIDs().empty());
}

// A client that could read the answer before the end of the stream came
// would close first and keep its port in TIME_WAIT; under load its every new
// connection then pays for that. Once any of the answer is readable, the end
// must be there too.
TEST(HTTPRoutes, SendsTheEndOfTheStreamWithTheAnswer) {
    ServerHarness harness;
    const std::vector<std::string> requests{
        postRequest(ping, "fin"),
        postRequest(R"({"jsonrpc":"2.0","method":"notifications/initialized"})", "fin"),
        "GET /nowhere HTTP/1.1\r\n\r\n",
        postRequest(R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"echo","arguments":{"text":")" +
                        std::string(200000, 'x') + "\"}}}",
                    "fin"),
    };
    for (const auto& request : requests) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(harness.port());
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ASSERT_EQ(::send(client, request.data(), request.size(), MSG_NOSIGNAL),
                      static_cast<ssize_t>(request.size()));
            std::string answer;
            bool sawEnd = false;
            bool waitedAfterAnswer = false;
            char buffer[65536];
            while (!sawEnd) {
                pollfd readable{client, POLLIN, 0};
                ASSERT_EQ(::poll(&readable, 1, 10'000), 1);
                for (;;) {
                    const auto count = ::recv(client, buffer, sizeof buffer, MSG_DONTWAIT);
                    if (count > 0) {
                        answer.append(buffer, static_cast<std::size_t>(count));
                        continue;
                    }
                    sawEnd = count == 0;
                    // Out of bytes with the whole answer read, and no end.
                    const auto parsed = parseResponse(answer);
                    waitedAfterAnswer = waitedAfterAnswer ||
                                        (!sawEnd && parsed.status != 0 &&
                                         parsed.body.size() == std::stoul(parsed.header("Content-Length").value()));
                    break;
                }
            }
            ::close(client);
            EXPECT_FALSE(waitedAfterAnswer) << "an answer of " << answer.size() << " bytes";
            EXPECT_NE(parseResponse(answer).status, 0);
        }
    }
}

TEST(HTTPRoutes, ListensOnTheLoopbackInterfaceOnly) {
    ServerHarness harness;
    EXPECT_TRUE(RawConnection(harness.port(), "127.0.0.1").isConnected());
    ifaddrs* interfaces = nullptr;
    ASSERT_EQ(::getifaddrs(&interfaces), 0);
    std::vector<std::string> others;
    for (auto* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr, text, sizeof text);
        if (!std::string(text).starts_with("127.")) others.push_back(text);
    }
    ::freeifaddrs(interfaces);
    for (const auto& address : others) {
        EXPECT_FALSE(RawConnection(harness.port(), address).isConnected()) << address;
    }
    if (others.empty()) GTEST_SKIP() << "no interface besides loopback to try";
}

TEST(HTTPServerLifecycle, StartsOnceStopsEverythingAndStartsAgain) {
    ServerHarness harness;
    EXPECT_EQ(harness.run(harness.server().start(1)), harness.port());
    EXPECT_EQ(harness.exchange(postRequest(ping, "a")).status, 200);
    RawConnection stream(harness.port());
    stream.send("GET /mcp HTTP/1.1\r\nMcp-Session-Id: b\r\n\r\n");
    ASSERT_TRUE(stream.readUntil("}\n\n"));

    harness.run(harness.server().stop());
    EXPECT_TRUE(stream.waitForClose());
    EXPECT_TRUE(harness.sessionIDs().empty());
    EXPECT_EQ(harness.run(harness.server().port()), std::nullopt);
    EXPECT_FALSE(RawConnection(harness.port()).isConnected());

    RawConnection client(harness.run(harness.server().start(0)));
    client.send(postRequest(ping, "c"));
    EXPECT_EQ(parseResponse(client.readToEnd()).status, 200);
}

TEST(HTTPServerLifecycle, ReportsAPortItCannotListenOn) {
    ServerHarness holder;
    ServerHarness harness;
    harness.run(harness.server().stop());
    EXPECT_THROW(harness.run(harness.server().start(holder.port())), asio::system_error);
    EXPECT_EQ(harness.run(harness.server().port()), std::nullopt);
    harness.run(harness.server().stop());
}

// A request's lines are gathered and handed over together: every one must
// still reach a sink of single lines, whole and in order, with nothing else
// in between. Bodies show only when the environment asks for them.
TEST(HTTPRoutes, PrintsEachRequestsConsoleLinesWholeAndInOrder) {
    const std::string reply = R"({"id":1,"jsonrpc":"2.0","result":{}})";
    struct Case {
        const char* logBodies;
        std::string requestBody, replyBody;
    };
    const std::vector<Case> cases{
        {nullptr, std::to_string(ping.size()) + " bytes", std::to_string(reply.size()) + " bytes"},
        {"0", std::to_string(ping.size()) + " bytes", std::to_string(reply.size()) + " bytes"},
        {"1", ping, reply},
    };
    for (const auto& test : cases) {
        if (test.logBodies) {
            setenv("LUMENARY_LOG_BODIES", test.logBodies, 1);
        } else {
            unsetenv("LUMENARY_LOG_BODIES");
        }
        auto lines = std::make_shared<std::vector<std::string>>();
        auto linesMutex = std::make_shared<std::mutex>();
        auto options = ServerHarness::quietOptions();
        unsetenv("LUMENARY_LOG_BODIES");
        options.console = logging::Console("[T] ", [lines, linesMutex](std::string line) {
            std::lock_guard lock(*linesMutex);
            lines->push_back(std::move(line));
        });
        ServerHarness harness(options, 4);
        EXPECT_EQ(harness.exchange(postRequest(ping, "a")).status, 200);
        harness.run(harness.server().broadcast(ping, "a"));
        harness.run(harness.server().stop());
        std::lock_guard lock(*linesMutex);
        // What a session's server sends on its own shows the same way; it
        // may come out before the request's last lines.
        const auto broadcastLine = std::find_if(lines->begin(), lines->end(), [](const std::string& line) {
            return line.starts_with("[T] Broadcasting to ");
        });
        ASSERT_NE(broadcastLine, lines->end());
        EXPECT_TRUE(broadcastLine->ends_with(": " + test.requestBody + (test.requestBody == ping ? "..." : "")))
            << *broadcastLine;
        lines->erase(broadcastLine);

        const auto first = std::find_if(lines->begin(), lines->end(), [](const std::string& line) {
            return line.starts_with("[T] New connection from: ");
        });
        ASSERT_NE(first, lines->end());
        const std::vector<std::string> expected{
            "[T] Received data: ",
            "[T] Received request: POST /mcp",
            "[T] POST /mcp request, sessionID: a",
            "[T] Request body: " + test.requestBody,
            "[T] Got response from transport: " + test.replyBody,
            "[T] Sending response with ",
            "[T] Closing POST connection",
        };
        ASSERT_GE(lines->end() - first, static_cast<std::ptrdiff_t>(expected.size() + 1));
        for (std::size_t index = 0; index < expected.size(); ++index) {
            const auto& line = first[static_cast<std::ptrdiff_t>(index + 1)];
            EXPECT_TRUE(index == 3 || index == 4 ? line == expected[index] : line.starts_with(expected[index]))
                << line;
        }
    }
}

// The endpoint's threads share their port with one another; a listener of
// another program that lets others share its port must still keep it.
TEST(HTTPServerLifecycle, RefusesAPortAnotherListenerSharesOut) {
    asio::io_context context;
    asio::ip::tcp::acceptor holder(context);
    holder.open(asio::ip::tcp::v4());
    holder.set_option(asio::detail::socket_option::boolean<SOL_SOCKET, SO_REUSEPORT>(true));
    holder.bind(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    holder.listen();
    ServerHarness harness(ServerHarness::quietOptions(), 4);
    harness.run(harness.server().stop());
    EXPECT_THROW(harness.run(harness.server().start(holder.local_endpoint().port())), asio::system_error);
    EXPECT_EQ(harness.run(harness.server().port()), std::nullopt);
}

}  // namespace
}  // namespace lumenary::http::test
