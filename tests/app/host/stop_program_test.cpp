// The real program stopped by SIGTERM, with and without a tool call stuck
// in blocking work that no cancellation reaches.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "support/child_process.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"
#include "system/owned_descriptor.hpp"

namespace lumenary {
namespace {

using namespace std::chrono_literals;

// A loopback service that takes connections into its backlog and never
// answers them, so a request to it blocks for as long as its client waits.
class SilentListener {
public:
    SilentListener() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(socket_.get(), 8) != 0 ||
            ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("no silent listener");
        }
        port_ = ntohs(address.sin_port);
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

    // True once a client has connected (its request then waits unanswered).
    bool awaitConnection(std::chrono::milliseconds timeout) {
        pollfd entry{socket_.get(), POLLIN, 0};
        return ::poll(&entry, 1, static_cast<int>(timeout.count())) == 1;
    }

private:
    system::OwnedDescriptor socket_;
    std::uint16_t port_ = 0;
};

TEST(ProgramStop, SIGTERMEndsTheProgramWithinItsDeadlineAndKeepsTheCallCount) {
    struct Case {
        const char* name;
        bool callStuck;
    };
    for (const auto& c : {Case{"idle", false}, Case{"a call stuck on a silent maps service", true}}) {
        SCOPED_TRACE(c.name);
        testing::TemporaryDirectory folder;
        SilentListener maps;
        testing::ScopedEnvironment environment;
        environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
        environment.set("LUMENARY_MAPS_GEOCODER_URL", maps.url());
        std::ofstream(folder.path() / "defaults.json")
            << R"({"mcp_server_port":)" << testing::freePort() << R"(,"isMapsEnabled":true})";
        testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, (folder.path() / "err").string());
        program.writeLine(testing::initializeRequest);
        ASSERT_TRUE(program.readLine());
        if (c.callStuck) {
            program.writeLine(
                R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"search_locations",)"
                R"("arguments":{"query":"Berlin"}}})");
            ASSERT_TRUE(maps.awaitConnection(10s));
        }

        program.signal(SIGTERM);
        EXPECT_EQ(program.waitForExit(2s), 0);

        std::stringstream stored;
        stored << std::ifstream(folder.path() / "defaults.json").rdbuf();
        const auto defaults = mcp::parseJSON(stored.str());
        const auto* count = defaults.find("toolCallCount");
        EXPECT_EQ(count ? count->intValue().value_or(-1) : 0, c.callStuck ? 1 : 0);
    }
}

}  // namespace
}  // namespace lumenary
