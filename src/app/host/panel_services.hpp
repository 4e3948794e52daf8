#pragma once

#include <memory>

#include <asio/any_io_executor.hpp>

#include "app/permissions/permission_manager.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/defaults/defaults_store.hpp"

namespace lumenary::app {

class LocalToolService;
class MCPServerManager;

// What the panel is given of the core. Free of the UI framework: the
// program hands it to the panel module, which it builds without linking.
struct PanelServices {
    asio::any_io_executor mainExecutor;
    // Where permission probes run (the worker pool).
    asio::any_io_executor blockingExecutor;
    std::shared_ptr<MCPServerManager> manager;
    std::shared_ptr<LocalToolService> tools;
    std::shared_ptr<PermissionManager> permissions;
    // What the settings page's document rows open links with; it may
    // block, so it runs on the blocking executor.
    std::shared_ptr<platform::UrlOpener> urlOpener = std::make_shared<platform::XdgUrlOpener>();
    // The user's defaults, for what the UI itself records (the first-run
    // flags); safe from any thread, outlives the panel.
    platform::DefaultsStore* defaults = nullptr;
};

}  // namespace lumenary::app
