// Event streams and session lifetimes against a real listener.
#include <gtest/gtest.h>

#include <future>

#include "app/http/event_stream_text.hpp"
#include "http_test_support.hpp"

namespace lumenary::http::test {
namespace {

using namespace std::chrono_literals;

const std::string listChanged = R"(data: {"jsonrpc":"2.0","method":"notifications/tools/list_changed"})"
                                "\n\n";

// Opens an event stream and reads past its head and connected event.
std::unique_ptr<RawConnection> openStream(std::uint16_t port, const std::string& sessionID, int receiveBuffer = 0) {
    auto stream = std::make_unique<RawConnection>(port, "127.0.0.1", receiveBuffer);
    stream->send("GET /mcp HTTP/1.1\r\nMcp-Session-Id: " + sessionID + "\r\n\r\n");
    const auto opening = stream->readUntil("}\n\n");
    EXPECT_TRUE(opening) << "no connected event for " << sessionID;
    if (opening) {
        EXPECT_EQ(opening->substr(opening->find("\r\n\r\n") + 4), connectedEvent(sessionID));
    }
    return stream;
}

int count(const std::string& text, const std::string& part) {
    int found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

bool contains(const std::vector<std::string>& ids, const std::string& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

TEST(EventStreams, OpenWithTheHeadAndConnectedEventThenBeatEveryInterval) {
    auto options = ServerHarness::quietOptions();
    options.heartbeatInterval = 50ms;
    ServerHarness harness(options);
    RawConnection stream(harness.port());
    stream.send("GET /sse HTTP/1.1\r\n\r\n");
    const auto head = parseResponse(*stream.readUntil("\r\n\r\n"));
    EXPECT_EQ(head.statusLine, "HTTP/1.0 200 OK");
    const auto sessionID = head.header("Mcp-Session-Id").value_or("");
    EXPECT_EQ(stream.readUntil("\n\n"), connectedEvent(sessionID));
    EXPECT_EQ(stream.readUntil("\n\n"), heartbeatComment);
    EXPECT_EQ(stream.readUntil("\n\n"), heartbeatComment);
    EXPECT_EQ(harness.sessionIDs(), (std::vector<std::string>{sessionID}));
}

TEST(EventStreams, CarryOnlyTheirOwnSessionsMessages) {
    ServerHarness harness;
    auto first = openStream(harness.port(), "A");
    auto alsoFirst = openStream(harness.port(), "A");
    auto second = openStream(harness.port(), "B");
    harness.run(harness.server().notifyToolListChanged());
    harness.run(harness.server().broadcast("end-A", "A"));
    harness.run(harness.server().broadcast("end-B", "B"));
    for (auto* stream : {first.get(), alsoFirst.get()}) {
        const auto events = stream->readUntil("data: end-A\n\n");
        ASSERT_TRUE(events);
        EXPECT_EQ(count(*events, listChanged), 1);
    }
    const auto events = second->readUntil("data: end-B\n\n");
    ASSERT_TRUE(events);
    EXPECT_EQ(count(*events, listChanged), 1);
    EXPECT_EQ(count(*events, "end-A"), 0);
}

TEST(EventStreams, EndTheirSessionWhenTheClientCloses) {
    ServerHarness harness;
    auto stream = openStream(harness.port(), "S");
    EXPECT_TRUE(contains(harness.sessionIDs(), "S"));
    stream.reset();
    EXPECT_TRUE(harness.eventually([&] { return harness.sessionIDs().empty(); }));
    EXPECT_EQ(harness.exchange(postRequest(R"({"jsonrpc":"2.0","id":1,"method":"ping"})", "S")).status, 200);
    EXPECT_EQ(harness.setupCount(), 2);
}

TEST(EventStreams, CloseAStreamThatFallsBehindWithoutHoldingUpOthers) {
    auto options = ServerHarness::quietOptions();
    options.heartbeatInterval = 20ms;
    options.maximumStreamBacklogBytes = 256 * 1024;
    ServerHarness harness(options);
    auto stalled = openStream(harness.port(), "stalled", 4096);
    auto reader = openStream(harness.port(), "reader");
    const std::string large(64 * 1024, 'x');
    for (int index = 0; index < 400 && contains(harness.sessionIDs(), "stalled"); ++index) {
        harness.run(harness.server().broadcast(large, "stalled"));
    }
    EXPECT_TRUE(harness.eventually([&] { return !contains(harness.sessionIDs(), "stalled"); }));
    EXPECT_TRUE(reader->readUntil(std::string(heartbeatComment)));
    harness.run(harness.server().broadcast("still-here", "reader"));
    EXPECT_TRUE(reader->readUntil("still-here"));
}

TEST(Sessions, EndAfterTheirIdleTimeUnlessAStreamIsOpen) {
    auto options = ServerHarness::quietOptions();
    options.sessionIdleTimeLimit = 200ms;
    ServerHarness harness(options);
    auto stream = openStream(harness.port(), "streaming");
    EXPECT_EQ(harness.exchange(postRequest(R"({"jsonrpc":"2.0","method":"note"})", "idle")).status, 202);
    EXPECT_TRUE(harness.eventually([&] { return !contains(harness.sessionIDs(), "idle"); }));
    EXPECT_EQ(harness.sessionIDs(), (std::vector<std::string>{"streaming"}));
}

TEST(Sessions, AtTheLimitTheLongestIdleGoesFirst) {
    auto options = ServerHarness::quietOptions();
    options.maximumSessions = 2;
    ServerHarness harness(options);
    const std::string note = R"({"jsonrpc":"2.0","method":"note"})";
    for (const std::string id : {"one", "two", "one", "three"}) {
        EXPECT_EQ(harness.exchange(postRequest(note, id)).status, 202);
    }
    EXPECT_EQ(harness.sessionIDs(), (std::vector<std::string>{"one", "three"}));
}

TEST(Sessions, SpreadOverThreadsEachServeAllTheirRequestsAndStreams) {
    ServerHarness harness(ServerHarness::quietOptions(), 4);
    const std::vector<std::string> sessions{"s0", "s1", "s2", "s3", "s4", "s5", "s6"};
    std::vector<std::unique_ptr<RawConnection>> streams;
    for (const auto& id : sessions) streams.push_back(openStream(harness.port(), id));
    // Each session's requests come on fresh connections, all read by the
    // listener and served on whichever thread owns the session.
    std::vector<std::future<void>> clients;
    for (const auto& id : sessions) {
        clients.push_back(std::async(std::launch::async, [&harness, id] {
            for (int request = 0; request < 5; ++request) {
                const auto response = harness.exchange(
                    postRequest(R"({"jsonrpc":"2.0","id":)" + std::to_string(request) + R"(,"method":"ping"})", id));
                EXPECT_EQ(response.status, 200) << id;
                EXPECT_EQ(response.body, R"({"id":)" + std::to_string(request) + R"(,"jsonrpc":"2.0","result":{}})");
                EXPECT_EQ(response.header("Mcp-Session-Id"), id);
            }
        }));
    }
    for (auto& client : clients) client.get();
    EXPECT_EQ(harness.setupCount(), static_cast<int>(sessions.size()));
    harness.run(harness.server().notifyToolListChanged());
    for (auto& stream : streams) EXPECT_TRUE(stream->readUntil(listChanged));
}

TEST(Sessions, ConcurrentFirstRequestsCreateOneSession) {
    ServerHarness harness(ServerHarness::quietOptions(), 4, 100ms);
    std::vector<std::future<Response>> responses;
    for (int index = 0; index < 4; ++index) {
        responses.push_back(std::async(std::launch::async, [&harness, index] {
            return harness.exchange(
                postRequest(R"({"jsonrpc":"2.0","id":)" + std::to_string(index) + R"(,"method":"ping"})", "shared"));
        }));
    }
    for (auto& response : responses) EXPECT_EQ(response.get().status, 200);
    EXPECT_EQ(harness.setupCount(), 1);
}

TEST(Sessions, AStopWhileASessionIsBeingMadeEndsItAndARestartNeverTakesItIn) {
    ServerHarness harness(ServerHarness::quietOptions(), 2, 300ms);
    auto pending = std::async(std::launch::async, [&harness] {
        try {
            return harness.exchange(postRequest(R"({"jsonrpc":"2.0","id":1,"method":"ping"})", "half-made"));
        } catch (const std::exception&) {
            return Response{};
        }
    });
    ASSERT_TRUE(harness.eventually([&] { return harness.setupCount() == 1; }));

    harness.run(harness.server().stop());
    harness.run(harness.server().start(harness.port()));

    ASSERT_EQ(pending.wait_for(deadline), std::future_status::ready);
    EXPECT_NE(pending.get().status, 200);
    // The same id in the new run gets a session of its own, made anew.
    EXPECT_EQ(harness.exchange(postRequest(R"({"jsonrpc":"2.0","id":2,"method":"ping"})", "half-made")).status, 200);
    EXPECT_EQ(harness.setupCount(), 2);
    EXPECT_EQ(harness.sessionIDs(), std::vector<std::string>{"half-made"});
}

}  // namespace
}  // namespace lumenary::http::test
