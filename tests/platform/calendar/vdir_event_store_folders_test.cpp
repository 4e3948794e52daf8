#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "platform/defaults/memory_defaults_store.hpp"
#include "vdir_fixture.hpp"

namespace lumenary::platform {
namespace {

using testing::calendarText;
using testing::filesIn;
using testing::ScopedTimeZone;
using testing::utc;
using testing::VdirFixture;
using testing::writeFile;

std::string event(const std::string& uid, const std::string& summary) {
    return calendarText({"BEGIN:VEVENT", "UID:" + uid, "SUMMARY:" + summary, "DTSTART:20240110T090000Z",
                         "DURATION:PT1H", "END:VEVENT"});
}

std::string repeated(const std::string& text, int count) {
    std::string result;
    for (int index = 0; index < count; ++index) result += text;
    return result;
}

// An event inside `depth` levels of the given component, CRLF-separated.
std::string nestedText(const std::string& begin, const std::string& end, int depth) {
    return repeated(begin, depth) + "BEGIN:VEVENT\r\nUID:deep\r\nSUMMARY:Deep\r\nDTSTART:20240110T090000Z\r\nEND:VEVENT\r\n" +
           repeated(end, depth);
}

std::vector<std::string> calendarTexts(const std::vector<StoreCalendar>& calendars) {
    std::vector<std::string> texts;
    for (const StoreCalendar& calendar : calendars) {
        texts.push_back(calendar.title + " [" + calendar.identifier + "]");
    }
    return texts;
}

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            old_ = old;
        }
        set(value);
    }
    ~ScopedEnvironment() { set(old_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    std::string name_;
    std::optional<std::string> old_;
};

TEST(VdirEventStoreFolders, ListsCollectionsByTitleThenFolderName) {
    VdirFixture fixture;
    const auto& root = fixture.calendars();
    writeFile(root / "zeta" / "displayname", "  alpha\n");
    std::filesystem::create_directories(root / "beta");
    writeFile(root / "b2" / "displayname", "Beta");
    writeFile(root / "b1" / "displayname", "Beta");
    writeFile(root / "odd" / "displayname", "Caf\xE9");
    writeFile(root / "blank" / "displayname", "\n");
    std::filesystem::create_directories(root / ".hidden");
    writeFile(root / "stray.ics", event("s", "Stray"));
    std::filesystem::create_directories(fixture.root() / "elsewhere");
    std::filesystem::create_directory_symlink(fixture.root() / "elsewhere", root / "linked");

    const auto calendars = fixture.store().calendars(EventStoreEntity::events);
    ASSERT_TRUE(calendars) << calendars.error().description;
    EXPECT_EQ(calendarTexts(calendars.value()),
              (std::vector<std::string>{"alpha [zeta]", "Beta [b1]", "Beta [b2]", "beta [beta]", "blank [blank]",
                                        "Caf\xEF\xBF\xBD [odd]", "linked [linked]"}));
    const auto lists = fixture.store().calendars(EventStoreEntity::reminders);
    ASSERT_TRUE(lists);
    EXPECT_EQ(calendarTexts(lists.value()), calendarTexts(calendars.value()));
}

TEST(VdirEventStoreFolders, ListsEventsInTheStoresOrderOfCalendarsThenFiles) {
    const ScopedTimeZone zone("UTC");
    VdirFixture fixture;
    fixture.writeItem("b-work", "2.ics", event("w2", "Work two"));
    fixture.writeItem("b-work", "1.ics", event("w1", "Work one"));
    writeFile(fixture.calendars() / "b-work" / "displayname", "A work");
    fixture.writeItem("a-home", "1.ics", event("h1", "Home"));
    writeFile(fixture.calendars() / "a-home" / "displayname", "B home");
    std::filesystem::create_directories(fixture.root() / "shared");
    writeFile(fixture.root() / "shared" / "x.ics", event("l1", "Linked"));
    std::filesystem::create_directory_symlink(fixture.root() / "shared", fixture.calendars() / "c-linked");

    const auto events = fixture.store().events(utc("2024-01-01T00:00:00Z"), utc("2024-02-01T00:00:00Z"));
    ASSERT_TRUE(events);
    std::vector<std::string> seen;
    for (const StoreEvent& item : events.value()) {
        seen.push_back(item.title + " in " + item.calendar.title);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"Work one in A work", "Work two in A work", "Home in B home",
                                              "Linked in c-linked"}));
}

