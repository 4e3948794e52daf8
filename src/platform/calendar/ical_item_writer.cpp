#include "platform/calendar/ical_item_writer.hpp"

#include "platform/calendar/ical_document.hpp"
#include "platform/calendar/ical_time.hpp"

namespace lumenary::platform {

namespace {

icalcomponent* newCalendar() {
    icalcomponent* calendar = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
    icalcomponent_add_property(calendar, icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar, icalproperty_new_prodid("-//Lumenary//Lumenary//EN"));
    return calendar;
}

icalcomponent* newItem(icalcomponent_kind kind, const std::string& uid, StoreInstant now) {
    icalcomponent* item = icalcomponent_new(kind);
    icalcomponent_add_property(item, icalproperty_new_uid(uid.c_str()));
    icalcomponent_add_property(item, icalproperty_new_dtstamp(icalUTCTime(now)));
    icalcomponent_add_property(item, icalproperty_new_created(icalUTCTime(now)));
    return item;
}

}  // namespace

AllDaySpan allDaySpanOf(StoreInstant start, StoreInstant end) {
    const LocalWallClock firstDay = localWallClockAt(start);
    LocalWallClock lastDay = end > start ? localWallClockAt(end - std::chrono::seconds(1)) : firstDay;
    const auto dateOnly = [](LocalWallClock clock) {
        clock.hour = clock.minute = clock.second = 0;
        return clock;
    };
    AllDaySpan span{.firstDay = dateOnly(firstDay), .dayAfterLastDay = datePlusDays(dateOnly(lastDay), 1)};
    if (instantOfLocalWallClock(span.dayAfterLastDay) <= instantOfLocalWallClock(span.firstDay)) {
        span.dayAfterLastDay = datePlusDays(span.firstDay, 1);
    }
    return span;
}

std::string icalTextOfNewEvent(const std::string& uid, const NewStoreEvent& event, StoreInstant now) {
    icalcomponent* item = newItem(ICAL_VEVENT_COMPONENT, uid, now);
    icalcomponent_add_property(item, icalproperty_new_summary(event.title.c_str()));
    if (event.isAllDay) {
        const AllDaySpan span = allDaySpanOf(event.start, event.end);
        icalcomponent_add_property(item, icalproperty_new_dtstart(icalDate(span.firstDay)));
        icalcomponent_add_property(item, icalproperty_new_dtend(icalDate(span.dayAfterLastDay)));
    } else {
        icalcomponent_add_property(item, icalproperty_new_dtstart(icalUTCTime(event.start)));
        icalcomponent_add_property(item, icalproperty_new_dtend(icalUTCTime(event.end)));
    }
    if (event.location) {
        icalcomponent_add_property(item, icalproperty_new_location(event.location->c_str()));
    }
    if (event.notes) {
        icalcomponent_add_property(item, icalproperty_new_description(event.notes->c_str()));
    }
    icalcomponent* calendar = newCalendar();
    icalcomponent_add_component(calendar, item);
    return ICalDocument(calendar).text();
}

std::string icalTextOfNewReminder(const std::string& uid, const NewStoreReminder& reminder, StoreInstant now) {
    icalcomponent* item = newItem(ICAL_VTODO_COMPONENT, uid, now);
    icalcomponent_add_property(item, icalproperty_new_summary(reminder.title.c_str()));
    icalcomponent_add_property(item, icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
    if (reminder.notes) {
        icalcomponent_add_property(item, icalproperty_new_description(reminder.notes->c_str()));
    }
    // RFC 5545 reads 0 as "no priority"; it is the same as leaving it out.
    if (reminder.priority != 0) {
        icalcomponent_add_property(item, icalproperty_new_priority(static_cast<int>(reminder.priority)));
    }
    if (reminder.due) {
        const DueDateComponents& due = *reminder.due;
        icalcomponent_add_property(
            item, icalproperty_new_due(icalFloatingMinute(
                      {.year = due.year, .month = due.month, .day = due.day, .hour = due.hour, .minute = due.minute})));
    }
    if (reminder.alarm) {
        icalcomponent* alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
        icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        icalcomponent_add_property(alarm, icalproperty_new_description(reminder.title.c_str()));
        icaltriggertype trigger{};
        trigger.time = icalUTCTime(*reminder.alarm);
        trigger.duration = icaldurationtype_null_duration();
        icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
        icalcomponent_add_component(item, alarm);
    }
    icalcomponent* calendar = newCalendar();
    icalcomponent_add_component(calendar, item);
    return ICalDocument(calendar).text();
}

}  // namespace lumenary::platform
