#include <gtest/gtest.h>

#include "app/tools/calendar/calendar_dates.hpp"
#include "app/tools/event_store_tools_fixture.hpp"

namespace lumenary::app {
namespace {

using testing::localTime;
using testing::utcTime;

// Runs in the fixture's zone, Europe/Berlin.
class CalendarDatesTest : public testing::EventStoreToolsTest {};

TEST_F(CalendarDatesTest, DateTextsReadAsInstantsWithAZoneOrAsLocalMidnight) {
    const std::vector<std::pair<std::string, std::optional<platform::StoreInstant>>> cases{
        {"2024-01-15T09:00:00Z", utcTime(2024, 1, 15, 9)},
        {"2024-01-15T09:00:00+02:00", utcTime(2024, 1, 15, 7)},
        {"2024-01-15T09:00:00-05:30", utcTime(2024, 1, 15, 14, 30)},
        {"2024-02-29T23:59:59Z", utcTime(2024, 2, 29, 23, 59, 59)},
        {"2024-01-15", localTime(2024, 1, 15)},
        {"2024-07-15", localTime(2024, 7, 15)},
        {"2024-02-30", std::nullopt},
        {"2023-02-29T10:00:00Z", std::nullopt},
        {"2024-01-15T09:00:00.5Z", std::nullopt},
        {"2024-01-15T09:00:00", std::nullopt},
        {"2024-01-15T24:00:00Z", std::nullopt},
        {"2024-01-15T09:00Z", std::nullopt},
        {"2024-01-15T09:00:00+0200", std::nullopt},
        {"2024-1-5", std::nullopt},
        {"2024-01-15 ", std::nullopt},
        {"next monday", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, instant] : cases) {
        EXPECT_EQ(parseDate(std::string_view(text)), instant) << text;
    }
}

TEST_F(CalendarDatesTest, CalendarDaysKeepTheClockTimeAcrossADaylightSavingChange) {
    EXPECT_EQ(addingCalendarDays(localTime(2025, 3, 27, 12), 7), localTime(2025, 4, 3, 12));
    EXPECT_EQ(localTime(2025, 4, 3, 12) - localTime(2025, 3, 27, 12), std::chrono::hours(7 * 24 - 1));
    EXPECT_EQ(addingCalendarDays(localTime(2025, 11, 20, 8, 15), -30), localTime(2025, 10, 21, 8, 15));
}

}  // namespace
}  // namespace lumenary::app