TEST(VdirEventStoreFolders, PutsNewItemsInTheChosenTheDefaultOrTheFirstCollection) {
    struct Case {
        std::string name;
        std::vector<std::string> folders;
        std::optional<std::string> defaultTitle;
        std::optional<std::string> identifier;
        std::string expectedFolder;
    };
    const std::vector<Case> cases = {
        {"no collections: a new one", {}, std::nullopt, std::nullopt, "*"},
        {"the first in the store's order", {"b", "a"}, std::nullopt, std::nullopt, "a"},
        {"the one the defaults key titles", {"a", "b"}, "b", std::nullopt, "b"},
        {"a defaults title that matches nothing: the first", {"a", "b"}, "zz", std::nullopt, "a"},
        {"the one the caller names", {"a", "b"}, "a", "b", "b"},
    };
    for (const bool forEvents : {true, false}) {
        for (const Case& c : cases) {
            VdirEventStoreSettings settings;
            (forEvents ? settings.defaultCalendarTitle : settings.defaultReminderListTitle) = c.defaultTitle;
            VdirFixture fixture(settings);
            for (const std::string& folder : c.folders) {
                std::filesystem::create_directories(fixture.calendars() / folder);
            }
            std::string saved;
            if (forEvents) {
                NewStoreEvent item;
                item.title = "New";
                item.start = item.end = utc("2024-01-10T09:00:00Z");
                item.calendarIdentifier = c.identifier;
                const auto result = fixture.store().saveEvent(item);
                ASSERT_TRUE(result) << c.name << ": " << result.error().description;
                saved = result.value().calendar.identifier;
            } else {
                NewStoreReminder item;
                item.title = "New";
                item.listIdentifier = c.identifier;
                const auto result = fixture.store().saveReminder(item);
                ASSERT_TRUE(result) << c.name << ": " << result.error().description;
                saved = result.value().list->identifier;
            }
            const std::string expected = c.expectedFolder == "*" ? (forEvents ? "Calendar" : "Reminders") : c.expectedFolder;
            EXPECT_EQ(saved, expected) << c.name;
            EXPECT_EQ(filesIn(fixture.calendars() / expected).size(), 1u) << c.name;
        }
    }
}

TEST(VdirEventStoreFolders, RefusesACollectionThatIsNotListedAndWritesNothing) {
    for (const std::string identifier : {"missing", "../outside", "a/../../outside", ".hidden"}) {
        VdirFixture fixture;
        std::filesystem::create_directories(fixture.calendars() / "a");
        std::filesystem::create_directories(fixture.calendars() / ".hidden");
        NewStoreEvent item;
        item.title = "New";
        item.start = item.end = utc("2024-01-10T09:00:00Z");
        item.calendarIdentifier = identifier;
        const auto result = fixture.store().saveEvent(item);
        ASSERT_FALSE(result) << identifier;
        EXPECT_EQ(result.error().domain, "EventStore");
        EXPECT_EQ(result.error().code, 404);
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(fixture.root())) {
            files += entry.is_regular_file() ? 1 : 0;
        }
        EXPECT_EQ(files, 0u) << identifier;
    }
}

