#pragma once

#include <memory>

#include <asio/any_io_executor.hpp>

#include "app/permissions/permission_manager.hpp"

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
};

}  // namespace lumenary::app
