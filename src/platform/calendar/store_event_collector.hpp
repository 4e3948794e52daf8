#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/calendar/event_store.hpp"

namespace lumenary::platform {

// The occurrences one read of the store keeps, within a budget of how many
// it may hold, so that no folder can make a read take unbounded time and
// memory. It keeps every occurrence offered, or, given a count, only that
// many that start first (of two that start together, the one offered first).
// Used by one thread, for one read.
class StoreEventCollector {
public:
    StoreEventCollector(std::size_t budget, std::optional<std::size_t> earliest);

    // Whether an occurrence that starts then would be kept: false once the
    // count is held and it starts no earlier than the latest of them, and
    // once the budget is spent.
    bool wouldKeep(StoreInstant start) const;
    // How late an occurrence may start and still be kept: `end`, or the
    // start of the latest one held once the count is held.
    StoreInstant keptBefore(StoreInstant end) const;

    // How many occurrences that start first are kept, when only those are.
    std::optional<std::size_t> earliest() const { return earliest_; }

    // Keeps the occurrence if it would be kept. Holding more than the budget
    // spends it: nothing more is taken.
    void offer(StoreEvent event);
    bool isSpent() const { return spent_; }

    // What was kept: in the order offered, or by start with a count.
    std::vector<StoreEvent> take() &&;

private:
    struct Held {
        StoreEvent event;
        std::uint64_t order = 0;
    };
    bool isFull() const;

    std::size_t budget_;
    std::optional<std::size_t> earliest_;
    // With a count: a heap whose top is the latest occurrence held.
    std::vector<Held> held_;
    std::uint64_t offered_ = 0;
    bool spent_ = false;
};

}  // namespace lumenary::platform
