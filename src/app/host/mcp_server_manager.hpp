#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "app/tools/local_tool_service.hpp"
#include "app/tools/plain_value.hpp"
#include "async/signal.hpp"
#include "async/task.hpp"
#include "mcp/server/mcp_server.hpp"
#include "platform/defaults_store.hpp"

namespace lumenary::http {
class MCPHTTPServer;
}

namespace lumenary::app {

// Runs the program's MCP service: one server on standard input and output
// and the HTTP endpoint on the configured loopback port, with one server per
// HTTP session. It publishes the running state and the endpoint URLs,
// restarts the endpoint when the port changes, and tells every client when
// the tool list changes. Lives on the main executor: every member must be
// called there.
class MCPServerManager : public std::enable_shared_from_this<MCPServerManager> {
public:
    struct Options {
        asio::any_io_executor mainExecutor;
        // Where the HTTP endpoint and its sessions run; the main executor
        // when empty. Connection set-up dominates its cost, so several
        // threads here serve many clients faster.
        asio::any_io_executor httpExecutor = {};
        platform::DefaultsStore* defaults = nullptr;
        std::shared_ptr<LocalToolService> tools;
        // Serve MCP on descriptors 0 and 1 too. Only one server is ever
        // started on them in a process: a second would steal its input.
        bool serveStandardIO = true;
        // Diagnostics, one line each without its line feed; standard error
        // when absent.
        std::function<void(std::string_view)> console = {};
        // Path written into the command-form client configuration; the
        // running executable when absent.
        std::optional<std::string> executablePath = std::nullopt;
    };

    static std::shared_ptr<MCPServerManager> create(Options options, bool autoStart);

    // Sent before any published field changes.
    async::Signal objectWillChange;

    bool isEnabled() const noexcept { return isEnabled_; }
    bool isRunning() const noexcept { return isRunning_; }
    const std::string& mcpURL() const noexcept { return mcpURL_; }
    const std::string& sseURL() const noexcept { return sseURL_; }
    const std::optional<std::string>& lastError() const noexcept { return lastError_; }
    std::uint16_t customPort() const noexcept { return customPort_; }
    // Persists the port, updates the URLs, and restarts a running endpoint
    // half a second after the last of a burst of changes.
    void setCustomPort(std::uint16_t port);

    // Starts the stdio server (once per process) and the HTTP endpoint,
    // unless already running or starting. Never fails: an HTTP failure is
    // published in `lastError`.
    void start();
    // Stops the HTTP endpoint. The stdio server keeps serving its client.
    void stop();
    // Stops everything and waits until it has stopped: the end of the process.
    asio::awaitable<void> shutdown();

    // The two client-configuration texts under the server key "hostdeck".
    std::string httpConfigJSON() const;
    std::string stdioConfigJSON() const;

    // Registers the six method handlers on a server of this manager.
    asio::awaitable<void> setupHandlers(std::shared_ptr<mcp::Server> server) const;

    // The six handlers every server of the program answers with.
    static void setupHandlers(mcp::Server& server, std::shared_ptr<LocalToolService> tools);

    static asio::awaitable<mcp::ListTools::Result> listToolsHandler(std::shared_ptr<LocalToolService> tools,
                                                                    mcp::ListTools::Parameters parameters);
    // Never throws: a refused or failing tool gives a result with the
    // error flag and the text "Error: " plus the failure's description.
    static asio::awaitable<mcp::CallTool::Result> callToolHandler(std::shared_ptr<LocalToolService> tools,
                                                                  mcp::CallTool::Parameters parameters);
    static asio::awaitable<mcp::ListResources::Result> listResourcesHandler(mcp::ListResources::Parameters);
    static asio::awaitable<mcp::ReadResource::Result> readResourceHandler(mcp::ReadResource::Parameters);
    static asio::awaitable<mcp::ListPrompts::Result> listPromptsHandler(mcp::ListPrompts::Parameters);
    static asio::awaitable<mcp::GetPrompt::Result> getPromptHandler(mcp::GetPrompt::Parameters);

    // Schemas to JSON: byte buffers and null markers become null.
    static mcp::Value valueFromAny(const PlainValue& value);
    // Call arguments from JSON: a whole double within the 64-bit range
    // becomes an integer, so 10.0 reaches a tool as 10.
    static PlainValue anyFromValue(const mcp::Value& value);

private:
    explicit MCPServerManager(Options options);

    static std::shared_ptr<mcp::Server> makeServer(asio::any_io_executor executor);
    void print(std::string_view line) const;
    void updateURLs(std::uint16_t port);
    void scheduleRestart();
    void toolsDidChange();

    static asio::awaitable<std::shared_ptr<mcp::Server>> makeServerThrough(std::weak_ptr<MCPServerManager> weakSelf,
                                                                          asio::any_io_executor executor);
    static asio::awaitable<void> runStandardIO(std::weak_ptr<MCPServerManager> weakSelf,
                                               std::shared_ptr<mcp::Server> server);
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
    bool stdioStarted_ = false;
    bool isStarting_ = false;
    async::Signal::Subscription toolsSubscription_;
};

}  // namespace lumenary::app
