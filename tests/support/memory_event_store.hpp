#pragma once

#include <algorithm>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/calendar/event_store.hpp"

namespace lumenary::testing {

// An EventStore in memory for tests: settable access states, calendars and
// reminder lists, events and reminders, and failures on demand. It keeps
// what it was asked to save and the reminder queries it answered. Safe to
// call from the worker pool while a test reads it after a call has ended.
class MemoryEventStore final : public platform::EventStore {
public:
    using Entity = platform::EventStoreEntity;

    // Both entities start with full access.
    MemoryEventStore() {
        access_[Entity::events] = platform::EventStoreAccess::fullAccess;
        access_[Entity::reminders] = platform::EventStoreAccess::fullAccess;
    }

    // --- set up by the test

    void setAccess(Entity entity, platform::EventStoreAccess state) {
        std::lock_guard lock(mutex_);
        access_[entity] = state;
    }
    // What a request while not determined comes to: granted or denied, or
    // this error.
    void setRequestAnswer(bool granted, std::optional<platform::PlatformError> error = std::nullopt) {
        std::lock_guard lock(mutex_);
        grantOnRequest_ = granted;
        requestError_ = std::move(error);
    }
    void addCalendar(Entity entity, std::string identifier, std::string title) {
        std::lock_guard lock(mutex_);
        calendars_[entity].push_back({std::move(identifier), std::move(title)});
    }
    void addEvent(platform::StoreEvent event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    void addReminder(platform::StoreReminder reminder) {
        std::lock_guard lock(mutex_);
        reminders_.push_back(std::move(reminder));
    }
    // Every later save fails with this error.
    void failSaves(platform::PlatformError error) {
        std::lock_guard lock(mutex_);
        saveError_ = std::move(error);
    }
    // Every later read of calendars, events or reminders fails with it.
    void failReads(platform::PlatformError error) {
        std::lock_guard lock(mutex_);
        readError_ = std::move(error);
    }

    // --- read by the test

    int requestCount(Entity entity) const {
        std::lock_guard lock(mutex_);
        const auto found = requests_.find(entity);
        return found == requests_.end() ? 0 : found->second;
    }
    std::vector<platform::NewStoreEvent> savedEvents() const {
        std::lock_guard lock(mutex_);
        return savedEvents_;
    }
    std::vector<platform::NewStoreReminder> savedReminders() const {
        std::lock_guard lock(mutex_);
        return savedReminders_;
    }
    std::vector<platform::ReminderQuery> reminderQueries() const {
        std::lock_guard lock(mutex_);
        return reminderQueries_;
    }

    // --- the store

    platform::EventStoreAccess access(Entity entity) const override {
        std::lock_guard lock(mutex_);
        return access_.at(entity);
    }
    std::string locationDescription(Entity entity) const override {
        return entity == Entity::events ? "/memory/calendars" : "/memory/reminders";
    }
    platform::PlatformOutcome<bool> requestFullAccess(Entity entity) override {
        std::lock_guard lock(mutex_);
        ++requests_[entity];
        if (requestError_) {
            return *requestError_;
        }
        access_[entity] = grantOnRequest_ ? platform::EventStoreAccess::fullAccess : platform::EventStoreAccess::denied;
        return grantOnRequest_;
    }
    platform::PlatformOutcome<std::vector<platform::StoreCalendar>> calendars(Entity entity) override {
        std::lock_guard lock(mutex_);
        if (readError_) {
            return *readError_;
        }
        return calendars_[entity];
    }
    platform::PlatformOutcome<std::vector<platform::StoreEvent>> events(platform::StoreInstant start,
                                                                        platform::StoreInstant end) override {
        std::lock_guard lock(mutex_);
        if (readError_) {
            return *readError_;
        }
        std::vector<platform::StoreEvent> overlapping;
        for (const auto& event : events_) {
            const bool instantInside = event.start == event.end && event.start >= start && event.start < end;
            if ((event.start < end && event.end > start) || instantInside) {
                overlapping.push_back(event);
            }
        }
        return overlapping;
    }
    platform::PlatformOutcome<std::vector<platform::StoreEvent>> earliestEvents(platform::StoreInstant start,
                                                                                platform::StoreInstant end,
                                                                                std::size_t count) override {
        auto overlapping = events(start, end);
        if (!overlapping) {
            return overlapping;
        }
        auto& found = overlapping.value();
        std::stable_sort(found.begin(), found.end(), [](const platform::StoreEvent& left, const platform::StoreEvent& right) {
            return left.start < right.start;
        });
        found.resize(std::min(found.size(), count));
        return overlapping;
    }
    platform::PlatformOutcome<std::optional<platform::StoreEvent>> event(const std::string& identifier) override {
        std::lock_guard lock(mutex_);
        if (readError_) {
            return *readError_;
        }
        for (const auto& event : events_) {
            if (event.identifier == identifier) {
                return std::optional(event);
            }
        }
        return std::optional<platform::StoreEvent>();
    }
    platform::PlatformOutcome<platform::StoreEvent> saveEvent(const platform::NewStoreEvent& event) override {
        std::lock_guard lock(mutex_);
        if (saveError_) {
            return *saveError_;
        }
        savedEvents_.push_back(event);
        platform::StoreEvent saved{.identifier = "EVENT-" + std::to_string(savedEvents_.size()),
                                   .title = event.title,
                                   .location = event.location,
                                   .notes = event.notes,
                                   .url = std::nullopt,
                                   .start = event.start,
                                   .end = event.end,
                                   .isAllDay = event.isAllDay,
                                   .calendar = chosenCalendar(Entity::events, event.calendarIdentifier)};
        events_.push_back(saved);
        return saved;
    }
    platform::PlatformOutcome<std::vector<platform::StoreReminder>> reminders(
        const platform::ReminderQuery& query) override {
        std::lock_guard lock(mutex_);
        reminderQueries_.push_back(query);
        if (readError_) {
            return *readError_;
        }
        std::vector<platform::StoreReminder> selected;
        for (const auto& reminder : reminders_) {
            if (selects(query, reminder)) {
                selected.push_back(reminder);
            }
        }
        return selected;
    }
    platform::PlatformOutcome<platform::StoreReminder> saveReminder(
        const platform::NewStoreReminder& reminder) override {
        std::lock_guard lock(mutex_);
        if (saveError_) {
            return *saveError_;
        }
        savedReminders_.push_back(reminder);
        platform::StoreReminder saved{.identifier = "REMINDER-" + std::to_string(savedReminders_.size()),
                                      .title = reminder.title,
                                      .notes = reminder.notes,
                                      .isCompleted = false,
                                      .completionDate = std::nullopt,
                                      .due = reminder.due,
                                      .priority = reminder.priority,
                                      .list = chosenCalendar(Entity::reminders, reminder.listIdentifier)};
        reminders_.push_back(saved);
        return saved;
    }

private:
    // The named calendar, else the first, else a made-up default.
    platform::StoreCalendar chosenCalendar(Entity entity, const std::optional<std::string>& identifier) {
        const auto& calendars = calendars_[entity];
        for (const auto& calendar : calendars) {
            if (identifier && calendar.identifier == *identifier) {
                return calendar;
            }
        }
        if (!calendars.empty()) {
            return calendars.front();
        }
        return {"default", entity == Entity::events ? "Calendar" : "Reminders"};
    }

    static std::optional<platform::StoreInstant> dueInstant(const platform::StoreReminder& reminder) {
        if (!reminder.due) {
            return std::nullopt;
        }
        std::tm wallClock{};
        wallClock.tm_year = reminder.due->year - 1900;
        wallClock.tm_mon = reminder.due->month - 1;
        wallClock.tm_mday = reminder.due->day;
        wallClock.tm_hour = reminder.due->hour;
        wallClock.tm_min = reminder.due->minute;
        wallClock.tm_isdst = -1;
        return platform::StoreInstant{std::chrono::seconds(std::mktime(&wallClock))};
    }

    // Incomplete reminders by due date, completed ones by completion date;
    // a reminder without that date passes only when both bounds are open.
    static bool selects(const platform::ReminderQuery& query, const platform::StoreReminder& reminder) {
        if (reminder.isCompleted != query.completed) {
            return false;
        }
        if (query.listIdentifiers) {
            bool listed = false;
            for (const auto& identifier : *query.listIdentifiers) {
                listed = listed || (reminder.list && reminder.list->identifier == identifier);
            }
            if (!listed) {
                return false;
            }
        }
        if (!query.start && !query.end) {
            return true;
        }
        const auto date = query.completed ? reminder.completionDate : dueInstant(reminder);
        return date && (!query.start || *date >= *query.start) && (!query.end || *date <= *query.end);
    }

    mutable std::mutex mutex_;
    std::map<Entity, platform::EventStoreAccess> access_;
    std::map<Entity, int> requests_;
    bool grantOnRequest_ = true;
    std::optional<platform::PlatformError> requestError_;
    std::optional<platform::PlatformError> saveError_;
    std::optional<platform::PlatformError> readError_;
    std::map<Entity, std::vector<platform::StoreCalendar>> calendars_;
    std::vector<platform::StoreEvent> events_;
    std::vector<platform::StoreReminder> reminders_;
    std::vector<platform::NewStoreEvent> savedEvents_;
    std::vector<platform::NewStoreReminder> savedReminders_;
    std::vector<platform::ReminderQuery> reminderQueries_;
};

}  // namespace lumenary::testing
