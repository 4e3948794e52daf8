#include <gtest/gtest.h>

#include "app/tools/calendar/date_argument.hpp"
#include "app/tools/event_store_tools_fixture.hpp"

namespace lumenary::app {
namespace {

using platform::DueDateComponents;
using platform::EventStoreAccess;
using platform::EventStoreEntity;
using platform::StoreReminder;
using testing::localTime;
using testing::secondsNow;

StoreReminder reminder(std::string title, std::optional<platform::StoreCalendar> list = std::nullopt) {
    StoreReminder made;
    made.identifier = "R-" + title;
    made.title = std::move(title);
    made.list = std::move(list);
    return made;
}

StoreReminder completedReminder(std::string title, platform::StoreInstant completedAt) {
    auto made = reminder(std::move(title));
    made.isCompleted = true;
    made.completionDate = completedAt;
    return made;
}

class RemindersToolsTest : public testing::EventStoreToolsTest {
protected:
    const platform::StoreCalendar groceries{"list-groceries", "Groceries"};
    const platform::StoreCalendar home{"list-home", "Home"};
};

TEST_F(RemindersToolsTest, AddWithOnlyATitleSavesToTheDefaultListWithoutDueDateAlarmOrNotes) {
    EXPECT_EQ(call("reminders_add", {{"title", "Buy milk"}}), "✅ Created reminder: Buy milk (ID: REMINDER-1)");
    const auto saved = store->savedReminders();
    ASSERT_EQ(saved.size(), 1U);
    EXPECT_EQ(saved[0].title, "Buy milk");
    EXPECT_FALSE(saved[0].listIdentifier);
    EXPECT_FALSE(saved[0].due);
    EXPECT_FALSE(saved[0].alarm);
    EXPECT_FALSE(saved[0].notes);
    EXPECT_EQ(saved[0].priority, 0);
}

TEST_F(RemindersToolsTest, AddReadsTheDueDateAsAnInstantOrALocalDayAndRefusesAnythingElse) {
    struct Case {
        std::string dueDate;
        std::optional<DueDateComponents> due;
        std::optional<platform::StoreInstant> alarm;
    };
    const std::vector<Case> cases{
        {"2025-03-01", DueDateComponents{2025, 3, 1, 0, 0}, localTime(2025, 3, 1)},
        {"2025-03-01T09:30:00Z", DueDateComponents{2025, 3, 1, 10, 30}, localTime(2025, 3, 1, 10, 30)},
        // The due minute drops the seconds; the alarm keeps them.
        {"2025-03-01T09:30:45+01:00", DueDateComponents{2025, 3, 1, 9, 30}, localTime(2025, 3, 1, 9, 30, 45)},
        {"2024-01-15T09:00:00.5Z", DueDateComponents{2024, 1, 15, 10, 0}, localTime(2024, 1, 15, 10)},
        // Given but unreadable: refused, nothing saved.
        {"tomorrow", std::nullopt, std::nullopt},
        {"2024-02-30", std::nullopt, std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.dueDate);
        const auto savedBefore = store->savedReminders().size();
        const auto answer = call("reminders_add", {{"title", "Pay rent"}, {"dueDate", testCase.dueDate}});
        if (!testCase.due) {
            EXPECT_EQ(answer, "LocalTool 400 " + invalidDateDescription("dueDate"));
            EXPECT_EQ(store->savedReminders().size(), savedBefore);
            continue;
        }
        EXPECT_TRUE(answer.starts_with("✅ Created reminder: Pay rent (ID: ")) << answer;
        const auto saved = store->savedReminders().back();
        EXPECT_EQ(saved.due, testCase.due);
        EXPECT_EQ(saved.alarm, testCase.alarm);
    }
}

TEST_F(RemindersToolsTest, AddTakesAnIntegerPriorityFromZeroToNineAndRefusesAnyOtherWithoutSaving) {
    struct Case {
        PlainValue priority;
        std::optional<std::int64_t> saved;
    };
    const std::vector<Case> cases{
        {9, 9}, {0, 0}, {1, 1}, {2.5, 0}, {"3", 0}, {10, std::nullopt}, {-1, std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.priority.description());
        const auto before = store->savedReminders().size();
        const auto answer = call("reminders_add", {{"title", "Call Ada"}, {"priority", testCase.priority}});
        if (testCase.saved) {
            EXPECT_EQ(store->savedReminders().back().priority, *testCase.saved);
        } else {
            EXPECT_EQ(answer,
                      "LocalTool 400 Invalid parameter: priority must be from 0 to 9 (1 is highest, 9 is lowest, 0 is "
                      "none)");
            EXPECT_EQ(store->savedReminders().size(), before);
        }
    }
}

TEST_F(RemindersToolsTest, ATitleOrQueryOfAnotherKindIsMissingButAnEmptyOneIsAccepted) {
    EXPECT_EQ(call("reminders_add"), "LocalTool 400 Missing required parameter: title");
    EXPECT_EQ(call("reminders_add", {{"title", 42}}), "LocalTool 400 Missing required parameter: title");
    EXPECT_EQ(call("reminders_add", {{"title", ""}}), "✅ Created reminder:  (ID: REMINDER-1)");
    EXPECT_EQ(call("reminders_find"), "LocalTool 400 Missing required parameter: query");
    EXPECT_EQ(call("reminders_find", {{"query", true}}), "LocalTool 400 Missing required parameter: query");
}

TEST_F(RemindersToolsTest, AnExactListTitleWinsOverOneThatOnlyContainsTheName) {
    struct Case {
        std::vector<std::string> titles;
        std::string listName;
        std::string chosen;
    };
    const std::vector<Case> cases{
        {{"Work", "Homework"}, "work", "Work"},          {{"Homework", "Work"}, "work", "Work"},
        {{"Homework", "Work"}, "WORK", "Work"},          {{"Homework", "Workshop"}, "work", "Homework"},
        {{"Groceries", "Homework"}, "HOME", "Homework"}, {{"Einkäufe", "Büro"}, "BÜRO", "Büro"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.listName + " among " + testCase.titles[0] + ", " + testCase.titles[1]);
        store = std::make_shared<lumenary::testing::MemoryEventStore>();
        for (const auto& title : testCase.titles) store->addCalendar(EventStoreEntity::reminders, "id-" + title, title);
        eventKit = std::make_shared<EventKitService>(store, console);
        RemindersToolHandler handler(eventKit, launcher);
        callCategory(handler, "reminders_add", {{"title", "Plan"}, {"listName", testCase.listName}});
        ASSERT_EQ(store->savedReminders().size(), 1U);
        EXPECT_EQ(store->savedReminders()[0].listIdentifier, "id-" + testCase.chosen);
    }
}

TEST_F(RemindersToolsTest, StoreFailuresAreReportedWithWhatFailedAndTheStoresDescription) {
    store->addCalendar(EventStoreEntity::reminders, "list-home", "Home");
    EXPECT_EQ(call("reminders_add", {{"title", "Plan"}, {"listName", "Office"}}),
              "LocalTool 500 Failed to create reminder: Reminder list 'Office' not found");
    EXPECT_EQ(call("reminders_fetch", {{"listName", "Office"}}),
              "LocalTool 500 Failed to fetch reminders: Reminder list 'Office' not found");
    EXPECT_TRUE(store->savedReminders().empty());

    store->failSaves({"EventStore", 5, "The reminders folder is full"});
    EXPECT_EQ(call("reminders_add", {{"title", "Plan"}}),
              "LocalTool 500 Failed to create reminder: The reminders folder is full");

    store->failReads({"EventStore", 6, "The reminders folder cannot be read"});
    EXPECT_EQ(call("reminders_fetch"), "LocalTool 500 Failed to fetch reminders: The reminders folder cannot be read");
    EXPECT_EQ(call("reminders_find", {{"query", "x"}}),
              "LocalTool 500 Failed to search reminders: The reminders folder cannot be read");
    EXPECT_EQ(call("reminders_get_lists"),
              "LocalTool 500 Failed to get reminder lists: The reminders folder cannot be read");
}

TEST_F(RemindersToolsTest, WithoutReminderAccessEveryStoreToolIsRefusedAndEachCallLeavesTheDeniedLine) {
    store->setAccess(EventStoreEntity::reminders, EventStoreAccess::denied);
    const std::string advice =
        "Lumenary needs to read and write the reminders folder /memory/reminders: make it a folder this user can read "
        "and write, or set LUMENARY_REMINDERS_DIR or the defaults key remindersDirectory to one that is.";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"reminders_add", "LocalTool 500 Failed to create reminder: Reminders access denied. " + advice},
        {"reminders_fetch", "LocalTool 500 Failed to fetch reminders: Reminders access denied. " + advice},
        {"reminders_find", "LocalTool 500 Failed to search reminders: Reminders access denied. " + advice},
        {"reminders_get_lists", "LocalTool 500 Failed to get reminder lists: Reminders access denied. " + advice},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(call(name, {{"title", "Plan"}, {"query", "Plan"}}), expected);
    }
    const std::string deniedLine = "❌ Reminders access denied by user. " + advice;
    EXPECT_EQ(consoleLines(), std::vector<std::string>(4, deniedLine));
    EXPECT_TRUE(store->savedReminders().empty());
    EXPECT_EQ(store->requestCount(EventStoreEntity::reminders), 0) << "a decided state is never asked again";
}

