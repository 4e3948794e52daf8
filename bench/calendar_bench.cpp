// Load driver: how long the calendar and reminder tools take over a vdir
// folder of realistic size. It generates 5,000 events in two calendars (a
// tenth of them weekly series in named zones, the rest single events over
// two years around today) and 5,000 reminders in two lists, then calls
// get_events (the next 7 days), search_events (the next 30 days) and
// reminders_find through the tool service, each several times, and prints
// the median and the slowest call. Every call must answer within 300 ms.
// The store's own events() over 7 days is printed too, to show what the
// files cost without the tools around them.
//
// Then hostile files, each in a process of its own the same way, with its
// time and peak memory printed: 40,000 EXDATEs on a rule that repeats every
// minute; 40,000 RDATEs asked for with a limit that takes them all; 100,000
// events that repeat every second and began the day before; 100,000 events
// whose rules (of a thousand INTERVALs) can never hold; 100,000 events that
// repeat daily, monthly or hourly on 29 February when it is a Monday;
// 100,000 that do so daily from 1900 with a COUNT, asked for February 2044
// (each counted from its start); and
// rules and time zones whose parts can never hold, asked for over the years
// 1 to 9999.
// Every one must answer within 5 s.
//
// Then the worst a folder can hold within the read limit: one calendar file
// just under 16 MiB with about 116,000 daily series, and two such files,
// asked for by get_events over one month with limit 5. Each runs in a
// process of its own (this program started again with "big-files N"), so
// that its time and its peak memory are its own; they are printed, not held
// to the 300 ms of ordinary calls.
//
// Last the hostile files a calendar folder may be handed, each under the
// read limit beside one ordinary event, each in a process of its own
// ("hostile-shape N"): get_events over one month must answer within 5 s with the
// ordinary event, and the peak memory is printed beside the big files'.
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

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "app/tools/calendar/calendar_manager.hpp"
#include "app/tools/calendar/calendar_tool_handler.hpp"
#include "app/tools/local_tool_service.hpp"
#include "app/tools/reminders/event_kit_service.hpp"
#include "app/tools/reminders/reminders_tool_handler.hpp"
#include "call_times.hpp"
#include "platform/applications/application_launcher.hpp"
#include "platform/applications/url_opener.hpp"
#include "platform/calendar/vdir_event_store.hpp"
#include "platform/defaults/memory_defaults_store.hpp"

using namespace lumenary;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int eventCount = 5'000;
constexpr int reminderCount = 5'000;
constexpr int runs = 15;
constexpr double limitMilliseconds = 300;
constexpr std::size_t itemFileLimit = 16 * 1024 * 1024;

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

using Figures = bench::CallTimes;

Figures measure(const std::function<void()>& call) {
    call();  // once to warm the caches and load the zones
    return bench::timeCalls(runs, call);
}

bool report(const char* name, const Figures& figures, std::size_t answerBytes) {
    const bool within = figures.slowest <= limitMilliseconds;
    std::printf("%-44s median %7.1f ms   slowest %7.1f ms   answer %7zu bytes   %s\n", name, figures.median,
                figures.slowest, answerBytes, within ? "ok" : "OVER 300 ms");
    return within;
}


// One calendar file of daily series, as many as fit under the read limit:
// each starts on a day of the past year at its own minute of the day.
std::size_t generateBigFile(const std::filesystem::path& file, std::time_t now) {
    constexpr std::time_t day = 24 * 60 * 60;
    const std::string header = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//Bench//EN\r\n";
    const std::string footer = "END:VCALENDAR\r\n";
    std::string text = header;
    std::size_t count = 0;
    for (;; ++count) {
        const std::time_t start = now - static_cast<std::time_t>(count % 365) * day - now % day +
                                  static_cast<std::time_t>(count * 7 % 1440) * 60;
        std::string item = "BEGIN:VEVENT\r\nUID:big-" + std::to_string(count) + "\r\nSUMMARY:Daily " +
                           std::to_string(count) + "\r\nDTSTAMP:" + stamp(now, "%Y%m%dT%H%M%SZ") +
                           "\r\nDTSTART:" + stamp(start, "%Y%m%dT%H%M%SZ") +
                           "\r\nDURATION:PT30M\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n";
        if (text.size() + item.size() + footer.size() >= itemFileLimit) {
            break;
        }
        text += item;
    }
    writeText(file, text + footer);
    return count;
}

