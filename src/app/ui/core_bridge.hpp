#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QObject>
#include <asio/any_io_executor.hpp>

#include "app/host/panel_services.hpp"
#include "app/permissions/permission_manager.hpp"
#include "app/tools/tool_category_table.hpp"
#include "app/ui/panel_snapshot.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/defaults/defaults_store.hpp"

namespace lumenary::app::ui {

// The one way between the panel (the UI thread) and the core (the main
// executor on its own thread).
//
// Core to UI: the core's change signals fire before a change, on the main
// executor. Each one only marks the state stale; at most one snapshot job is
// queued on the main executor (it runs after the change) and at most one
// snapshot is on its way to the UI thread, and the UI takes the next one no
// sooner than a frame after the last: a stream of calls costs the UI one
// update per frame, never one per call, while a lone change arrives at
// once. The snapshot arrives as `snapshotChanged` on the UI thread.
//
// UI to core: every write is posted to the main executor; permission
// probes, which may block, run on the blocking executor; their answers come
// back to the UI thread. Nothing here ever blocks the UI thread.
//
// Created, used and destroyed on the UI thread. `detach` (or destruction)
// cancels the subscriptions on the main executor before the UI side goes.
class CoreBridge : public QObject {
    Q_OBJECT
public:
    // Free of the UI framework, so that the program can hand it to the
    // panel module.
    using Services = PanelServices;

    explicit CoreBridge(Services services, QObject* parent = nullptr);
    ~CoreBridge() override;

    // Subscribes on the main executor and publishes a first snapshot.
    void attach();
    // Cancels the subscriptions; callable on the main executor, or on the
    // UI thread once the core has stopped for good. Later changes reach the
    // UI no more.
    void detachOnMainExecutor();

    // The latest snapshot the UI thread holds (empty before the first).
    const PanelSnapshot& snapshot() const noexcept { return *snapshot_; }

    // Writes, each posted to the main executor.
    void setCategoryEnabled(ToolCategoryKind kind, bool enabled);
    // Every category off, each with its event.
    void disableAllTools();
    // "启动 MCP" on: the manager's start.
    void startService();
    // "启动 MCP" off: the wish goes first, so no restart brings the service
    // back, then the stop.
    void stopService();
    // The settings page's port: the manager persists it and restarts a
    // running endpoint.
    void setPort(std::uint16_t port);
    // Hands `url` to the desktop's handler off the UI thread; a failure is
    // one line on standard error, as the page has no place to show it.
    void openURL(std::string url);

    // Permission probes off the UI thread; the answer comes back on it,
    // with the probe's guidance when the answer is not a grant. Answers
    // that arrive after the bridge went are dropped.
    using StatusAnswer = std::function<void(PermissionStatus, PermissionGuidance)>;
    using RequestAnswer = std::function<void(bool granted, PermissionGuidance)>;
    void permissionStatus(PermissionCategory category, StatusAnswer answer);
    void requestPermission(PermissionCategory category, RequestAnswer answer);
    void openSystemSettings(PermissionCategory category);

    // Null when the program handed no defaults in.
    platform::DefaultsStore* defaults() const noexcept { return services_.defaults; }

Q_SIGNALS:
    // On the UI thread, after `snapshot()` changed.
    void snapshotChanged();

private:
    struct CoreSide;

    void deliver(std::shared_ptr<const PanelSnapshot> snapshot);
    void acknowledge();

    Services services_;
    std::shared_ptr<CoreSide> core_;
    std::shared_ptr<const PanelSnapshot> snapshot_ = std::make_shared<PanelSnapshot>();
    std::chrono::steady_clock::time_point lastDelivery_;
};

}  // namespace lumenary::app::ui
