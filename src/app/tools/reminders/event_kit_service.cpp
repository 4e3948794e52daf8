#include "app/tools/reminders/event_kit_service.hpp"

#include <algorithm>
#include <chrono>

#include "app/tools/calendar/calendar_dates.hpp"
#include "app/tools/calendar/store_access_advice.hpp"
#include "async/worker_pool.hpp"
#include "platform/text/unicode_text.hpp"

namespace lumenary::app {

namespace {

using platform::EventStore;
using platform::EventStoreAccess;
using platform::EventStoreEntity;
using platform::PlatformError;
using platform::PlatformOutcome;
using platform::StoreCalendar;
using platform::StoreInstant;
using platform::StoreReminder;

std::string stateName(EventStoreAccess state) {
    switch (state) {
        case EventStoreAccess::notDetermined: return "notDetermined";
        case EventStoreAccess::restricted: return "restricted";
        case EventStoreAccess::denied: return "denied";
        case EventStoreAccess::fullAccess: return "fullAccess";
        case EventStoreAccess::writeOnly: return "writeOnly";
    }
    return "unknown";
}

std::string statusText(EventStoreAccess state) {
    switch (state) {
        case EventStoreAccess::notDetermined: return "⏳ 未请求 (notDetermined)";
        case EventStoreAccess::restricted: return "🚫 受限制 (restricted)";
        case EventStoreAccess::denied: return "❌ 已拒绝 (denied)";
        case EventStoreAccess::fullAccess: return "✅ 已授权 (authorized)";
        case EventStoreAccess::writeOnly: return "📝 仅写入权限 (writeOnly)";
    }
    return "❓ 未知状态 (raw: " + std::to_string(static_cast<int>(state)) + ")";
}

std::string statusTextLogged(const EventStore& store, const logging::Console& console, EventStoreEntity entity) {
    const auto state = store.access(entity);
    const char* label = entity == EventStoreEntity::events ? "Calendar" : "Reminder";
    console.print("[EventKitService] ", label, " status: ", stateName(state),
                  ", rawValue: ", std::to_string(static_cast<int>(state)));
    return statusText(state);
}

PlatformOutcome<bool> requestCalendarAccessBlocking(EventStore& store, const logging::Console& console) {
    switch (store.access(EventStoreEntity::events)) {
        case EventStoreAccess::notDetermined: {
            console.print("[EventKitService] Requesting calendar access...");
            auto granted = store.requestFullAccess(EventStoreEntity::events);
            if (!granted) {
                return granted;
            }
            console.print("[EventKitService] Calendar access result: ", granted.value() ? "true" : "false");
            return granted;
        }
        case EventStoreAccess::restricted: console.print("❌ Calendar access restricted by system"); return false;
        case EventStoreAccess::denied:
            console.print("❌ Calendar access denied by user. ", storeAccessAdvice(store, EventStoreEntity::events));
            return false;
        case EventStoreAccess::fullAccess: return true;
        default: return false;
    }
}

PlatformOutcome<bool> requestRemindersAccessBlocking(EventStore& store, const logging::Console& console) {
    switch (store.access(EventStoreEntity::reminders)) {
        case EventStoreAccess::notDetermined: return store.requestFullAccess(EventStoreEntity::reminders);
        case EventStoreAccess::restricted: console.print("❌ Reminders access restricted by system"); return false;
        case EventStoreAccess::denied:
            console.print("❌ Reminders access denied by user. ", storeAccessAdvice(store, EventStoreEntity::reminders));
            return false;
        case EventStoreAccess::fullAccess: return true;
        default: return false;
    }
}

// Nothing when full access holds, else the error that ends the operation.
std::optional<PlatformError> reminderAccessRefusal(EventStore& store, const logging::Console& console) {
    const auto granted = requestRemindersAccessBlocking(store, console);
    if (!granted) {
        return granted.error();
    }
    if (!granted.value()) {
        return PlatformError{"EventKitService", 403,
                             "Reminders access denied. " + storeAccessAdvice(store, EventStoreEntity::reminders)};
    }
    return std::nullopt;
}

// An exact title (ignoring case) wins over a title that merely contains the
// name, so "work" finds "Work" even when "Homework" comes first.
PlatformOutcome<StoreCalendar> resolveList(EventStore& store, const std::string& listName) {
    auto lists = store.calendars(EventStoreEntity::reminders);
    if (!lists) {
        return lists.error();
    }
    const auto& all = lists.value();
    auto chosen = std::find_if(all.begin(), all.end(), [&listName](const StoreCalendar& list) {
        return platform::equalsIgnoringCase(list.title, listName);
    });
    if (chosen == all.end()) {
        chosen = std::find_if(all.begin(), all.end(), [&listName](const StoreCalendar& list) {
            return platform::containsIgnoringCase(list.title, listName);
        });
    }
    if (chosen == all.end()) {
        return PlatformError{"EventKitService", 404, "Reminder list '" + listName + "' not found"};
    }
    return *chosen;
}

std::size_t reminderCountFromLimit(std::int64_t limit) {
    return limit < 0 ? 0 : static_cast<std::size_t>(limit);
}

void cutTo(std::vector<StoreReminder>& reminders, std::int64_t limit) {
    reminders.resize(std::min(reminders.size(), reminderCountFromLimit(limit)));
}

PlatformOutcome<std::string> createReminderBlocking(EventStore& store, const logging::Console& console,
                                                    platform::NewStoreReminder reminder,
                                                    std::optional<StoreInstant> dueDate,
                                                    const std::optional<std::string>& listName) {
    if (auto refusal = reminderAccessRefusal(store, console)) {
        return *refusal;
    }
    if (dueDate) {
        reminder.due = localDueDateComponents(*dueDate);
        reminder.alarm = *dueDate;
    }
    if (listName) {
        auto list = resolveList(store, *listName);
        if (!list) {
            return list.error();
        }
        reminder.listIdentifier = list.value().identifier;
    }
    auto saved = store.saveReminder(reminder);
    if (!saved) {
        return saved.error();
    }
    return saved.value().identifier;
}

PlatformOutcome<std::vector<StoreReminder>> fetchRemindersBlocking(EventStore& store, const logging::Console& console,
                                                                   platform::ReminderQuery query,
                                                                   const std::optional<std::string>& listName,
                                                                   std::optional<std::int64_t> limit) {
    if (auto refusal = reminderAccessRefusal(store, console)) {
        return *refusal;
    }
    if (listName) {
        auto list = resolveList(store, *listName);
        if (!list) {
            return list.error();
        }
        query.listIdentifiers = std::vector<std::string>{list.value().identifier};
    }
    auto reminders = store.reminders(query);
    if (reminders && limit) {
        cutTo(reminders.value(), *limit);
    }
    return reminders;
}

PlatformOutcome<std::vector<StoreCalendar>> fetchReminderListsBlocking(EventStore& store,
                                                                       const logging::Console& console) {
    if (auto refusal = reminderAccessRefusal(store, console)) {
        return *refusal;
    }
    return store.calendars(EventStoreEntity::reminders);
}

bool mentions(const std::optional<std::string>& text, const std::string& lowercasedQuery) {
    return platform::lowercased(text.value_or("")).find(lowercasedQuery) != std::string::npos;
}

PlatformOutcome<std::vector<StoreReminder>> searchRemindersBlocking(EventStore& store, const logging::Console& console,
                                                                    const std::string& query, std::int64_t limit) {
    if (auto refusal = reminderAccessRefusal(store, console)) {
        return *refusal;
    }
    platform::ReminderQuery incompleteQuery;
    incompleteQuery.completed = false;
    auto incomplete = store.reminders(incompleteQuery);
    if (!incomplete) {
        return incomplete;
    }
    const auto now = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
    platform::ReminderQuery recentlyCompleted;
    recentlyCompleted.completed = true;
    recentlyCompleted.start = addingCalendarDays(now, -30);
    auto completed = store.reminders(recentlyCompleted);
    if (!completed) {
        return completed;
    }
    const auto lowercasedQuery = platform::lowercased(query);
    std::vector<StoreReminder> matches;
    for (auto* fetched : {&incomplete.value(), &completed.value()}) {
        for (auto& reminder : *fetched) {
            if (matches.size() >= reminderCountFromLimit(limit)) {
                return matches;
            }
            if (mentions(reminder.title, lowercasedQuery) || mentions(reminder.notes, lowercasedQuery)) {
                matches.push_back(std::move(reminder));
            }
        }
    }
    return matches;
}

}  // namespace

EventKitService::EventKitService(std::shared_ptr<platform::EventStore> store, logging::Console console)
    : store_(std::move(store)), console_(std::move(console)) {}

asio::awaitable<PlatformOutcome<bool>> EventKitService::requestCalendarAccess() {
    auto work = [store = store_, console = console_] { return requestCalendarAccessBlocking(*store, console); };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<PlatformOutcome<bool>> EventKitService::requestRemindersAccess() {
    auto work = [store = store_, console = console_] { return requestRemindersAccessBlocking(*store, console); };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<std::string> EventKitService::calendarStatusText() {
    auto work = [store = store_, console = console_] {
        return statusTextLogged(*store, console, EventStoreEntity::events);
    };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<std::string> EventKitService::reminderStatusText() {
    auto work = [store = store_, console = console_] {
        return statusTextLogged(*store, console, EventStoreEntity::reminders);
    };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<PlatformOutcome<std::string>> EventKitService::createReminder(std::string title,
                                                                              std::optional<StoreInstant> dueDate,
                                                                              std::int64_t priority,
                                                                              std::optional<std::string> notes,
                                                                              std::optional<std::string> listName) {
    platform::NewStoreReminder reminder;
    reminder.title = std::move(title);
    reminder.notes = std::move(notes);
    reminder.priority = priority;
    auto work = [store = store_, console = console_, reminder = std::move(reminder), dueDate,
                 listName = std::move(listName)] {
        return createReminderBlocking(*store, console, reminder, dueDate, listName);
    };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<PlatformOutcome<std::vector<StoreReminder>>> EventKitService::fetchReminders(
    std::optional<bool> completed, std::optional<std::string> listName, std::optional<StoreInstant> start,
    std::optional<StoreInstant> end, std::optional<std::int64_t> limit) {
    platform::ReminderQuery query;
    query.completed = completed.value_or(false);
    query.start = start;
    query.end = end;
    auto work = [store = store_, console = console_, query = std::move(query), listName = std::move(listName), limit] {
        return fetchRemindersBlocking(*store, console, query, listName, limit);
    };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<PlatformOutcome<std::vector<StoreCalendar>>> EventKitService::fetchReminderLists() {
    auto work = [store = store_, console = console_] { return fetchReminderListsBlocking(*store, console); };
    co_return co_await async::runBlocking(std::move(work));
}

asio::awaitable<PlatformOutcome<std::vector<StoreReminder>>> EventKitService::searchReminders(std::string query,
                                                                                              std::int64_t limit) {
    auto work = [store = store_, console = console_, query = std::move(query), limit] {
        return searchRemindersBlocking(*store, console, query, limit);
    };
    co_return co_await async::runBlocking(std::move(work));
}

}  // namespace lumenary::app
