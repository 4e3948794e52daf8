#include "app/host/mcp_server_manager.hpp"

#include <chrono>
#include <system_error>
#include <variant>

#include <asio/error.hpp>
#include <asio/post.hpp>

#include "app/host/local_endpoint.hpp"
#include "app/host/local_server_probe.hpp"
#include "app/host/mcp_method_handlers.hpp"
#include "app/http/mcp_http_server.hpp"
#include "async/cancellation.hpp"
#include "async/sleep_for.hpp"
#include "async/worker_pool.hpp"
#include "mcp/core/coding_error.hpp"
#include "mcp/core/json.hpp"
#include "mcp/server/stdio_transport.hpp"
#include "platform/program/running_executable_path.hpp"

namespace lumenary::app {

namespace {

// The inside of a JSON string literal for `text`; empty when the text is not
// UTF-8 and so cannot be written as JSON at all.
std::string jsonStringContent(const std::string& text) {
    try {
        const auto literal = mcp::writeJSON(mcp::Value(text));
        return literal.substr(1, literal.size() - 2);
    } catch (const mcp::EncodingError&) {
        return {};
    }
}

// A sleep that a cancellation merely cuts short.
asio::awaitable<void> sleepIgnoringCancellation(std::chrono::steady_clock::duration duration) {
    try {
        co_await async::sleepFor(duration);
    } catch (const std::exception&) {
    }
}

}  // namespace

MCPServerManager::MCPServerManager(Options options) : options_(std::move(options)) {
    customPort_ = configuredServerPort(*options_.defaults);
}

std::shared_ptr<MCPServerManager> MCPServerManager::create(Options options, bool autoStart) {
    auto manager = std::shared_ptr<MCPServerManager>(new MCPServerManager(std::move(options)));
    std::weak_ptr<MCPServerManager> weakManager = manager;
    manager->toolsSubscription_ =
        manager->options_.tools->toolsChanged.subscribe([weakManager, executor = manager->options_.mainExecutor] {
            asio::post(executor, [weakManager] {
                if (const auto alive = weakManager.lock()) {
                    alive->toolsDidChange();
                }
            });
        });
    if (autoStart) {
        manager->start();
    }
    return manager;
}

void MCPServerManager::updateURLs(std::uint16_t port) {
    objectWillChange.emit();
    mcpURL_ = localEndpointURL(port, "/mcp");
    objectWillChange.emit();
    sseURL_ = localEndpointURL(port, "/sse");
}

std::shared_ptr<mcp::Server> MCPServerManager::makeServer(asio::any_io_executor executor, LocalToolService& tools) {
    auto server =
        mcp::Server::create(std::move(executor), "Quillbright", "1.0.0", std::nullopt,
                            mcp::ServerCapabilities{.tools = mcp::ServerCapabilities::Tools{.listChanged = true}},
                            mcp::ServerConfiguration::defaultConfiguration());
    installMethodHandlers(*server, tools);
    return server;
}

asio::awaitable<std::shared_ptr<mcp::Server>> MCPServerManager::makeSessionServer(
    std::shared_ptr<LocalToolService> tools, asio::any_io_executor executor) {
    co_return makeServer(std::move(executor), *tools);
}

void MCPServerManager::start() {
    objectWillChange.emit();
    isEnabled_ = true;
    if (isRunning_ || isStarting_) {
        return;
    }
    objectWillChange.emit();
    lastError_.reset();
    isStarting_ = true;

    if (options_.serveStandardIO) {
        if (!stdioChannel_) {
            stdioChannel_ =
                StandardIOChannel::create(options_.mainExecutor, options_.standardInput, options_.standardOutput);
        }
        if (stdioTask_) {
            stdioTask_->cancel();
        }
        stdioTask_ = async::Task::spawn(options_.mainExecutor,
                                        runStandardIO(weak_from_this(), makeServer(options_.mainExecutor, *options_.tools),
                                                      stdioChannel_->attach()));
    }
    if (serverTask_) {
        serverTask_->cancel();
    }
    serverTask_ = async::Task::spawn(options_.mainExecutor, runHTTP(weak_from_this(), customPort_));
}

asio::awaitable<void> MCPServerManager::runStandardIO(std::weak_ptr<MCPServerManager> weakSelf,
                                                      std::shared_ptr<mcp::Server> server,
                                                      std::shared_ptr<mcp::Transport> transport) {
    if (weakSelf.expired()) {
        co_return;
    }
    std::string failure;
    try {
        co_await server->start(transport);
    } catch (const std::exception& error) {
        failure = error.what();
    }
    auto self = weakSelf.lock();
    const bool cancelled = co_await async::isCancelled();
    if (!failure.empty()) {
        if (self && !cancelled) {
            self->options_.console.withPrefix("").print("Stdio Server failed (expected if running as GUI App): ",
                                                        failure);
        }
        co_return;
    }
    if (!self) {
        co_return;
    }
    if (cancelled) {
        // A stop came while it started: this server must not stay attached.
        co_await server->stop();
        co_return;
    }
    self->stdioServer_ = server;
    self.reset();
    co_await server->waitForCompletion();
}

asio::awaitable<void> MCPServerManager::runHTTP(std::weak_ptr<MCPServerManager> weakSelf, std::uint16_t port) {
    auto self = weakSelf.lock();
    if (!self) {
        co_return;
    }
    http::MCPHTTPServer::Options httpOptions;
    httpOptions.console = self->options_.console.withPrefix("[MCPHTTPServer] ");
    auto server = http::MCPHTTPServer::create(
        self->options_.httpExecutors.empty() ? std::vector<asio::any_io_executor>{self->options_.mainExecutor}
                                             : self->options_.httpExecutors,
        [tools = self->options_.tools](asio::any_io_executor executor) {
            return makeSessionServer(tools, std::move(executor));
        },
        std::move(httpOptions));
    self.reset();

    std::optional<std::uint16_t> boundPort;
    std::string failure;
    bool portInUse = false;
    try {
        boundPort = co_await server->start(port);
    } catch (const std::system_error& error) {
        failure = error.what();
        portInUse = error.code() == asio::error::address_in_use;
    } catch (const std::exception& error) {
        failure = error.what();
    }
    if (portInUse) {
        auto explain = [port, failure] { return explainPortInUse(port, failure); };
        failure = co_await async::runBlocking(std::move(explain));
    }
    self = weakSelf.lock();
    const bool cancelled = co_await async::isCancelled();
    if (cancelled || !self) {
        // A stop or a new start came first: this server must not stay open.
        if (boundPort) {
            co_await server->stop();
        }
        co_return;
    }
    if (!boundPort) {
        self->objectWillChange.emit();
        self->lastError_ = failure;
        self->isRunning_ = false;
        self->isEnabled_ = false;
        self->isStarting_ = false;
        self->options_.console.print("The HTTP endpoint could not start on port ", std::to_string(port), ": ", failure);
        co_return;
    }
    self->httpServer_ = server;
    self->updateURLs(*boundPort);
    self->objectWillChange.emit();
    self->isRunning_ = true;
    self->isStarting_ = false;
    self->options_.console.print("MCP endpoint listening at ", self->mcpURL_);
    // `httpServer_` now keeps the endpoint until a stop or the shutdown takes
    // it: the task ends here rather than waking to hold it.
}

void MCPServerManager::setEnabled(bool enabled) {
    objectWillChange.emit();
    isEnabled_ = enabled;
}

void MCPServerManager::stop() {
    objectWillChange.emit();
    isRunning_ = false;
    isStarting_ = false;
    // At once, not when the stop task below runs: from here every request
    // on standard input is refused.
    if (stdioChannel_) {
        stdioChannel_->detach();
    }
    auto http = std::exchange(httpServer_, nullptr);
    auto stdio = std::exchange(stdioServer_, nullptr);
    if (http || stdio) {
        async::Task::spawn(options_.mainExecutor, [http, stdio]() -> asio::awaitable<void> {
            if (http) {
                co_await http->stop();
            }
            if (stdio) {
                co_await stdio->stop();
            }
        });
    }
    if (serverTask_) {
        serverTask_->cancel();
        serverTask_.reset();
    }
    if (stdioTask_) {
        stdioTask_->cancel();
        stdioTask_.reset();
    }
}

asio::awaitable<void> MCPServerManager::shutdown() {
    auto self = shared_from_this();
    // No delayed restart may bring the endpoint back once we are going.
    isEnabled_ = false;
    isRunning_ = false;
    isStarting_ = false;
    if (restartTask_) {
        restartTask_->cancel();
    }
    if (auto server = std::exchange(httpServer_, nullptr)) {
        co_await server->stop();
    }
    // The tasks hold servers whose executors the caller is about to tear
    // down: they must have ended, not merely been told to.
    if (auto task = std::exchange(serverTask_, std::nullopt)) {
        task->cancel();
        co_await task->join();
    }
    if (auto server = std::exchange(stdioServer_, nullptr)) {
        co_await server->stop();
    }
    if (auto task = std::exchange(stdioTask_, std::nullopt)) {
        task->cancel();
        co_await task->join();
    }
    if (auto channel = std::exchange(stdioChannel_, nullptr)) {
        co_await channel->close();
    }
}

void MCPServerManager::setCustomPort(std::uint16_t port) {
    objectWillChange.emit();
    customPort_ = port;
    options_.defaults->setInteger(serverPortDefaultsKey, port);
    updateURLs(port);
    if (isRunning_) {
        scheduleRestart();
    }
}

void MCPServerManager::scheduleRestart() {
    if (restartTask_) {
        restartTask_->cancel();
    }
    restartTask_ = async::Task::spawn(options_.mainExecutor, restartAfterDelay(shared_from_this()));
}

asio::awaitable<void> MCPServerManager::restartAfterDelay(std::shared_ptr<MCPServerManager> self) {
    co_await sleepIgnoringCancellation(std::chrono::milliseconds(500));
    const bool cancelled = co_await async::isCancelled();
    if (cancelled) {
        co_return;
    }
    self->stop();
    async::Task::spawn(self->options_.mainExecutor, startAfterDelay(self));
}

asio::awaitable<void> MCPServerManager::startAfterDelay(std::shared_ptr<MCPServerManager> self) {
    co_await sleepIgnoringCancellation(std::chrono::milliseconds(300));
    if (self->isEnabled_) {
        self->start();
    }
}

void MCPServerManager::toolsDidChange() {
    options_.console.print("🔔 Tool list changed! Broadcasting update to all clients...");
    options_.console.print("Current tool count: ", std::to_string(options_.tools->catalogue().size()));
    async::Task::spawn(options_.mainExecutor, notifyClients(shared_from_this()));
}

asio::awaitable<void> MCPServerManager::notifyClients(std::shared_ptr<MCPServerManager> self) {
    if (auto server = self->stdioServer_) {
        std::string failure;
        try {
            co_await server->sendNotification(mcp::Message<mcp::ToolListChangedNotification>());
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (!failure.empty()) {
            self->options_.console.print("❌ Failed to notify Stdio server: ", failure);
        } else {
            self->options_.console.print("✅ Stdio server notified");
        }
    } else {
        self->options_.console.print("✅ Stdio server notified");
    }
    if (auto server = self->httpServer_) {
        co_await server->notifyToolListChanged();
    }
    self->options_.console.print("✅ HTTP sessions notified");
}

std::string MCPServerManager::httpConfigJSON() const {
    return "{\n  \"mcpServers\": {\n    \"hostdeck\": {\n      \"url\": \"" + mcpURL_ + "\"\n    }\n  }\n}";
}

std::string MCPServerManager::stdioConfigJSON() const {
    std::string executable;
    if (options_.executablePath) {
        executable = *options_.executablePath;
    } else {
        auto found = platform::runningExecutablePath();
        if (auto* stale = std::get_if<platform::StaleExecutablePath>(&found)) {
            options_.console.print("The stdio configuration names a stale command path: ", stale->description);
            executable = std::move(stale->reportedPath);
        } else {
            executable = std::move(std::get<std::string>(found));
        }
    }
    const auto path = jsonStringContent(executable);
    return "{\n  \"mcpServers\": {\n    \"hostdeck\": {\n      \"command\": \"" + path +
           "\",\n      \"args\": []\n    }\n  }\n}";
}

}  // namespace lumenary::app
