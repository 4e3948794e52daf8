// Load driver: calls per second of LocalToolService::callTool on a category
// that answers at once, first with the in-memory defaults and then with the
// file-backed defaults, in the same run; prints the ratio. Every call writes
// the count and the records (three times), so this measures what persisting
// costs the caller. The file store must still have every change on disk
// after its flush, which the driver checks.
//
// Then the same stream of calls with the core on a thread of its own, once
// alone and once with the panel's bridge subscribed and a view-model taking
// its snapshots on this thread (the UI thread); the second must keep at
// least 90 % of the first, since a stream of calls may not queue one UI
// update per call. Last, the median round trip of a switch write from the
// UI thread through the core and back as a snapshot.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/strand.hpp>
#include <asio/thread_pool.hpp>

#include <QCoreApplication>
#include <QEventLoop>
#include <thread>

#include "app/tools/local_tool_service.hpp"
#include "app/ui/core_bridge.hpp"
#include "app/ui/service_card_view_model.hpp"
#include "platform/defaults/file_defaults_store.hpp"
#include "platform/defaults/memory_defaults_store.hpp"

using namespace lumenary;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int callsPerRun = 50'000;
constexpr int runs = 5;

class InstantCategory final : public app::ToolCategory {
public:
    std::vector<app::MCPTool> tools() const override {
        return {{.name = "instant", .description = "answers at once", .displayDescription = "", .inputSchema = {}}};
    }
    asio::awaitable<app::ToolOutcome<std::string>> handle(std::string, app::PlainDictionary) override {
        co_return std::string("done");
    }
};

asio::awaitable<void> callMany(std::shared_ptr<app::LocalToolService> service, int count) {
    for (int i = 0; i < count; ++i) {
        app::PlainDictionary arguments{{"n", i}};
        co_await service->callTool("instant", std::move(arguments));
    }
}

