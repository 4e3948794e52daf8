// The lumenary program: either the full service (MCP over the loopback HTTP
// endpoint and over its own standard input and output) or, when a client
// launched it through pipes while an instance already serves, a thin proxy
// between those pipes and that instance.
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/signal_set.hpp>

#include "app/host/mcp_server_manager.hpp"
#include "app/host/run_mode.hpp"
#include "app/host/standard_tool_categories.hpp"
#include "app/http/endpoint_threads.hpp"
#include "async/main_executor.hpp"
#include "logging/console.hpp"
#include "platform/file_defaults_store.hpp"

using namespace lumenary;

namespace {

// The endpoint's cost is mostly setting up one TCP connection per request;
// a few threads, each serving its own sessions, keep many clients served
// while the main strand stays free.
constexpr std::size_t httpThreadCount = 3;

asio::awaitable<void> shutDown(std::shared_ptr<app::MCPServerManager> manager) {
    try {
        co_await manager->shutdown();
    } catch (const std::exception& error) {
        logging::Console::standardError("").print("Stopping did not finish cleanly: ", error.what());
    }
    async::mainContext().stop();
}

// The first signal stops the service cleanly; a second one, should that
// hang, ends the process at once with what the defaults hold.
void awaitStopSignal(asio::signal_set& signals, std::shared_ptr<app::MCPServerManager> manager, bool stopping) {
    signals.async_wait([&signals, manager, stopping](const std::error_code& error, int) {
        if (error) {
            return;
        }
        if (stopping) {
            platform::FileDefaultsStore::standard().flush();
            std::_Exit(1);
        }
        asio::co_spawn(async::mainExecutor(), shutDown(manager), asio::detached);
        awaitStopSignal(signals, manager, true);
    });
}

}  // namespace

int main() {
    auto& defaults = platform::FileDefaultsStore::standard();
    if (app::decideRunMode(defaults) == app::RunMode::stdioProxy) {
        const int status = app::runStdioProxy(defaults);
        defaults.flush();
        return status;
    }

    auto& context = async::mainContext();
    const auto& executor = async::mainExecutor();
    // Never destroyed: handlers still queued on the main context at exit may
    // refer to it, and the main context itself lives until static destruction.
    static auto& httpThreads = *new http::EndpointThreads(httpThreadCount);
    app::MCPServerManager::Options options{.mainExecutor = executor,
                                           .httpExecutors = httpThreads.executors(),
                                           .defaults = &defaults,
                                           .tools = app::LocalToolService::createShared(app::standardToolCategories(defaults))};
    auto manager = app::MCPServerManager::create(std::move(options), true);

    asio::signal_set signals(context, SIGINT, SIGTERM);
    awaitStopSignal(signals, manager, false);
    context.run();
    httpThreads.stop();
    defaults.flush();
    return 0;
}
