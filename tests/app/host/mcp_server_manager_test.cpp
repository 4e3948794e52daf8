#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <future>
#include <stdexcept>
#include <thread>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>

#include "app/host/mcp_server_manager.hpp"
#include "mcp/core/json.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/raw_connection.hpp"
#include "system/pipe.hpp"
#include "system/poll_until.hpp"

namespace lumenary::app {
namespace {

using namespace std::chrono_literals;
using lumenary::testing::RawConnection;

// The manager on a context of its own, run by one background thread, the
// way the program's main executor runs it; the test reaches it by posting.
// Standard input and output stay the test's own: a manager that serves
// them gets two pipes in their place.
class ManagerTest : public ::testing::Test {
protected:
    explicit ManagerTest(bool servesStandardIO = false) {
        if (system::openPipe(clientToServer) != 0 || system::openPipe(serverToClient) != 0) {
            throw std::runtime_error("no pipes for standard input and output");
        }
        tools = std::make_shared<LocalToolService>(io.get_executor(), defaults, ToolCategories{});
        MCPServerManager::Options options{.mainExecutor = io.get_executor(),
                                          .defaults = &defaults,
                                          .tools = tools,
                                          .serveStandardIO = servesStandardIO,
                                          .standardInput = clientToServer.readEnd.get(),
                                          .standardOutput = serverToClient.writeEnd.get(),
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

    // The next line the manager wrote to its standard output; absent when
    // none came within the deadline.
    std::optional<std::string> readStandardOutput(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const auto newline = written.find('\n'); newline != std::string::npos) {
                std::string line = written.substr(0, newline);
                written.erase(0, newline + 1);
                return line;
            }
            pollfd entry{serverToClient.readEnd.get(), POLLIN, 0};
            if (system::pollUntil(&entry, 1, deadline) != 1) {
                return std::nullopt;
            }
            char buffer[4096];
            const auto count = ::read(serverToClient.readEnd.get(), buffer, sizeof buffer);
            if (count <= 0) {
                return std::nullopt;
            }
            written.append(buffer, static_cast<std::size_t>(count));
        }
    }

    system::Pipe clientToServer;
    system::Pipe serverToClient;
    std::string written;
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

namespace lumenary::app {
namespace {

class StandardIOManagerTest : public ManagerTest {
protected:
    StandardIOManagerTest() : ManagerTest(true) {}
};

TEST_F(StandardIOManagerTest, StopRefusesEachRequestOnStandardInputUnderItsIDAndStartServesAgain) {
    enum class Switch { none, stop, start };
    struct Step {
        Switch before;
        std::string written;
        // The answer's id and whether it is the error of a stopped service;
        // a notification is answered by nothing, which the next step shows.
        std::optional<int> answeredID;
        bool refused;
    };
    const std::vector<Step> steps = {
        {Switch::start, R"({"jsonrpc":"2.0","id":1,"method":"ping"})", 1, false},
        {Switch::stop, R"({"jsonrpc":"2.0","method":"notifications/initialized"})", std::nullopt, false},
        {Switch::none, R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})", 2, true},
        {Switch::none, R"([{"jsonrpc":"2.0","id":3,"method":"ping"},{"jsonrpc":"2.0","method":"x"}])", 3, true},
        {Switch::start, R"({"jsonrpc":"2.0","id":4,"method":"ping"})", 4, false},
    };
    onMain([this] {
        manager->setCustomPort(0);
        return 0;
    });
    for (const auto& step : steps) {
        SCOPED_TRACE(step.written);
        if (step.before != Switch::none) {
            onMain([this, &step] {
                step.before == Switch::start ? manager->start() : manager->stop();
                return 0;
            });
        }
        const std::string line = step.written + "\n";
        ASSERT_EQ(::write(clientToServer.writeEnd.get(), line.data(), line.size()),
                  static_cast<ssize_t>(line.size()));
        if (!step.answeredID) {
            continue;
        }
        const auto answer = readStandardOutput();
        ASSERT_TRUE(answer);
        auto parsed = mcp::parseJSON(*answer);
        if (const auto* batch = parsed.arrayValue()) {
            ASSERT_EQ(batch->size(), 1U) << *answer;
            parsed = batch->front();
        }
        EXPECT_EQ(parsed.find("id")->intValue(), step.answeredID) << *answer;
        EXPECT_EQ(parsed.find("error") != nullptr, step.refused) << *answer;
        if (step.refused) {
            EXPECT_EQ(*parsed.find("error")->find("code"), mcp::Value(-32000)) << *answer;
        }
    }
}

}  // namespace
}  // namespace lumenary::app
