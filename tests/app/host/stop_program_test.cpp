// The real program stopped by SIGTERM, with and without a tool call stuck
// in blocking work that no cancellation reaches.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "app/host/program_test_support.hpp"
#include "mcp/core/json.hpp"
#include "support/child_process.hpp"
#include "support/raw_connection.hpp"
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

// A client that reads its standard output late: replies the program had
// queued for it before a stop that must end the process without a call still
// stuck reach the client before the end of the output.
TEST(ProgramStop, RepliesQueuedForStandardOutputReachTheClientBeforeAForcedExit) {
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

    // Far more replies than a pipe holds, none read yet; the session serves
    // them in order before the call that sticks.
    constexpr int pings = 4000;
    std::string burst;
    for (int id = 100; id < 100 + pings; ++id) {
        burst += R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"ping"})" + "\n";
    }
    ASSERT_TRUE(program.write(burst));
    program.writeLine(R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"search_locations",)"
                      R"("arguments":{"query":"Berlin"}}})");
    ASSERT_TRUE(maps.awaitConnection(10s));

    program.signal(SIGTERM);
    std::istringstream output(program.readAll());
    EXPECT_EQ(program.waitForExit(2s), 0);
    int answered = 0;
    for (std::string line; std::getline(output, line);) {
        const auto reply = mcp::parseJSON(line);
        const auto* id = reply.find("id");
        ASSERT_NE(id, nullptr) << line;
        EXPECT_EQ(id->intValue(), 100 + answered);
        ++answered;
    }
    EXPECT_EQ(answered, pings);
}

// After use: a vision worker running, and standard error a pipe that its
// reader never drains, full with the console's lines of many requests, as a
// launcher that does not read it leaves it.
TEST(ProgramStop, SIGTERMAfterUseEndsTheProgramItsWorkersAndKeepsTheCallCount) {
    testing::TemporaryDirectory folder;
    testing::ScopedEnvironment environment;
    environment.set("LUMENARY_CONFIG_DIR", folder.path().string());
    const auto port = testing::freePort();
    std::ofstream(folder.path() / "defaults.json") << R"({"mcp_server_port":)" << port << R"(,"isVisionEnabled":true})";
    const auto console = folder.path() / "console";
    ASSERT_EQ(::mkfifo(console.c_str(), 0600), 0);
    // Opened, so that the program can open the other end, and never read.
    const system::OwnedDescriptor unread(::open(console.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    testing::ChildProcess program({testing::siblingProgram("lumenary")}, -1, console.string());
    program.writeLine(testing::initializeRequest);
    ASSERT_TRUE(program.readLine());
    program.writeLine(R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"vision_detect_barcodes",)"
                      R"("arguments":{"image_path":"/nonexistent/picture.png"}}})");
    ASSERT_TRUE(program.readLine(30s));
    const auto workers = testing::runningChildren(program.pid(), "lumenary-vision");
    ASSERT_EQ(workers.size(), 1u);
    ASSERT_TRUE(testing::eventually([&] { return testing::answersOptions(port); }));
    const std::string ping = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
    for (int request = 0; request < 300; ++request) {
        testing::exchange(port, "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                                "Content-Length: " + std::to_string(ping.size()) + "\r\n\r\n" + ping);
    }

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(2s), 0);
    // Gone from the process table, not merely ended.
    EXPECT_TRUE(testing::eventually(
        [&] { return !std::filesystem::exists("/proc/" + std::to_string(workers.front())); }));
    const auto defaults = mcp::parseJSON(testing::fileText(folder.path() / "defaults.json"));
    const auto* count = defaults.find("toolCallCount");
    EXPECT_EQ(count ? count->intValue().value_or(-1) : 0, 1);
}

}  // namespace
}  // namespace lumenary
