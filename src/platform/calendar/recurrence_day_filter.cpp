#include "platform/calendar/recurrence_day_filter.hpp"

#include <algorithm>
#include <chrono>
#include <span>

namespace lumenary::platform {

namespace {

bool isListed(short value) {
    return value != ICAL_RECURRENCE_ARRAY_MAX;
}

template <std::size_t Size>
std::vector<short> listedValues(const short (&values)[Size]) {
    std::vector<short> found;
    for (std::size_t index = 0; index < Size && isListed(values[index]); ++index) {
        found.push_back(values[index]);
    }
    return found;
}

bool isLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysInYear(int year) {
    return isLeapYear(year) ? 366 : 365;
}

int daysInMonth(int year, int month) {
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : lengths[month - 1];
}

std::chrono::sys_days sysDayOf(int year, int month, int day) {
    return std::chrono::sys_days(std::chrono::year_month_day{
        std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)), std::chrono::day(static_cast<unsigned>(day))});
}

// 0 Sunday … 6 Saturday.
int weekdayOf(int year, int month, int day) {
    return static_cast<int>(std::chrono::weekday(sysDayOf(year, month, day)).c_encoding());
}

int dayOfYear(int year, int month, int day) {
    static constexpr int daysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return daysBefore[month - 1] + (month > 2 && isLeapYear(year) ? 1 : 0) + day;
}

// libical counts weekdays from 1 (Sunday).
int weekdayOfICal(int weekday) {
    return weekday >= ICAL_SUNDAY_WEEKDAY && weekday <= ICAL_SATURDAY_WEEKDAY ? weekday - ICAL_SUNDAY_WEEKDAY : -1;
}

// Where week 1 of a year begins, as a day of that year (0 or less when it
// begins in December before): the first week that holds four days of it.
int firstDayOfWeekOne(int weekdayOfFirstJanuary, int weekStart) {
    const int offset = (weekdayOfFirstJanuary - weekStart + 7) % 7;
    return offset <= 3 ? 1 - offset : 8 - offset;
}

// Years of each kind, in the 400 years from 2000 on: one after a leap year
// and one after another where both exist. The days of a year's first week
// that belong to the last week of the year before take that year's count
// of weeks, which the kind of the year alone does not fix.
const std::array<std::vector<int>, 14>& sampleYearsOfKind() {
    static const std::array<std::vector<int>, 14> samples = [] {
        std::array<std::vector<int>, 14> years{};
        std::array<std::array<bool, 2>, 14> found{};
        for (int year = 2000; year < 2400; ++year) {
            const auto kind = static_cast<std::size_t>((isLeapYear(year) ? 7 : 0) + weekdayOf(year, 1, 1));
            const auto afterLeap = static_cast<std::size_t>(isLeapYear(year - 1) ? 1 : 0);
            if (!found[kind][afterLeap]) {
                found[kind][afterLeap] = true;
                years[kind].push_back(year);
            }
        }
        return years;
    }();
    return samples;
}

// How many weeks a year has, and where its week 1 begins.
struct WeekYear {
    int weekOne = 1;
    int weeks = 52;
};

WeekYear weekYearOf(int year, int weekStart) {
    const int weekOne = firstDayOfWeekOne(weekdayOf(year, 1, 1), weekStart);
    const int nextWeekOne = daysInYear(year) + firstDayOfWeekOne(weekdayOf(year + 1, 1, 1), weekStart);
    return {.weekOne = weekOne, .weeks = (nextWeekOne - weekOne) / 7};
}

}  // namespace

std::int64_t dayNumberOf(const RecurrenceDay& day) {
    return sysDayOf(day.year, day.month, day.day).time_since_epoch().count();
}

RecurrenceDay recurrenceDayOf(std::int64_t number) {
    const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(number))};
    return {.year = static_cast<int>(date.year()),
            .month = static_cast<int>(static_cast<unsigned>(date.month())),
            .day = static_cast<int>(static_cast<unsigned>(date.day()))};
}

bool RecurrenceDayFilter::Values::holds(int value, int count) const {
    return std::find(positive.begin(), positive.end(), value) != positive.end() ||
           std::find(negative.begin(), negative.end(), value - count - 1) != negative.end();
}