TEST_F(RemindersToolsTest, WhileUndecidedTheStoreIsAskedAndItsAnswerDecides) {
    store->setAccess(EventStoreEntity::reminders, EventStoreAccess::notDetermined);
    store->setRequestAnswer(false);
    EXPECT_EQ(
        call("reminders_get_lists"),
        "LocalTool 500 Failed to get reminder lists: Reminders access denied. Lumenary needs to read and write the "
        "reminders folder /memory/reminders: make it a folder this user can read and write, or set "
        "LUMENARY_REMINDERS_DIR or the defaults key remindersDirectory to one that is.");
    EXPECT_EQ(store->requestCount(EventStoreEntity::reminders), 1);

    store->setAccess(EventStoreEntity::reminders, EventStoreAccess::notDetermined);
    store->setRequestAnswer(false, platform::PlatformError{"EventStore", 13, "Cannot create /memory/reminders"});
    EXPECT_EQ(call("reminders_get_lists"),
              "LocalTool 500 Failed to get reminder lists: Cannot create /memory/reminders");

    store->setRequestAnswer(true);
    EXPECT_EQ(call("reminders_get_lists"), "No reminder lists found.");
    EXPECT_TRUE(consoleLines().empty()) << "the reminders request writes no console line";
}

TEST_F(RemindersToolsTest, FetchWritesOneLinePerReminderWithItsDetailsAndNotes) {
    auto milk = reminder("Buy milk", groceries);
    milk.due = DueDateComponents{2025, 3, 1, 9, 30};
    milk.priority = 1;
    milk.notes = "two litres";
    store->addReminder(milk);
    auto plants = reminder("Water the plants", home);
    plants.notes = "";
    store->addReminder(plants);
    auto untitled = reminder("");
    untitled.title.reset();
    untitled.priority = -2;
    untitled.notes = "line one\nline two";
    store->addReminder(untitled);
    auto passport = reminder("Renew passport", platform::StoreCalendar{"list-personal", "Personal"});
    passport.isCompleted = true;
    store->addReminder(passport);

    EXPECT_EQ(call("reminders_fetch"),
              "✅ Found 3 reminders:\n"
              "☐ Buy milk (List: Groceries, Due: 2025-03-01 09:30, Priority: 1)\n"
              "   Notes: two litres\n"
              "☐ Water the plants (List: Home)\n"
              "☐ No Title\n"
              "   Notes: line one\nline two\n");
    EXPECT_EQ(call("reminders_fetch", {{"status", "completed"}}),
              "✅ Found 1 reminders:\n"
              "☑️ Renew passport (List: Personal)\n");
}

