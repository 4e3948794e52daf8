// Lists the occurrences our store gives a repeat rule, for the differential
// test against python-dateutil (recurrence_peer.py). Each line of standard
// input is one case, fields parted by tabs:
//
//   DTSTART property line    RRULE value    range start    range end
//
// the range as seconds since the epoch. Each answer is one line: the starts
// of the occurrences that overlap the range, as seconds since the epoch,
// parted by spaces, or "set-aside" when the rule is read as its start alone,
// or "unreadable" when the text cannot be read.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/calendar/ical_document.hpp"
#include "platform/calendar/ical_event_series.hpp"
#include "platform/calendar/ical_library_lock.hpp"

using namespace lumenary::platform;

namespace {

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');) {
        fields.push_back(field);
    }
    return fields;
}

std::string answerFor(const std::vector<std::string>& fields) {
    const std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Test//EN\r\nBEGIN:VEVENT\r\nUID:rule\r\n" +
                             fields[0] + "\r\nRRULE:" + fields[1] + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    const ICalLibraryLock lock;
    auto document = ICalDocument::parse(text);
    if (!document) {
        return "unreadable";
    }
    const auto events = document.value().components(ICAL_VEVENT_COMPONENT);
    if (events.size() != 1) {
        return "unreadable";
    }
    const ICalEventSeries series(events[0], {});
    if (!series.hasReadableStart()) {
        return "unreadable";
    }
    if (!series.setAsideRules().empty()) {
        return "set-aside";
    }
    const StoreInstant from{std::chrono::seconds(std::stoll(fields[2]))};
    const StoreInstant to{std::chrono::seconds(std::stoll(fields[3]))};
    std::string answer;
    for (const ICalOccurrence& occurrence : series.occurrencesOverlapping(from, to)) {
        answer += (answer.empty() ? "" : " ") + std::to_string(occurrence.start.time_since_epoch().count());
    }
    return answer;
}

}  // namespace

int main() {
    for (std::string line; std::getline(std::cin, line);) {
        const std::vector<std::string> fields = fieldsOf(line);
        std::cout << (fields.size() == 4 ? answerFor(fields) : std::string("unreadable")) << '\n';
    }
    return 0;
}