// Median calls per second over several runs.
double callsPerSecond(platform::DefaultsStore& defaults) {
    std::vector<double> rates;
    for (int run = 0; run < runs; ++run) {
        asio::io_context io;
        app::ToolCategories categories;
        categories[0] = std::make_shared<InstantCategory>();
        auto service = std::make_shared<app::LocalToolService>(io.get_executor(), defaults, categories);
        service->setCalendarEnabled(true);
        asio::co_spawn(io, callMany(service, callsPerRun), asio::detached);
        const auto start = Clock::now();
        io.run();
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        rates.push_back(callsPerRun / elapsed.count());
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

class NoPermissions final : public app::PermissionManager {
public:
    app::PermissionStatus status(const app::PermissionCategory&) override { return app::PermissionStatus::granted; }
    asio::awaitable<bool> request(app::PermissionCategory) override { co_return true; }
    app::PermissionGuidance guidance(const app::PermissionCategory&) override { return {}; }
    void openSystemSettings(const app::PermissionCategory&) override {}
};

// The core on a thread of its own, as in the program, and optionally the
// panel's bridge with the service card's view-model on this thread.
struct ThreadedCore {
    explicit ThreadedCore(bool withPanel) {
        app::ToolCategories categories;
        categories[0] = std::make_shared<InstantCategory>();
        service = std::make_shared<app::LocalToolService>(strand, defaults, categories);
        service->setCalendarEnabled(true);
        if (withPanel) {
            bridge = std::make_unique<app::ui::CoreBridge>(
                app::ui::CoreBridge::Services{.mainExecutor = strand,
                                              .blockingExecutor = workers.get_executor(),
                                              .manager = nullptr,
                                              .tools = service,
                                              .permissions = std::make_shared<NoPermissions>()});
            card = std::make_unique<app::ui::ServiceCardViewModel>(*bridge, [](const QString&) {});
            QObject::connect(bridge.get(), &app::ui::CoreBridge::snapshotChanged, [this] { ++uiUpdates; });
            bridge->attach();
        }
        thread = std::thread([this] { io.run(); });
    }
    ~ThreadedCore() {
        card.reset();
        bridge.reset();
        work.reset();
        thread.join();
    }

    platform::MemoryDefaultsStore defaults;
    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work{io.get_executor()};
    asio::strand<asio::io_context::executor_type> strand = asio::make_strand(io);
    asio::thread_pool workers{1};
    std::shared_ptr<app::LocalToolService> service;
    std::unique_ptr<app::ui::CoreBridge> bridge;
    std::unique_ptr<app::ui::ServiceCardViewModel> card;
    int uiUpdates = 0;
    std::thread thread;
};

// Calls per second with the core on its own thread while this thread
// waits in its event loop as a UI thread does; the UI updates it took.
std::pair<double, int> threadedRun(bool withPanel) {
    ThreadedCore core(withPanel);
    QEventLoop loop;
    const auto start = Clock::now();
    asio::co_spawn(core.strand, callMany(core.service, callsPerRun), [&loop](std::exception_ptr) {
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    return {callsPerRun / elapsed.count(), core.uiUpdates};
}

struct ThreadedFigures {
    double alone = 0;
    double withPanel = 0;
    int uiUpdates = 0;
};

// Medians over runs that alternate, so a busy machine weighs on both alike.
ThreadedFigures threadedCallsPerSecond() {
    std::vector<double> alone;
    std::vector<double> withPanel;
    ThreadedFigures figures;
    for (int run = 0; run < 2 * runs + 1; ++run) {
        alone.push_back(threadedRun(false).first);
        const auto [rate, updates] = threadedRun(true);
        withPanel.push_back(rate);
        figures.uiUpdates = updates;
    }
    std::sort(alone.begin(), alone.end());
    std::sort(withPanel.begin(), withPanel.end());
    figures.alone = alone[alone.size() / 2];
    figures.withPanel = withPanel[withPanel.size() / 2];
    return figures;
}

// Median microseconds from a switch write on the UI thread to the snapshot
// that shows it arriving back there. Writes come a frame apart, as a
// person's would: within one frame the bridge holds further snapshots back.
double medianSwitchRoundTrip() {
    ThreadedCore core(true);
    while (core.bridge->snapshot().categoryTools->front().empty()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    std::vector<double> trips;
    bool wanted = core.bridge->snapshot().switches[1];
    for (int trip = 0; trip < 300; ++trip) {
        const auto apart = Clock::now() + std::chrono::milliseconds(17);
        while (Clock::now() < apart) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        wanted = !wanted;
        QEventLoop loop;
        const auto connection = QObject::connect(core.bridge.get(), &app::ui::CoreBridge::snapshotChanged, [&] {
            if (core.bridge->snapshot().switches[1] == wanted) loop.quit();
        });
        const auto start = Clock::now();
        core.bridge->setCategoryEnabled(app::ToolCategoryKind::reminders, wanted);
        loop.exec();
        trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        QObject::disconnect(connection);
    }
    std::sort(trips.begin(), trips.end());
    return trips[trips.size() / 2];
}

// The same round trip with nothing on the core's side: a post to the strand
// that queues the answer back; the floor of the figure above.
double medianBareRoundTrip() {
    ThreadedCore core(false);
    std::vector<double> trips;
    for (int trip = 0; trip < 300; ++trip) {
        const auto apart = Clock::now() + std::chrono::milliseconds(17);
        while (Clock::now() < apart) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        QEventLoop loop;
        const auto start = Clock::now();
        asio::post(core.strand, [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
        loop.exec();
        trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(trips.begin(), trips.end());
    return trips[trips.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    platform::MemoryDefaultsStore memory;
    const double inMemory = callsPerSecond(memory);

    const auto folder = std::filesystem::temp_directory_path() / ("tool-service-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    double fileBacked = 0;
    std::int64_t expectedCount = 0;
    {
        platform::FileDefaultsStore file(folder);
        fileBacked = callsPerSecond(file);
        expectedCount = file.integer("toolCallCount");
        const auto flushStart = Clock::now();
        if (!file.flush()) {
            std::fprintf(stderr, "the file store could not write %s\n", file.filePath().c_str());
            return 1;
        }
        std::printf("final flush: %.2f ms\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - flushStart).count());
    }
    platform::FileDefaultsStore reread(folder);
    const bool durable = reread.integer("toolCallCount") == expectedCount && expectedCount == runs * callsPerRun;
    std::filesystem::remove_all(folder);

    std::printf("callTool, in-memory defaults: %10.0f calls/s\n", inMemory);
    std::printf("callTool, file defaults:      %10.0f calls/s\n", fileBacked);
    std::printf("time per call, file/in-memory: %.2f (target under 3)\n", inMemory / fileBacked);
    std::printf("every change on disk after the flush: %s\n", durable ? "yes" : "NO");

    const auto threaded = threadedCallsPerSecond();
    std::printf("callTool, core on its own thread:           %10.0f calls/s\n", threaded.alone);
    std::printf("callTool, with the panel's bridge:          %10.0f calls/s (%d UI updates for %d calls)\n",
                threaded.withPanel, threaded.uiUpdates, callsPerRun);
    std::printf("with/without the panel: %.1f %% (target at least 90 %%)\n",
                100.0 * threaded.withPanel / threaded.alone);
    std::printf("switch write, UI to core to UI, median: %.1f us (a bare strand-to-UI round trip: %.1f us)\n",
                medianSwitchRoundTrip(), medianBareRoundTrip());
    return durable ? 0 : 1;
}