RecurrenceDayFilter::RecurrenceDayFilter(const icalrecurrencetype& rule, const RecurrenceDay& start) {
    const auto split = [](const std::vector<short>& values, Values& into) {
        for (const short value : values) {
            (value > 0 ? into.positive : into.negative).push_back(value);
        }
    };
    for (const short month : listedValues(rule.by_month)) {
        // A leap month exists only in calendars other than this one.
        months_.push_back(icalrecurrencetype_month_is_leap(month) ? 0 : icalrecurrencetype_month_month(month));
    }
    split(listedValues(rule.by_month_day), monthDays_);
    split(listedValues(rule.by_year_day), yearDays_);
    split(listedValues(rule.by_week_no), weekNumbers_);
    for (const short day : listedValues(rule.by_day)) {
        weekdays_.push_back({.weekday = weekdayOfICal(icalrecurrencetype_day_day_of_week(day)),
                             .position = icalrecurrencetype_day_position(day)});
    }
    weekStart_ = std::max(0, weekdayOfICal(rule.week_start == ICAL_NO_WEEKDAY ? ICAL_MONDAY_WEEKDAY : rule.week_start));

    // What a rule leaves unnamed it takes from its start.
    const bool namesADay = monthDays_.any() || yearDays_.any() || weekNumbers_.any() || !weekdays_.empty();
    if (rule.freq == ICAL_WEEKLY_RECURRENCE && weekdays_.empty()) {
        weekdays_.push_back({.weekday = weekdayOf(start.year, start.month, start.day), .position = 0});
    } else if (rule.freq == ICAL_MONTHLY_RECURRENCE && !namesADay) {
        monthDays_.positive.push_back(start.day);
    } else if (rule.freq == ICAL_YEARLY_RECURRENCE && !namesADay) {
        monthDays_.positive.push_back(start.day);
        if (months_.empty()) {
            months_.push_back(start.month);
        }
    } else if (rule.freq == ICAL_YEARLY_RECURRENCE && months_.empty() && monthDays_.any() && !yearDays_.any() &&
               !weekNumbers_.any()) {
        months_.push_back(start.month);
    }
    // A numbered weekday counts in the month once the rule holds in
    // months of its own or its start's.
    weekdayInMonth_ = rule.freq == ICAL_MONTHLY_RECURRENCE || !months_.empty();
    passesEveryDay_ = months_.empty() && !monthDays_.any() && !yearDays_.any() && !weekNumbers_.any() && weekdays_.empty();
}

bool RecurrenceDayFilter::namesMonth(int month) const {
    return months_.empty() || std::find(months_.begin(), months_.end(), month) != months_.end();
}

bool RecurrenceDayFilter::passesSomeDayBetween(const RecurrenceDay& first, const RecurrenceDay& last,
                                               int maximumSteps) const {
    // Days looked at one by one before whole months and years are passed.
    constexpr int daysTestedBeforeSkipping = 32;
    if (passesEveryDay_) {
        return dayNumberOf(first) <= dayNumberOf(last);
    }
    const std::int64_t lastDay = dayNumberOf(last);
    std::int64_t dayNumberNow = dayNumberOf(first);
    int tested = 0;
    for (int step = 0; step < maximumSteps; ++step) {
        if (dayNumberNow > lastDay) {
            return false;
        }
        const RecurrenceDay day = recurrenceDayOf(dayNumberNow);
        const bool rare = tested >= daysTestedBeforeSkipping;
        if (rare && !passesSomeDayIn(day.year)) {
            dayNumberNow = dayNumberOf({.year = day.year + 1, .month = 1, .day = 1});
        } else if (!namesMonth(day.month) || (rare && !passesSomeDayIn(day.year, day.month))) {
            dayNumberNow = dayNumberOf({.year = day.month == 12 ? day.year + 1 : day.year, .month = day.month % 12 + 1, .day = 1});
        } else {
            ++tested;
            if (passes(day)) {
                return true;
            }
            ++dayNumberNow;
        }
    }
    return true;
}

int RecurrenceDayFilter::kindOfYear(int year) {
    // The calendar repeats every 400 years, and so do the kinds of year.
    static const std::array<std::uint8_t, 400> kinds = [] {
        std::array<std::uint8_t, 400> table{};
        for (int offset = 0; offset < 400; ++offset) {
            table[static_cast<std::size_t>(offset)] =
                static_cast<std::uint8_t>((isLeapYear(2000 + offset) ? 7 : 0) + weekdayOf(2000 + offset, 1, 1));
        }
        return table;
    }();
    return kinds[static_cast<std::size_t>(((year - 2000) % 400 + 400) % 400)];
}

bool RecurrenceDayFilter::evaluate(const RecurrenceDay& day) const {
    if (!months_.empty() && std::find(months_.begin(), months_.end(), day.month) == months_.end()) {
        return false;
    }
    const int monthLength = daysInMonth(day.year, day.month);
    if (monthDays_.any() && !monthDays_.holds(day.day, monthLength)) {
        return false;
    }
    if (!yearDays_.any() && !weekNumbers_.any() && weekdays_.empty()) {
        return true;
    }
    const int yearLength = daysInYear(day.year);
    const int yearDay = dayOfYear(day.year, day.month, day.day);
    if (yearDays_.any() && !yearDays_.holds(yearDay, yearLength)) {
        return false;
    }
    const int weekday = weekdayOf(day.year, day.month, day.day);
    if (weekNumbers_.any()) {
        // A day is in the week its week-numbering year gives it: the first
        // days of January may be in the last week of the year before, the
        // last of December in week 1 of the next.
        const WeekYear own = weekYearOf(day.year, weekStart_);
        int week = 0;
        int weeks = own.weeks;
        if (yearDay < own.weekOne) {
            const WeekYear before = weekYearOf(day.year - 1, weekStart_);
            week = before.weeks;
            weeks = before.weeks;
        } else if ((yearDay - own.weekOne) / 7 >= own.weeks) {
            week = 1;
            weeks = weekYearOf(day.year + 1, weekStart_).weeks;
        } else {
            week = (yearDay - own.weekOne) / 7 + 1;
        }
        if (!weekNumbers_.holds(week, weeks)) {
            return false;
        }
    }
    if (weekdays_.empty()) {
        return true;
    }
    return std::any_of(weekdays_.begin(), weekdays_.end(), [&](const Weekday& named) {
        if (named.weekday != weekday) {
            return false;
        }
        if (named.position == 0) {
            return true;
        }
        const int place = weekdayInMonth_ ? day.day : yearDay;
        const int length = weekdayInMonth_ ? monthLength : yearLength;
        return named.position > 0 ? (place - 1) / 7 + 1 == named.position : (length - place) / 7 + 1 == -named.position;
    });
}

