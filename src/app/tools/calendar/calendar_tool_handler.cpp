#include "app/tools/calendar/calendar_tool_handler.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <string_view>

#include "app/tools/calendar/calendar_dates.hpp"
#include "app/tools/calendar/calendar_event.hpp"
#include "app/tools/calendar/date_argument.hpp"
#include "app/tools/calendar/store_access_advice.hpp"
#include "app/tools/tool_arguments.hpp"
#include "async/worker_pool.hpp"
#include "platform/music/file_uri.hpp"
#include "platform/text/unicode_text.hpp"

namespace lumenary::app {

namespace {

using platform::EventStore;
using platform::EventStoreEntity;
using platform::StoreEvent;
using platform::StoreInstant;

constexpr std::int64_t defaultEventLimit = 10;

ToolError calendarRefusal(std::int64_t code, std::string description) {
    return ToolError("CalendarTool", code, std::move(description));
}

// The store's own error, passed on as it is.
ToolError calendarStoreFailure(const platform::PlatformError& error) {
    return ToolError(error.domain, error.code, error.description);
}

StoreInstant currentInstant() {
    return std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
}

// White space that does not break a line: the tab and the space separators.
constexpr std::array<std::string_view, 18> blankCharacters{" ",      "\t",     "\u00A0", "\u1680", "\u2000", "\u2001",
                                                           "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007",
                                                           "\u2008", "\u2009", "\u200A", "\u202F", "\u205F", "\u3000"};

bool isBlank(std::string_view text) {
    while (!text.empty()) {
        const auto blank = std::find_if(blankCharacters.begin(), blankCharacters.end(),
                                        [text](std::string_view character) { return text.starts_with(character); });
        if (blank == blankCharacters.end()) {
            return false;
        }
        text.remove_prefix(blank->size());
    }
    return true;
}

std::size_t eventCountFromLimit(std::int64_t limit) {
    return limit < 0 ? 0 : static_cast<std::size_t>(limit);
}

// Earliest first (events that start together keep the store's order), cut
// to `limit`, as JSON.
std::string eventListAnswer(std::vector<StoreEvent> events, std::int64_t limit) {
    std::stable_sort(events.begin(), events.end(),
                     [](const StoreEvent& left, const StoreEvent& right) { return left.start < right.start; });
    events.resize(std::min(events.size(), eventCountFromLimit(limit)));
    std::vector<CalendarEvent> records;
    records.reserve(events.size());
    for (const auto& event : events) {
        records.push_back(CalendarEvent::from(event));
    }
    return calendarEventsJSON(records);
}

struct DateRange {
    StoreInstant start;
    StoreInstant end;
};

// An absent date takes its default: from now, for `defaultDays` days. A date
// given that does not read refuses the call.
ToolOutcome<DateRange> requestedRange(const PlainDictionary& arguments, int defaultDays) {
    auto from = dateArgument(arguments, "fromDate", "CalendarTool");
    if (!from) {
        return from.error();
    }
    auto to = dateArgument(arguments, "toDate", "CalendarTool");
    if (!to) {
        return to.error();
    }
    const auto present = currentInstant();
    return DateRange{.start = from.value().value_or(present),
                     .end = to.value().value_or(addingCalendarDays(present, defaultDays))};
}

// The calendar titled exactly `name`, letter case and spaces included.
platform::PlatformOutcome<std::optional<std::string>> calendarTitled(EventStore& store, const std::string& name) {
    auto calendars = store.calendars(EventStoreEntity::events);
    if (!calendars) {
        return calendars.error();
    }
    for (const auto& calendar : calendars.value()) {
        if (calendar.title == name) {
            return std::optional<std::string>(calendar.identifier);
        }
    }
    return std::optional<std::string>();
}

platform::PlatformOutcome<StoreEvent> saveEvent(EventStore& store, platform::NewStoreEvent event,
                                                const std::optional<std::string>& calendarName) {
    if (calendarName) {
        auto calendar = calendarTitled(store, *calendarName);
        if (!calendar) {
            return calendar.error();
        }
        event.calendarIdentifier = std::move(calendar.value());
    }
    return store.saveEvent(event);
}

struct OpenEventAttempt {
    bool found = false;
    // The store's failure to look the event up.
    std::optional<platform::PlatformError> failure;
    // Why the event's file did not open.
    std::optional<std::string> notOpened;
};

}  // namespace

CalendarToolHandler::CalendarToolHandler(std::shared_ptr<CalendarManager> manager,
                                         std::shared_ptr<platform::UrlOpener> opener)
    : manager_(std::move(manager)), opener_(std::move(opener)) {}

asio::awaitable<ToolOutcome<std::string>> CalendarToolHandler::handle(std::string name, PlainDictionary arguments) {
    if (!co_await manager_->requestAccess()) {
        auto work = [store = manager_->store()] { return storeAccessAdvice(*store, EventStoreEntity::events); };
        auto advice = co_await async::runBlocking(std::move(work));
        co_return calendarRefusal(403, "Calendar access denied. " + advice);
    }
    if (name == "get_events") {
        co_return co_await getEvents(arguments);
    }
    if (name == "search_events") {
        co_return co_await searchEvents(arguments);
    }
    if (name == "create_event") {
        co_return co_await createEvent(arguments);
    }
    if (name == "open_event") {
        co_return co_await openEvent(arguments);
    }
    co_return calendarRefusal(404, "Unknown calendar tool: " + name);
}

asio::awaitable<ToolOutcome<std::string>> CalendarToolHandler::getEvents(const PlainDictionary& arguments) {
    const auto limit = integerArgument(arguments, "limit").value_or(defaultEventLimit);
    const auto requested = requestedRange(arguments, 7);
    if (!requested) {
        co_return requested.error();
    }
    const auto range = requested.value();
    // Only the earliest are answered, so the store holds no more than those.
    auto work = [store = manager_->store(), range, count = eventCountFromLimit(limit)] {
        return store->earliestEvents(range.start, range.end, count);
    };
    auto events = co_await async::runBlocking(std::move(work));
    if (!events) {
        co_return calendarStoreFailure(events.error());
    }
    co_return eventListAnswer(std::move(events).value(), limit);
}

asio::awaitable<ToolOutcome<std::string>> CalendarToolHandler::searchEvents(const PlainDictionary& arguments) {
    const auto searchText = textArgument(arguments, "searchText");
    if (!searchText) {
        co_return std::string("Error: Missing searchText");
    }
    const auto limit = integerArgument(arguments, "limit").value_or(defaultEventLimit);
    const auto requested = requestedRange(arguments, 30);
    if (!requested) {
        co_return requested.error();
    }
    const auto range = requested.value();
    auto work = [store = manager_->store(), range,
                 needle = platform::lowercased(*searchText)]() -> platform::PlatformOutcome<std::vector<StoreEvent>> {
        auto fetched = store->events(range.start, range.end);
        if (!fetched) {
            return fetched;
        }
        std::vector<StoreEvent> matching;
        for (auto& event : fetched.value()) {
            if (platform::lowercased(event.title).find(needle) != std::string::npos) {
                matching.push_back(std::move(event));
            }
        }
        return matching;
    };
    auto events = co_await async::runBlocking(std::move(work));
    if (!events) {
        co_return calendarStoreFailure(events.error());
    }
    co_return eventListAnswer(std::move(events).value(), limit);
}

asio::awaitable<ToolOutcome<std::string>> CalendarToolHandler::createEvent(const PlainDictionary& arguments) {
    auto title = textArgument(arguments, "title");
    if (!title || isBlank(*title)) {
        co_return calendarRefusal(400, "Title is required");
    }
    const auto startArgument = dateArgument(arguments, "startDate", "CalendarTool");
    if (!startArgument) {
        co_return startArgument.error();
    }
    const auto endArgument = dateArgument(arguments, "endDate", "CalendarTool");
    if (!endArgument) {
        co_return endArgument.error();
    }
    const auto& start = startArgument.value();
    const auto& end = endArgument.value();
    if (!start) {
        co_return calendarRefusal(400, invalidDateDescription("startDate"));
    }
    if (!end) {
        co_return calendarRefusal(400, invalidDateDescription("endDate"));
    }
    if (!(*start < *end)) {
        co_return calendarRefusal(400, "End date must be after start date");
    }
    platform::NewStoreEvent event{.title = *title,
                                  .start = *start,
                                  .end = *end,
                                  .location = textArgument(arguments, "location"),
                                  .notes = textArgument(arguments, "notes"),
                                  .isAllDay = booleanArgument(arguments, "isAllDay").value_or(false),
                                  .calendarIdentifier = std::nullopt};
    auto work = [store = manager_->store(), event = std::move(event),
                 calendarName = textArgument(arguments, "calendarName")] {
        return saveEvent(*store, event, calendarName);
    };
    auto saved = co_await async::runBlocking(std::move(work));
    if (!saved) {
        co_return calendarStoreFailure(saved.error());
    }
    co_return "✅ Event created: " + *title + " (ID: " + saved.value().identifier + ")";
}

asio::awaitable<ToolOutcome<std::string>> CalendarToolHandler::openEvent(const PlainDictionary& arguments) {
    auto eventId = textArgument(arguments, "eventId");
    if (!eventId) {
        co_return calendarRefusal(400, "Missing eventId");
    }
    auto work = [store = manager_->store(), opener = opener_, eventId = std::move(*eventId)] {
        OpenEventAttempt outcome;
        auto event = store->event(eventId);
        if (!event) {
            outcome.failure = event.error();
        } else if (event.value()) {
            outcome.found = true;
            if (event.value()->itemFile.empty()) {
                outcome.notOpened = "the calendar store keeps the event in no file of its own";
            } else if (auto failure = opener->open(platform::fileUri(event.value()->itemFile))) {
                outcome.notOpened = failure->description;
            }
        }
        return outcome;
    };
    auto attempt = co_await async::runBlocking(std::move(work));
    if (attempt.failure) {
        co_return calendarStoreFailure(*attempt.failure);
    }
    if (!attempt.found) {
        co_return std::string("❌ Event not found");
    }
    if (attempt.notOpened) {
        co_return "❌ Failed to open event: " + *attempt.notOpened;
    }
    co_return std::string("✅ Event opened in Calendar");
}

}  // namespace lumenary::app
