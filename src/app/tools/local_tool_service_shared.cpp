#include <mutex>
#include <stdexcept>

#include "app/tools/local_tool_service.hpp"
#include "async/main_executor.hpp"
#include "platform/defaults/file_defaults_store.hpp"

namespace lumenary::app {

namespace {

struct SharedService {
    std::mutex mutex;
    std::shared_ptr<LocalToolService> service;
};

// Never destroyed: the service outlives every server that may still hold it
// while the process winds down.
SharedService& sharedService() {
    static auto& shared = *new SharedService();
    return shared;
}

}  // namespace

std::shared_ptr<LocalToolService> LocalToolService::createShared(ToolCategories categories) {
    auto& shared = sharedService();
    std::lock_guard lock(shared.mutex);
    if (shared.service) {
        throw std::logic_error("The shared tool service was already created");
    }
    shared.service = std::make_shared<LocalToolService>(async::mainExecutor(), platform::FileDefaultsStore::standard(),
                                                        std::move(categories));
    return shared.service;
}

std::shared_ptr<LocalToolService> LocalToolService::shared() {
    auto& shared = sharedService();
    std::lock_guard lock(shared.mutex);
    if (!shared.service) {
        throw std::logic_error("The shared tool service is used before the host created it");
    }
    return shared.service;
}

}  // namespace lumenary::app
