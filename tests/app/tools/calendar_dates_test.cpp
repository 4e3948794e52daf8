#include <gtest/gtest.h>

#include "app/tools/calendar/calendar_dates.hpp"
#include "app/tools/event_store_tools_fixture.hpp"

namespace lumenary::app {
namespace {

using testing::localTime;
using testing::utcTime;

// Runs in the fixture's zone, Europe/Berlin.
class CalendarDatesTest : public testing::EventStoreToolsTest {};

TEST_F(CalendarDatesTest, DateTextsReadAsInstantsWithAZoneOrAsLocalTimes) {
    struct Case {
        std::string text;
        std::optional<platform::StoreInstant> instant;
        std::string zone = "Europe/Berlin";
    };
    const std::vector<Case> cases{
        {"2024-01-15T09:00:00Z", utcTime(2024, 1, 15, 9)},
        {"2024-01-15T09:00:00z", utcTime(2024, 1, 15, 9)},
        {"2024-01-15T09:00:00.000Z", utcTime(2024, 1, 15, 9)},
        {"2024-01-15T09:00:00.999999Z", utcTime(2024, 1, 15, 9)},
        {"2024-01-15T09:00:00,5Z", utcTime(2024, 1, 15, 9)},
        {"2024-01-15T09:00Z", utcTime(2024, 1, 15, 9)},
        {"2024-01-15 09:00:00Z", utcTime(2024, 1, 15, 9)},
        {"2024-01-15T09:00:00+02:00", utcTime(2024, 1, 15, 7)},
        {"2024-01-15T09:00:00+0200", utcTime(2024, 1, 15, 7)},
        {"2024-01-15T09:00:00+02", utcTime(2024, 1, 15, 7)},
        {"2024-01-15T09:00:00.123-05:30", utcTime(2024, 1, 15, 14, 30)},
        // Offsets that carry the instant into another day, month and year.
        {"2024-03-01T00:30:00+01:00", utcTime(2024, 2, 29, 23, 30)},
        {"2023-12-31T22:00:00-03:00", utcTime(2024, 1, 1, 1)},
        {"2024-02-29T23:59:59Z", utcTime(2024, 2, 29, 23, 59, 59)},
        // No zone: the local one, in winter and in summer.
        {"2024-01-15T09:00:00", utcTime(2024, 1, 15, 8)},
        {"2024-07-15T09:00:00.000", utcTime(2024, 7, 15, 7)},
        {"2024-01-15T09:00", utcTime(2024, 1, 15, 8)},
        {"2024-01-15", localTime(2024, 1, 15)},
        {"2024-07-15", localTime(2024, 7, 15)},
        {"2024-02-29", utcTime(2024, 2, 28, 23)},
        // Skipped at 02:00 → 03:00: read with the winter offset, so 03:30.
        {"2025-03-30T02:30:00", utcTime(2025, 3, 30, 1, 30)},
        // Passed twice at 03:00 → 02:00: the first, in summer time.
        {"2025-10-26T02:30:00", utcTime(2025, 10, 26, 0, 30)},
        {"2025-10-26T03:30:00", utcTime(2025, 10, 26, 2, 30)},
        // A day whose midnight is skipped starts when its clocks do.
        {"2018-11-04", utcTime(2018, 11, 4, 3), "America/Sao_Paulo"},
        {"2024-01-15T09:00:00", utcTime(2024, 1, 15, 3, 30), "Asia/Kolkata"},
        {"2024-02-30", std::nullopt},
        {"2023-02-29T10:00:00Z", std::nullopt},
        {"2024-01-15T24:00:00Z", std::nullopt},
        {"2024-01-15T09:60:00Z", std::nullopt},
        {"2024-01-15T09:00:60Z", std::nullopt},
        {"2024-01-15T09:00:00.Z", std::nullopt},
        {"2024-01-15T09:00:00+24:00", std::nullopt},
        {"2024-01-15T09:00:00+02:0", std::nullopt},
        {"2024-01-15T09:00:00 +02:00", std::nullopt},
        {"2024-01-15T09:00:00ZZ", std::nullopt},
        {"2024-01-15T09", std::nullopt},
        {"2024-01-15T", std::nullopt},
        {"2024-01-15X09:00:00Z", std::nullopt},
        {"2024-1-5", std::nullopt},
        {"2024-01-15 ", std::nullopt},
        {" 2024-01-15", std::nullopt},
        {"next monday", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& testCase : cases) {
        lumenary::testing::ScopedTimeZone zone(testCase.zone);
        EXPECT_EQ(parseDate(std::string_view(testCase.text)), testCase.instant)
            << testCase.text << " in " << testCase.zone;
    }
}

TEST_F(CalendarDatesTest, CalendarDaysKeepTheClockTimeAcrossADaylightSavingChange) {
    EXPECT_EQ(addingCalendarDays(localTime(2025, 3, 27, 12), 7), localTime(2025, 4, 3, 12));
    EXPECT_EQ(localTime(2025, 4, 3, 12) - localTime(2025, 3, 27, 12), std::chrono::hours(7 * 24 - 1));
    EXPECT_EQ(addingCalendarDays(localTime(2025, 11, 20, 8, 15), -30), localTime(2025, 10, 21, 8, 15));
}

}  // namespace
}  // namespace lumenary::app