TEST_F(RemindersToolsTest, FetchSelectsByStatusListAndBoundsAndCutsToTheLimitInStoreOrder) {
    const auto day = [](int number) { return localTime(2025, 3, number, 12); };
    for (int number = 1; number <= 4; ++number) {
        auto open = reminder("open " + std::to_string(number), number % 2 == 0 ? home : groceries);
        open.due = DueDateComponents{2025, 3, number, 12, 0};
        store->addReminder(open);
    }
    store->addReminder(completedReminder("done early", day(1)));
    store->addReminder(completedReminder("done late", day(20)));
    store->addCalendar(EventStoreEntity::reminders, home.identifier, home.title);

    const auto titles = [this](PlainDictionary arguments) {
        const auto text = call("reminders_fetch", std::move(arguments));
        std::vector<std::string> found;
        for (std::size_t start = text.find("\n"); start != std::string::npos;) {
            const auto end = text.find('\n', start + 1);
            if (end == std::string::npos) break;
            found.push_back(text.substr(start + 1, end - start - 1));
            start = end;
        }
        return found;
    };
    EXPECT_EQ(titles({}).size(), 4U) << "no limit lists every selected reminder";
    EXPECT_EQ(titles({{"limit", 2}}), (std::vector<std::string>{"☐ open 1 (List: Groceries, Due: 2025-03-01 12:00)",
                                                                "☐ open 2 (List: Home, Due: 2025-03-02 12:00)"}));
    EXPECT_EQ(titles({{"listName", "hOmE"}}).size(), 2U);
    EXPECT_EQ(titles({{"dueAfter", "2025-03-02"}, {"dueBefore", "2025-03-03T12:00:00+01:00"}}).size(), 2U);
    EXPECT_EQ(call("reminders_fetch", {{"dueAfter", "someday"}}), "LocalTool 400 " + invalidDateDescription("dueAfter"))
        << "an unreadable bound is refused, never dropped";
    EXPECT_EQ(titles({{"status", "Completed"}}).size(), 4U) << "only the exact text selects completed reminders";
    EXPECT_EQ(titles({{"status", "completed"}, {"dueAfter", "2025-03-10"}}),
              std::vector<std::string>{"☑️ done late"});

    EXPECT_EQ(call("reminders_fetch", {{"limit", 0}}), "No reminders found.");
    EXPECT_EQ(call("reminders_fetch", {{"limit", -3}}), "No reminders found.") << "a negative limit lists nothing";
    EXPECT_EQ(call("reminders_fetch", {{"limit", 2.5}}).rfind("✅ Found 4 reminders:", 0), 0U)
        << "a limit with a fraction is no limit";
}

