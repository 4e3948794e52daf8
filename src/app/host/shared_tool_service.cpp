#include "app/tools/local_tool_service.hpp"
#include "async/main_executor.hpp"
#include "platform/file_defaults_store.hpp"

namespace lumenary::app {

// Defined with the host because the host is what knows every category.
std::shared_ptr<LocalToolService> LocalToolService::shared() {
    static const auto service = std::make_shared<LocalToolService>(
        async::mainExecutor(), platform::FileDefaultsStore::standard(), ToolCategories{});
    return service;
}

}  // namespace lumenary::app
