#include <gtest/gtest.h>

#include "vdir_fixture.hpp"

namespace lumenary::platform {
namespace {

using testing::calendarText;
using testing::filesIn;
using testing::readFile;
using testing::ScopedTimeZone;
using testing::utc;
using testing::utcText;
using testing::VdirFixture;

NewStoreReminder newReminder(std::string title) {
    NewStoreReminder reminder;
    reminder.title = std::move(title);
    return reminder;
}

std::vector<std::string> titles(const std::vector<StoreReminder>& reminders) {
    std::vector<std::string> texts;
    for (const StoreReminder& reminder : reminders) {
        texts.push_back(reminder.title.value_or("(none)"));
    }
    return texts;
}

TEST(VdirEventStoreReminders, SavedRemindersReadBackWithDueDateAlarmAndPriority) {
    const ScopedTimeZone zone("Europe/Berlin");
    VdirFixture fixture;
    NewStoreReminder reminder = newReminder("Buy milk");
    reminder.notes = "two litres";
    reminder.priority = 1;
    reminder.due = DueDateComponents{.year = 2025, .month = 3, .day = 1, .hour = 9, .minute = 30};
    reminder.alarm = utc("2025-03-01T08:30:45Z");
    const auto saved = fixture.store().saveReminder(reminder);
    ASSERT_TRUE(saved) << saved.error().description;
    EXPECT_EQ(saved.value().list->identifier, "Reminders");

    const auto files = filesIn(fixture.reminders() / "Reminders");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string(), saved.value().identifier + ".ics");
    const std::string text = readFile(files[0]);
    for (const std::string line : {"BEGIN:VTODO", "SUMMARY:Buy milk", "DESCRIPTION:two litres", "PRIORITY:1",
                                   "DUE:20250301T093000", "STATUS:NEEDS-ACTION", "BEGIN:VALARM", "ACTION:DISPLAY",
                                   "TRIGGER;VALUE=DATE-TIME:20250301T083045Z"}) {
        EXPECT_NE(text.find(line + std::string("\r\n")), std::string::npos) << "no " << line << " in\n" << text;
    }

