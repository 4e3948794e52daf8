// Load driver: how long the calendar and reminder tools take over a vdir
// folder of realistic size. It generates 5,000 events in two calendars (a
// tenth of them weekly series in named zones, the rest single events over
// two years around today) and 5,000 reminders in two lists, then calls
// get_events (the next 7 days), search_events (the next 30 days) and
// reminders_find through the tool service, each several times, and prints
// the median and the slowest call. Every call must answer within 300 ms.
// The store's own events() over 7 days is printed too, to show what the
// files cost without the tools around them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/calendar/calendar_manager.hpp"
#include "app/tools/calendar/calendar_tool_handler.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/tools/reminders/event_kit_service.hpp"
#include "app/tools/reminders/reminders_tool_handler.hpp"
#include "platform/applications/script_runner.hpp"
#include "platform/calendar/vdir_event_store.hpp"
#include "platform/defaults/memory_defaults_store.hpp"

using namespace lumenary;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int eventCount = 5'000;
constexpr int reminderCount = 5'000;
constexpr int runs = 15;
constexpr double limitMilliseconds = 300;

const char* const zones[] = {"Europe/Berlin", "America/New_York", "Asia/Tokyo", "Australia/Sydney", "Europe/London"};
const char* const words[] = {"Team lunch", "Dentist", "Review", "Standup", "Call with Anna", "Gym", "Planning",
                             "Flight", "Dinner", "Workshop"};

std::string stamp(std::time_t seconds, const char* format) {
    std::tm fields{};
    ::gmtime_r(&seconds, &fields);
    char text[32];
    std::strftime(text, sizeof text, format, &fields);
    return text;
}

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string wrapped(const std::string& item) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//Bench//EN\r\n" + item + "END:VCALENDAR\r\n";
}

void generateEvents(const std::filesystem::path& root, std::time_t now) {
    const std::filesystem::path calendars[] = {root / "home", root / "work"};
    for (const auto& folder : calendars) {
        std::filesystem::create_directories(folder);
    }
    writeText(root / "home" / "displayname", "Home");
    writeText(root / "work" / "displayname", "Work");
    constexpr std::time_t day = 24 * 60 * 60;
    for (int index = 0; index < eventCount; ++index) {
        const std::string uid = "bench-event-" + std::to_string(index);
        std::string item = "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:" + stamp(now, "%Y%m%dT%H%M%SZ") + "\r\n";
        item += "SUMMARY:" + std::string(words[index % 10]) + " " + std::to_string(index) + "\r\n";
        if (index % 10 == 0) {
            // A weekly series that began up to a year ago, in a named zone.
            const std::time_t start = now - (index % 365) * day;
            const std::string zone = zones[(index / 10) % 5];
            item += "DTSTART;TZID=" + zone + ":" + stamp(start, "%Y%m%dT090000") + "\r\n";
            item += "DTEND;TZID=" + zone + ":" + stamp(start, "%Y%m%dT100000") + "\r\n";
            item += "RRULE:FREQ=WEEKLY\r\n";
        } else {
            // Single events over the year before and the year after today.
            const std::time_t start = now - 365 * day + (static_cast<std::time_t>(index) * 7919 % (730 * 24)) * 3600;
            item += "DTSTART:" + stamp(start, "%Y%m%dT%H%M%SZ") + "\r\n";
            item += "DTEND:" + stamp(start + 3600, "%Y%m%dT%H%M%SZ") + "\r\n";
            item += "LOCATION:Room " + std::to_string(index % 40) + "\r\n";
            item += "DESCRIPTION:Generated event number " + std::to_string(index) + "\r\n";
        }
        item += "END:VEVENT\r\n";
        writeText(calendars[index % 2] / (uid + ".ics"), wrapped(item));
    }
}

void generateReminders(const std::filesystem::path& root, std::time_t now) {
    const std::filesystem::path lists[] = {root / "errands", root / "tasks"};
    for (const auto& folder : lists) {
        std::filesystem::create_directories(folder);
    }
    constexpr std::time_t day = 24 * 60 * 60;
    for (int index = 0; index < reminderCount; ++index) {
        const std::string uid = "bench-reminder-" + std::to_string(index);
        std::string item = "BEGIN:VTODO\r\nUID:" + uid + "\r\nDTSTAMP:" + stamp(now, "%Y%m%dT%H%M%SZ") + "\r\n";
        item += "SUMMARY:" + std::string(index % 20 == 0 ? "Buy milk" : "Task") + " " + std::to_string(index) + "\r\n";
        if (index % 3 == 0) {
            item += "DESCRIPTION:Notes for task " + std::to_string(index) + "\r\n";
        }
        if (index % 2 == 0) {
            item += "DUE:" + stamp(now + (index % 90 - 30) * day, "%Y%m%dT%H%M00") + "\r\n";
        }
        if (index % 5 == 0) {
            item += "STATUS:COMPLETED\r\nCOMPLETED:" + stamp(now - (index % 60) * day, "%Y%m%dT%H%M%SZ") + "\r\n";
        } else {
            item += "STATUS:NEEDS-ACTION\r\n";
        }
        item += "PRIORITY:" + std::to_string(index % 10) + "\r\nEND:VTODO\r\n";
        writeText(lists[index % 2] / (uid + ".ics"), wrapped(item));
    }
}