TEST_F(RemindersToolsTest, FindListsMatchingOpenRemindersThenRecentlyCompletedOnes) {
    const auto now = secondsNow();
    store->addReminder(completedReminder("Milk the goats", now - std::chrono::days(2)));
    store->addReminder(completedReminder("Milk delivery", now - std::chrono::days(31)));
    store->addReminder(reminder("Buy MILK", groceries));
    auto notesOnly = reminder("Shopping");
    notesOnly.notes = "oat milk, bread";
    store->addReminder(notesOnly);
    store->addReminder(reminder("Call Ada"));

    EXPECT_EQ(call("reminders_find", {{"query", "milk"}}),
              "✅ Found 3 matching reminders:\n"
              "☐ Buy MILK [Groceries]\n"
              "☐ Shopping\n"
              "☑️ Milk the goats\n");
    EXPECT_EQ(call("reminders_find", {{"query", "MILK"}, {"limit", 1}}),
              "✅ Found 1 matching reminders:\n☐ Buy MILK [Groceries]\n");
    EXPECT_EQ(call("reminders_find", {{"query", "milk"}, {"limit", -1}}), "No reminders found matching 'milk'.");
    EXPECT_EQ(call("reminders_find", {{"query", "Tax return"}}), "No reminders found matching 'Tax return'.");
}

