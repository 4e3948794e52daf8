#include "app/host/local_server_probe.hpp"

#include <gtest/gtest.h>

#include "app/host/local_endpoint.hpp"
#include "platform/memory_defaults_store.hpp"
#include "support/fake_http_endpoint.hpp"

namespace lumenary::app {
namespace {

using namespace std::chrono_literals;
using mcp::Value;
using testing::CannedHTTPResponse;
using testing::FakeHTTPEndpoint;
using testing::ReceivedHTTPRequest;

platform::MemoryDefaultsStore defaultsWithPort(Value port) {
    return platform::MemoryDefaultsStore(Value::Object{{std::string(serverPortDefaultsKey), std::move(port)}});
}

TEST(LocalServerProbe, CountsOnlyAPromptOKOrNoContentAsServing) {
    struct Case {
        std::string name;
        CannedHTTPResponse answer;
        bool serving;
    };
    const std::vector<Case> cases = {
        {"204", {.status = 204}, true},
        {"200", {.status = 200}, true},
        {"404 from another program", {.status = 404, .body = "Not Found"}, false},
        {"500", {.status = 500}, false},
        {"too slow", {.status = 204, .heldUntilReleased = true}, false},
        {"hang-up", {.hangUp = true}, false},
    };
    for (const auto& each : cases) {
        FakeHTTPEndpoint endpoint([&](const ReceivedHTTPRequest&) { return each.answer; });
        platform::HTTPClient client;
        EXPECT_EQ(answersAsServing(client, endpoint.url(), {.idle = 100ms, .total = 200ms}), each.serving) << each.name;
        ASSERT_TRUE(endpoint.waitForRequests(1)) << each.name;
        EXPECT_EQ(endpoint.requests().front().method, "OPTIONS");
        EXPECT_EQ(endpoint.requests().front().path, "/mcp");
    }
}

TEST(LocalServerProbe, AsksTheConfiguredPortAndFindsNothingWhereNothingListens) {
    FakeHTTPEndpoint endpoint([](const ReceivedHTTPRequest&) { return CannedHTTPResponse{.status = 204}; });
    EXPECT_TRUE(probeLocalServer(defaultsWithPort(endpoint.port())));
    EXPECT_FALSE(probeLocalServer(defaultsWithPort(testing::unusedLoopbackPort())));
}

TEST(LocalEndpoint, ReadsTheConfiguredPortWithTheDefaultForAnythingOutOfRange) {
    const std::vector<std::pair<Value, std::uint16_t>> cases = {
        {Value(), 8765},     {Value(0), 8765},      {Value(-5), 8765}, {Value(70000), 8765},
        {Value(9000), 9000}, {Value(65535), 65535}, {"9100", 9100},
    };
    for (const auto& [stored, port] : cases) {
        EXPECT_EQ(configuredServerPort(defaultsWithPort(stored)), port) << stored.description();
    }
    EXPECT_EQ(configuredServerPort(platform::MemoryDefaultsStore()), 8765);
    EXPECT_EQ(localEndpointURL(8765), "http://127.0.0.1:8765/mcp");
}

}  // namespace
}  // namespace lumenary::app