struct Figures {
    double median = 0;
    double slowest = 0;
};

Figures measure(const std::function<void()>& call) {
    call();  // once to warm the caches and load the zones
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        call();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

bool report(const char* name, const Figures& figures, std::size_t answerBytes) {
    const bool within = figures.slowest <= limitMilliseconds;
    std::printf("%-44s median %7.1f ms   slowest %7.1f ms   answer %7zu bytes   %s\n", name, figures.median,
                figures.slowest, answerBytes, within ? "ok" : "OVER 300 ms");
    return within;
}

}  // namespace

int main() {
    ::unsetenv("LUMENARY_CALENDAR_DIR");
    ::unsetenv("LUMENARY_REMINDERS_DIR");
    const auto folder = std::filesystem::temp_directory_path() / ("calendar-bench-" + std::to_string(::getpid()));
    const std::time_t now = std::time(nullptr);
    generateEvents(folder / "calendars", now);
    generateReminders(folder / "reminders", now);

    platform::MemoryDefaultsStore defaults({{"calendarDirectory", (folder / "calendars").string()},
                                            {"remindersDirectory", (folder / "reminders").string()}});
    const auto store = platform::makeVdirEventStore(defaults);
    const auto scripts = std::make_shared<platform::UnavailableScriptRunner>();

    asio::io_context io;
    app::ToolCategories categories;
    categories[static_cast<std::size_t>(app::ToolCategoryKind::calendar)] =
        std::make_shared<app::CalendarToolHandler>(std::make_shared<app::CalendarManager>(store), scripts);
    categories[static_cast<std::size_t>(app::ToolCategoryKind::reminders)] = std::make_shared<app::RemindersToolHandler>(
        std::make_shared<app::EventKitService>(store, logging::Console()), scripts);
    platform::MemoryDefaultsStore serviceDefaults;
    const auto service = std::make_shared<app::LocalToolService>(io.get_executor(), serviceDefaults, categories);
    service->setCalendarEnabled(true);
    service->setRemindersEnabled(true);

    std::string answer;
    const auto callTool = [&](const std::string& name, app::PlainDictionary arguments) {
        return [&, name, arguments] {
            asio::co_spawn(io, service->callTool(name, arguments), [&](std::exception_ptr error, auto outcome) {
                if (error) {
                    answer = "thrown";
                } else {
                    answer = outcome ? outcome.value() : "Error: " + outcome.error().description();
                }
            });
            io.run();
            io.restart();
        };
    };

    std::printf("%d events in 2 calendars (a tenth weekly in named zones), %d reminders in 2 lists, %d runs each\n",
                eventCount, reminderCount, runs);
    bool within = true;
    const Figures events = measure([&] {
        const auto start = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
        const auto found = store->events(start, start + std::chrono::days(7));
        answer = std::to_string(found ? found.value().size() : 0) + " occurrences";
    });
    std::printf("%-44s median %7.1f ms   slowest %7.1f ms   (%s)\n", "store events(), next 7 days", events.median,
                events.slowest, answer.c_str());

    const Figures getEvents = measure(callTool("get_events", {{"limit", 1000}}));
    within &= report("get_events, next 7 days, limit 1000", getEvents, answer.size());
    const Figures getEventsDefault = measure(callTool("get_events", {}));
    within &= report("get_events, next 7 days, default limit", getEventsDefault, answer.size());
    const Figures searchEvents = measure(callTool("search_events", {{"searchText", "lunch"}, {"limit", 1000}}));
    within &= report("search_events \"lunch\", next 30 days", searchEvents, answer.size());
    const Figures findReminders = measure(callTool("reminders_find", {{"query", "milk"}, {"limit", 1000}}));
    within &= report("reminders_find \"milk\", 5,000 reminders", findReminders, answer.size());

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return within ? 0 : 1;
}
