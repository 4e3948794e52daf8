#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/thread_pool.hpp>

#include "app/host/mcp_server_manager.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/ui/core_bridge.hpp"
#include "app/ui/fake_permission_manager.hpp"
#include "platform/memory_defaults_store.hpp"

namespace lumenary::app::ui::testing {

// The core behind the panel as the program runs it: the main executor on a
// thread of its own, the tool service with the program's (or the test's)
// categories over
// in-memory defaults, the server manager (no standard input and output,
// quiet console), and fake permission probes on a worker thread. The test
// reaches the core by posting to the main executor.
class PanelCore {
public:
    // The program's own categories unless the test hands in others.
    explicit PanelCore(std::optional<ToolCategories> categories = std::nullopt);
    ~PanelCore();
    PanelCore(const PanelCore&) = delete;
    PanelCore& operator=(const PanelCore&) = delete;

    CoreBridge::Services services();

    template <typename Function>
    auto onMain(Function function) {
        std::packaged_task<decltype(function())()> task(std::move(function));
        auto result = task.get_future();
        asio::post(io_, [&task] { task(); });
        return result.get();
    }

    // Successful calls as the tool service records them.
    void recordCalls(const std::string& toolName, const std::string& category, int count);
    // Starts the HTTP endpoint on `port` (0: one the system picks).
    void startService(std::uint16_t port);

    std::shared_ptr<FakePermissionManager> permissions = std::make_shared<FakePermissionManager>();
    std::shared_ptr<LocalToolService> tools;
    std::shared_ptr<MCPServerManager> manager;

private:
    asio::io_context io_;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_{io_.get_executor()};
    asio::thread_pool probes_{1};
    platform::MemoryDefaultsStore defaults_;
    std::thread runner_;
};

}  // namespace lumenary::app::ui::testing
