// POST exchanges answered by a real MCP server behind the endpoint, over
// loopback sockets: ids in every form, and clients that give up.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "http_test_support.hpp"
#include "mcp/core/json.hpp"

namespace lumenary::http::test {
namespace {

std::string pingWithID(const std::string& id) {
    return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":"ping"})";
}

// Sockets of ours on `port` that the peer has closed and we have not.
int closeWaitSockets(std::uint16_t port) {
    char portText[8];
    std::snprintf(portText, sizeof portText, ":%04X", port);
    int count = 0;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream file(table);
        std::string line;
        std::getline(file, line);
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (local.ends_with(portText) && state == "08") ++count;
        }
    }
    return count;
}

TEST(HTTPExchanges, AnswerAWholeNumberWrittenWithAFractionUnderThatNumber) {
    ServerHarness harness;
    const auto first = harness.exchange(postRequest(pingWithID("7.0"), "ids"));
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.body, R"({"id":7,"jsonrpc":"2.0","result":{}})");
    const auto second = harness.exchange(postRequest(pingWithID("7"), "ids"));
    EXPECT_EQ(second.status, 200);
    EXPECT_EQ(second.body, R"({"id":7,"jsonrpc":"2.0","result":{}})");
}

TEST(HTTPExchanges, AnswerIdsAtTheEdgesOfNumbersPromptly) {
    ServerHarness harness;
    for (const std::string id : {"1e-400", "-9223372036854775809", "7.5", "1e400", "true"}) {
        const auto response = harness.exchange(postRequest(pingWithID(id), "edges"));
        EXPECT_TRUE(response.status == 200 || response.status == 202 || response.status == 400)
            << id << ": " << response.statusLine;
        if (response.status == 200) {
            const auto reply = mcp::parseJSON(response.body);
            const auto* answeredID = reply.find("id");
            ASSERT_NE(answeredID, nullptr) << response.body;
            // Answered under the id the request stands for: the same again
            // is answered as well, not refused as still waiting.
            EXPECT_EQ(harness.exchange(postRequest(pingWithID(mcp::writeJSON(*answeredID)), "edges")).status, 200)
                << id;
        }
    }
}

TEST(HTTPExchanges, AClientThatClosesFreesItsConnectionAtOnce) {
    auto options = ServerHarness::quietOptions();
    options.maximumConnections = 16;
    ServerHarness harness(options);
    const std::string waitCall = R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"wait"}})";
    for (int round = 0; round < 4; ++round) {
        std::vector<std::unique_ptr<RawConnection>> clients;
        for (int index = 0; index < 16; ++index) {
            clients.push_back(std::make_unique<RawConnection>(harness.port()));
            clients.back()->send(
                postRequest(waitCall, "gone-" + std::to_string(round) + "-" + std::to_string(index)));
        }
        const int started = 16 * (round + 1);
        ASSERT_TRUE(harness.eventually([&] { return harness.waitingCalls() == started; })) << "round " << round;
        clients.clear();
    }
    EXPECT_TRUE(harness.eventually([&] { return closeWaitSockets(harness.port()) == 0; }));
    EXPECT_EQ(harness.exchange(postRequest(pingWithID("1"), "still-here")).status, 200);
}

}  // namespace
}  // namespace lumenary::http::test
