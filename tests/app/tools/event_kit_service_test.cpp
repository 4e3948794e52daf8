#include <gtest/gtest.h>

#include "app/tools/event_store_tools_fixture.hpp"
#include "support/run_awaitable.hpp"

namespace lumenary::app {
namespace {

using lumenary::testing::runAwaitable;
using platform::EventStoreAccess;
using platform::EventStoreEntity;

// A store outcome, which has no empty state of its own to hand back through
// co_spawn, awaited to its end.
template <typename T>
platform::PlatformOutcome<T> awaited(asio::awaitable<platform::PlatformOutcome<T>> outcome) {
    auto wrapped = [](asio::awaitable<platform::PlatformOutcome<T>> inner)
        -> asio::awaitable<std::optional<platform::PlatformOutcome<T>>> { co_return co_await std::move(inner); };
    return *runAwaitable(wrapped(std::move(outcome)));
}

class EventKitServiceTest : public testing::EventStoreToolsTest {};

TEST_F(EventKitServiceTest, StatusTextsNameEachStateAfterAConsoleLine) {
    const std::vector<std::pair<int, std::string>> cases{
        {0, "⏳ 未请求 (notDetermined)"}, {1, "🚫 受限制 (restricted)"},    {2, "❌ 已拒绝 (denied)"},
        {3, "✅ 已授权 (authorized)"},    {4, "📝 仅写入权限 (writeOnly)"}, {7, "❓ 未知状态 (raw: 7)"},
    };
    for (const auto& [value, text] : cases) {
        store->setAccess(EventStoreEntity::events, static_cast<EventStoreAccess>(value));
        store->setAccess(EventStoreEntity::reminders, static_cast<EventStoreAccess>(value));
        EXPECT_EQ(runAwaitable(eventKit->calendarStatusText()), text);
        EXPECT_EQ(runAwaitable(eventKit->reminderStatusText()), text);
    }
    const auto lines = consoleLines();
    ASSERT_EQ(lines.size(), 2 * cases.size());
    EXPECT_EQ(lines[6], "[EventKitService] Calendar status: fullAccess, rawValue: 3");
    EXPECT_EQ(lines[7], "[EventKitService] Reminder status: fullAccess, rawValue: 3");
    EXPECT_EQ(lines[10], "[EventKitService] Calendar status: unknown, rawValue: 7");
}

TEST_F(EventKitServiceTest, CalendarAccessIsAskedOnlyWhileUndecidedAndEachStateSaysWhy) {
    struct Case {
        EventStoreAccess state;
        bool granted;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases{
        {EventStoreAccess::notDetermined,
         true,
         {"[EventKitService] Requesting calendar access...", "[EventKitService] Calendar access result: true"}},
        {EventStoreAccess::restricted, false, {"❌ Calendar access restricted by system"}},
        {EventStoreAccess::denied,
         false,
         {"❌ Calendar access denied by user. Lumenary needs to read and write the calendar folder "
          "/memory/calendars: make it a folder this user can read and write, or set LUMENARY_CALENDAR_DIR or the "
          "defaults key calendarDirectory to one that is."}},
        {EventStoreAccess::fullAccess, true, {}},
        {EventStoreAccess::writeOnly, false, {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(static_cast<int>(testCase.state));
        store->setAccess(EventStoreEntity::events, testCase.state);
        const auto before = consoleLines().size();
        const auto granted = awaited(eventKit->requestCalendarAccess());
        ASSERT_TRUE(granted);
        EXPECT_EQ(granted.value(), testCase.granted);
        const auto lines = consoleLines();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()),
                  testCase.lines);
    }
    EXPECT_EQ(store->requestCount(EventStoreEntity::events), 1);
}

TEST_F(EventKitServiceTest, AFailedAccessRequestPassesTheStoresErrorOn) {
    store->setAccess(EventStoreEntity::events, EventStoreAccess::notDetermined);
    store->setAccess(EventStoreEntity::reminders, EventStoreAccess::notDetermined);
    store->setRequestAnswer(true, platform::PlatformError{"EventStore", 20, "/memory is a file, not a folder"});
    for (const bool calendars : {true, false}) {
        const auto granted =
            awaited(calendars ? eventKit->requestCalendarAccess() : eventKit->requestRemindersAccess());
        ASSERT_FALSE(granted);
        EXPECT_EQ(granted.error().domain, "EventStore");
        EXPECT_EQ(granted.error().code, 20);
        EXPECT_EQ(granted.error().description, "/memory is a file, not a folder");
    }
    EXPECT_EQ(consoleLines(), std::vector<std::string>{"[EventKitService] Requesting calendar access..."});
}

}  // namespace
}  // namespace lumenary::app