TEST_F(RemindersToolsTest, FindListsAtMostTwentyWithoutALimit) {
    for (int number = 0; number < 25; ++number) store->addReminder(reminder("task " + std::to_string(number)));
    EXPECT_EQ(call("reminders_find", {{"query", "task"}}).rfind("✅ Found 20 matching reminders:\n", 0), 0U);
}

TEST_F(RemindersToolsTest, GetListsNamesEveryListInStoreOrder) {
    EXPECT_EQ(call("reminders_get_lists"), "No reminder lists found.");
    store->addCalendar(EventStoreEntity::reminders, "b", "Work");
    store->addCalendar(EventStoreEntity::reminders, "a", "Home");
    EXPECT_EQ(call("reminders_get_lists"), "✅ Found 2 reminder lists:\n- Work\n- Home\n");
}

TEST_F(RemindersToolsTest, OpenAppStartsTheChosenApplicationElseTheDefaultForCalendarFiles) {
    using Launcher = lumenary::testing::RecordingApplicationLauncher;
    struct Case {
        std::optional<std::string> chosen;
        platform::PlatformOutcome<std::optional<std::string>> defaultApplication;
        std::optional<platform::PlatformError> launchFailure;
        std::string answer;
        std::vector<std::string> calls;
    };
    const platform::PlatformError gioFailed{"ApplicationLauncher", 500,
                                            "Could not start org.example.Cal.desktop: no Exec line"};
    const std::vector<Case> cases{
        {"org.example.Tasks.desktop",
         std::optional<std::string>("unused.desktop"),
         std::nullopt,
         "✅ Reminders app opened.",
         {"launch org.example.Tasks.desktop"}},
        {std::nullopt,
         std::optional<std::string>("org.example.Cal.desktop"),
         std::nullopt,
         "✅ Reminders app opened.",
         {"default text/calendar", "launch org.example.Cal.desktop"}},
        {std::nullopt,
         std::optional<std::string>("org.example.Cal.desktop"),
         gioFailed,
         "LocalTool 500 Could not start org.example.Cal.desktop: no Exec line",
         {"default text/calendar", "launch org.example.Cal.desktop"}},
        {std::nullopt,
         std::optional<std::string>(),
         std::nullopt,
         "LocalTool 500 No application is set to open calendar files (text/calendar). Make your calendar or task "
         "application the default for them, or set the defaults key remindersApplication to its desktop file "
         "(org.gnome.Calendar.desktop).",
         {"default text/calendar"}},
        {std::nullopt,
         platform::PlatformError{"ApplicationLauncher", 500, "xdg-mime is not installed"},
         std::nullopt,
         "LocalTool 500 xdg-mime is not installed",
         {"default text/calendar"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.answer);
        auto recording = std::make_shared<Launcher>();
        recording->setDefault(testCase.defaultApplication);
        recording->failLaunches(testCase.launchFailure);
        RemindersToolHandler handler(eventKit, recording, testCase.chosen);
        EXPECT_EQ(callCategory(handler, "reminders_open_app", {{"ignored", 1}}), testCase.answer);
        EXPECT_EQ(recording->calls(), testCase.calls);
    }
}

TEST_F(RemindersToolsTest, ANameOutsideTheCategoryIsUnknown) {
    EXPECT_EQ(callCategory(*reminders, "reminders_delete"),
              "RemindersTool 404 Unknown reminders tool: reminders_delete");
}

}  // namespace
}  // namespace lumenary::app
