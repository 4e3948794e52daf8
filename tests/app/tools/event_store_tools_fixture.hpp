#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/calendar/calendar_tool_handler.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/tools/reminders/reminders_tool_handler.hpp"
#include "platform/memory_defaults_store.hpp"
#include "support/memory_event_store.hpp"
#include "support/recording_script_runner.hpp"

namespace lumenary::app::testing {

// The calendar and reminders categories behind a tool service, switched on,
// over an in-memory store and a recording script runner, in a fixed time
// zone with a daylight-saving change.
class EventStoreToolsTest : public ::testing::Test {
protected:
    EventStoreToolsTest() {
        if (const char* zone = std::getenv("TZ")) {
            previousZone_ = zone;
        }
        ::setenv("TZ", "Europe/Berlin", 1);
        ::tzset();
        ToolCategories categories;
        categories[static_cast<std::size_t>(ToolCategoryKind::calendar)] = calendar;
        categories[static_cast<std::size_t>(ToolCategoryKind::reminders)] = reminders;
        service = std::make_shared<LocalToolService>(io.get_executor(), defaults, categories);
        service->setCalendarEnabled(true);
        service->setRemindersEnabled(true);
    }
    ~EventStoreToolsTest() override {
        if (previousZone_) {
            ::setenv("TZ", previousZone_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

    // The tool's text, or "<domain> <code> <description>" of its error.
    std::string call(std::string name, PlainDictionary arguments = {}) {
        return outcomeText([&] { return service->callTool(std::move(name), std::move(arguments)); });
    }
    // Straight to a category, with a name the tool service would not pass.
    std::string callCategory(ToolCategory& category, std::string name, PlainDictionary arguments = {}) {
        return outcomeText([&] { return category.handle(std::move(name), std::move(arguments)); });
    }

    std::vector<std::string> consoleLines() const {
        std::lock_guard lock(consoleMutex_);
        return consoleLines_;
    }

    template <typename Start>
    std::string outcomeText(Start start) {
        std::string outcome;
        asio::co_spawn(io, start(), [&outcome](std::exception_ptr error, ToolOutcome<std::string> result) {
            if (error) {
                outcome = "thrown";
            } else if (result) {
                outcome = std::move(result).value();
            } else {
                const auto& toolError = result.error();
                outcome = toolError.domain() + " " + std::to_string(toolError.code()) + " " + toolError.description();
            }
        });
        io.run();
        io.restart();
        return outcome;
    }

    std::optional<std::string> previousZone_;
    mutable std::mutex consoleMutex_;
    std::vector<std::string> consoleLines_;

    asio::io_context io;
    platform::MemoryDefaultsStore defaults;
    std::shared_ptr<lumenary::testing::MemoryEventStore> store =
        std::make_shared<lumenary::testing::MemoryEventStore>();
    std::shared_ptr<lumenary::testing::RecordingScriptRunner> scripts =
        std::make_shared<lumenary::testing::RecordingScriptRunner>();
    logging::Console console{"", [this](std::string line) {
                                 std::lock_guard lock(consoleMutex_);
                                 consoleLines_.push_back(std::move(line));
                             }};
    std::shared_ptr<EventKitService> eventKit = std::make_shared<EventKitService>(store, console);
    std::shared_ptr<CalendarToolHandler> calendar =
        std::make_shared<CalendarToolHandler>(std::make_shared<CalendarManager>(store), scripts);
    std::shared_ptr<RemindersToolHandler> reminders = std::make_shared<RemindersToolHandler>(eventKit, scripts);
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