    const auto read = fixture.store().reminders({});
    ASSERT_TRUE(read);
    ASSERT_EQ(read.value().size(), 1u);
    const StoreReminder& back = read.value()[0];
    EXPECT_EQ(back.identifier, saved.value().identifier);
    EXPECT_EQ(back.title, "Buy milk");
    EXPECT_EQ(back.notes, "two litres");
    EXPECT_EQ(back.priority, 1);
    EXPECT_EQ(back.due, reminder.due);
    EXPECT_FALSE(back.isCompleted);
    EXPECT_EQ(back.list->title, "Reminders");
}

TEST(VdirEventStoreReminders, RefusesAPriorityOutsideZeroToNineAndWritesNothing) {
    for (const std::int64_t priority : {-1, 10, 1000}) {
        VdirFixture fixture;
        NewStoreReminder reminder = newReminder("Odd");
        reminder.priority = priority;
        const auto saved = fixture.store().saveReminder(reminder);
        ASSERT_FALSE(saved) << priority;
        EXPECT_EQ(saved.error().code, 400);
        EXPECT_TRUE(filesIn(fixture.reminders() / "Reminders").empty()) << priority;
    }
}

TEST(VdirEventStoreReminders, ReadsCompletionDueDatesAndListsTheWayOtherProgramsWriteThem) {
    struct Expected {
        std::string title;
        bool isCompleted;
        std::optional<std::string> completionDate;
        std::optional<DueDateComponents> due;
        std::int64_t priority;
    };
    const ScopedTimeZone zone("Europe/Berlin");
    VdirFixture fixture;
    fixture.writeItem("Home", "1.ics",
                      calendarText({"BEGIN:VTODO", "UID:1", "SUMMARY:Floating due", "DUE:20250301T093015", "PRIORITY:5",
                                    "END:VTODO"}));
    fixture.writeItem("Home", "2.ics",
                      calendarText({"BEGIN:VTODO", "UID:2", "SUMMARY:Due in UTC", "DUE:20250301T080000Z", "END:VTODO"}));
    fixture.writeItem("Home", "3.ics",
                      calendarText({"BEGIN:VTODO", "UID:3", "SUMMARY:Due on a day", "DUE;VALUE=DATE:20250302",
                                    "END:VTODO"}));
    fixture.writeItem("Home", "4.ics",
                      calendarText({"BEGIN:VTODO", "UID:4", "SUMMARY:Done by status", "STATUS:COMPLETED", "END:VTODO"}));
    fixture.writeItem("Home", "5.ics",
                      calendarText({"BEGIN:VTODO", "UID:5", "SUMMARY:Done by date", "COMPLETED:20250110T120000Z",
                                    "STATUS:NEEDS-ACTION", "END:VTODO"}));
    const std::vector<Expected> expected = {
        {"Floating due", false, std::nullopt, DueDateComponents{2025, 3, 1, 9, 30}, 5},
        {"Due in UTC", false, std::nullopt, DueDateComponents{2025, 3, 1, 9, 0}, 0},
        {"Due on a day", false, std::nullopt, DueDateComponents{2025, 3, 2, 0, 0}, 0},
        {"Done by status", true, std::nullopt, std::nullopt, 0},
        {"Done by date", true, "2025-01-10T12:00:00Z", std::nullopt, 0},
    };
    std::vector<StoreReminder> all;
    for (const bool completed : {false, true}) {
        ReminderQuery query;
        query.completed = completed;
        const auto read = fixture.store().reminders(query);
        ASSERT_TRUE(read);
        all.insert(all.end(), read.value().begin(), read.value().end());
    }
    ASSERT_EQ(all.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        const Expected& want = expected[index];
        const StoreReminder& got = all[index];
        EXPECT_EQ(got.title, want.title);
        EXPECT_EQ(got.isCompleted, want.isCompleted) << want.title;
        EXPECT_EQ(got.completionDate ? std::optional(utcText(*got.completionDate)) : std::nullopt, want.completionDate)
            << want.title;
        EXPECT_EQ(got.due, want.due) << want.title;
        EXPECT_EQ(got.priority, want.priority) << want.title;
        EXPECT_EQ(got.list->identifier, "Home") << want.title;
    }
}

TEST(VdirEventStoreReminders, SelectsByStatusBoundsAndLists) {
    struct Case {
        std::string name;
        ReminderQuery query;
        std::vector<std::string> expected;
    };
    const ScopedTimeZone zone("UTC");
    VdirFixture fixture;
    fixture.writeItem("Errands", "a.ics",
                      calendarText({"BEGIN:VTODO", "UID:a", "SUMMARY:Early", "DUE:20250301T090000", "END:VTODO"}));
    fixture.writeItem("Errands", "b.ics",
                      calendarText({"BEGIN:VTODO", "UID:b", "SUMMARY:Late", "DUE:20250310T090000", "END:VTODO"}));
    fixture.writeItem("Errands", "c.ics", calendarText({"BEGIN:VTODO", "UID:c", "SUMMARY:Undated", "END:VTODO"}));
    fixture.writeItem("Work", "d.ics",
                      calendarText({"BEGIN:VTODO", "UID:d", "SUMMARY:Filed", "DUE:20250101T090000",
                                    "COMPLETED:20250305T100000Z", "STATUS:COMPLETED", "END:VTODO"}));
    fixture.writeItem("Work", "e.ics",
                      calendarText({"BEGIN:VTODO", "UID:e", "SUMMARY:Report", "DUE:20250305T090000", "END:VTODO"}));
    const auto query = [](bool completed, std::optional<std::string> start, std::optional<std::string> end,
                          std::optional<std::vector<std::string>> lists = std::nullopt) {
        ReminderQuery built;
        built.completed = completed;
        if (start) {
            built.start = utc(*start);
        }
        if (end) {
            built.end = utc(*end);
        }
        built.listIdentifiers = std::move(lists);
        return built;
    };
    const std::vector<Case> cases = {
        {"every incomplete one, in list order then file order", query(false, {}, {}),
         {"Early", "Late", "Undated", "Report"}},
        {"a due bound leaves out the undated ones; both bounds count",
         query(false, "2025-03-01T09:00:00Z", "2025-03-10T09:00:00Z"), {"Early", "Late", "Report"}},
        {"a due bound one second inside each end", query(false, "2025-03-01T09:00:01Z", "2025-03-10T08:59:59Z"),
         {"Report"}},
        {"completed ones are bounded by their completion, not their due date",
         query(true, "2025-03-05T00:00:00Z", "2025-03-06T00:00:00Z"), {"Filed"}},
        {"a completion outside the bounds", query(true, "2025-03-06T00:00:00Z", {}), {}},
        {"only the named lists", query(false, {}, {}, std::vector<std::string>{"Work"}), {"Report"}},
        {"a list that does not exist holds nothing", query(false, {}, {}, std::vector<std::string>{"Nowhere"}), {}},
    };
    for (const Case& c : cases) {
        const auto read = fixture.store().reminders(c.query);
        ASSERT_TRUE(read) << c.name;
        EXPECT_EQ(titles(read.value()), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace lumenary::platform