TEST(VdirEventStoreFolders, AccessFollowsTheFolder) {
    struct Case {
        std::string name;
        std::function<void(VdirFixture&)> given;
        EventStoreAccess before;
        bool granted;
        EventStoreAccess after;
    };
    const std::vector<Case> cases = {
        {"absent: not determined, and a request makes it", [](VdirFixture&) {}, EventStoreAccess::notDetermined, true,
         EventStoreAccess::fullAccess},
        {"a folder that may be read and written", [](VdirFixture& f) { std::filesystem::create_directories(f.calendars()); },
         EventStoreAccess::fullAccess, true, EventStoreAccess::fullAccess},
        {"a folder the permissions refuse",
         [](VdirFixture& f) {
             std::filesystem::create_directories(f.calendars());
             f.refuseAccess();
         },
         EventStoreAccess::denied, false, EventStoreAccess::denied},
        {"a file where the folder should be", [](VdirFixture& f) { writeFile(f.calendars(), "not a folder"); },
         EventStoreAccess::denied, false, EventStoreAccess::denied},
    };
    for (const Case& c : cases) {
        VdirFixture fixture;
        c.given(fixture);
        EXPECT_EQ(fixture.store().access(EventStoreEntity::events), c.before) << c.name;
        const auto requested = fixture.store().requestFullAccess(EventStoreEntity::events);
        ASSERT_TRUE(requested) << c.name << ": " << requested.error().description;
        EXPECT_EQ(requested.value(), c.granted) << c.name;
        EXPECT_EQ(fixture.store().access(EventStoreEntity::events), c.after) << c.name;
        EXPECT_EQ(fixture.store().locationDescription(EventStoreEntity::events), fixture.calendars().string());
    }

    VdirFixture fixture;
    ASSERT_TRUE(fixture.store().requestFullAccess(EventStoreEntity::events));
    struct stat status {};
    ASSERT_EQ(::stat(fixture.calendars().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST(VdirEventStoreFolders, ACalendarFolderThatIsAFileIsAnErrorThatSaysWhatToSet) {
    VdirFixture fixture;
    writeFile(fixture.calendars(), "not a folder");
    const auto events = fixture.store().events(utc("2024-01-01T00:00:00Z"), utc("2024-02-01T00:00:00Z"));
    ASSERT_FALSE(events);
    EXPECT_EQ(events.error().domain, "EventStore");
    EXPECT_NE(events.error().description.find(fixture.calendars().string()), std::string::npos);
    EXPECT_NE(events.error().description.find("LUMENARY_CALENDAR_DIR"), std::string::npos);
    EXPECT_FALSE(fixture.store().calendars(EventStoreEntity::reminders));
    EXPECT_FALSE(fixture.store().reminders({}));
}

TEST(VdirEventStoreFolders, SkipsFilesItCannotReadWithOneLineEachAndListsTheRest) {
    struct Case {
        std::string file;
        std::string bytes;
        std::string why;
    };
    const std::vector<Case> cases = {
        {"garbage.ics", "this is not a calendar\n", "not a complete iCalendar object"},
        {"half.ics", "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:h\r\nDTSTART:2024011", "not a complete iCalendar object"},
        {"huge.ics", "BEGIN:VCALENDAR\r\n" + std::string(16 * 1024 * 1024, 'x'), "larger than 16 MiB"},
        {"free-text-date.ics",
         calendarText({"BEGIN:VEVENT", "UID:t", "SUMMARY:Bad", "DTSTART:next monday", "END:VEVENT"}),
         "has no readable start"},
        {"fractional-seconds.ics",
         calendarText({"BEGIN:VEVENT", "UID:f", "SUMMARY:Bad", "DTSTART:20240115T090000.5Z", "END:VEVENT"}),
         "has no readable start"},
        {"impossible-date.ics",
         calendarText({"BEGIN:VEVENT", "UID:i", "SUMMARY:Bad", "DTSTART:20240230T090000Z", "END:VEVENT"}),
         "has no readable start"},
        {"nested-calendars.ics", nestedText("BEGIN:VCALENDAR\r\n", "END:VCALENDAR\r\n", 300), "nest too deep"},
        {"nested-events.ics", calendarText({nestedText("BEGIN:VEVENT\r\nUID:n\r\nDTSTART:20240110T090000Z\r\n",
                                                       "END:VEVENT\r\n", 300)}),
         "nest too deep"},
        {"many-parameters.ics",
         calendarText({"BEGIN:VEVENT", "UID:p", "DTSTART:20240110T090000Z", "X-P" + repeated(";A=1", 100) + ":v",
                       "END:VEVENT"}),
         "too many parameters"},
    };
    const ScopedTimeZone zone("UTC");
    VdirFixture fixture;
    for (const Case& c : cases) {
        fixture.writeItem("Home", c.file, c.bytes);
    }
    fixture.writeItem("Home", "good.ics",
                      calendarText({"BEGIN:VEVENT", "UID:g", "SUMMARY:Caf\xE9 \xF0\x9F", "DESCRIPTION:bad \xC0\xAF bytes",
                                    "DTSTART:20240110T090000Z", "END:VEVENT"}));
    std::filesystem::create_directories(fixture.calendars() / "Home" / "folder.ics");

    const auto events = fixture.store().events(utc("2024-01-01T00:00:00Z"), utc("2024-02-01T00:00:00Z"));
    ASSERT_TRUE(events);
    ASSERT_EQ(events.value().size(), 1u);
    EXPECT_EQ(events.value()[0].title, "Caf\xEF\xBF\xBD \xEF\xBF\xBD");
    EXPECT_EQ(events.value()[0].notes, "bad \xEF\xBF\xBD\xEF\xBF\xBD bytes");

    const auto lines = fixture.skipLines();
    for (const Case& c : cases) {
        const auto named = std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find((fixture.calendars() / "Home" / c.file).string()) != std::string::npos &&
                   line.find(c.why) != std::string::npos;
        });
        EXPECT_EQ(named, 1) << c.file;
    }
    EXPECT_EQ(lines.size(), cases.size() + 1) << "one more for the folder named like an item";
}

TEST(VdirEventStoreFolders, ADisplayNameThatIsNoRegularFileLeavesTheFolderNameAndIsNotWaitedFor) {
    const ScopedTimeZone zone("UTC");
    VdirFixture fixture;
    fixture.writeItem("piped", "1.ics", event("p", "Piped"));
    ASSERT_EQ(::mkfifo((fixture.calendars() / "piped" / "displayname").c_str(), 0600), 0);
    fixture.writeItem("named", "1.ics", event("n", "Named"));
    std::filesystem::create_directories(fixture.calendars() / "named" / "displayname");

    const auto events = testing::answeredWithin(std::chrono::seconds(5), [&] {
        return fixture.store().events(utc("2024-01-01T00:00:00Z"), utc("2024-02-01T00:00:00Z"));
    });
    ASSERT_TRUE(events);
    std::vector<std::string> seen;
    for (const StoreEvent& item : events.value()) {
        seen.push_back(item.title + " in " + item.calendar.title);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"Named in named", "Piped in piped"}));
}

