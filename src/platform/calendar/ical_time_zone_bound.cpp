#include "platform/calendar/ical_time_zone_bound.hpp"

#include <algorithm>

#include "platform/calendar/ical_document.hpp"
#include "platform/calendar/recurrence_check.hpp"

namespace lumenary::platform {

namespace {

// The last year an iCalendar date-time can name.
constexpr int lastNamedYear = 9999;
// The years whose changes set a rule's rate.
constexpr int sampledYears = 2;

std::vector<icalcomponent*> childComponents(icalcomponent* parent, icalcomponent_kind kind) {
    std::vector<icalcomponent*> children;
    for (icalcomponent* child = icalcomponent_get_first_component(parent, kind); child != nullptr;
         child = icalcomponent_get_next_component(parent, kind)) {
        children.push_back(child);
    }
    return children;
}

// The VTIMEZONEs of an item, whether in a VCALENDAR or wrapped once more.
std::vector<icalcomponent*> timeZoneComponents(icalcomponent* root) {
    if (icalcomponent_isa(root) == ICAL_VTIMEZONE_COMPONENT) {
        return {root};
    }
    std::vector<icalcomponent*> zones = childComponents(root, ICAL_VTIMEZONE_COMPONENT);
    for (icalcomponent* calendar : childComponents(root, ICAL_VCALENDAR_COMPONENT)) {
        const std::vector<icalcomponent*> inner = childComponents(calendar, ICAL_VTIMEZONE_COMPONENT);
        zones.insert(zones.end(), inner.begin(), inner.end());
    }
    return zones;
}

bool repeatsMoreThanDaily(const icalrecurrencetype& rule) {
    return rule.freq == ICAL_SECONDLY_RECURRENCE || rule.freq == ICAL_MINUTELY_RECURRENCE ||
           rule.freq == ICAL_HOURLY_RECURRENCE;
}

// How many changes one observance rule makes through the last named year,
// projected from its first years; more than `room` stops the count early.
std::size_t projectedRuleChanges(const icalrecurrencetype& rule, const icaltimetype& start, std::size_t room) {
    icalrecur_iterator* iterator = icalrecur_iterator_new(rule, start);
    if (iterator == nullptr) {
        return 0;
    }
    const std::size_t samples =
        static_cast<std::size_t>(std::max(1, (lastNamedYear - start.year + sampledYears) / sampledYears));
    std::size_t count = 0;
    std::size_t projected = 0;
    for (;;) {
        const icaltimetype change = icalrecur_iterator_next(iterator);
        if (icaltime_is_null_time(change)) {
            projected = count;
            break;
        }
        if (change.year >= start.year + sampledYears) {
            projected = count * samples;
            break;
        }
        ++count;
        if (count * samples > room) {
            projected = count * samples;
            break;
        }
    }
    icalrecur_iterator_free(iterator);
    return projected;
}

bool isUsableTimeZone(icalcomponent* zone) {
    std::size_t changes = 0;
    for (icalcomponent* observance : childComponents(zone, ICAL_ANY_COMPONENT)) {
        const icalcomponent_kind kind = icalcomponent_isa(observance);
        if (kind != ICAL_XSTANDARD_COMPONENT && kind != ICAL_XDAYLIGHT_COMPONENT) {
            continue;
        }
        changes += 1 + icalProperties(observance, ICAL_RDATE_PROPERTY).size();
        icalproperty* startProperty = icalcomponent_get_first_property(observance, ICAL_DTSTART_PROPERTY);
        const icaltimetype start = startProperty == nullptr ? icaltime_null_time() : icalproperty_get_dtstart(startProperty);
        for (icalproperty* property : icalProperties(observance, ICAL_RRULE_PROPERTY)) {
            const icalrecurrencetype rule = icalproperty_get_rrule(property);
            // Not stepped through at all: libical can take years of steps
            // to find that such a rule never matches.
            if (repeatsMoreThanDaily(rule)) {
                return false;
            }
            if (icaltime_is_null_time(start)) {
                continue;
            }
            // libical looks for a change of a rule that never holds through
            // every year up to the time it converts, each time it converts
            // one: the observance stands for its DTSTART alone instead.
            if (checkRecurrence(rule, start).verdict != RecurrenceVerdict::expandable) {
                icalcomponent_remove_property(observance, property);
                icalproperty_free(property);
                continue;
            }
            if (changes > maximumTimeZoneChanges) {
                continue;
            }
            changes += projectedRuleChanges(rule, start, maximumTimeZoneChanges - changes);
        }
        if (changes > maximumTimeZoneChanges) {
            return false;
        }
    }
    return true;
}

// Drops the TZID of every property, in the component and all it holds,
// that names one of `tzids`.
void floatTimesNaming(icalcomponent* component, const std::vector<std::string>& tzids) {
    for (icalproperty* property = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY); property != nullptr;
         property = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
        icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
        if (tzid != nullptr && icalparameter_get_tzid(tzid) != nullptr &&
            std::find(tzids.begin(), tzids.end(), icalparameter_get_tzid(tzid)) != tzids.end()) {
            icalproperty_remove_parameter_by_kind(property, ICAL_TZID_PARAMETER);
        }
    }
    for (icalcomponent* child : childComponents(component, ICAL_ANY_COMPONENT)) {
        if (icalcomponent_isa(child) != ICAL_VTIMEZONE_COMPONENT) {
            floatTimesNaming(child, tzids);
        }
    }
}

}  // namespace

std::vector<std::string> floatTimesOfUnusableTimeZones(icalcomponent* root) {
    std::vector<std::string> unusable;
    for (icalcomponent* zone : timeZoneComponents(root)) {
        icalproperty* tzidProperty = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
        const char* tzid = tzidProperty == nullptr ? nullptr : icalproperty_get_tzid(tzidProperty);
        if (tzid != nullptr && !isUsableTimeZone(zone)) {
            unusable.emplace_back(tzid);
        }
    }
    if (!unusable.empty()) {
        floatTimesNaming(root, unusable);
    }
    return unusable;
}

}  // namespace lumenary::platform
