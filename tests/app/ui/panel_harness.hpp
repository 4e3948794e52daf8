#pragma once

// The panel's view-models over a real core: a LocalToolService on an
// in-memory store with fake categories of the real list lengths, a server
// manager on a free loopback port, a fake permission manager, the core on a
// thread of its own and the test's thread as the UI thread. The settings
// page's autostart entry lies in a temporary folder, its links go to a fake
// opener and "退出" to a counter.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <vector>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <asio/thread_pool.hpp>

#include "app/host/mcp_server_manager.hpp"
#include "app/settings/random_port.hpp"
#include "app/tools/fake_tool_category.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/ui/fake_permission_manager.hpp"
#include "app/ui/panel_models.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/temporary_directory.hpp"

namespace lumenary::app::testing {

// Processes the UI thread's events until `condition` holds or the deadline
// passes; the condition's value.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

inline std::uint16_t freeLoopbackPort() {
    asio::io_context context;
    asio::ip::tcp::acceptor acceptor(context, {asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

// Tool names per category, as many as the real lists hold.
inline ToolCategories fakeCategories() {
    const std::array<std::size_t, toolCategoryCount> lengths{4, 5, 2, 3, 3, 1, 11, 3, 5, 9};  // scan order
    ToolCategories categories;
    for (std::size_t index = 0; index < toolCategoryCount; ++index) {
        std::vector<std::string> names;
        for (std::size_t tool = 0; tool < lengths[index]; ++tool) {
            names.push_back("tool_" + std::to_string(index) + "_" + std::to_string(tool));
        }
        categories[index] = std::make_shared<FakeToolCategory>(std::move(names));
    }
    return categories;
}

// Records the links it is asked to open; answers with `failure` when set.
class FakeUrlOpener final : public platform::UrlOpener {
public:
    std::optional<platform::PlatformError> open(const std::string& url) override {
        std::lock_guard lock(mutex_);
        opened_.push_back(url);
        return failure_;
    }
    std::vector<std::string> opened() {
        std::lock_guard lock(mutex_);
        return opened_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> opened_;
    std::optional<platform::PlatformError> failure_;
};

class PanelHarness {
public:
    explicit PanelHarness(std::function<void(platform::MemoryDefaultsStore&)> prepare = {}) {
        defaults.setInteger("mcp_server_port", freeLoopbackPort());
        if (prepare) {
            prepare(defaults);
        }
        tools = std::make_shared<LocalToolService>(strand, defaults, fakeCategories());
        manager = MCPServerManager::create({.mainExecutor = strand,
                                            .defaults = &defaults,
                                            .tools = tools,
                                            .serveStandardIO = false,
                                            .executablePath = std::string("/opt/lumenary/bin/lumenary")},
                                           false);
        core = std::thread([this] { context.run(); });
        std::ofstream(executable) << "#!/bin/sh\n";
        std::filesystem::permissions(executable, std::filesystem::perms::owner_all);
        models = std::make_unique<ui::PanelModels>(
            ui::CoreBridge::Services{.mainExecutor = strand,
                                     .blockingExecutor = workers.get_executor(),
                                     .manager = manager,
                                     .tools = tools,
                                     .permissions = permissions,
                                     .urlOpener = urlOpener},
            [this](const QString& text) { pasted.append(text); },
            ui::SettingsPageViewModel::Services{
                .launchAtLogin = &launchAtLogin,
                .portCandidates = [this] { return portCandidates ? portCandidates() : drawPortCandidate(); },
                .console = logging::Console("[Settings] ",
                                            [this](std::string line) { settingsLines.push_back(std::move(line)); })});
        models->settings()->setQuitAction([this] { ++quitRequests; });
        waitUntil([this] { return !bridge().snapshot().categoryTools->front().empty(); });
    }

    ~PanelHarness() {
        models.reset();
        while (permissions->answerHeld(false)) {
        }
        workers.join();
        onCore([this] { manager->stop(); });
        asio::post(strand, [this] {
            asio::co_spawn(strand, manager->shutdown(), [this](std::exception_ptr) { context.stop(); });
        });
        core.join();
    }

    // Runs `job` on the main executor and waits for it.
    template <typename Job>
    auto onCore(Job job) -> decltype(job()) {
        std::packaged_task<decltype(job())()> task(std::move(job));
        auto result = task.get_future();
        asio::post(strand, [&task] { task(); });
        return result.get();
    }

    // Every job the core queued so far has run, and every snapshot it sent
    // has reached the view-models.
    void settleCore() {
        bool reached = false;
        asio::post(strand, [&reached] {
            QMetaObject::invokeMethod(qApp, [&reached] { reached = true; }, Qt::QueuedConnection);
        });
        waitUntil([&reached] { return reached; });
        waitUntil([this] { return snapshotMatchesCore(); });
    }

    // Every permission probe queued so far has answered the UI.
    void settleProbes() {
        bool reached = false;
        asio::post(workers, [&reached] {
            QMetaObject::invokeMethod(qApp, [&reached] { reached = true; }, Qt::QueuedConnection);
        });
        waitUntil([&reached] { return reached; });
    }

    ui::CoreBridge& bridge() { return models->bridge(); }
    ui::PanelViewModel& panel() { return *models->panel(); }
    ui::ServiceCardViewModel& card() { return *models->serviceCard(); }
    ui::ToolCategoriesViewModel& categories() { return *models->toolCategories(); }
    ui::CallRecordsViewModel& records() { return *models->callRecords(); }
    ui::SettingsPageViewModel& settings() { return *models->settings(); }

    std::uint16_t portOnCore() {
        return onCore([this] { return manager->customPort(); });
    }

    // Every link handed to the opener so far has reached it.
    std::vector<std::string> openedLinks() {
        std::promise<void> reached;
        asio::post(workers, [&reached] { reached.set_value(); });
        reached.get_future().wait();
        return urlOpener->opened();
    }

    bool switchOnCore(ToolCategoryKind kind) {
        return onCore([this, kind] { return tools->isEnabled(kind); });
    }

    platform::MemoryDefaultsStore defaults;
    asio::io_context context;
    asio::executor_work_guard<asio::io_context::executor_type> workGuard = asio::make_work_guard(context);
    asio::strand<asio::io_context::executor_type> strand = asio::make_strand(context);
    // One thread, so probes run in the order asked and a marker posted
    // after them runs after them.
    asio::thread_pool workers{1};
    std::shared_ptr<FakePermissionManager> permissions = std::make_shared<FakePermissionManager>();
    std::shared_ptr<LocalToolService> tools;
    std::shared_ptr<MCPServerManager> manager;
    std::thread core;
    QStringList pasted;
    lumenary::testing::TemporaryDirectory configHome;
    std::filesystem::path autostartEntry = configHome.path() / "autostart" / "lumenary.desktop";
    std::string executable = (configHome.path() / "lumenary").string();
    platform::LoginItem loginItem{autostartEntry, [path = executable] { return path; }};
    std::vector<std::string> launchAtLoginLines;
    LaunchAtLoginManager launchAtLogin{
        loginItem, logging::Console("[LaunchAtLogin] ",
                                    [this](std::string line) { launchAtLoginLines.push_back(std::move(line)); })};
    std::shared_ptr<FakeUrlOpener> urlOpener = std::make_shared<FakeUrlOpener>();
    // The dice's candidates when set; the real draw otherwise.
    std::function<std::uint16_t()> portCandidates;
    std::vector<std::string> settingsLines;
    int quitRequests = 0;
    std::unique_ptr<ui::PanelModels> models;

private:
    bool snapshotMatchesCore() {
        const auto& snapshot = bridge().snapshot();
        return onCore([this, &snapshot] {
            return snapshot.isRunning == manager->isRunning() && snapshot.isEnabled == manager->isEnabled() &&
                   snapshot.toolCallCount == tools->toolCallCount() &&
                   snapshot.toolCallRecords == tools->toolCallRecords() &&
                   snapshot.mcpURL == manager->mcpURL() && snapshot.lastError == manager->lastError() &&
                   snapshot.customPort == manager->customPort() &&
                   [&] {
                       for (std::size_t index = 0; index < toolCategoryCount; ++index) {
                           if (snapshot.switches[index] != tools->isEnabled(static_cast<ToolCategoryKind>(index)))
                               return false;
                       }
                       return true;
                   }();
        });
    }
};

}  // namespace lumenary::app::testing
