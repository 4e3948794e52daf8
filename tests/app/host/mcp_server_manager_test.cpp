#include <gtest/gtest.h>

#include <future>
#include <thread>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>

#include "app/host/mcp_server_manager.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/raw_connection.hpp"

namespace lumenary::app {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::RawConnection;

// The manager on a context of its own, run by one background thread, the
// way the program's main executor runs it; the test reaches it by posting.
// Standard input and output stay the test's own.
class ManagerTest : public ::testing::Test {
protected:
    ManagerTest() {
        tools = std::make_shared<LocalToolService>(io.get_executor(), defaults, ToolCategories{});
        MCPServerManager::Options options{.mainExecutor = io.get_executor(),
                                          .defaults = &defaults,
                                          .tools = tools,
                                          .serveStandardIO = false,
                                          .console = logging::Console("[MCPServerManager] ",
                                                                      [this](std::string_view line) {
                                                                          std::lock_guard lock(consoleMutex);
                                                                          console.emplace_back(line);
                                                                      }),
                                          .executablePath = R"(/opt/a "b"\c)"};
        manager = MCPServerManager::create(std::move(options), false);
        runner = std::thread([this] { io.run(); });
    }

    template <typename Function>
    auto onMain(Function function) {
        std::packaged_task<decltype(function())()> task(std::move(function));
        auto result = task.get_future();
        asio::post(io, [&task] { task(); });
        return result.get();
    }

    template <typename Predicate>
    bool eventually(Predicate predicate, std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!onMain(predicate)) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    ~ManagerTest() override {
        onMain([this] {
            asio::co_spawn(io, manager->shutdown(), [this](std::exception_ptr) { work.reset(); });
            return 0;
        });
        runner.join();
    }

    // Starts on a port the system chooses and returns it.
    std::uint16_t startOnAnyPort() {
        onMain([this] {
            manager->setCustomPort(0);
            manager->start();
            return 0;
        });
        EXPECT_TRUE(eventually([this] { return manager->isRunning(); }));
        return boundPort();
    }

    std::uint16_t boundPort() {
        const auto url = onMain([this] { return manager->mcpURL(); });
        return static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
    }

    bool consoleHas(std::string_view text) {
        std::lock_guard lock(consoleMutex);
        return std::any_of(console.begin(), console.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }

    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work{io.get_executor()};
    platform::MemoryDefaultsStore defaults;
    std::shared_ptr<LocalToolService> tools;
    std::shared_ptr<MCPServerManager> manager;
    std::mutex consoleMutex;
    std::vector<std::string> console;
    std::thread runner;
};

TEST_F(ManagerTest, StartsOnTheChosenPortAndPublishesTheEndpoint) {
    EXPECT_EQ(onMain([this] { return manager->mcpURL(); }), "");
    const auto port = startOnAnyPort();
    EXPECT_NE(port, 0);
    EXPECT_EQ(defaults.integer("mcp_server_port"), 0) << "0 is stored as given";
    EXPECT_EQ(onMain([this] { return manager->sseURL(); }), "http://127.0.0.1:" + std::to_string(port) + "/sse");
    EXPECT_EQ(lumenary::testing::parseResponse(
                  lumenary::testing::exchange(port, "OPTIONS /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"))
                  .status,
              204);
    EXPECT_EQ(onMain([this] { return manager->httpConfigJSON(); }),
              "{\n  \"mcpServers\": {\n    \"hostdeck\": {\n      \"url\": \"http://127.0.0.1:" + std::to_string(port) +
                  "/mcp\"\n    }\n  }\n}");
    EXPECT_EQ(onMain([this] { return manager->stdioConfigJSON(); }),
              "{\n  \"mcpServers\": {\n    \"hostdeck\": {\n      \"command\": \"/opt/a \\\"b\\\"\\\\c\",\n"
              "      \"args\": []\n    }\n  }\n}");
    onMain([this] {
        manager->start();
        return 0;
    });
    EXPECT_EQ(boundPort(), port) << "a start while running changes nothing";
}

TEST_F(ManagerTest, ABurstOfPortChangesRestartsOnceOnTheLastPort) {
    const auto first = startOnAnyPort();
    asio::io_context probe;
    asio::ip::tcp::acceptor holder(probe, {asio::ip::make_address("127.0.0.1"), 0});
    const auto wanted = holder.local_endpoint().port();
    holder.close();
    onMain([&] {
        manager->setCustomPort(1);
        manager->setCustomPort(wanted);
        return 0;
    });
    EXPECT_EQ(boundPort(), wanted) << "the URLs follow the port at once";
    // The restart comes half a second after the last change, then 0.3 s.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!RawConnection(wanted).isConnected() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(eventually([this] { return manager->isRunning(); }));
    EXPECT_EQ(lumenary::testing::parseResponse(
                  lumenary::testing::exchange(wanted, "OPTIONS /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"))
                  .status,
              204);
    EXPECT_FALSE(RawConnection(first).isConnected()) << "the old port is closed";
    EXPECT_EQ(defaults.integer("mcp_server_port"), wanted);
}

TEST_F(ManagerTest, ATakenPortIsReportedAndTheServiceStaysStopped) {
    asio::io_context other;
    asio::ip::tcp::acceptor taken(other, {asio::ip::make_address("127.0.0.1"), 0});
    const auto port = taken.local_endpoint().port();
    onMain([&] {
        manager->setCustomPort(port);
        manager->start();
        return 0;
    });
    ASSERT_TRUE(eventually([this] { return manager->lastError().has_value(); }));
    EXPECT_FALSE(onMain([this] { return manager->isEnabled() || manager->isRunning(); }));
    EXPECT_TRUE(consoleHas("could not start on port " + std::to_string(port)));

    taken.close();
    onMain([this] {
        manager->start();
        return 0;
    });
    ASSERT_TRUE(eventually([this] { return manager->isRunning(); }));
    EXPECT_FALSE(onMain([this] { return manager->lastError().has_value(); })) << "a new start clears the error";
}

TEST_F(ManagerTest, SwitchingACategoryNotifiesOpenEventStreams) {
    const auto port = startOnAnyPort();
    const auto initialize = lumenary::testing::exchange(
        port, lumenary::testing::postRequest(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{)"
                                             R"("protocolVersion":"2025-03-26","capabilities":{},)"
                                             R"("clientInfo":{"name":"test","version":"1"}}})"));
    const auto session = lumenary::testing::parseResponse(initialize).header("Mcp-Session-Id");
    ASSERT_TRUE(session) << initialize;

    RawConnection stream(port);
    stream.send("GET /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\nMcp-Session-Id: " + *session +
                "\r\n\r\n");
    ASSERT_TRUE(stream.readUntil("connected"));
    onMain([this] {
        tools->setCalendarEnabled(true);
        return 0;
    });
    EXPECT_TRUE(stream.readUntil("notifications/tools/list_changed"));
    EXPECT_TRUE(eventually([this] { return consoleHas("✅ HTTP sessions notified"); }));
    EXPECT_TRUE(consoleHas("🔔 Tool list changed! Broadcasting update to all clients..."));
    EXPECT_TRUE(consoleHas("Current tool count: 0"));
}

}  // namespace
}  // namespace lumenary::app
