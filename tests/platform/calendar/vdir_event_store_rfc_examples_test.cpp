#include <gtest/gtest.h>

#include "platform/calendar/local_wall_clock.hpp"
#include "vdir_fixture.hpp"

namespace lumenary::platform {
namespace {

using testing::calendarText;
using testing::ScopedTimeZone;
using testing::VdirFixture;

// "19970902T0900" on the clock of the zone the test has set.
std::string rfcExampleLocalText(StoreInstant instant) {
    const std::time_t seconds = static_cast<std::time_t>(instant.time_since_epoch().count());
    std::tm fields{};
    ::localtime_r(&seconds, &fields);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M", &fields);
    return text;
}

StoreInstant rfcExampleInstant(const std::string& local) {
    return instantOfLocalWallClock({.year = std::stoi(local.substr(0, 4)),
                                    .month = std::stoi(local.substr(4, 2)),
                                    .day = std::stoi(local.substr(6, 2)),
                                    .hour = local.size() > 9 ? std::stoi(local.substr(9, 2)) : 0,
                                    .minute = local.size() > 11 ? std::stoi(local.substr(11, 2)) : 0});
}

// Each day from `first` through `last`, `step` days apart, at 09:00.
std::vector<std::string> rfcExampleDays(const std::string& first, const std::string& last, int step = 1) {
    std::vector<std::string> days;
    LocalWallClock day{.year = std::stoi(first.substr(0, 4)), .month = std::stoi(first.substr(4, 2)),
                       .day = std::stoi(first.substr(6, 2))};
    for (;;) {
        char text[16];
        std::snprintf(text, sizeof text, "%04d%02d%02dT0900", day.year, day.month, day.day);
        if (std::string(text).substr(0, 8) > last) {
            return days;
        }
        days.emplace_back(text);
        day = datePlusDays(day, step);
    }
}

// Days written "19970902", at 09:00.
std::vector<std::string> rfcExampleAtNine(std::initializer_list<const char*> days) {
    std::vector<std::string> times;
    for (const char* day : days) {
        times.push_back(std::string(day) + "T0900");
    }
    return times;
}

std::vector<std::string> rfcExampleJoined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> joined;
    for (const auto& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

// RFC 5545 §3.8.5.3, each example with its DTSTART in America/New_York and
// each of its equivalent rules; a rule without end is asked up to the last
// time the RFC lists for it.
TEST(VdirEventStoreRules, EachExampleOfTheRfcListsExactlyItsOccurrences) {
    struct Case {
        std::string name;
        std::string start;
        std::vector<std::string> rules;
        std::string until;
        std::vector<std::string> expected;
    };
    std::vector<std::string> everyTwentyMinutes;
    for (const char* day : {"19970902", "19970903"}) {
        for (int hour = 9; hour <= 16; ++hour) {
            for (int minute = 0; minute < 60; minute += 20) {
                char text[16];
                std::snprintf(text, sizeof text, "%sT%02d%02d", day, hour, minute);
                everyTwentyMinutes.emplace_back(text);
            }
        }
    }
    const std::vector<Case> cases = {
        {"daily for 10 occurrences", "19970902T090000", {"FREQ=DAILY;COUNT=10"}, "19980101",
         rfcExampleDays("19970902", "19970911")},
        {"daily until December 24, 1997", "19970902T090000", {"FREQ=DAILY;UNTIL=19971224T000000Z"}, "19980101",
         rfcExampleDays("19970902", "19971223")},
        {"every other day", "19970902T090000", {"FREQ=DAILY;INTERVAL=2"}, "19971203",
         rfcExampleDays("19970902", "19971202", 2)},
        {"every 10 days, 5 occurrences", "19970902T090000", {"FREQ=DAILY;INTERVAL=10;COUNT=5"}, "19980101",
         rfcExampleAtNine({"19970902", "19970912", "19970922", "19971002", "19971012"})},
        {"every day in January, for 3 years", "19980101T090000",
         {"FREQ=YEARLY;UNTIL=20000131T140000Z;BYMONTH=1;BYDAY=SU,MO,TU,WE,TH,FR,SA",
          "FREQ=DAILY;UNTIL=20000131T140000Z;BYMONTH=1"},
         "20010101",
         rfcExampleJoined({rfcExampleDays("19980101", "19980131"), rfcExampleDays("19990101", "19990131"),
                           rfcExampleDays("20000101", "20000131")})},
        {"weekly for 10 occurrences", "19970902T090000", {"FREQ=WEEKLY;COUNT=10"}, "19980101",
         rfcExampleDays("19970902", "19971104", 7)},
        {"weekly until December 24, 1997", "19970902T090000", {"FREQ=WEEKLY;UNTIL=19971224T000000Z"}, "19980101",
         rfcExampleDays("19970902", "19971223", 7)},
        {"every other week", "19970902T090000", {"FREQ=WEEKLY;INTERVAL=2;WKST=SU"}, "19980218",
         rfcExampleDays("19970902", "19980217", 14)},
        {"weekly on Tuesday and Thursday for five weeks", "19970902T090000",
         {"FREQ=WEEKLY;UNTIL=19971007T000000Z;WKST=SU;BYDAY=TU,TH", "FREQ=WEEKLY;COUNT=10;WKST=SU;BYDAY=TU,TH"},
         "19980101",
         rfcExampleAtNine({"19970902", "19970904", "19970909", "19970911", "19970916", "19970918", "19970923",
                           "19970925", "19970930", "19971002"})},
        {"every other week on Monday, Wednesday and Friday until December 24, 1997", "19970901T090000",
         {"FREQ=WEEKLY;INTERVAL=2;UNTIL=19971224T000000Z;WKST=SU;BYDAY=MO,WE,FR"}, "19980101",
         rfcExampleAtNine({"19970901", "19970903", "19970905", "19970915", "19970917", "19970919", "19970929",
                           "19971001", "19971003", "19971013", "19971015", "19971017", "19971027", "19971029",
                           "19971031", "19971110", "19971112", "19971114", "19971124", "19971126", "19971128",
                           "19971208", "19971210", "19971212", "19971222"})},
        {"every other week on Tuesday and Thursday, for 8 occurrences", "19970902T090000",
         {"FREQ=WEEKLY;INTERVAL=2;COUNT=8;WKST=SU;BYDAY=TU,TH"}, "19980101",
         rfcExampleAtNine({"19970902", "19970904", "19970916", "19970918", "19970930", "19971002", "19971014",
                           "19971016"})},
        {"monthly on the first Friday for 10 occurrences", "19970905T090000", {"FREQ=MONTHLY;COUNT=10;BYDAY=1FR"},
         "19990101",
         rfcExampleAtNine({"19970905", "19971003", "19971107", "19971205", "19980102", "19980206", "19980306",
                           "19980403", "19980501", "19980605"})},
        {"monthly on the first Friday until December 24, 1997", "19970905T090000",
         {"FREQ=MONTHLY;UNTIL=19971224T000000Z;BYDAY=1FR"}, "19990101",
         rfcExampleAtNine({"19970905", "19971003", "19971107", "19971205"})},
        {"every other month on the first and last Sunday of the month for 10 occurrences", "19970907T090000",
         {"FREQ=MONTHLY;INTERVAL=2;COUNT=10;BYDAY=1SU,-1SU"}, "19990101",
         rfcExampleAtNine({"19970907", "19970928", "19971102", "19971130", "19980104", "19980125", "19980301",
                           "19980329", "19980503", "19980531"})},
        {"monthly on the second-to-last Monday of the month for 6 months", "19970922T090000",
         {"FREQ=MONTHLY;COUNT=6;BYDAY=-2MO"}, "19990101",
         rfcExampleAtNine({"19970922", "19971020", "19971117", "19971222", "19980119", "19980216"})},
        {"monthly on the third-to-the-last day of the month", "19970928T090000", {"FREQ=MONTHLY;BYMONTHDAY=-3"},
         "19980227", rfcExampleAtNine({"19970928", "19971029", "19971128", "19971229", "19980129", "19980226"})},
        {"monthly on the 2nd and 15th of the month for 10 occurrences", "19970902T090000",
         {"FREQ=MONTHLY;COUNT=10;BYMONTHDAY=2,15"}, "19990101",
         rfcExampleAtNine({"19970902", "19970915", "19971002", "19971015", "19971102", "19971115", "19971202",
                           "19971215", "19980102", "19980115"})},
        {"monthly on the first and last day of the month for 10 occurrences", "19970930T090000",
         {"FREQ=MONTHLY;COUNT=10;BYMONTHDAY=1,-1"}, "19990101",
         rfcExampleAtNine({"19970930", "19971001", "19971031", "19971101", "19971130", "19971201", "19971231",
                           "19980101", "19980131", "19980201"})},
        {"every 18 months on the 10th thru 15th of the month for 10 occurrences", "19970910T090000",
         {"FREQ=MONTHLY;INTERVAL=18;COUNT=10;BYMONTHDAY=10,11,12,13,14,15"}, "20010101",
         rfcExampleJoined({rfcExampleDays("19970910", "19970915"), rfcExampleDays("19990310", "19990313")})},
        {"every Tuesday, every other month", "19970902T090000", {"FREQ=MONTHLY;INTERVAL=2;BYDAY=TU"}, "19980401",
         rfcExampleAtNine({"19970902", "19970909", "19970916", "19970923", "19970930", "19971104", "19971111",
                           "19971118", "19971125", "19980106", "19980113", "19980120", "19980127", "19980303",
                           "19980310", "19980317", "19980324", "19980331"})},
        {"yearly in June and July for 10 occurrences", "19970610T090000", {"FREQ=YEARLY;COUNT=10;BYMONTH=6,7"},
         "20030101",
         rfcExampleAtNine({"19970610", "19970710", "19980610", "19980710", "19990610", "19990710", "20000610",
                           "20000710", "20010610", "20010710"})},
        {"every other year on January, February, and March for 10 occurrences", "19970310T090000",
         {"FREQ=YEARLY;INTERVAL=2;COUNT=10;BYMONTH=1,2,3"}, "20050101",
         rfcExampleAtNine({"19970310", "19990110", "19990210", "19990310", "20010110", "20010210", "20010310",
                           "20030110", "20030210", "20030310"})},
        {"every third year on the 1st, 100th, and 200th day for 10 occurrences", "19970101T090000",
         {"FREQ=YEARLY;INTERVAL=3;COUNT=10;BYYEARDAY=1,100,200"}, "20080101",
         rfcExampleAtNine({"19970101", "19970410", "19970719", "20000101", "20000409", "20000718", "20030101",
                           "20030410", "20030719", "20060101"})},
        {"every 20th Monday of the year", "19970519T090000", {"FREQ=YEARLY;BYDAY=20MO"}, "19990518",
         rfcExampleAtNine({"19970519", "19980518", "19990517"})},
        {"Monday of week number 20", "19970512T090000", {"FREQ=YEARLY;BYWEEKNO=20;BYDAY=MO"}, "19990518",
         rfcExampleAtNine({"19970512", "19980511", "19990517"})},
        {"every Thursday in March", "19970313T090000", {"FREQ=YEARLY;BYMONTH=3;BYDAY=TH"}, "19990326",
         rfcExampleAtNine({"19970313", "19970320", "19970327", "19980305", "19980312", "19980319", "19980326",
                           "19990304", "19990311", "19990318", "19990325"})},
        {"every Thursday, but only during June, July, and August", "19970605T090000",
         {"FREQ=YEARLY;BYDAY=TH;BYMONTH=6,7,8"}, "19990827",
         rfcExampleJoined({rfcExampleDays("19970605", "19970828", 7), rfcExampleDays("19980604", "19980827", 7),
                           rfcExampleDays("19990603", "19990826", 7)})},
        {"every Friday the 13th (DTSTART excluded)", "19970902T090000", {"FREQ=MONTHLY;BYDAY=FR;BYMONTHDAY=13"},
         "20001014", rfcExampleAtNine({"19980213", "19980313", "19981113", "19990813", "20001013"})},
        {"the first Saturday that follows the first Sunday of the month", "19970913T090000",
         {"FREQ=MONTHLY;BYDAY=SA;BYMONTHDAY=7,8,9,10,11,12,13"}, "19980614",
         rfcExampleAtNine({"19970913", "19971011", "19971108", "19971213", "19980110", "19980207", "19980307",
                           "19980411", "19980509", "19980613"})},
        {"every 4 years, the first Tuesday after a Monday in November", "19961105T090000",
         {"FREQ=YEARLY;INTERVAL=4;BYMONTH=11;BYDAY=TU;BYMONTHDAY=2,3,4,5,6,7,8"}, "20041103",
         rfcExampleAtNine({"19961105", "20001107", "20041102"})},
        {"the third instance into the month of one of Tuesday, Wednesday, or Thursday, for the next 3 months",
         "19970904T090000", {"FREQ=MONTHLY;COUNT=3;BYDAY=TU,WE,TH;BYSETPOS=3"}, "19990101",
         rfcExampleAtNine({"19970904", "19971007", "19971106"})},
        {"the second-to-last weekday of the month", "19970929T090000",
         {"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-2"}, "19980331",
         rfcExampleAtNine({"19970929", "19971030", "19971127", "19971230", "19980129", "19980226", "19980330"})},
        // The RFC lists 15:00 too, which its UNTIL (17:00 UTC, 13:00 EDT)
        // ends the rule before: a known erratum of the RFC's text.
        {"every 3 hours from 9:00 AM to 5:00 PM on a specific day", "19970902T090000",
         {"FREQ=HOURLY;INTERVAL=3;UNTIL=19970902T170000Z"}, "19970903", {"19970902T0900", "19970902T1200"}},
        {"every 15 minutes for 6 occurrences", "19970902T090000", {"FREQ=MINUTELY;INTERVAL=15;COUNT=6"}, "19970903",
         {"19970902T0900", "19970902T0915", "19970902T0930", "19970902T0945", "19970902T1000", "19970902T1015"}},
        {"every hour and a half for 4 occurrences", "19970902T090000", {"FREQ=MINUTELY;INTERVAL=90;COUNT=4"},
         "19970903", {"19970902T0900", "19970902T1030", "19970902T1200", "19970902T1330"}},
        {"every 20 minutes from 9:00 AM to 4:40 PM every day", "19970902T090000",
         {"FREQ=DAILY;BYHOUR=9,10,11,12,13,14,15,16;BYMINUTE=0,20,40",
          "FREQ=MINUTELY;INTERVAL=20;BYHOUR=9,10,11,12,13,14,15,16"},
         "19970904", everyTwentyMinutes},
        {"the days WKST=MO gives", "19970805T090000", {"FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=MO"},
         "19980101", rfcExampleAtNine({"19970805", "19970810", "19970819", "19970824"})},
        {"the days WKST=SU gives", "19970805T090000", {"FREQ=WEEKLY;INTERVAL=2;COUNT=4;BYDAY=TU,SU;WKST=SU"},
         "19980101", rfcExampleAtNine({"19970805", "19970817", "19970819", "19970831"})},
        {"an invalid date (February 30) is ignored", "20070115T090000", {"FREQ=MONTHLY;BYMONTHDAY=15,30;COUNT=5"},
         "20080101", rfcExampleAtNine({"20070115", "20070130", "20070215", "20070315", "20070330"})},
    };
    const ScopedTimeZone zone("America/New_York");
    for (const Case& c : cases) {
        for (const std::string& rule : c.rules) {
            VdirFixture fixture;
            const bool excludesStart = c.name.find("DTSTART excluded") != std::string::npos;
            fixture.writeItem("Home", "example.ics",
                              calendarText({"BEGIN:VEVENT", "UID:example", "SUMMARY:Example",
                                            "DTSTART;TZID=America/New_York:" + c.start, "DURATION:PT1M",
                                            excludesStart ? "EXDATE;TZID=America/New_York:" + c.start : "X-NOTE:none",
                                            "RRULE:" + rule, "END:VEVENT"}));
            const auto events = fixture.store().events(rfcExampleInstant(c.start), rfcExampleInstant(c.until));
            ASSERT_TRUE(events) << c.name << ": " << events.error().description;
            std::vector<std::string> found;
            for (const StoreEvent& event : events.value()) {
                found.push_back(rfcExampleLocalText(event.start));
            }
            EXPECT_EQ(found, c.expected) << c.name << ": " << rule;
            EXPECT_TRUE(fixture.skipLines().empty()) << c.name;
        }
    }
}

}  // namespace
}  // namespace lumenary::platform
