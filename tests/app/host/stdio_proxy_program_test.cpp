// The real program as a proxy between a client's pipes and a real serving
// instance, while that instance goes away and another one takes the port.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "mcp/core/json.hpp"
#include "app/host/program_test_support.hpp"
#include "support/child_process.hpp"
#include "support/raw_connection.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary {
namespace {

using namespace std::chrono_literals;
using mcp::Value;
using testing::ChildProcess;
using testing::answersOptions;
using testing::eventually;
using testing::freePort;

constexpr int pipelinedPings = 2'000;
// The instance goes after this many answers, with the rest of the pings
// already on their way through the pipe.
constexpr int answersBeforeTheInstanceGoes = 300;

constexpr std::string_view proxiedInitializeRequest =
    R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-03-26",)"
    R"("capabilities":{},"clientInfo":{"name":"test","version":"1"}}})";

std::string ping(int id) {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"ping"})";
}

class StdioProxyProgram : public ::testing::TestWithParam<int> {
protected:
    StdioProxyProgram() {
        ::setenv("LUMENARY_CONFIG_DIR", folder.path().c_str(), 1);
        std::ofstream(folder.path() / "defaults.json") << R"({"mcp_server_port":)" << port << "}";
    }

    // An instance with nothing on its input, serving HTTP on the port.
    std::unique_ptr<ChildProcess> startInstance(const std::string& errorFile) {
        const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        auto instance = std::make_unique<ChildProcess>(std::vector<std::string>{testing::siblingProgram("lumenary")},
                                                       nothing, (folder.path() / errorFile).string());
        ::close(nothing);
        EXPECT_TRUE(eventually([&] { return answersOptions(port); })) << "the instance did not start";
        return instance;
    }

    testing::TemporaryDirectory folder;
    std::uint16_t port = freePort();
};

TEST_P(StdioProxyProgram, AnswersEveryPipelinedRequestAcrossTheInstanceGoingAndReachesTheNextInstance) {
    auto instance = startInstance("instance.err");
    ChildProcess proxy({testing::siblingProgram("lumenary")}, -1, (folder.path() / "proxy.err").string());
    proxy.writeLine(proxiedInitializeRequest);
    const auto initialized = proxy.readLine();
    ASSERT_TRUE(initialized);
    ASSERT_NE(initialized->find("Quillbright"), std::string::npos);

    std::string pings;
    for (int id = 1; id <= pipelinedPings; ++id) pings += ping(id) + "\n";
    std::jthread client([&proxy, pings] { proxy.write(pings); });

    std::set<std::int64_t> answered;
    int replies = 0;
    int forwardFailures = 0;
    for (int count = 0; count < pipelinedPings; ++count) {
        const auto line = proxy.readLine();
        if (!line) break;
        if (count == answersBeforeTheInstanceGoes) instance->signal(GetParam());
        const auto answer = mcp::parseJSON(*line);
        const auto id = answer.find("id") ? answer.find("id")->intValue() : std::nullopt;
        ASSERT_TRUE(id) << *line;
        EXPECT_TRUE(answered.insert(*id).second) << "answered twice: " << *line;
        if (answer.find("result")) {
            ++replies;
        } else {
            ++forwardFailures;
            EXPECT_EQ(*answer.find("error")->find("code"), Value(-32603)) << *line;
        }
    }
    client.join();
    EXPECT_EQ(answered.size(), std::size_t(pipelinedPings));
    if (!answered.empty()) {
        EXPECT_EQ(*answered.begin(), 1);
        EXPECT_EQ(*answered.rbegin(), pipelinedPings);
    }
    EXPECT_GE(replies, answersBeforeTheInstanceGoes);
    EXPECT_GT(forwardFailures, 0);
    instance->waitForExit();

    const auto next = startInstance("next.err");
    proxy.writeLine(R"({"jsonrpc":"2.0","id":"later","method":"tools/list"})");
    EXPECT_EQ(proxy.readLine(), R"({"id":"later","jsonrpc":"2.0","result":{"tools":[]}})");
    proxy.closeInput();
    EXPECT_EQ(proxy.waitForExit(), 0);
    EXPECT_EQ(proxy.readAll(), "") << "one answer for each request, no more";
    next->signal(SIGTERM);
    EXPECT_EQ(next->waitForExit(), 0);
}

INSTANTIATE_TEST_SUITE_P(KilledOrStopped, StdioProxyProgram, ::testing::Values(SIGKILL, SIGTERM),
                         [](const auto& signal) { return signal.param == SIGKILL ? "Killed" : "Stopped"; });

}  // namespace
}  // namespace lumenary
