#include "app/host/local_server_probe.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "app/host/local_endpoint.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
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
        // Absent: nothing listens on the port.
        std::optional<CannedHTTPResponse> answer;
        bool serving;
    };
    const std::vector<Case> cases = {
        {"204", CannedHTTPResponse{.status = 204}, true},
        {"200", CannedHTTPResponse{.status = 200, .body = "{}"}, true},
        {"404 from another program", CannedHTTPResponse{.status = 404, .body = "Not Found"}, false},
        {"500", CannedHTTPResponse{.status = 500}, false},
        {"never answers", CannedHTTPResponse{.status = 204, .heldUntilReleased = true}, false},
        {"hang-up", CannedHTTPResponse{.hangUp = true}, false},
        {"refused", std::nullopt, false},
    };
    const http_client::HTTPClientTimeouts limits{.idle = 100ms, .total = 200ms};
    for (const auto& each : cases) {
        std::optional<FakeHTTPEndpoint> endpoint;
        if (each.answer) {
            endpoint.emplace([&](const ReceivedHTTPRequest&) { return *each.answer; });
        }
        const auto port = endpoint ? endpoint->port() : testing::unusedLoopbackPort();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(answersAsServing(port, limits), each.serving) << each.name;
        const auto took = std::chrono::steady_clock::now() - started;
        // The limits bound every case; a refusal is known at once.
        EXPECT_LT(took, *limits.total + 100ms) << each.name;
        if (!each.answer) {
            EXPECT_LT(took, 50ms) << each.name;
            continue;
        }
        ASSERT_TRUE(endpoint->waitForRequests(1)) << each.name;
        const auto request = endpoint->requests().front();
        EXPECT_EQ(request.method, "OPTIONS") << each.name;
        EXPECT_EQ(request.path, "/mcp") << each.name;
        EXPECT_EQ(request.header("host"), "127.0.0.1:" + std::to_string(port)) << each.name;
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
