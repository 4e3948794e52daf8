#pragma once

#include <unistd.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "app/host/standard_io_channel.hpp"
#include "app/tools/local_tool_service.hpp"
#include "async/signal.hpp"
#include "async/task.hpp"
#include "logging/console.hpp"
#include "mcp/server/mcp_server.hpp"
#include "platform/defaults/defaults_store.hpp"

namespace lumenary::http {
class MCPHTTPServer;
}

namespace lumenary::app {

// Runs the program's MCP service: one server on standard input and output
// and the HTTP endpoint on the configured loopback port, with one server per
// HTTP session, each with the program's method handlers. It publishes the
// running state and the endpoint URLs, restarts the endpoint when the port
// changes, and tells every client when the tool list changes. Its state is
// guarded by the main executor: every member must be called there. Only the
// maker of session servers runs elsewhere, and it reads nothing but the
// tool service it was given.
class MCPServerManager : public std::enable_shared_from_this<MCPServerManager> {
public:
    struct Options {
        asio::any_io_executor mainExecutor;
        // Where the HTTP endpoint and its sessions run, each executor run
        // by one thread (http::EndpointThreads makes them); the main
        // executor when empty. The endpoint spreads its sessions over them.
        std::vector<asio::any_io_executor> httpExecutors = {};
        platform::DefaultsStore* defaults = nullptr;
        std::shared_ptr<LocalToolService> tools;
        // Serve MCP on standard input and output too (these descriptors),
        // through one reader for the manager's life: a second reader would
        // steal the first one's input.
        bool serveStandardIO = true;
        int standardInput = STDIN_FILENO;
        int standardOutput = STDOUT_FILENO;
        // Diagnostics, each line under this prefix (the stdio server's
        // failure line under none); the HTTP endpoint writes to the same
        // sink under its own.
        logging::Console console = logging::Console::standardError("[MCPServerManager] ");
        // Path written into the command-form client configuration; the
        // running executable's when absent.
        std::optional<std::string> executablePath = std::nullopt;
    };

    static std::shared_ptr<MCPServerManager> create(Options options, bool autoStart);

    // Sent before any published field changes.
    async::Signal objectWillChange;

    bool isEnabled() const noexcept { return isEnabled_; }
    // Only stores the wish; start() and stop() act.
    void setEnabled(bool enabled);
    bool isRunning() const noexcept { return isRunning_; }
    const std::string& mcpURL() const noexcept { return mcpURL_; }
    const std::string& sseURL() const noexcept { return sseURL_; }
    const std::optional<std::string>& lastError() const noexcept { return lastError_; }
    std::uint16_t customPort() const noexcept { return customPort_; }
    // Persists the port, updates the URLs, and restarts a running endpoint
    // half a second after the last of a burst of changes.
    void setCustomPort(std::uint16_t port);

    // Starts a stdio server and the HTTP endpoint, unless already running
    // or starting. Never fails: an HTTP failure is published in `lastError`.
    void start();
    // Stops the HTTP endpoint and the stdio server. Until the next start,
    // each request read from standard input is answered with an error, so
    // the client there learns the service is off without losing its pipe.
    void stop();
    // Stops everything and waits until it has stopped: the end of the process.
    asio::awaitable<void> shutdown();

    // The two client-configuration texts under the server key "hostdeck".
    // A stale executable path is still written as the system reports it,
    // and said so on the console.
    std::string httpConfigJSON() const;
    std::string stdioConfigJSON() const;

private:
    explicit MCPServerManager(Options options);

    // A server of the program, named and versioned here only, with the
    // method handlers over `tools` installed; not started.
    static std::shared_ptr<mcp::Server> makeServer(asio::any_io_executor executor, LocalToolService& tools);
    // Runs on the HTTP executor, so it holds the tool service only, never
    // the manager.
    static asio::awaitable<std::shared_ptr<mcp::Server>> makeSessionServer(std::shared_ptr<LocalToolService> tools,
                                                                           asio::any_io_executor executor);

    void updateURLs(std::uint16_t port);
    void scheduleRestart();
    void toolsDidChange();

    static asio::awaitable<void> runStandardIO(std::weak_ptr<MCPServerManager> weakSelf,
                                               std::shared_ptr<mcp::Server> server,
                                               std::shared_ptr<mcp::Transport> transport);
    static asio::awaitable<void> runHTTP(std::weak_ptr<MCPServerManager> weakSelf, std::uint16_t port);
    static asio::awaitable<void> restartAfterDelay(std::shared_ptr<MCPServerManager> self);
    static asio::awaitable<void> startAfterDelay(std::shared_ptr<MCPServerManager> self);
    static asio::awaitable<void> notifyClients(std::shared_ptr<MCPServerManager> self);

    Options options_;
    bool isEnabled_ = false;
    bool isRunning_ = false;
    std::string mcpURL_;
    std::string sseURL_;
    std::optional<std::string> lastError_;
    std::uint16_t customPort_ = 0;
    std::optional<async::Task> restartTask_;
    std::shared_ptr<http::MCPHTTPServer> httpServer_;
    std::optional<async::Task> serverTask_;
    std::optional<async::Task> stdioTask_;
    std::shared_ptr<mcp::Server> stdioServer_;
    std::shared_ptr<StandardIOChannel> stdioChannel_;
    bool isStarting_ = false;
    async::Signal::Subscription toolsSubscription_;
};

}  // namespace lumenary::app
