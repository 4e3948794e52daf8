#include "app/ui/core_bridge.hpp"

#include <exception>
#include <mutex>
#include <utility>

#include <QTimer>
#include <asio/co_spawn.hpp>
#include <asio/post.hpp>

#include "app/host/mcp_server_manager.hpp"
#include "app/tools/local_tool_service.hpp"
#include "async/signal.hpp"
#include "logging/console.hpp"

namespace lumenary::app::ui {

namespace {

// One frame at 60 Hz: the UI cannot show changes faster.
constexpr std::chrono::milliseconds frameInterval{16};

}  // namespace

// The bridge's state on the core's side: read and written on the main
// executor only, except `receiver`, which the UI thread clears under its
// mutex before the UI side goes.
struct CoreBridge::CoreSide : std::enable_shared_from_this<CoreSide> {
    enum class Stage { idle, queued, delivering };

    asio::any_io_executor executor;
    std::shared_ptr<MCPServerManager> manager;
    std::shared_ptr<LocalToolService> tools;
    std::shared_ptr<const CategoryToolLists> lists;
    std::string stdioConfigJSON;
    async::Signal::Subscription managerSubscription;
    async::Signal::Subscription toolsSubscription;
    Stage stage = Stage::idle;
    // A change came while a snapshot was on its way to the UI.
    bool stale = false;
    bool detached = false;

    std::mutex receiverMutex;
    CoreBridge* receiver = nullptr;

    void attach() {
        if (detached) {
            return;
        }
        auto readLists = std::make_shared<CategoryToolLists>();
        if (tools) {
            for (std::size_t index = 0; index < toolCategoryCount; ++index) {
                for (auto& tool : tools->categoryTools(static_cast<ToolCategoryKind>(index))) {
                    (*readLists)[index].push_back({std::move(tool.name), std::move(tool.displayDescription)});
                }
            }
        }
        lists = std::move(readLists);
        if (manager) {
            stdioConfigJSON = manager->stdioConfigJSON();
        }
        std::weak_ptr<CoreSide> weakSelf = shared_from_this();
        const auto onChange = [weakSelf] {
            if (const auto self = weakSelf.lock()) {
                self->changed();
            }
        };
        if (manager) {
            managerSubscription = manager->objectWillChange.subscribe(onChange);
        }
        if (tools) {
            toolsSubscription = tools->objectWillChange.subscribe(onChange);
        }
        changed();
    }

    void detach() {
        detached = true;
        managerSubscription.cancel();
        toolsSubscription.cancel();
    }

    // Runs before the change it announces; the queued job runs after it.
    void changed() {
        if (detached) {
            return;
        }
        switch (stage) {
            case Stage::idle:
                stage = Stage::queued;
                asio::post(executor, [self = shared_from_this()] { self->takeSnapshot(); });
                break;
            case Stage::queued:
                break;
            case Stage::delivering:
                stale = true;
                break;
        }
    }

    void takeSnapshot() {
        if (detached) {
            return;
        }
        auto snapshot = std::make_shared<PanelSnapshot>();
        if (manager) {
            snapshot->isEnabled = manager->isEnabled();
            snapshot->isRunning = manager->isRunning();
            snapshot->customPort = manager->customPort();
            snapshot->mcpURL = manager->mcpURL();
            snapshot->sseURL = manager->sseURL();
            snapshot->lastError = manager->lastError();
            snapshot->httpConfigJSON = manager->httpConfigJSON();
            snapshot->stdioConfigJSON = stdioConfigJSON;
        }
        if (tools) {
            snapshot->toolCallCount = tools->toolCallCount();
            for (std::size_t index = 0; index < toolCategoryCount; ++index) {
                snapshot->switches[index] = tools->isEnabled(static_cast<ToolCategoryKind>(index));
            }
            snapshot->toolCallRecords = tools->toolCallRecords();
            snapshot->categorySummaries = tools->categorySummaries();
        }
        snapshot->categoryTools = lists;
        stage = Stage::delivering;
        stale = false;
        const bool sent = toUI([snapshot](CoreBridge& bridge) { bridge.deliver(snapshot); });
        if (!sent) {
            stage = Stage::idle;
        }
    }

    // After the UI applied a snapshot: the next one may go.
    void delivered() {
        if (detached) {
            return;
        }
        if (stale) {
            stale = false;
            stage = Stage::queued;
            asio::post(executor, [self = shared_from_this()] { self->takeSnapshot(); });
            return;
        }
        stage = Stage::idle;
    }

    // Runs on the blocking executor: the request may wait on the file
    // system or the bus. A request that throws counts as refused.
    static asio::awaitable<void> request(std::shared_ptr<CoreSide> self, std::shared_ptr<PermissionManager> permissions,
                                         PermissionCategory category, RequestAnswer answer) {
        bool granted = false;
        try {
            granted = co_await permissions->request(category);
        } catch (const std::exception& error) {
            logging::Console::standardError("[Panel] ").print("A permission request failed: ", error.what());
        }
        PermissionGuidance guidance;
        if (!granted) {
            guidance = permissions->guidance(category);
        }
        self->toUI([answer = std::move(answer), granted, guidance = std::move(guidance)](CoreBridge&) {
            answer(granted, guidance);
        });
    }