TEST(VdirEventStoreFolders, TheFactoryTakesTheEnvironmentThenTheDefaultsThenTheDataFolder) {
    struct Case {
        std::string name;
        std::optional<std::string> calendarVariable;
        std::optional<std::string> reminderVariable;
        mcp::Value::Object defaults;
        std::string expectedCalendars;
        std::string expectedReminders;
    };
    const std::vector<Case> cases = {
        {"nothing set", std::nullopt, std::nullopt, {}, "/data/calendars", "/data/calendars"},
        {"defaults keys", std::nullopt, std::nullopt,
         {{"calendarDirectory", "/keys/cal"}, {"remindersDirectory", "/keys/todo"}}, "/keys/cal", "/keys/todo"},
        {"variables over keys", "/env/cal", "/env/todo",
         {{"calendarDirectory", "/keys/cal"}, {"remindersDirectory", "/keys/todo"}}, "/env/cal", "/env/todo"},
        {"reminders follow the calendar folder", "/env/cal", std::nullopt, {}, "/env/cal", "/env/cal"},
        {"empty values count as unset", "", "", {{"calendarDirectory", ""}}, "/data/calendars", "/data/calendars"},
    };
    const ScopedEnvironment data("XDG_DATA_HOME", "/data");
    for (const Case& c : cases) {
        const ScopedEnvironment calendars("LUMENARY_CALENDAR_DIR", c.calendarVariable);
        const ScopedEnvironment reminders("LUMENARY_REMINDERS_DIR", c.reminderVariable);
        const MemoryDefaultsStore defaults(c.defaults);
        const auto store = makeVdirEventStore(defaults);
        EXPECT_EQ(store->locationDescription(EventStoreEntity::events), c.expectedCalendars) << c.name;
        EXPECT_EQ(store->locationDescription(EventStoreEntity::reminders), c.expectedReminders) << c.name;
    }
}

TEST(VdirEventStoreFolders, TheFactoryTakesTheDefaultCollectionsFromTheDefaults) {
    lumenary::testing::TemporaryDirectory directory;
    const ScopedEnvironment calendars("LUMENARY_CALENDAR_DIR", directory.path().string());
    const ScopedEnvironment reminders("LUMENARY_REMINDERS_DIR", std::nullopt);
    for (const std::string folder : {"a", "b", "c"}) {
        std::filesystem::create_directories(directory.path() / folder);
    }
    const MemoryDefaultsStore defaults({{"defaultCalendar", "b"}, {"defaultReminderList", "c"}});
    const auto store = makeVdirEventStore(defaults);
    NewStoreEvent item;
    item.title = "New";
    item.start = item.end = utc("2024-01-10T09:00:00Z");
    const auto event = store->saveEvent(item);
    ASSERT_TRUE(event);
    EXPECT_EQ(event.value().calendar.identifier, "b");
    NewStoreReminder reminder;
    reminder.title = "New";
    const auto saved = store->saveReminder(reminder);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved.value().list->identifier, "c");
}

TEST(VdirEventStoreFolders, ServesSeveralThreadsAtOnce) {
    const ScopedTimeZone zone("Europe/Berlin");
    VdirFixture fixture;
    fixture.writeItem("Home", "series.ics",
                      calendarText({"BEGIN:VEVENT", "UID:s", "SUMMARY:Series", "DTSTART;TZID=America/Chicago:20240101T090000",
                                    "DURATION:PT1H", "RRULE:FREQ=DAILY", "END:VEVENT"}));
    constexpr int threads = 8;
    constexpr int rounds = 20;
    std::vector<std::thread> workers;
    std::atomic<int> failures = 0;
    for (int thread = 0; thread < threads; ++thread) {
        workers.emplace_back([&, thread] {
            for (int round = 0; round < rounds; ++round) {
                NewStoreEvent item;
                item.title = "T" + std::to_string(thread);
                item.start = item.end = utc("2024-01-10T09:00:00Z");
                item.calendarIdentifier = "Home";
                const auto saved = fixture.store().saveEvent(item);
                const auto listed = fixture.store().events(utc("2024-01-01T00:00:00Z"), utc("2024-01-31T00:00:00Z"));
                if (!saved || !listed || listed.value().size() < 30) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(filesIn(fixture.calendars() / "Home").size(), 1u + threads * rounds);
}

}  // namespace
}  // namespace lumenary::platform
