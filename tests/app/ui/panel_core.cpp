#include "app/ui/panel_core.hpp"

#include <asio/co_spawn.hpp>

#include "app/host/standard_tool_categories.hpp"

namespace lumenary::app::ui::testing {

PanelCore::PanelCore(std::optional<ToolCategories> categories) {
    tools = std::make_shared<LocalToolService>(io_.get_executor(), defaults_,
                                               categories ? std::move(*categories) : standardToolCategories(defaults_));
    MCPServerManager::Options options{.mainExecutor = io_.get_executor(),
                                      .defaults = &defaults_,
                                      .tools = tools,
                                      .serveStandardIO = false,
                                      .console = logging::Console("", [](std::string_view) {}),
                                      .executablePath = "/usr/bin/lumenary"};
    manager = MCPServerManager::create(std::move(options), false);
    runner_ = std::thread([this] { io_.run(); });
}

PanelCore::~PanelCore() {
    onMain([this] {
        asio::co_spawn(io_, manager->shutdown(), [this](std::exception_ptr) { work_.reset(); });
        return 0;
    });
    runner_.join();
    probes_.join();
}

CoreBridge::Services PanelCore::services() {
    return {.mainExecutor = io_.get_executor(),
            .blockingExecutor = probes_.get_executor(),
            .manager = manager,
            .tools = tools,
            .permissions = permissions};
}

void PanelCore::recordCalls(const std::string& toolName, const std::string& category, int count) {
    onMain([&] {
        for (int call = 0; call < count; ++call) {
            tools->recordCall(toolName, category);
        }
        return 0;
    });
}

void PanelCore::startService(std::uint16_t port) {
    onMain([&] {
        manager->setCustomPort(port);
        manager->start();
        return 0;
    });
}

}  // namespace lumenary::app::ui::testing
