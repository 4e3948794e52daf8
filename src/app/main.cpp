// The lumenary program: either the full service (MCP over the loopback HTTP
// endpoint and over its own standard input and output) or, when a client
// launched it through pipes while an instance already serves, a thin proxy
// between those pipes and that instance.
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/signal_set.hpp>
#include <asio/thread_pool.hpp>

#include "app/host/mcp_server_manager.hpp"
#include "app/host/run_mode.hpp"
#include "async/main_executor.hpp"
#include "platform/file_defaults_store.hpp"

using namespace lumenary;

namespace {

// The endpoint's cost is mostly setting up one TCP connection per request;
// a few threads keep many clients served while the main strand stays free.
constexpr std::size_t httpThreadCount = 3;

asio::awaitable<void> shutDown(std::shared_ptr<app::MCPServerManager> manager) {
    co_await manager->shutdown();
    async::mainContext().stop();
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
    asio::thread_pool httpThreads(httpThreadCount);
    app::MCPServerManager::Options options{.mainExecutor = executor,
                                           .httpExecutor = httpThreads.get_executor(),
                                           .defaults = &defaults,
                                           .tools = app::LocalToolService::shared()};
    auto manager = app::MCPServerManager::create(std::move(options), true);

    asio::signal_set signals(context, SIGINT, SIGTERM);
    signals.async_wait([manager, executor](const std::error_code& error, int) {
        if (!error) {
            asio::co_spawn(executor, shutDown(manager), asio::detached);
        }
    });
    context.run();
    httpThreads.stop();
    httpThreads.join();
    defaults.flush();
    return 0;
}