bool RecurrenceDayFilter::passes(const RecurrenceDay& day) const {
    return passesEveryDay_ || evaluate(day);
}

void RecurrenceDayFilter::tabulate() const {
    if (tabulated_) {
        return;
    }
    tabulated_ = true;
    for (int kind = 0; kind < 14; ++kind) {
        const std::vector<int>& samples = sampleYearsOfKind()[static_cast<std::size_t>(kind)];
        // Only BYWEEKNO looks at the year before.
        const std::span<const int> years(samples.data(), weekNumbers_.any() ? samples.size() : 1);
        const int sample = years.front();
        int dayOfYearNow = 1;
        auto& counts = passingInMonth_[static_cast<std::size_t>(kind)];
        for (int month = 1; month <= 12; dayOfYearNow += daysInMonth(sample, month), ++month) {
            if (!namesMonth(month)) {
                continue;
            }
            for (int day = 1; day <= daysInMonth(sample, month); ++day) {
                // A day that passes in some year of this kind passes here.
                if (std::any_of(years.begin(), years.end(), [&](int year) {
                        return evaluate({.year = year, .month = month, .day = day});
                    })) {
                    passingInKind_.set(static_cast<std::size_t>(kind * 366 + dayOfYearNow + day - 2));
                    ++counts[static_cast<std::size_t>(month)];
                    ++counts[0];
                }
            }
        }
    }
    passesSomeDay_ = passingInKind_.any();
}

bool RecurrenceDayFilter::passesInKind(int kind, int dayOfYearNow) const {
    if (passesEveryDay_) {
        return true;
    }
    tabulate();
    return passingInKind_.test(static_cast<std::size_t>(kind * 366 + dayOfYearNow - 1));
}

std::vector<int> RecurrenceDayFilter::passingPlaces() const {
    std::vector<int> places;
    tabulate();
    for (std::size_t place = 0; place < passingInKind_.size(); ++place) {
        if (passesEveryDay_ || passingInKind_.test(place)) {
            places.push_back(static_cast<int>(place));
        }
    }
    return places;
}

int RecurrenceDayFilter::passingDaysIn(int year) const {
    if (passesEveryDay_) {
        return daysInYear(year);
    }
    tabulate();
    return passingInMonth_[static_cast<std::size_t>(kindOfYear(year))][0];
}

int RecurrenceDayFilter::passingDaysIn(int year, int month) const {
    if (passesEveryDay_) {
        return daysInMonth(year, month);
    }
    tabulate();
    return passingInMonth_[static_cast<std::size_t>(kindOfYear(year))][static_cast<std::size_t>(month)];
}

bool RecurrenceDayFilter::passesSomeDay() const {
    if (passesEveryDay_) {
        return true;
    }
    tabulate();
    return passesSomeDay_;
}

int RecurrenceDayFilter::mostPassingDaysInAWeek() const {
    if (weekdays_.empty()) {
        return 7;
    }
    std::bitset<7> named;
    for (const Weekday& weekday : weekdays_) {
        named.set(static_cast<std::size_t>(std::max(0, weekday.weekday)));
    }
    return static_cast<int>(named.count());
}

int RecurrenceDayFilter::mostPassingDaysInAMonth() const {
    if (passesEveryDay_) {
        return 31;
    }
    tabulate();
    int most = 0;
    for (const auto& counts : passingInMonth_) {
        most = std::max<int>(most, *std::max_element(counts.begin() + 1, counts.end()));
    }
    return most;
}

int RecurrenceDayFilter::mostPassingDaysInAYear() const {
    if (passesEveryDay_) {
        return 366;
    }
    tabulate();
    int most = 0;
    for (const auto& counts : passingInMonth_) {
        most = std::max<int>(most, counts[0]);
    }
    return most;
}

bool RecurrenceDayFilter::passesSomeDayIn(int year) const {
    return passingDaysIn(year) > 0;
}

bool RecurrenceDayFilter::passesSomeDayIn(int year, int month) const {
    return passingDaysIn(year, month) > 0;
}

}  // namespace lumenary::platform
