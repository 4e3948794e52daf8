#include "app/http/connection_table.hpp"

namespace lumenary::http {

asio::awaitable<void> ConnectionTable::waitForSlot() {
    for (;;) {
        async::OneShot<void> slot;
        {
            std::lock_guard lock(mutex_);
            if (connections_.size() < maximumConnections_) {
                co_return;
            }
            slotWaiters_.push_back(slot);
        }
        co_await slot.wait();
    }
}

void ConnectionTable::add(std::uint64_t number, const std::shared_ptr<HTTPConnection>& connection) {
    std::lock_guard lock(mutex_);
    connections_.emplace(number, connection);
}

void ConnectionTable::remove(std::uint64_t number) {
    std::vector<async::OneShot<void>> waiters;
    {
        std::lock_guard lock(mutex_);
        connections_.erase(number);
        waiters.swap(slotWaiters_);
    }
    for (auto& waiter : waiters) {
        waiter.resume();
    }
}

void ConnectionTable::closeAll() {
    std::vector<std::shared_ptr<HTTPConnection>> open;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [number, weakConnection] : connections_) {
            if (auto connection = weakConnection.lock()) open.push_back(std::move(connection));
        }
    }
    for (const auto& connection : open) {
        connection->close();
    }
}

}  // namespace lumenary::http