// In the child: makes `files` big files in one calendar and times one
// get_events over the next month with limit 5.
int runBigFiles(int files) {
    const auto folder = std::filesystem::temp_directory_path() / ("calendar-bench-big-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "calendars" / "big");
    const std::time_t now = std::time(nullptr);
    std::size_t series = 0;
    for (int index = 0; index < files; ++index) {
        series += generateBigFile(folder / "calendars" / "big" / ("big-" + std::to_string(index) + ".ics"), now);
    }
    platform::MemoryDefaultsStore defaults({{"calendarDirectory", (folder / "calendars").string()}});
    const auto store = platform::makeVdirEventStore(defaults);
    asio::io_context io;
    app::CalendarToolHandler handler(std::make_shared<app::CalendarManager>(store),
                                     std::make_shared<platform::XdgUrlOpener>());
    const std::string from = stamp(now, "%Y-%m-%dT%H:%M:%SZ");
    const std::string to = stamp(now + 30 * 24 * 60 * 60, "%Y-%m-%dT%H:%M:%SZ");
    std::string answer;
    const auto start = Clock::now();
    asio::co_spawn(io, handler.handle("get_events", {{"fromDate", from}, {"toDate", to}, {"limit", 5}}),
                   [&](std::exception_ptr error, auto outcome) {
                       if (error) {
                           answer = "thrown";
                       } else {
                           answer = outcome ? outcome.value() : "Error: " + outcome.error().description();
                       }
                   });
    io.run();
    const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::size_t records = 0;
    for (auto position = answer.find("\"id\""); position != std::string::npos; position = answer.find("\"id\"", position + 1)) {
        ++records;
    }
    std::printf("%d file(s) of %zu daily series (%zu in all), get_events next 30 days, limit 5: %.0f ms, %zu records%s%s\n",
                files, series / static_cast<std::size_t>(files), series, milliseconds, records,
                records == 0 ? ": " : "", records == 0 ? answer.substr(0, 200).c_str() : "");
    std::fflush(stdout);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}

struct HostileFile {
    const char* name;
    std::string (*text)();
};

std::string repeated(const std::string& text, std::size_t count) {
    std::string result;
    result.reserve(text.size() * count);
    for (std::size_t index = 0; index < count; ++index) result += text;
    return result;
}

const HostileFile hostileFiles[] = {
    {"200,000 nested calendars",
     [] { return repeated("BEGIN:VCALENDAR\r\n", 200'000) + "BEGIN:VEVENT\r\nUID:n\r\nDTSTART:20300115T090000Z\r\nEND:VEVENT\r\n" +
                 repeated("END:VCALENDAR\r\n", 200'000); }},
    {"600,000 nested events",
     [] { return wrapped(repeated("BEGIN:VEVENT\r\n", 600'000) + repeated("END:VEVENT\r\n", 600'000)); }},
    {"1,000,000 nested X components",
     [] { return wrapped(repeated("BEGIN:X\r\n", 1'000'000) + repeated("END:X\r\n", 1'000'000)); }},
    {"500,000 parameters on one folded property",
     [] { return wrapped("BEGIN:VEVENT\r\nX-A" + repeated(";A=1;A=1;A=1;A=1;A=1;A=1;A=1;A=1;A=1;A=1\r\n ", 50'000) +
                         ":v\r\nEND:VEVENT\r\n"); }},
    {"one line of 16 MB", [] { return wrapped("X-A:" + std::string(16'000'000, 'a') + "\r\n"); }},
    {"900,000 recurrence rules",
     [] { return wrapped("BEGIN:VEVENT\r\n" + repeated("RRULE:FREQ=DAILY\r\n", 900'000) + "END:VEVENT\r\n"); }},
    {"3,000,000 properties", [] { return wrapped("BEGIN:VEVENT\r\n" + repeated("X:a\r\n", 3'000'000) + "END:VEVENT\r\n"); }},
    // libical makes a property of each value of a list, each with all of
    // its line's parameters.
    {"16,000 lines of 500 categories",
     [] { return wrapped("BEGIN:VEVENT\r\n" + repeated("CATEGORIES:" + repeated("a,", 499) + "a\r\n", 16'000) +
                         "END:VEVENT\r\n"); }},
    {"15,000 such lines, 10 parameters each",
     [] { return wrapped("BEGIN:VEVENT\r\n" +
                         repeated("CATEGORIES" + repeated(";X-A=1", 10) + ":" + repeated("a,", 499) + "a\r\n", 15'000) +
                         "END:VEVENT\r\n"); }},
    {"1,990 such lines, 1 parameter each",
     [] { return wrapped("BEGIN:VEVENT\r\n" + repeated("CATEGORIES;X-A=1:" + repeated("a,", 499) + "a\r\n", 1'990) +
                         "END:VEVENT\r\n"); }},
    // Within each count, but all of them near their bounds at once: more
    // than libical may be given in all.
    {"149,000 daily series, 50,000 components more",
     [] {
         std::string events;
         for (int index = 0; index < 149'000; ++index) {
             events += "BEGIN:VEVENT\r\nUID:" + std::to_string(index) +
                       "\r\nDTSTART:20300120T090000Z\r\nRRULE:FREQ=DAILY\r\nX:a\r\nX:a\r\nEND:VEVENT\r\n";
         }
         return wrapped(events + repeated("BEGIN:X\r\nEND:X\r\n", 50'000));
     }},
};

// In the child: one hostile file beside an ordinary event, and one
// get_events over the month around it.
int runHostileShape(std::size_t index) {
    const HostileFile& hostile = hostileFiles[index];
    const auto folder = std::filesystem::temp_directory_path() / ("calendar-bench-hostile-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "calendars" / "c1");
    writeText(folder / "calendars" / "c1" / "hostile.ics", hostile.text());
    writeText(folder / "calendars" / "c1" / "ordinary.ics",
              wrapped("BEGIN:VEVENT\r\nUID:ordinary\r\nSUMMARY:Ordinary\r\nDTSTART:20300115T090000Z\r\nEND:VEVENT\r\n"));
    platform::MemoryDefaultsStore defaults({{"calendarDirectory", (folder / "calendars").string()}});
    asio::io_context io;
    app::CalendarToolHandler handler(std::make_shared<app::CalendarManager>(platform::makeVdirEventStore(defaults)),
                                     std::make_shared<platform::XdgUrlOpener>());
    std::string answer;
    const auto start = Clock::now();
    asio::co_spawn(io, handler.handle("get_events", {{"fromDate", "2030-01-01"}, {"toDate", "2030-02-01"}, {"limit", 5}}),
                   [&](std::exception_ptr error, auto outcome) {
                       answer = error ? "thrown" : outcome ? outcome.value() : "Error: " + outcome.error().description();
                   });
    io.run();
    const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool listed = answer.find("Ordinary") != std::string::npos;
    std::printf("%-36s get_events %6.0f ms   ordinary event %s%s\n", hostile.name, milliseconds,
                listed ? "listed" : "MISSING", milliseconds <= 5000 ? "" : "   OVER 5 s");
    std::fflush(stdout);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return listed && milliseconds <= 5000 ? 0 : 1;
}

std::string hostileItem(const std::string& name, std::time_t now) {
    constexpr std::time_t minute = 60;
    const std::string start = stamp(now - now % 3600 - 3600, "%Y%m%dT%H%M%SZ");
    std::string item;
    if (name == "exdates") {
        item = "BEGIN:VEVENT\r\nUID:exdates\r\nSUMMARY:Every minute\r\nDTSTART:" + start +
               "\r\nDURATION:PT1M\r\nRRULE:FREQ=MINUTELY\r\n";
        for (std::time_t index = 0; index < 40'000; ++index) {
            item += "EXDATE:" + stamp(now - now % 3600 - 3600 + index * minute, "%Y%m%dT%H%M%SZ") + "\r\n";
        }
        return wrapped(item + "END:VEVENT\r\n");
    }
    if (name == "rdates") {
        item = "BEGIN:VEVENT\r\nUID:rdates\r\nSUMMARY:Many dates\r\nDTSTART:" + start + "\r\nDURATION:PT1M\r\n";
        for (std::time_t index = 0; index < 40'000; ++index) {
            item += "RDATE:" + stamp(now + index * 15, "%Y%m%dT%H%M%SZ") + "\r\n";
        }
        return wrapped(item + "END:VEVENT\r\n");
    }
    if (name == "never") {
        for (int index = 0; index < 100'000; ++index) {
            item += "BEGIN:VEVENT\r\nUID:n" + std::to_string(index) + "\r\nSUMMARY:Never\r\nDTSTART:" + start +
                    "\r\nRRULE:FREQ=DAILY;INTERVAL=" + std::to_string(2 + index % 1000) +
                    ";BYMONTH=2;BYMONTHDAY=30\r\nEND:VEVENT\r\n";
        }
        return wrapped(item);
    }
    if (name == "rare") {
        const char* const rules[] = {"FREQ=DAILY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO",
                                     "FREQ=MONTHLY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO",
                                     "FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO"};
        for (int index = 0; index < 100'000; ++index) {
            item += "BEGIN:VEVENT\r\nUID:r" + std::to_string(index) + "\r\nSUMMARY:Rare\r\nDTSTART:" + start +
                    "\r\nRRULE:" + rules[index % 3] + "\r\nEND:VEVENT\r\n";
        }
        return wrapped(item);
    }
    if (name == "counted") {
        for (int index = 0; index < 100'000; ++index) {
            item += "BEGIN:VEVENT\r\nUID:c" + std::to_string(index) +
                    "\r\nSUMMARY:Counted\r\nDTSTART:19000101T090000Z\r\n"
                    "RRULE:FREQ=DAILY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO;COUNT=1000\r\nEND:VEVENT\r\n";
        }
        return wrapped(item);
    }
    if (name == "secondly") {
        const std::string dayBefore = stamp(now - 24 * 3600, "%Y%m%dT%H%M%SZ");
        for (int index = 0; index < 100'000; ++index) {
            item += "BEGIN:VEVENT\r\nUID:s" + std::to_string(index) + "\r\nSUMMARY:Tick\r\nDTSTART:" + dayBefore +
                    "\r\nRRULE:FREQ=SECONDLY\r\nEND:VEVENT\r\n";
        }
        return wrapped(item);
    }
    const char* const rules[] = {"FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30", "FREQ=MINUTELY;BYDAY=-53MO",
                                 "FREQ=SECONDLY;BYYEARDAY=366;BYMONTH=1", "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29;BYYEARDAY=1",
                                 "FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30", "FREQ=DAILY;RSCALE=CHINESE;SKIP=FORWARD",
                                 "FREQ=DAILY;BYDAY=-53MO"};
    const char* const observances[] = {"FREQ=MONTHLY;BYMONTHDAY=31;BYMONTH=2", "FREQ=YEARLY;BYMONTH=4;BYMONTHDAY=31",
                                       "FREQ=DAILY;RSCALE=CHINESE;SKIP=FORWARD"};
    int index = 0;
    for (const char* observance : observances) {
        const std::string tzid = "Never" + std::to_string(index++);
        item += "BEGIN:VTIMEZONE\r\nTZID:" + tzid +
                "\r\nBEGIN:STANDARD\r\nDTSTART:00010101T000000\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nRRULE:" +
                observance + "\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
        item += "BEGIN:VEVENT\r\nUID:zoned-" + tzid + "\r\nSUMMARY:Zoned\r\nDTSTART;TZID=" + tzid +
                ":20260201T100000\r\nDURATION:PT1H\r\nRRULE:FREQ=YEARLY\r\nEND:VEVENT\r\n";
    }
    for (const char* rule : rules) {
        for (const char* first : {"20260101T090000Z", "00010101T090000Z"}) {
            item += "BEGIN:VEVENT\r\nUID:never-" + std::to_string(index++) + "\r\nSUMMARY:Never\r\nDTSTART:" + first +
                    "\r\nRRULE:" + rule + "\r\nEND:VEVENT\r\n";
        }
    }
    item += "BEGIN:VEVENT\r\nUID:unknown-zone\r\nSUMMARY:Never\r\nDTSTART;TZID=Nowhere/Nothing:20260101T090000"
            "\r\nRRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30\r\nEND:VEVENT\r\n";
    return wrapped(item);
}

// In the child: writes one hostile file beside nothing else and times one
// get_events over it.
int runHostile(const std::string& name) {
    // A case that would hold its call for minutes ends here instead.
    ::alarm(60);
    const auto folder = std::filesystem::temp_directory_path() / ("calendar-bench-hostile-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "calendars" / "hostile");
    const std::time_t now = std::time(nullptr);
    const std::string text = hostileItem(name, now);
    writeText(folder / "calendars" / "hostile" / (name + ".ics"), text);
    platform::MemoryDefaultsStore defaults({{"calendarDirectory", (folder / "calendars").string()}});
    const auto store = platform::makeVdirEventStore(defaults);
    asio::io_context io;
    app::CalendarToolHandler handler(std::make_shared<app::CalendarManager>(store),
                                     std::make_shared<platform::XdgUrlOpener>());
    app::PlainDictionary arguments;
    const char* asked = "default arguments";
    if (name == "rdates") {
        arguments = {{"limit", 100'000}, {"toDate", stamp(now + 30 * 24 * 3600, "%Y-%m-%dT%H:%M:%SZ")}};
        asked = "limit 100000, next 30 days";
    } else if (name == "counted") {
        arguments = {{"fromDate", "2044-02-01"}, {"toDate", "2044-03-01"}};
        asked = "February 2044";
    } else if (name == "impossible") {
        arguments = {{"fromDate", "0001-01-01"}, {"toDate", "9999-12-31"}, {"limit", 100}};
        asked = "years 1 to 9999, limit 100";
    }
    std::string answer;
    const auto start = Clock::now();
    asio::co_spawn(io, handler.handle("get_events", arguments), [&](std::exception_ptr error, auto outcome) {
        if (error) {
            answer = "thrown";
        } else {
            answer = outcome ? outcome.value() : "Error: " + outcome.error().description();
        }
    });
    io.run();
    const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::size_t records = 0;
    for (auto position = answer.find("\"id\""); position != std::string::npos; position = answer.find("\"id\"", position + 1)) {
        ++records;
    }
    std::printf("hostile %-10s %5.1f MB file, get_events %s: %.0f ms, %zu records  %s\n", name.c_str(),
                static_cast<double>(text.size()) / 1e6, asked, milliseconds, records,
                milliseconds <= 5000 ? "ok" : "OVER 5 s");
    std::fflush(stdout);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return milliseconds <= 5000 ? 0 : 1;
}

// Runs this program again with `arguments` and prints the child's peak
// memory; whether it finished well.
bool measureInChild(const char* program, const std::vector<std::string>& arguments) {
    std::fflush(stdout);
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0) {
        std::printf("could not start the case\n");
        return false;
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const bool finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::printf("  peak memory %ld MB%s\n", usage.ru_maxrss / 1024, finished ? "" : "  (the case did not finish well)");
    return finished;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "big-files") {
        return runBigFiles(std::atoi(argv[2]));
    }
    if (argc == 3 && std::string(argv[1]) == "hostile") {
        return runHostile(argv[2]);
    }
    if (argc == 3 && std::string(argv[1]) == "hostile-shape") {
        return runHostileShape(static_cast<std::size_t>(std::atoi(argv[2])));
    }
    ::unsetenv("LUMENARY_CALENDAR_DIR");
    ::unsetenv("LUMENARY_REMINDERS_DIR");
    const auto folder = std::filesystem::temp_directory_path() / ("calendar-bench-" + std::to_string(::getpid()));
    const std::time_t now = std::time(nullptr);
    generateEvents(folder / "calendars", now);
    generateReminders(folder / "reminders", now);

    platform::MemoryDefaultsStore defaults({{"calendarDirectory", (folder / "calendars").string()},
                                            {"remindersDirectory", (folder / "reminders").string()}});
    const auto store = platform::makeVdirEventStore(defaults);

    asio::io_context io;
    app::ToolCategories categories;
    categories[static_cast<std::size_t>(app::ToolCategoryKind::calendar)] =
        std::make_shared<app::CalendarToolHandler>(std::make_shared<app::CalendarManager>(store), std::make_shared<platform::XdgUrlOpener>());
    categories[static_cast<std::size_t>(app::ToolCategoryKind::reminders)] = std::make_shared<app::RemindersToolHandler>(
        std::make_shared<app::EventKitService>(store, logging::Console()),
        std::make_shared<platform::GioApplicationLauncher>());
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

    for (const char* name : {"exdates", "rdates", "secondly", "never", "rare", "counted", "impossible"}) {
        within &= measureInChild(argv[0], {"hostile", name});
    }
    measureInChild(argv[0], {"big-files", "1"});
    measureInChild(argv[0], {"big-files", "2"});
    for (std::size_t index = 0; index < std::size(hostileFiles); ++index) {
        within &= measureInChild(argv[0], {"hostile-shape", std::to_string(index)});
    }
    return within ? 0 : 1;
}
