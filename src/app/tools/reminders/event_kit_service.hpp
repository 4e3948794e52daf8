#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio/awaitable.hpp>

#include "logging/console.hpp"
#include "platform/calendar/event_store.hpp"
#include "platform/platform_error.hpp"

namespace lumenary::app {

// The program's access to reminders, and to the access states of calendars
// and reminders that the panel shows and asks for. Every store call runs on
// the worker pool and the awaiting coroutine resumes on its own executor.
// The service keeps nothing between calls (the store is asked afresh each
// time), so concurrent calls cannot disturb each other.
//
// Refusals of its own carry the domain "EventKitService": 403 "Reminders
// access denied" and 404 for a list name that matches no list. The store's
// own errors (a failed access request, a failed save) pass on unchanged.
class EventKitService {
public:
    // Console lines (the access requests' and the status texts') go to
    // `console`, whose prefix is empty: each line carries its own.
    EventKitService(std::shared_ptr<platform::EventStore> store, logging::Console console);

    // The one store every operation goes through.
    const std::shared_ptr<platform::EventStore>& eventStore() const noexcept { return store_; }

    // Whether the program may read and write events (reminders) now; the
    // store is asked to grant access only while nothing is decided yet.
    asio::awaitable<platform::PlatformOutcome<bool>> requestCalendarAccess();
    asio::awaitable<platform::PlatformOutcome<bool>> requestRemindersAccess();

    // A display text for the access state of events (reminders), such as
    // "✅ 已授权 (authorized)", after one console line naming the state.
    asio::awaitable<std::string> calendarStatusText();
    asio::awaitable<std::string> reminderStatusText();

    // Saves a new reminder and answers its identifier. A due date becomes
    // the local due minute plus one alarm at the instant itself. A list
    // name chooses the list (see fetchReminders); absent, the default list.
    asio::awaitable<platform::PlatformOutcome<std::string>> createReminder(
        std::string title, std::optional<platform::StoreInstant> dueDate, std::int64_t priority,
        std::optional<std::string> notes, std::optional<std::string> listName);

    // Incomplete reminders due within [start, end], or, when `completed`,
    // reminders completed within it; an absent bound is open. A list name
    // chooses the first list whose title equals it ignoring case, else the
    // first whose title contains it. In the store's order, at most `limit`
    // (a negative limit gives none).
    asio::awaitable<platform::PlatformOutcome<std::vector<platform::StoreReminder>>> fetchReminders(
        std::optional<bool> completed, std::optional<std::string> listName, std::optional<platform::StoreInstant> start,
        std::optional<platform::StoreInstant> end, std::optional<std::int64_t> limit);

    // The reminder lists in the store's order.
    asio::awaitable<platform::PlatformOutcome<std::vector<platform::StoreCalendar>>> fetchReminderLists();

    // The first `limit` reminders whose title, else notes, contain `query`
    // ignoring case: every incomplete one, then those completed in the last
    // 30 days. A negative limit gives none.
    asio::awaitable<platform::PlatformOutcome<std::vector<platform::StoreReminder>>> searchReminders(
        std::string query, std::int64_t limit);

private:
    std::shared_ptr<platform::EventStore> store_;
    logging::Console console_;
};

}  // namespace lumenary::app
