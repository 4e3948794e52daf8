#include <gtest/gtest.h>

#include "vdir_fixture.hpp"

namespace lumenary::platform {
namespace {

using testing::calendarText;
using testing::ScopedTimeZone;
using testing::utc;
using testing::utcText;
using testing::VdirFixture;

// A repeat rule near a change of its zone's offset, and what a range (with
// a limit, the earliest that many) holds of it, as instants. A time a
// change skips is read at the offset before it, a repeated one as the first
// of the two.
struct ClockChangeCase {
    std::string name;
    std::string start;
    std::string rule;
    std::string from;
    std::string to;
    std::optional<std::size_t> limit;
    std::vector<std::string> expected;
};

std::vector<ClockChangeCase> clockChangeCases() {
    return {
        // UNTIL bounds instants: 02:30 on 8 March is 07:30Z, after it.
        {"New York, spring: a skipped time after UNTIL", "DTSTART;TZID=America/New_York:20260306T023000",
         "RRULE:FREQ=DAILY;UNTIL=20260308T071500Z", "2026-03-01T00:00:00Z", "2026-03-20T00:00:00Z", std::nullopt,
         {"2026-03-06T07:30:00Z", "2026-03-07T07:30:00Z"}},
        // 01:30 on 1 November is first 05:30Z, before it.
        {"New York, autumn: a repeated time before UNTIL", "DTSTART;TZID=America/New_York:20261030T013000",
         "RRULE:FREQ=DAILY;UNTIL=20261101T061500Z", "2026-10-01T00:00:00Z", "2026-11-20T00:00:00Z", std::nullopt,
         {"2026-10-30T05:30:00Z", "2026-10-31T05:30:00Z", "2026-11-01T05:30:00Z"}},
        {"Berlin, autumn: a repeated time before UNTIL", "DTSTART;TZID=Europe/Berlin:20261023T023000",
         "RRULE:FREQ=DAILY;UNTIL=20261025T011500Z", "2026-10-01T00:00:00Z", "2026-11-20T00:00:00Z", std::nullopt,
         {"2026-10-23T00:30:00Z", "2026-10-24T00:30:00Z", "2026-10-25T00:30:00Z"}},
        // Santiago skips its midnight hour in September.
        {"Santiago, spring: a skipped time after UNTIL", "DTSTART;TZID=America/Santiago:20260904T003000",
         "RRULE:FREQ=DAILY;UNTIL=20260906T041500Z", "2026-09-01T00:00:00Z", "2026-09-20T00:00:00Z", std::nullopt,
         {"2026-09-04T04:30:00Z", "2026-09-05T04:30:00Z"}},
        // Lord Howe skips half an hour: 02:15 is read at +10:30.
        {"Lord Howe, spring: a skipped time after UNTIL", "DTSTART;TZID=Australia/Lord_Howe:20261002T021500",
         "RRULE:FREQ=DAILY;UNTIL=20261003T154000Z", "2026-09-01T00:00:00Z", "2026-10-20T00:00:00Z", std::nullopt,
         {"2026-10-01T15:45:00Z", "2026-10-02T15:45:00Z"}},
        // Chatham repeats 02:45 to 03:45 in April.
        {"Chatham, autumn: a repeated time before UNTIL", "DTSTART;TZID=Pacific/Chatham:20260403T030000",
         "RRULE:FREQ=DAILY;UNTIL=20260404T141000Z", "2026-04-01T00:00:00Z", "2026-04-20T00:00:00Z", std::nullopt,
         {"2026-04-02T13:15:00Z", "2026-04-03T13:15:00Z", "2026-04-04T13:15:00Z"}},
        // 02:10 and 02:50 are skipped: 07:10Z and 07:50Z; 03:30 is 07:30Z.
        {"New York: the range's end is an instant", "DTSTART;TZID=America/New_York:20260308T005000",
         "RRULE:FREQ=MINUTELY;INTERVAL=40;COUNT=8", "2026-03-08T04:00:00Z", "2026-03-08T07:40:00Z", std::nullopt,
         {"2026-03-08T05:50:00Z", "2026-03-08T06:30:00Z", "2026-03-08T07:10:00Z", "2026-03-08T07:30:00Z"}},
        {"New York: a limit takes the earliest instants", "DTSTART;TZID=America/New_York:20260308T005000",
         "RRULE:FREQ=MINUTELY;INTERVAL=40;COUNT=8", "2026-03-08T07:00:00Z", "2026-03-09T00:00:00Z", 2,
         {"2026-03-08T07:10:00Z", "2026-03-08T07:30:00Z"}},
        {"Berlin: the range's end is an instant", "DTSTART;TZID=Europe/Berlin:20260329T005000",
         "RRULE:FREQ=MINUTELY;INTERVAL=40;COUNT=8", "2026-03-29T00:00:00Z", "2026-03-29T01:40:00Z", std::nullopt,
         {"2026-03-29T00:30:00Z", "2026-03-29T01:10:00Z", "2026-03-29T01:30:00Z"}},
        {"Berlin: a limit from the change itself", "DTSTART;TZID=Europe/Berlin:20260329T005000",
         "RRULE:FREQ=MINUTELY;INTERVAL=40;COUNT=8", "2026-03-29T01:00:00Z", "2026-03-30T00:00:00Z", 2,
         {"2026-03-29T01:10:00Z", "2026-03-29T01:30:00Z"}},
        {"Santiago: the range's end is an instant, across midnight", "DTSTART;TZID=America/Santiago:20260905T231000",
         "RRULE:FREQ=MINUTELY;INTERVAL=40;COUNT=8", "2026-09-06T03:00:00Z", "2026-09-06T04:20:00Z", std::nullopt,
         {"2026-09-06T03:10:00Z", "2026-09-06T03:50:00Z", "2026-09-06T04:10:00Z"}},
        {"Lord Howe: the range's end is an instant", "DTSTART;TZID=Australia/Lord_Howe:20261004T015000",
         "RRULE:FREQ=MINUTELY;INTERVAL=20;COUNT=6", "2026-10-03T15:00:00Z", "2026-10-03T15:35:00Z", std::nullopt,
         {"2026-10-03T15:20:00Z", "2026-10-03T15:30:00Z"}},
        {"Lord Howe: a limit takes the earliest instants", "DTSTART;TZID=Australia/Lord_Howe:20261004T013000",
         "RRULE:FREQ=MINUTELY;INTERVAL=20;COUNT=6", "2026-10-03T15:10:00Z", "2026-10-04T00:00:00Z", 2,
         {"2026-10-03T15:20:00Z", "2026-10-03T15:30:00Z"}},
        // 02:30 is 07:30Z, written before the 03:10 the range starts at.
        {"New York: a range from within the hour after the change", "DTSTART;TZID=America/New_York:20260308T003000",
         "RRULE:FREQ=HOURLY;INTERVAL=2;COUNT=5", "2026-03-08T07:10:00Z", "2026-03-09T00:00:00Z", std::nullopt,
         {"2026-03-08T07:30:00Z", "2026-03-08T08:30:00Z", "2026-03-08T10:30:00Z", "2026-03-08T12:30:00Z"}},
        {"Chatham: a range from within the hour after 02:45", "DTSTART;TZID=Pacific/Chatham:20260927T005000",
         "RRULE:FREQ=HOURLY;INTERVAL=2;COUNT=4", "2026-09-26T14:02:00Z", "2026-09-27T00:00:00Z", std::nullopt,
         {"2026-09-26T14:05:00Z", "2026-09-26T15:05:00Z", "2026-09-26T17:05:00Z"}},
        {"Santiago: a range from within the hour after midnight", "DTSTART;TZID=America/Santiago:20260905T223000",
         "RRULE:FREQ=HOURLY;INTERVAL=2;COUNT=4", "2026-09-06T04:05:00Z", "2026-09-07T00:00:00Z", std::nullopt,
         {"2026-09-06T04:30:00Z", "2026-09-06T05:30:00Z", "2026-09-06T07:30:00Z"}},
        // The user's clock (here New York's) reads a floating start.
        {"a floating start on the user's clock, with a limit", "DTSTART:20260308T005000",
         "RRULE:FREQ=MINUTELY;INTERVAL=40;COUNT=8", "2026-03-08T07:00:00Z", "2026-03-09T00:00:00Z", 2,
         {"2026-03-08T07:10:00Z", "2026-03-08T07:30:00Z"}},
        {"a floating start on the user's clock, before UNTIL", "DTSTART:20261030T013000",
         "RRULE:FREQ=DAILY;UNTIL=20261101T061500Z", "2026-10-01T00:00:00Z", "2026-11-20T00:00:00Z", std::nullopt,
         {"2026-10-30T05:30:00Z", "2026-10-31T05:30:00Z", "2026-11-01T05:30:00Z"}},
    };
}

TEST(VdirEventStoreClockChanges, ARangeUntilAndLimitHoldEachOccurrenceToItsInstant) {
    const ScopedTimeZone zone("America/New_York");
    for (const ClockChangeCase& c : clockChangeCases()) {
        VdirFixture fixture;
        fixture.writeItem("Home", "tick.ics",
                          calendarText({"BEGIN:VEVENT", "UID:tick", "SUMMARY:Tick", c.start, c.rule, "END:VEVENT"}));
        const auto events = c.limit ? fixture.store().earliestEvents(utc(c.from), utc(c.to), *c.limit)
                                    : fixture.store().events(utc(c.from), utc(c.to));
        ASSERT_TRUE(events) << c.name << ": " << events.error().description;
        std::vector<std::string> starts;
        for (const StoreEvent& event : events.value()) {
            starts.push_back(utcText(event.start));
        }
        EXPECT_EQ(starts, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace lumenary::platform
