#include "app/tools/calendar/calendar_manager.hpp"

#include "async/worker_pool.hpp"

namespace lumenary::app {

namespace {

bool grantedFullAccess(platform::EventStore& store) {
    const auto granted = store.requestFullAccess(platform::EventStoreEntity::events);
    return granted && granted.value();
}

}  // namespace

CalendarManager::CalendarManager(std::shared_ptr<platform::EventStore> store) : store_(std::move(store)) {}

asio::awaitable<bool> CalendarManager::requestAccess() {
    auto work = [store = store_] {
        switch (store->access(platform::EventStoreEntity::events)) {
            case platform::EventStoreAccess::fullAccess: return true;
            case platform::EventStoreAccess::notDetermined: return grantedFullAccess(*store);
            default: return false;
        }
    };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<bool> CalendarManager::requestFullAccess() {
    auto work = [store = store_] { return grantedFullAccess(*store); };
    co_return co_await async::runBlocking(std::move(work));
}

}  // namespace lumenary::app
