#include "platform/calendar/store_event_collector.hpp"

#include <algorithm>

namespace lumenary::platform {

namespace {

template <typename HeldOccurrence>
bool startsEarlier(const HeldOccurrence& left, const HeldOccurrence& right) {
    return left.event.start != right.event.start ? left.event.start < right.event.start : left.order < right.order;
}

}  // namespace

StoreEventCollector::StoreEventCollector(std::size_t budget, std::optional<std::size_t> earliest)
    : budget_(budget), earliest_(earliest) {}

bool StoreEventCollector::isFull() const {
    return earliest_ && held_.size() >= *earliest_;
}

bool StoreEventCollector::wouldKeep(StoreInstant start) const {
    if (spent_ || (earliest_ && *earliest_ == 0)) {
        return false;
    }
    return !isFull() || start < held_.front().event.start;
}

StoreInstant StoreEventCollector::keptBefore(StoreInstant end) const {
    if (earliest_ && *earliest_ > 0 && isFull()) {
        return std::min(end, held_.front().event.start);
    }
    return end;
}

void StoreEventCollector::offer(StoreEvent event) {
    if (!wouldKeep(event.start)) {
        return;
    }
    if (held_.size() >= budget_) {
        spent_ = true;
        return;
    }
    held_.push_back({.event = std::move(event), .order = offered_++});
    if (!earliest_) {
        return;
    }
    std::push_heap(held_.begin(), held_.end(), startsEarlier<Held>);
    if (held_.size() > *earliest_) {
        std::pop_heap(held_.begin(), held_.end(), startsEarlier<Held>);
        held_.pop_back();
    }
}

std::vector<StoreEvent> StoreEventCollector::take() && {
    if (earliest_) {
        std::sort_heap(held_.begin(), held_.end(), startsEarlier<Held>);
    }
    std::vector<StoreEvent> events;
    events.reserve(held_.size());
    for (Held& held : held_) {
        events.push_back(std::move(held.event));
    }
    return events;
}

}  // namespace lumenary::platform
