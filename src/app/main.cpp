// The lumenary program: either the full service (MCP over the loopback HTTP
// endpoint and over its own standard input and output, with the panel in the
// tray when a display answers) or, when a client launched it through pipes
// while an instance already serves, a thin proxy between those pipes and
// that instance.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <variant>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include "app/host/mcp_server_manager.hpp"
#include "app/host/panel_module.hpp"
#include "app/host/run_mode.hpp"
#include "app/host/standard_tool_categories.hpp"
#include "app/host/stop_deadline.hpp"
#include "app/http/endpoint_threads.hpp"
#include "async/main_executor.hpp"
#include "async/worker_pool.hpp"
#include "logging/console.hpp"
#include "platform/defaults/file_defaults_store.hpp"
#include "platform/desktop/x_display.hpp"
#include "platform/process/owned_children.hpp"
#include "system/standard_descriptors.hpp"

using namespace lumenary;

namespace {

// The endpoint's cost is mostly setting up one TCP connection per request;
// a few threads, each serving its own sessions, keep many clients served
// while the main strand stays free.
constexpr std::size_t httpThreadCount = 3;

// How long an orderly stop may wait for what is still running before the
// process ends without it.
constexpr std::chrono::milliseconds orderlyStopLimit{1'500};
// How long the children the server owns (its workers) get to end by
// themselves on an orderly stop before they are killed: a worker ends
// within moments of its signal, and the whole stop must fit its limit.
constexpr std::chrono::milliseconds ownedChildGrace{300};

// Ends the children the server owns beside the rest of the stop, so that a
// call waiting on one fails at once instead of holding the stop, and their
// grace runs while the rest stops.
void endOwnedChildrenBesideTheStop() {
    try {
        std::thread([] { platform::OwnedChildren::shared().endAll(ownedChildGrace); }).detach();
    } catch (const std::system_error&) {
        // The end of the stop ends them all the same.
    }
}

asio::awaitable<void> shutDown(std::shared_ptr<app::MCPServerManager> manager) {
    try {
        co_await manager->shutdown();
    } catch (const std::exception& error) {
        logging::Console::standardError("").print("Stopping did not finish cleanly: ", error.what());
    }
    async::mainContext().stop();
}

// The first request stops the service cleanly; a second one while that
// runs is ignored.
class OrderlyStop {
public:
    OrderlyStop(std::shared_ptr<app::MCPServerManager> manager, std::shared_ptr<app::MacOSControlService> desktop)
        : manager_(std::move(manager)), desktop_(std::move(desktop)) {}

    // Callable from any thread.
    void request() {
        app::StopDeadline::arm(
            orderlyStopLimit, [] { platform::FileDefaultsStore::standard().flush(); }, 0);
        if (!childrenEnding_.exchange(true)) {
            endOwnedChildrenBesideTheStop();
        }
        // Typing under way ends, and the keys it borrowed are given back
        // while the rest stops.
        desktop_->stop();
        asio::post(async::mainExecutor(), [this] {
            if (std::exchange(started_, true)) {
                return;
            }
            asio::co_spawn(async::mainExecutor(), shutDown(manager_), asio::detached);
        });
    }

private:
    std::shared_ptr<app::MCPServerManager> manager_;
    std::shared_ptr<app::MacOSControlService> desktop_;
    bool started_ = false;  // on the main executor
    std::atomic<bool> childrenEnding_{false};
};

// The first signal stops the service cleanly; a second one, should that
// hang, ends the process at once with what the defaults hold.
void awaitStopSignal(asio::signal_set& signals, OrderlyStop& stop, bool stopping) {
    signals.async_wait([&signals, &stop, stopping](const std::error_code& error, int) {
        if (error) {
            return;
        }
        if (stopping) {
            platform::FileDefaultsStore::standard().flush();
            // No grace: the person asked twice.
            platform::OwnedChildren::shared().endAll(std::chrono::milliseconds(0));
            std::_Exit(1);
        }
        stop.request();
        awaitStopSignal(signals, stop, true);
    });
}

// Stop signals are waited for on a thread of their own: a main executor
// that is never free (input that is always ready, a handler that spins) must
// not hold a stop back, and the deadline that ends a stop that hangs is
// armed from here whatever the executor is doing.
class StopSignalThread {
public:
    explicit StopSignalThread(OrderlyStop& stop) {
        awaitStopSignal(signals_, stop, false);
        thread_ = std::thread([this] { context_.run(); });
    }
    ~StopSignalThread() {
        context_.stop();
        thread_.join();
    }
    StopSignalThread(const StopSignalThread&) = delete;
    StopSignalThread& operator=(const StopSignalThread&) = delete;

private:
    asio::io_context context_{1};
    asio::signal_set signals_{context_, SIGINT, SIGTERM};
    std::thread thread_;
};

// Why the program runs without its panel, or nothing when it shows one.
// Without a display the UI framework would end the process, so the display
// is asked first.
std::optional<std::string> reasonForNoPanel() {
    if (const char* noPanel = std::getenv("LUMENARY_NO_PANEL"); noPanel && std::string(noPanel) == "1") {
        return "LUMENARY_NO_PANEL=1";
    }
    return platform::xDisplayUnavailability();
}

// The panel, or why the program runs without it. The module, and Qt with
// it, is mapped only once a display answers; one that cannot be used leaves
// the service running as without a display.
std::variant<app::PanelModule, std::string> openPanel() {
    if (auto reason = reasonForNoPanel()) {
        return std::move(*reason);
    }
    auto loaded = app::PanelModule::loadBesideExecutable();
    if (auto* unavailable = std::get_if<app::PanelModuleUnavailable>(&loaded)) {
        return std::move(unavailable->description);
    }
    return std::get<app::PanelModule>(loaded);
}

}  // namespace

int main(int argc, char** argv) {
    if (system::reopenClosedStandardDescriptors() != 0) {
        return EXIT_FAILURE;
    }
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
    const auto services = app::standardCategoryServices(defaults);
    // Keys an earlier run on this display borrowed for typing and could not
    // give back (it was killed) are put back before anything types.
    services.desktop->takeBackAbandonedKeys();
    app::MCPServerManager::Options options{
        .mainExecutor = executor,
        .httpExecutors = httpThreads.executors(),
        .defaults = &defaults,
        .tools = app::LocalToolService::createShared(app::standardToolCategories(services, defaults))};
    auto manager = app::MCPServerManager::create(std::move(options), true);

    // Never destroyed, like the threads: the signal handler may still name it.
    static auto& stop = *new OrderlyStop(manager, services.desktop);
    const StopSignalThread signals(stop);
    // Only the orderly stop ends the main context, never a moment in which
    // nothing waits on it.
    const auto running = asio::make_work_guard(context);

    int status = 0;
    auto panel = openPanel();
    if (const auto* reason = std::get_if<std::string>(&panel)) {
        logging::Console::standardError("").print("Running without the panel: ", *reason);
        context.run();
    } else {
        status = std::get<app::PanelModule>(panel).run(argc, argv, context,
                                                       {.mainExecutor = executor,
                                                        .blockingExecutor = async::workerPool().get_executor(),
                                                        .manager = manager,
                                                        .tools = app::LocalToolService::shared(),
                                                        .permissions = app::standardPermissionManager(services),
                                                        .defaults = &defaults},
                                                       [] { stop.request(); });
    }
    // Those started since the stop began, or still in their grace, are gone
    // before we are.
    platform::OwnedChildren::shared().endAll(ownedChildGrace);
    // The keyboard map is the person's again before we end; the stop's
    // deadline ends a wait on a desktop call that hangs.
    services.desktop->stop();
    services.desktop->waitUntilStopped(orderlyStopLimit);
    httpThreads.stop();
    app::StopDeadline::writeLastWords([&defaults] { defaults.flush(); });
    return status;
}
