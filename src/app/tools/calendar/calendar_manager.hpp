#pragma once

#include <memory>

#include <asio/awaitable.hpp>

#include "platform/calendar/event_store.hpp"

namespace lumenary::app {

// The calendar tools' own access to events: it asks the store afresh on
// every call, and asks it to grant access only while nothing is decided
// yet. Store calls run on the worker pool.
class CalendarManager {
public:
    explicit CalendarManager(std::shared_ptr<platform::EventStore> store);

    const std::shared_ptr<platform::EventStore>& store() const noexcept { return store_; }

    // Whether the store may read and write events now.
    asio::awaitable<bool> requestAccess();
    // What the store's grant reports; a failed grant counts as false.
    asio::awaitable<bool> requestFullAccess();

private:
    std::shared_ptr<platform::EventStore> store_;
};

}  // namespace lumenary::app