    // Queues `work` on the UI thread; false when the UI side has gone.
    template <typename Work>
    bool toUI(Work work) {
        std::lock_guard lock(receiverMutex);
        if (!receiver) {
            return false;
        }
        auto* target = receiver;
        // Qt drops the call when the bridge goes before it runs.
        QMetaObject::invokeMethod(
            target, [target, work = std::move(work)]() mutable { work(*target); }, Qt::QueuedConnection);
        return true;
    }
};

CoreBridge::CoreBridge(Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)), core_(std::make_shared<CoreSide>()) {
    core_->executor = services_.mainExecutor;
    core_->manager = services_.manager;
    core_->tools = services_.tools;
    core_->receiver = this;
}

CoreBridge::~CoreBridge() {
    {
        std::lock_guard lock(core_->receiverMutex);
        core_->receiver = nullptr;
    }
    // A stopped core drops the job; the subscriptions then end with it.
    asio::post(services_.mainExecutor, [core = core_] { core->detach(); });
}

void CoreBridge::attach() {
    asio::post(services_.mainExecutor, [core = core_] { core->attach(); });
}

void CoreBridge::detachOnMainExecutor() {
    core_->detach();
}

void CoreBridge::deliver(std::shared_ptr<const PanelSnapshot> snapshot) {
    const auto now = std::chrono::steady_clock::now();
    const auto nextFrame = lastDelivery_ + frameInterval;
    lastDelivery_ = now;
    snapshot_ = std::move(snapshot);
    Q_EMIT snapshotChanged();
    if (now >= nextFrame) {
        acknowledge();
        return;
    }
    // Several snapshots within one frame: the next waits for the next frame.
    QTimer::singleShot(std::chrono::ceil<std::chrono::milliseconds>(nextFrame - now), Qt::PreciseTimer, this,
                       &CoreBridge::acknowledge);
}

void CoreBridge::acknowledge() {
    asio::post(services_.mainExecutor, [core = core_] { core->delivered(); });
}

void CoreBridge::setCategoryEnabled(ToolCategoryKind kind, bool enabled) {
    if (!services_.tools) {
        return;
    }
    asio::post(services_.mainExecutor, [tools = services_.tools, kind, enabled] { tools->setEnabled(kind, enabled); });
}

void CoreBridge::disableAllTools() {
    if (!services_.tools) {
        return;
    }
    asio::post(services_.mainExecutor, [tools = services_.tools] { tools->disableAllTools(); });
}

void CoreBridge::startService() {
    if (!services_.manager) {
        return;
    }
    asio::post(services_.mainExecutor, [manager = services_.manager] { manager->start(); });
}

void CoreBridge::stopService() {
    if (!services_.manager) {
        return;
    }
    asio::post(services_.mainExecutor, [manager = services_.manager] {
        manager->setEnabled(false);
        manager->stop();
    });
}

void CoreBridge::setPort(std::uint16_t port) {
    if (!services_.manager) {
        return;
    }
    asio::post(services_.mainExecutor, [manager = services_.manager, port] { manager->setCustomPort(port); });
}

void CoreBridge::openURL(std::string url) {
    if (!services_.urlOpener) {
        logging::Console::standardError("[Panel] ").print("No program opens links here; not opened: ", url);
        return;
    }
    asio::post(services_.blockingExecutor, [opener = services_.urlOpener, url = std::move(url)] {
        if (const auto error = opener->open(url)) {
            logging::Console::standardError("[Panel] ").print("Cannot open ", url, ": ", error->description);
        }
    });
}

void CoreBridge::permissionStatus(PermissionCategory category, StatusAnswer answer) {
    asio::post(services_.blockingExecutor, [core = core_, permissions = services_.permissions,
                                            category = std::move(category), answer = std::move(answer)]() mutable {
        const auto status = permissions->status(category);
        PermissionGuidance guidance;
        if (status != PermissionStatus::granted) {
            guidance = permissions->guidance(category);
        }
        core->toUI([answer = std::move(answer), status, guidance = std::move(guidance)](CoreBridge&) {
            answer(status, guidance);
        });
    });
}

void CoreBridge::requestPermission(PermissionCategory category, RequestAnswer answer) {
    asio::co_spawn(services_.blockingExecutor,
                   CoreSide::request(core_, services_.permissions, std::move(category), std::move(answer)),
                   [](std::exception_ptr) {});
}

void CoreBridge::openSystemSettings(PermissionCategory category) {
    asio::post(services_.blockingExecutor, [permissions = services_.permissions, category = std::move(category)] {
        permissions->openSystemSettings(category);
    });
}

}  // namespace lumenary::app::ui
