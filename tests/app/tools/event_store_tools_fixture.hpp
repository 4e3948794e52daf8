#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <asio/io_context.hpp>

#include "app/tools/calendar/calendar_tool_handler.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/tools/reminders/reminders_tool_handler.hpp"
#include "app/tools/tool_outcome_text.hpp"
#include "platform/defaults/memory_defaults_store.hpp"
#include "support/memory_event_store.hpp"
#include "support/recording_application_launcher.hpp"
#include "support/recording_url_opener.hpp"
#include "support/scoped_time_zone.hpp"

namespace lumenary::app::testing {

// The calendar and reminders categories behind a tool service, switched on,
// over an in-memory store, a recording URL opener and application
// launcher, in a fixed time
// zone with a daylight-saving change.
class EventStoreToolsTest : public ::testing::Test {
protected:
    EventStoreToolsTest() {
        ToolCategories categories;
        categories[static_cast<std::size_t>(ToolCategoryKind::calendar)] = calendar;
        categories[static_cast<std::size_t>(ToolCategoryKind::reminders)] = reminders;
        service = std::make_shared<LocalToolService>(io.get_executor(), defaults, categories);
        service->setCalendarEnabled(true);
        service->setRemindersEnabled(true);
    }

    // The tool's text, or "<domain> <code> <description>" of its error.
    std::string call(std::string name, PlainDictionary arguments = {}) {
        return toolOutcomeText(io, service->callTool(std::move(name), std::move(arguments)));
    }
    // Straight to a category, with a name the tool service would not pass.
    std::string callCategory(ToolCategory& category, std::string name, PlainDictionary arguments = {}) {
        return toolOutcomeText(io, category.handle(std::move(name), std::move(arguments)));
    }

    std::vector<std::string> consoleLines() const {
        std::lock_guard lock(consoleMutex_);
        return consoleLines_;
    }

    lumenary::testing::ScopedTimeZone zone_{"Europe/Berlin"};
    mutable std::mutex consoleMutex_;
    std::vector<std::string> consoleLines_;

    asio::io_context io;
    platform::MemoryDefaultsStore defaults;
    std::shared_ptr<lumenary::testing::MemoryEventStore> store =
        std::make_shared<lumenary::testing::MemoryEventStore>();
    std::shared_ptr<lumenary::testing::RecordingUrlOpener> opener =
        std::make_shared<lumenary::testing::RecordingUrlOpener>();
    std::shared_ptr<lumenary::testing::RecordingApplicationLauncher> launcher =
        std::make_shared<lumenary::testing::RecordingApplicationLauncher>();
    logging::Console console{"", [this](std::string line) {
                                 std::lock_guard lock(consoleMutex_);
                                 consoleLines_.push_back(std::move(line));
                             }};
    std::shared_ptr<EventKitService> eventKit = std::make_shared<EventKitService>(store, console);
    std::shared_ptr<CalendarToolHandler> calendar =
        std::make_shared<CalendarToolHandler>(std::make_shared<CalendarManager>(store), opener);
    std::shared_ptr<RemindersToolHandler> reminders = std::make_shared<RemindersToolHandler>(eventKit, launcher);
    std::shared_ptr<LocalToolService> service;
};

// A local wall-clock time in the fixture's zone.
inline platform::StoreInstant localTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm wallClock{};
    wallClock.tm_year = year - 1900;
    wallClock.tm_mon = month - 1;
    wallClock.tm_mday = day;
    wallClock.tm_hour = hour;
    wallClock.tm_min = minute;
    wallClock.tm_sec = second;
    wallClock.tm_isdst = -1;
    return platform::StoreInstant{std::chrono::seconds(std::mktime(&wallClock))};
}

inline platform::StoreInstant utcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    const std::chrono::sys_days date{std::chrono::year(year) / month / day};
    return platform::StoreInstant{date.time_since_epoch()} + std::chrono::hours(hour) + std::chrono::minutes(minute) +
           std::chrono::seconds(second);
}

inline platform::StoreInstant secondsNow() {
    return std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
}

}  // namespace lumenary::app::testing
